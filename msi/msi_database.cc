#include "msi/msi_database.h"

#include <msiquery.h>
#include <stdint.h>
#include <wchar.h>

#include "platform/system_library.h"

namespace {

// Each operation holds its own reference on the library, as the binding
// rules ask: one library object per operation.
template <int kOperation>
const SystemLibrary& MsiLibrary() {
  static const SystemLibrary library(L"msi.dll");
  return library;
}

enum Operation { kOpenDatabase, kOpenView, kAddStream, kSetProperty, kCommit, kClose };

// MSIDBOPEN_DIRECT, which the header spells as a pointer-typed constant.
const wchar_t* const kDirectMode = reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(2));

// Closes a record through the operation's own binding.
class ScopedRecord {
 public:
  explicit ScopedRecord(decltype(MsiCloseHandle)* close) : close_(close) {}
  ~ScopedRecord() { Close(); }
  ScopedRecord(const ScopedRecord&) = delete;
  ScopedRecord& operator=(const ScopedRecord&) = delete;

  // The place for a new record; the previous one is closed by now.
  MSIHANDLE* Receive() {
    Close();
    return &record_;
  }
  MSIHANDLE Get() const { return record_; }
  bool Close() {
    if (record_ == 0) return true;
    bool closed = close_(record_) == ERROR_SUCCESS;
    record_ = 0;
    return closed;
  }

 private:
  decltype(MsiCloseHandle)* close_;
  MSIHANDLE record_ = 0;
};

}  // namespace

bool OpenMsiDatabase(const wchar_t* packagePath, MSIHANDLE* database) {
  decltype(MsiOpenDatabaseW)* openDatabase = nullptr;
  if (!BindExport(MsiLibrary<kOpenDatabase>(), "MsiOpenDatabaseW", openDatabase)) return false;
  return openDatabase(packagePath, kDirectMode, database) == ERROR_SUCCESS;
}

bool OpenMsiView(MSIHANDLE database, const wchar_t* query, MSIHANDLE* view) {
  const SystemLibrary& msi = MsiLibrary<kOpenView>();
  decltype(MsiDatabaseOpenViewW)* openView = nullptr;
  decltype(MsiViewExecute)* execute = nullptr;
  if (!BindExport(msi, "MsiDatabaseOpenViewW", openView) || !BindExport(msi, "MsiViewExecute", execute))
    return false;
  if (openView(database, query, view) != ERROR_SUCCESS) return false;
  return execute(*view, 0) == ERROR_SUCCESS;
}

bool AddBinaryStream(MSIHANDLE view, const wchar_t* name, const wchar_t* filePath) {
  const SystemLibrary& msi = MsiLibrary<kAddStream>();
  decltype(MsiCreateRecord)* createRecord = nullptr;
  decltype(MsiRecordSetStringW)* setString = nullptr;
  decltype(MsiRecordSetStreamW)* setStream = nullptr;
  decltype(MsiViewModify)* modify = nullptr;
  decltype(MsiCloseHandle)* close = nullptr;
  if (!BindExport(msi, "MsiCreateRecord", createRecord) || !BindExport(msi, "MsiRecordSetStringW", setString) ||
      !BindExport(msi, "MsiRecordSetStreamW", setStream) || !BindExport(msi, "MsiViewModify", modify) ||
      !BindExport(msi, "MsiCloseHandle", close))
    return false;
  ScopedRecord record(close);
  *record.Receive() = createRecord(2);
  if (record.Get() == 0) return false;
  return setString(record.Get(), 1, name) == ERROR_SUCCESS &&
         setStream(record.Get(), 2, filePath) == ERROR_SUCCESS &&
         modify(view, MSIMODIFY_INSERT, record.Get()) == ERROR_SUCCESS;
}

bool SetPropertyValue(MSIHANDLE view, const wchar_t* name, const wchar_t* value) {
  const SystemLibrary& msi = MsiLibrary<kSetProperty>();
  decltype(MsiViewFetch)* fetch = nullptr;
  decltype(MsiRecordGetStringW)* getString = nullptr;
  decltype(MsiRecordSetStringW)* setString = nullptr;
  decltype(MsiViewModify)* modify = nullptr;
  decltype(MsiCloseHandle)* close = nullptr;
  if (!BindExport(msi, "MsiViewFetch", fetch) || !BindExport(msi, "MsiRecordGetStringW", getString) ||
      !BindExport(msi, "MsiRecordSetStringW", setString) || !BindExport(msi, "MsiViewModify", modify) ||
      !BindExport(msi, "MsiCloseHandle", close))
    return false;

  constexpr DWORD kNameCapacity = 1024;
  wchar_t rowName[kNameCapacity] = {};
  ScopedRecord record(close);
  // Each fetch hands out a new record; the one before is closed first, and
  // the close of the last one is the operation's result. A view without rows
  // fetches none and closes none, which counts as success.
  bool lastClosed = true;
  UINT fetched;
  while ((fetched = fetch(view, record.Receive())) == ERROR_SUCCESS) {
    DWORD capacity = kNameCapacity;
    // A name that cannot be read must not match on an earlier row's text.
    bool matches = getString(record.Get(), 1, rowName, &capacity) == ERROR_SUCCESS && wcscmp(rowName, name) == 0;
    if (matches) {
      if (setString(record.Get(), 2, value) != ERROR_SUCCESS) return false;
      if (modify(view, MSIMODIFY_UPDATE, record.Get()) != ERROR_SUCCESS) return false;
    }
    lastClosed = record.Close();
  }
  // Rows left unread could hold the name: only the end of the table is success.
  return fetched == ERROR_NO_MORE_ITEMS && lastClosed;
}

bool CommitMsiDatabase(MSIHANDLE database) {
  decltype(MsiDatabaseCommit)* commit = nullptr;
  if (!BindExport(MsiLibrary<kCommit>(), "MsiDatabaseCommit", commit)) return false;
  return commit(database) == ERROR_SUCCESS;
}

bool CloseMsiHandle(MSIHANDLE handle) {
  decltype(MsiCloseHandle)* close = nullptr;
  if (!BindExport(MsiLibrary<kClose>(), "MsiCloseHandle", close)) return false;
  return close(handle) == ERROR_SUCCESS;
}

#include "msi/msi_database.h"

#include <msiquery.h>
#include <stdint.h>
#include <wchar.h>

#include "platform/scoped_handle.h"
#include "platform/system_library.h"

namespace bastion {

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

// A record, closed through the operation's own binding.
using ScopedRecord = ScopedHandle<BoundCloseTraits<MSIHANDLE, decltype(MsiCloseHandle)>>;

Win32Result Result(UINT code) {
  return code == ERROR_SUCCESS ? Win32Result::Success() : Win32Result::Failure(code);
}

// The failure of an operation whose functions could not all be bound.
Win32Result Unbound(const SystemLibrary& library) {
  return Win32Result::Failure(library.IsLoaded() ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND);
}

}  // namespace

Win32Result OpenMsiDatabase(const wchar_t* packagePath, MSIHANDLE* database) {
  const SystemLibrary& msi = MsiLibrary<kOpenDatabase>();
  decltype(MsiOpenDatabaseW)* openDatabase = nullptr;
  if (!BindExport(msi, "MsiOpenDatabaseW", openDatabase)) return Unbound(msi);
  return Result(openDatabase(packagePath, kDirectMode, database));
}

Win32Result OpenMsiView(MSIHANDLE database, const wchar_t* query, MSIHANDLE* view) {
  const SystemLibrary& msi = MsiLibrary<kOpenView>();
  decltype(MsiDatabaseOpenViewW)* openView = nullptr;
  decltype(MsiViewExecute)* execute = nullptr;
  if (!BindExport(msi, "MsiDatabaseOpenViewW", openView) || !BindExport(msi, "MsiViewExecute", execute))
    return Unbound(msi);
  UINT opened = openView(database, query, view);
  if (opened != ERROR_SUCCESS) return Result(opened);
  return Result(execute(*view, 0));
}

Win32Result AddBinaryStream(MSIHANDLE view, const wchar_t* name, const wchar_t* filePath) {
  const SystemLibrary& msi = MsiLibrary<kAddStream>();
  decltype(MsiCreateRecord)* createRecord = nullptr;
  decltype(MsiRecordSetStringW)* setString = nullptr;
  decltype(MsiRecordSetStreamW)* setStream = nullptr;
  decltype(MsiViewModify)* modify = nullptr;
  decltype(MsiCloseHandle)* close = nullptr;
  if (!BindExport(msi, "MsiCreateRecord", createRecord) || !BindExport(msi, "MsiRecordSetStringW", setString) ||
      !BindExport(msi, "MsiRecordSetStreamW", setStream) || !BindExport(msi, "MsiViewModify", modify) ||
      !BindExport(msi, "MsiCloseHandle", close))
    return Unbound(msi);
  ScopedRecord record(createRecord(2), {close});
  // The installer makes a record of two fields unless memory runs out.
  if (record.Get() == 0) return Win32Result::Failure(ERROR_NOT_ENOUGH_MEMORY);
  UINT code = setString(record.Get(), 1, name);
  if (code == ERROR_SUCCESS) code = setStream(record.Get(), 2, filePath);
  if (code == ERROR_SUCCESS) code = modify(view, MSIMODIFY_INSERT, record.Get());
  return Result(code);
}

Win32Result SetPropertyValue(MSIHANDLE view, const wchar_t* name, const wchar_t* value) {
  const SystemLibrary& msi = MsiLibrary<kSetProperty>();
  decltype(MsiViewFetch)* fetch = nullptr;
  decltype(MsiRecordGetStringW)* getString = nullptr;
  decltype(MsiRecordSetStringW)* setString = nullptr;
  decltype(MsiViewModify)* modify = nullptr;
  decltype(MsiCloseHandle)* close = nullptr;
  if (!BindExport(msi, "MsiViewFetch", fetch) || !BindExport(msi, "MsiRecordGetStringW", getString) ||
      !BindExport(msi, "MsiRecordSetStringW", setString) || !BindExport(msi, "MsiViewModify", modify) ||
      !BindExport(msi, "MsiCloseHandle", close))
    return Unbound(msi);

  constexpr DWORD kNameCapacity = 1024;
  wchar_t rowName[kNameCapacity] = {};
  ScopedRecord record(0, {close});
  // Each fetch hands out a new record; the one before is closed first, and
  // the close of the last one is the operation's result. A view without rows
  // fetches none and closes none, which counts as success.
  UINT lastClosed = ERROR_SUCCESS;
  UINT fetched;
  while ((fetched = fetch(view, record.Receive())) == ERROR_SUCCESS) {
    DWORD capacity = kNameCapacity;
    // A name that cannot be read must not match on an earlier row's text.
    bool matches = getString(record.Get(), 1, rowName, &capacity) == ERROR_SUCCESS && wcscmp(rowName, name) == 0;
    if (matches) {
      UINT code = setString(record.Get(), 2, value);
      if (code == ERROR_SUCCESS) code = modify(view, MSIMODIFY_UPDATE, record.Get());
      if (code != ERROR_SUCCESS) return Result(code);
    }
    lastClosed = record.IsValid() ? close(record.Release()) : ERROR_SUCCESS;
  }
  // Rows left unread could hold the name: only the end of the table is success.
  if (fetched != ERROR_NO_MORE_ITEMS) return Result(fetched);
  return Result(lastClosed);
}

Win32Result CommitMsiDatabase(MSIHANDLE database) {
  const SystemLibrary& msi = MsiLibrary<kCommit>();
  decltype(MsiDatabaseCommit)* commit = nullptr;
  if (!BindExport(msi, "MsiDatabaseCommit", commit)) return Unbound(msi);
  return Result(commit(database));
}

Win32Result CloseMsiHandle(MSIHANDLE handle) {
  const SystemLibrary& msi = MsiLibrary<kClose>();
  decltype(MsiCloseHandle)* close = nullptr;
  if (!BindExport(msi, "MsiCloseHandle", close)) return Unbound(msi);
  return Result(close(handle));
}

}  // namespace bastion

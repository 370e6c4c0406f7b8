// A fresh, empty, UUID-named file in a temporary folder. The file stays on
// disk when the object goes; moving or deleting it is the caller's business.
#ifndef BASTION_SRC_HTTPHELPER_TEMPORARY_FILE_H_
#define BASTION_SRC_HTTPHELPER_TEMPORARY_FILE_H_

#include <windows.h>

#include <string>

class TemporaryFile {
 public:
  // Expands the environment variables of `folderSpecification` (for example
  // "%temp%"); "C:\Windows\Temp" when that fails or does not fit a path.
  explicit TemporaryFile(const wchar_t* folderSpecification);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // One attempt: a new name, then the file. The outcome is in created() and
  // lastError().
  void Create();

  bool created() const { return created_; }
  const std::wstring& name() const { return name_; }
  const std::wstring& folder() const { return folder_; }
  const std::wstring& path() const { return path_; }
  DWORD lastError() const { return lastError_; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  bool created_ = false;
  std::wstring name_;
  std::wstring folder_;
  std::wstring path_;
  DWORD lastError_ = 0;
};

#endif  // BASTION_SRC_HTTPHELPER_TEMPORARY_FILE_H_

#include "Src/VTDropper/package_move.h"

#include <vector>

#include "Src/Httphelper/temporary_file.h"
#include "platform/scoped_handle.h"
#include "platform/object_security.h"

namespace bastion {

namespace {

DWORD CopyContent(HANDLE from, HANDLE to) {
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(from, start, nullptr, FILE_BEGIN)) return GetLastError();
  std::vector<BYTE> buffer(1 << 16);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return GetLastError();
    if (read == 0) return 0;
    DWORD written = 0;
    if (!WriteFile(to, buffer.data(), read, &written, nullptr)) return GetLastError();
    if (written != read) return ERROR_WRITE_FAULT;
  }
}

}  // namespace

PackageMoveOutcome CopyPackageBeside(HANDLE heldPackage, const std::wstring& folder, const wchar_t* name) {
  PackageMoveOutcome outcome;
  const std::wstring uuid = NewUuidName();
  if (uuid.empty()) {
    outcome.error = ERROR_GEN_FAILURE;
    outcome.copyFailed = true;
    return outcome;
  }
  const std::wstring copyPath = folder + uuid + L".tmp";
  // The object security keeps the package readable where it lands.
  ScopedKernelHandle copy(CreateFileW(copyPath.c_str(), GENERIC_WRITE | DELETE, 0, GetObjectSecurity(), CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!copy.IsValid()) {
    outcome.error = GetLastError();
    outcome.copyFailed = true;
    return outcome;
  }
  outcome.error = CopyContent(heldPackage, copy.Get());
  if (outcome.error != 0) {
    outcome.copyFailed = true;
    FILE_DISPOSITION_INFO dispose = {TRUE};
    SetFileInformationByHandle(copy.Get(), FileDispositionInfo, &dispose, sizeof(dispose));
    return outcome;
  }
  copy.Close();
  const std::wstring target = folder + name;
  if (!MoveFileExW(copyPath.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    outcome.error = GetLastError();
    DeleteFileW(copyPath.c_str());
  }
  return outcome;
}

}  // namespace bastion

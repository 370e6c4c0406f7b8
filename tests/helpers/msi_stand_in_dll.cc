// A stand-in for msi.dll in the end-to-end prefix, for /createmsi's edit: the
// calls the product binds succeed on nothing, except the step named by
// BASTION_MSI_FAIL, which fails with ERROR_FUNCTION_FAILED (1627):
//   view           opening a view
//   config-commit  the first commit (after the config.dat stream)
//   property       the update of the RECONF row
//   reconf-commit  the second commit
// Wine's msi.dll never fails these on a good package, so only this reaches
// the product's messages for them.
#include <windows.h>

#include <cwchar>

namespace {

using Handle = unsigned long;
constexpr UINT kFailure = ERROR_FUNCTION_FAILED;
constexpr int kModifyUpdate = 2;  // MSIMODIFY_UPDATE

bool Fails(const wchar_t* step) {
  wchar_t chosen[32] = {};
  DWORD length = GetEnvironmentVariableW(L"BASTION_MSI_FAIL", chosen, 32);
  return length > 0 && length < 32 && std::wcscmp(chosen, step) == 0;
}

int g_commits = 0;
int g_fetches = 0;

}  // namespace

extern "C" {

__declspec(dllexport) UINT WINAPI MsiOpenDatabaseW(LPCWSTR, LPCWSTR, Handle* database) {
  *database = 1;
  return ERROR_SUCCESS;
}

__declspec(dllexport) UINT WINAPI MsiDatabaseOpenViewW(Handle, LPCWSTR, Handle* view) {
  if (Fails(L"view")) return kFailure;
  g_fetches = 0;
  *view = 2;
  return ERROR_SUCCESS;
}

__declspec(dllexport) UINT WINAPI MsiViewExecute(Handle, Handle) { return ERROR_SUCCESS; }

__declspec(dllexport) Handle WINAPI MsiCreateRecord(UINT) { return 3; }

__declspec(dllexport) UINT WINAPI MsiRecordSetStringW(Handle, UINT, LPCWSTR) { return ERROR_SUCCESS; }

__declspec(dllexport) UINT WINAPI MsiRecordSetStreamW(Handle, UINT, LPCWSTR) { return ERROR_SUCCESS; }

__declspec(dllexport) UINT WINAPI MsiViewModify(Handle, int mode, Handle) {
  return mode == kModifyUpdate && Fails(L"property") ? kFailure : ERROR_SUCCESS;
}

__declspec(dllexport) UINT WINAPI MsiCloseHandle(Handle) { return ERROR_SUCCESS; }

// One row, named RECONF.
__declspec(dllexport) UINT WINAPI MsiViewFetch(Handle, Handle* record) {
  if (g_fetches++ > 0) return ERROR_NO_MORE_ITEMS;
  *record = 4;
  return ERROR_SUCCESS;
}

__declspec(dllexport) UINT WINAPI MsiRecordGetStringW(Handle, UINT, LPWSTR text, LPDWORD capacity) {
  if (*capacity < 7) return ERROR_MORE_DATA;
  std::wcscpy(text, L"RECONF");
  *capacity = 6;
  return ERROR_SUCCESS;
}

__declspec(dllexport) UINT WINAPI MsiDatabaseCommit(Handle) {
  ++g_commits;
  return Fails(g_commits == 1 ? L"config-commit" : L"reconf-commit") ? kFailure : ERROR_SUCCESS;
}

}  // extern "C"

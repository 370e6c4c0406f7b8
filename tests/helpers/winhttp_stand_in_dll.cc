// A stand-in for winhttp.dll in the end-to-end prefix with only part of the
// exports the downloader and the proxy selection bind. Neither may call
// through a partial set: any call here ends the process with 71, which no
// run of the product ends with.
#include <windows.h>

namespace {

[[noreturn]] void Called() { ExitProcess(71); }

}  // namespace

extern "C" {

__declspec(dllexport) void* WINAPI WinHttpOpen(const wchar_t*, DWORD, const wchar_t*, const wchar_t*, DWORD) {
  Called();
}
__declspec(dllexport) void* WINAPI WinHttpConnect(void*, const wchar_t*, WORD, DWORD) { Called(); }
__declspec(dllexport) BOOL WINAPI WinHttpSetOption(void*, DWORD, void*, DWORD) { Called(); }
__declspec(dllexport) BOOL WINAPI WinHttpCloseHandle(void*) { Called(); }

}  // extern "C"

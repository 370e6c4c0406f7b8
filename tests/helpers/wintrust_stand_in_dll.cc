// A stand-in for WINTRUST.dll in a copy of the end-to-end prefix: it answers
// every trust request with "untrusted root", as Windows does for a file
// signed by a certificate whose root the machine does not trust. Wine's own
// WinVerifyTrust never refuses a chain, so only this reaches the publisher
// fallback.
#include <windows.h>

extern "C" __declspec(dllexport) LONG WINAPI WinVerifyTrust(HWND, GUID*, LPVOID) {
  return static_cast<LONG>(CERT_E_UNTRUSTEDROOT);
}

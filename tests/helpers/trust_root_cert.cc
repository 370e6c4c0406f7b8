// Adds a DER certificate file to the LocalMachine "Root" store of the Wine
// prefix, so that WinHTTP's own validation accepts the test server.
// Exit code 0 when added, 1 otherwise.
#include <windows.h>

#include <wincrypt.h>

#include <stdio.h>

#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 1;
  HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  std::vector<BYTE> der(GetFileSize(file, nullptr));
  DWORD read = 0;
  BOOL ok = ReadFile(file, der.data(), static_cast<DWORD>(der.size()), &read, nullptr);
  CloseHandle(file);
  if (!ok || read != der.size()) return 1;
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (store == nullptr) return 1;
  ok = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), read,
                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(store, 0);
  if (!ok) fprintf(stderr, "CertAddEncodedCertificateToStore failed: %lu\n", GetLastError());
  return ok ? 0 : 1;
}

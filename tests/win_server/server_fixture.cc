#include "win_server/server_fixture.h"

#include <wincrypt.h>

#include <spdlog/sinks/ostream_sink.h>

namespace {

// The fixture trusts the server's certificate in the prefix's Root store
// before the tests start, yet one first run in a freshly made prefix still
// refused it. Adding it again in each test process costs little.
struct TrustServerCertificate {
  TrustServerCertificate() {
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (store == nullptr) return;
    for (const wchar_t* name : {L"server.der", L"tls11.der"}) {
      std::vector<BYTE> der = ReadWholeFile(ServerFile(name));
      if (der.empty()) continue;
      CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                       CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    }
    CertCloseStore(store, 0);
  }
} g_trust;

}  // namespace

std::wstring ServerFile(const wchar_t* name) {
  std::string dir = BASTION_TEST_SERVER_DIR;
  std::wstring path = L"Z:";
  for (char c : dir) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path + L"\\" + name;
}

std::vector<BYTE> ReadWholeFile(const std::wstring& path) {
  std::vector<BYTE> data;
  // Shares deletion too: a download's file is open with delete access.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return data;
  BYTE buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
    data.insert(data.end(), buffer, buffer + read);
  CloseHandle(file);
  return data;
}

std::vector<BYTE> Pattern(size_t length) {
  std::vector<BYTE> data(length);
  for (size_t i = 0; i < length; ++i) data[i] = static_cast<BYTE>(((i % (1u << 20)) * 7 + 3) & 0xFF);
  return data;
}

std::vector<std::string> ServerRequests() {
  std::vector<BYTE> text = ReadWholeFile(ServerFile(L"requests.log"));
  std::vector<std::string> lines;
  std::string line;
  for (BYTE c : text) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += static_cast<char>(c);
    }
  }
  return lines;
}

ScratchFile::ScratchFile(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  path_ = std::wstring(folder) + name;
  DeleteFileW(path_.c_str());
}

ScratchFile::~ScratchFile() { DeleteFileW(path_.c_str()); }

LogCapture::LogCapture() : previous_(spdlog::default_logger()) {
  auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(stream_);
  auto logger = std::make_shared<spdlog::logger>("root", sink);
  logger->set_pattern("[%!] %v");
  logger->set_level(spdlog::level::trace);
  spdlog::set_default_logger(logger);
}

LogCapture::~LogCapture() { spdlog::set_default_logger(previous_); }

std::vector<std::string> LogCapture::Lines() const {
  std::vector<std::string> lines;
  std::istringstream in(stream_.str());
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// What the download tests need from the HTTPS test server that the ctest
// fixture runs on 127.0.0.1:443 (tools/test_server_fixture.sh), and from the
// default logger.
#ifndef BASTION_TESTS_WIN_SERVER_SERVER_FIXTURE_H_
#define BASTION_TESTS_WIN_SERVER_SERVER_FIXTURE_H_

#include <windows.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <spdlog/spdlog.h>

// A file of the server's folder, as Wine sees it.
std::wstring ServerFile(const wchar_t* name);
std::vector<BYTE> ReadWholeFile(const std::wstring& path);
// The bytes /size/N serves: BLOCK[i] = (i * 7 + 3) & 0xFF, repeated every MiB.
std::vector<BYTE> Pattern(size_t length);
// Lines "METHOD PATH USER-AGENT" the server logged so far.
std::vector<std::string> ServerRequests();
// A fresh path in the temporary folder, deleted with the object.
class ScratchFile {
 public:
  explicit ScratchFile(const wchar_t* name);
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// Makes the default logger write "[function] text" lines into memory.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  std::vector<std::string> Lines() const;

 private:
  std::ostringstream stream_;
  std::shared_ptr<spdlog::logger> previous_;
};

#endif  // BASTION_TESTS_WIN_SERVER_SERVER_FIXTURE_H_

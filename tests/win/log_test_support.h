// Temporary folders, file reading and access-list reading for the log tests.
#ifndef BASTION_TESTS_WIN_LOG_TEST_SUPPORT_H_
#define BASTION_TESTS_WIN_LOG_TEST_SUPPORT_H_

#include <windows.h>

#include <string>
#include <vector>

// A fresh, empty folder below the temporary folder, removed with all its
// content when destroyed.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& name);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// The whole file, read while others keep it open; empty when missing.
std::string ReadWholeFile(const std::string& path);
bool PathExists(const std::string& path);
// Names in a folder, without "." and "..".
std::vector<std::string> FolderEntries(const std::string& folder);

struct AccessEntry {
  ACCESS_MASK mask;
  BYTE flags;
  std::wstring sid;
};
// The discretionary list of a file or folder as GetSecurityInfo reports it.
std::vector<AccessEntry> ReadAccessList(const std::string& path);

#endif  // BASTION_TESTS_WIN_LOG_TEST_SUPPORT_H_

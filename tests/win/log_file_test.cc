#include "diagnostics/log_file.h"

#include <accctrl.h>
#include <gtest/gtest.h>

#include <regex>

#include "platform/object_security.h"
#include "win/log_test_support.h"

using namespace bastion;

namespace {

// The log's inheritable descriptor, as a LocalSystem run would use it. Under
// Wine the process is never LocalSystem, so the tests hand it over directly.
class InheritableSecurity {
 public:
  InheritableSecurity()
      : attributes_{sizeof(SECURITY_ATTRIBUTES),
                    BuildAccessDescriptor(SUB_CONTAINERS_AND_OBJECTS_INHERIT), FALSE} {}
  ~InheritableSecurity() { FreeAccessDescriptor(attributes_.lpSecurityDescriptor); }
  InheritableSecurity(const InheritableSecurity&) = delete;
  InheritableSecurity& operator=(const InheritableSecurity&) = delete;
  const SECURITY_ATTRIBUTES* get() const { return &attributes_; }

 private:
  SECURITY_ATTRIBUTES attributes_;
};

// File names added and removed in a folder while something runs.
class FolderWatch {
 public:
  explicit FolderWatch(const std::string& folder)
      : folder_(CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED,
                            nullptr)),
        event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    Issue();
  }
  ~FolderWatch() {
    CancelIo(folder_);
    CloseHandle(folder_);
    CloseHandle(event_);
  }
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // "+name" for an added file, "-name" for a removed one.
  std::vector<std::string> Collect() {
    std::vector<std::string> changes;
    while (WaitForSingleObject(event_, 300) == WAIT_OBJECT_0) {
      DWORD bytes = 0;
      if (!GetOverlappedResult(folder_, &overlapped_, &bytes, FALSE) || bytes == 0) break;
      for (size_t offset = 0;;) {
        auto* info = reinterpret_cast<FILE_NOTIFY_INFORMATION*>(buffer_ + offset);
        std::wstring wide(info->FileName, info->FileNameLength / sizeof(wchar_t));
        std::string name(wide.begin(), wide.end());
        if (info->Action == FILE_ACTION_ADDED) changes.push_back("+" + name);
        if (info->Action == FILE_ACTION_REMOVED) changes.push_back("-" + name);
        if (info->NextEntryOffset == 0) break;
        offset += info->NextEntryOffset;
      }
      Issue();
    }
    return changes;
  }

 private:
  void Issue() {
    ResetEvent(event_);
    overlapped_ = {};
    overlapped_.hEvent = event_;
    ReadDirectoryChangesW(folder_, buffer_, sizeof(buffer_), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME,
                          nullptr, &overlapped_, nullptr);
  }

  HANDLE folder_;
  HANDLE event_;
  OVERLAPPED overlapped_ = {};
  alignas(DWORD) BYTE buffer_[8192];
};

const std::regex kProbeName("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}");

// Only our descriptor path opens the log with read access besides write
// (CreateFileA with GENERIC_READ | GENERIC_WRITE); the plain path opens for
// writing only, as the runtime's "ab" does. A reader that refuses to share
// reading sees the difference.
bool HeldWithReadAccess(const std::string& path) {
  HANDLE probe = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    return false;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION;
}

// Everyone may read and not write; `flags` are the entry's inheritance bits.
bool EveryoneReadsOnly(const std::vector<AccessEntry>& entries, BYTE flags) {
  bool everyone = false;
  for (const AccessEntry& e : entries) {
    if (e.sid != L"S-1-1-0") continue;
    everyone = (e.mask & FILE_READ_DATA) && !(e.mask & (FILE_WRITE_DATA | FILE_APPEND_DATA)) &&
               (e.flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) == flags;
  }
  return everyone;
}

bool HasInheritableEntries(const std::vector<AccessEntry>& entries) {
  return EveryoneReadsOnly(entries, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
}

// On Windows each new folder and the new file carry exactly Everyone:read and
// Administrators:all with inheritance. Wine keeps file security as Unix mode
// bits and reports a list rebuilt from them (LocalSystem and the owner with
// full access, Everyone as the "other" bits, folders marked inheritable), so
// a folder or file made without our descriptor reads back the same there.
// What survives under Wine is checked: Everyone may read, not write, and the
// folders' entries are inheritable. That the descriptor path was taken is
// shown by the probe file and by the handle's access.
TEST(LogOpenerTest, DescriptorPathCreatesFoldersProbesAndOpens) {
  ScratchFolder scratch("bastion_log_opener");
  std::vector<AccessEntry> existingBefore = ReadAccessList(scratch.path());
  InheritableSecurity security;
  std::string folder = scratch / "Veltrion\\BastionClientUI";
  std::string path = folder + "\\tiny.log";

  LogFolder place;
  ASSERT_TRUE(place.Open(scratch.path(), "Veltrion\\BastionClientUI", security.get()));
  EXPECT_EQ(place.path(), folder);
  EXPECT_TRUE(HasInheritableEntries(ReadAccessList(scratch / "Veltrion")));
  EXPECT_TRUE(HasInheritableEntries(ReadAccessList(folder)));
  std::vector<AccessEntry> existingAfter = ReadAccessList(scratch.path());
  ASSERT_EQ(existingAfter.size(), existingBefore.size()) << "an existing folder keeps its own";
  for (size_t i = 0; i < existingAfter.size(); ++i) {
    EXPECT_EQ(existingAfter[i].sid, existingBefore[i].sid);
    EXPECT_EQ(existingAfter[i].mask, existingBefore[i].mask);
  }

  FolderWatch watch(folder);
  FILE* stream = OpenLogStream(place, "tiny.log", false, security.get());
  ASSERT_NE(stream, nullptr);
  std::vector<std::string> changes = watch.Collect();
  EXPECT_TRUE(HeldWithReadAccess(path));
  ASSERT_EQ(fputs("one\r\n", stream), 0);
  fclose(stream);

  // The probe came and went before the log file appeared.
  ASSERT_GE(changes.size(), 3u);
  ASSERT_EQ(changes[0][0], '+');
  std::string probe = changes[0].substr(1);
  EXPECT_TRUE(std::regex_match(probe, kProbeName)) << probe;
  EXPECT_EQ(changes[1], "+tiny.log");
  EXPECT_EQ(changes[2], "-" + probe);
  EXPECT_EQ(FolderEntries(folder), std::vector<std::string>({"tiny.log"}));
  EXPECT_TRUE(EveryoneReadsOnly(ReadAccessList(path), 0));

  // Appending keeps what is there; truncating starts the file again.
  stream = OpenLogStream(place, "tiny.log", false, security.get());
  ASSERT_NE(stream, nullptr);
  fputs("two\r\n", stream);
  fclose(stream);
  EXPECT_EQ(ReadWholeFile(path), "one\r\ntwo\r\n");
  stream = OpenLogStream(place, "tiny.log", true, security.get());
  ASSERT_NE(stream, nullptr);
  fclose(stream);
  EXPECT_EQ(ReadWholeFile(path), "");
  EXPECT_EQ(FolderEntries(folder), std::vector<std::string>({"tiny.log"}));
}

TEST(LogOpenerTest, PlainPathOpensSharedWithoutProbe) {
  ScratchFolder scratch("bastion_log_plain");
  std::string folder = scratch / "a\\b\\c";
  LogFolder place;
  ASSERT_TRUE(place.Open(scratch.path(), "a\\b/c", nullptr));
  EXPECT_TRUE(PathExists(folder));

  FolderWatch watch(folder);
  FILE* stream = OpenLogStream(place, "tiny.log", false, nullptr);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(watch.Collect(), std::vector<std::string>({"+tiny.log"}));
  EXPECT_FALSE(HeldWithReadAccess(folder + "\\tiny.log"));
  // Others may read and write while the log is open.
  HANDLE other = CreateFileA((folder + "\\tiny.log").c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(other, INVALID_HANDLE_VALUE);
  CloseHandle(other);
  fclose(stream);
}

TEST(LogOpenerTest, FolderCreationFailsOnEmptyPathAndOnAFileInTheWay) {
  ScratchFolder scratch("bastion_log_folders");
  LogFolder place;
  EXPECT_FALSE(place.Open("", "Veltrion", nullptr));
  FILE* blocker = fopen((scratch / "file").c_str(), "wb");
  ASSERT_NE(blocker, nullptr);
  fclose(blocker);
  InheritableSecurity security;
  EXPECT_FALSE(place.Open(scratch.path(), "file\\sub", nullptr));
  EXPECT_FALSE(place.Open(scratch.path(), "file", security.get())) << "a file is no folder";
  EXPECT_FALSE(place.IsOpen());
  EXPECT_TRUE(place.Open(scratch.path(), "", security.get())) << "existing folder succeeds";
  EXPECT_TRUE(place.Open(scratch / "missing\\local", "Veltrion", nullptr)) << "anchor made";
  EXPECT_TRUE(PathExists(scratch / "missing\\local\\Veltrion"));
}

// Without an opened folder nothing is probed or opened.
TEST(LogOpenerTest, NoFolderNoOpening) {
  ScratchFolder scratch("bastion_log_noprobe");
  InheritableSecurity security;
  LogFolder place;
  EXPECT_EQ(OpenLogStream(place, "tiny.log", false, security.get()), nullptr);
  EXPECT_EQ(RenameLogFile(place, "tiny.log", "tiny.1.log"), LogRename::kFailed);
  EXPECT_TRUE(FolderEntries(scratch.path()).empty());
}

TEST(LogOpenerTest, OpeningAFolderFailsOnBothPaths) {
  ScratchFolder scratch("bastion_log_isfolder");
  CreateDirectoryA((scratch / "tiny.log").c_str(), nullptr);
  InheritableSecurity security;
  LogFolder place;
  ASSERT_TRUE(place.Open(scratch.path(), "", nullptr));
  EXPECT_EQ(OpenLogStream(place, "tiny.log", false, nullptr), nullptr);
  EXPECT_EQ(OpenLogStream(place, "tiny.log", false, security.get()), nullptr);
  EXPECT_EQ(FolderEntries(scratch.path()), std::vector<std::string>({"tiny.log"})) << "no probe left";
}

TEST(LogFileTest, OpenCreatesFoldersAndTruncatesOnlyWhenAsked) {
  ScratchFolder scratch("bastion_log_file");
  LogFile file([]() -> const SECURITY_ATTRIBUTES* { return nullptr; });
  ASSERT_TRUE(file.Open(scratch.path(), "x\\y\\tiny.log", false));
  EXPECT_EQ(file.path(), scratch / "x\\y\\tiny.log");
  EXPECT_EQ(file.name(), "tiny.log");
  ASSERT_TRUE(file.Write("abc", 3));
  ASSERT_TRUE(file.Flush());
  EXPECT_EQ(file.Size(), 3u);
  ASSERT_TRUE(file.Reopen(false));
  EXPECT_EQ(file.Size(), 3u);
  ASSERT_TRUE(file.Reopen(true));
  EXPECT_EQ(file.Size(), 0u);
  file.Close();
  EXPECT_FALSE(file.Write("d", 1)) << "no stream, no write";
  EXPECT_EQ(file.Size(), 0u);
}

// A hard link is the one redirection Wine can make: the log's name then
// leads into another file, which must be neither written, emptied nor moved.
TEST(LogOpenerTest, HardLinkedLogFileIsLeftAlone) {
  ScratchFolder scratch("bastion_log_hardlink");
  std::string victim = scratch / "victim.txt";
  FILE* seed = fopen(victim.c_str(), "wb");
  ASSERT_NE(seed, nullptr);
  fputs("precious", seed);
  fclose(seed);
  LogFolder place;
  ASSERT_TRUE(place.Open(scratch.path(), "logs", nullptr));
  ASSERT_TRUE(CreateHardLinkA((scratch / "logs\\tiny.log").c_str(), victim.c_str(), nullptr));
  InheritableSecurity security;
  EXPECT_EQ(OpenLogStream(place, "tiny.log", true, nullptr), nullptr);
  EXPECT_EQ(OpenLogStream(place, "tiny.log", true, security.get()), nullptr);
  EXPECT_EQ(RenameLogFile(place, "tiny.log", "tiny.1.log"), LogRename::kNothingToRename);
  EXPECT_EQ(ReadWholeFile(victim), "precious");
  EXPECT_EQ(FolderEntries(scratch / "logs"), std::vector<std::string>({"tiny.log"}));
}

// While the log is open its folders cannot be renamed, so none can be
// swapped for a link between the checks and the writes; the rotation's
// renames go through the held folder.
TEST(LogFileTest, HeldFoldersCannotBeSwapped) {
  ScratchFolder scratch("bastion_log_held");
  LogFile file([]() -> const SECURITY_ATTRIBUTES* { return nullptr; });
  ASSERT_TRUE(file.Open(scratch.path(), "Veltrion\\BastionClientUI\\tiny.log", false));
  file.Close();
  for (const char* folder : {"Veltrion", "Veltrion\\BastionClientUI"}) {
    EXPECT_FALSE(MoveFileA((scratch / folder).c_str(), (scratch / "moved").c_str())) << folder;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << folder;
  }
  EXPECT_EQ(file.Rename("tiny.log", "tiny.1.log"), LogRename::kRenamed);
  EXPECT_EQ(file.Rename("tiny.log", "tiny.1.log"), LogRename::kNothingToRename);
  EXPECT_EQ(FolderEntries(scratch / "Veltrion\\BastionClientUI"),
            std::vector<std::string>({"tiny.1.log"}));
}

TEST(LogSecurityTest, OrdinaryUserGetsNoDescriptor) {
  // Wine's process token is an ordinary user's (S-1-5-21-0-0-0-1000).
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  EXPECT_FALSE(TokenUserIsLocalSystem(token));
  CloseHandle(token);
  EXPECT_FALSE(TokenUserIsLocalSystem(nullptr)) << "a failed query gives false";

  const LogSecurity& security = GetLogSecurity();
  EXPECT_EQ(&security, &GetLogSecurity());
  EXPECT_FALSE(security.runsAsLocalSystem);
  EXPECT_EQ(security.attributes.nLength, sizeof(SECURITY_ATTRIBUTES));
  EXPECT_EQ(security.attributes.lpSecurityDescriptor, nullptr);
  EXPECT_FALSE(security.attributes.bInheritHandle);
  EXPECT_EQ(LogSecurityAttributes(), nullptr);
}

}  // namespace

#include "platform/system_library.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win/trace_recorder.h"

using namespace bastion;

namespace {

TEST(SystemLibraryTest, LoadsFromTheSystemFolderAndBindsExports) {
  SystemLibrary kernel32(L"kernel32.dll");
  ASSERT_TRUE(kernel32.IsLoaded());
  EXPECT_EQ(kernel32.Bind("GetTickCount"), GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount"));
}

TEST(SystemLibraryTest, MissingExportIsNullAndTracedWithItsName) {
  TraceRecorder recorder;
  SystemLibrary kernel32(L"kernel32.dll");
  EXPECT_EQ(kernel32.Bind("NoSuchExportAnywhere"), nullptr);
  ASSERT_EQ(recorder.Named<SystemLibraryTrace>(), std::vector{SystemLibraryTrace::kFunctionNotFound});
  const TraceRecord& r = recorder.records().back();
  EXPECT_EQ(r.flag, trace::kComponents);
  EXPECT_EQ(r.Narrow(0), "NoSuchExportAnywhere");
  EXPECT_EQ(r.Value(1), static_cast<ULONG>(ERROR_PROC_NOT_FOUND));
}

TEST(SystemLibraryTest, LibraryBesideTheExeIsNeverLoaded) {
  // The plant is real: a bare-name load finds it beside the test binary.
  HMODULE planted = LoadLibraryW(L"bastion_fake.dll");
  ASSERT_NE(planted, nullptr);
  FreeLibrary(planted);

  TraceRecorder recorder;
  SystemLibrary fake(L"bastion_fake.dll");
  EXPECT_FALSE(fake.IsLoaded());
  EXPECT_EQ(fake.handle(), nullptr);
  EXPECT_EQ(recorder.Named<SystemLibraryTrace>(), std::vector{SystemLibraryTrace::kNotLoaded});
  EXPECT_EQ(recorder.records().back().Value(0), static_cast<ULONG>(ERROR_MOD_NOT_FOUND));

  void (*fn)() = nullptr;
  EXPECT_FALSE(BindExport(fake, "BastionFakeExport", fn));
  EXPECT_EQ(recorder.Named<SystemLibraryTrace>(), std::vector{SystemLibraryTrace::kNotLoaded})
      << "no lookup on an unloaded library";
}

TEST(SystemLibraryTest, PathThatDoesNotFitIsNotLoaded) {
  TraceRecorder recorder;
  std::wstring name(MAX_PATH, L'a');
  SystemLibrary tooLong(name.c_str());
  EXPECT_FALSE(tooLong.IsLoaded());
  EXPECT_EQ(recorder.Named<SystemLibraryTrace>(), std::vector{SystemLibraryTrace::kPathTooLong});
}

UINT WINAPI SystemFolderTooLongForTheBuffer(LPWSTR, UINT) { return MAX_PATH + 40; }

TEST(SystemLibraryTest, SystemFolderThatDoesNotFitIsNotUsed) {
  TraceRecorder recorder;
  SystemLibrary kernel32(L"kernel32.dll", SystemFolderTooLongForTheBuffer);
  EXPECT_FALSE(kernel32.IsLoaded());
  EXPECT_EQ(recorder.Named<SystemLibraryTrace>(), std::vector{SystemLibraryTrace::kSystemFolderNotObtained});
  EXPECT_EQ(recorder.records().back().Value(0), static_cast<ULONG>(ERROR_INSUFFICIENT_BUFFER));
}

}  // namespace

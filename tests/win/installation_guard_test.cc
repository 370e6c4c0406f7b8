#include "Src/VTDropper/installation_guard.h"

#include <gtest/gtest.h>

#include <string>

#include "win/process_runner.h"

using namespace bastion;

namespace {

TEST(InstallationGuardTest, BusyOnlyWhileAnotherProcessHoldsTheInstallerMutex) {
  EXPECT_FALSE(OpenInstallerMutex().IsValid());

  std::wstring name = L"BastionGuardTest" + std::to_wstring(GetCurrentProcessId());
  ScopedKernelHandle held(CreateEventW(nullptr, TRUE, FALSE, (name + L"_held").c_str()));
  ScopedKernelHandle release(CreateEventW(nullptr, TRUE, FALSE, (name + L"_release").c_str()));
  std::wstring line = L"\"" + TestDirectory() + L"installer_mutex_holder.exe\" " + name;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION holder = {};
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &holder));
  ScopedKernelHandle process(holder.hProcess);
  ScopedKernelHandle thread(holder.hThread);
  ASSERT_EQ(WaitForSingleObject(held.Get(), 30000), WAIT_OBJECT_0);

  {
    ScopedKernelHandle busy = OpenInstallerMutex();
    EXPECT_TRUE(busy.IsValid());
    // A test, not a wait: the mutex is owned by the holder all along.
    EXPECT_EQ(WaitForSingleObject(busy.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  }

  SetEvent(release.Get());
  ASSERT_EQ(WaitForSingleObject(process.Get(), 30000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.Get(), &exitCode);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_FALSE(OpenInstallerMutex().IsValid());
}

}  // namespace

// Calls OnButton with one of the page's texts, named by the argument, and
// reports whether it returned with RetryEvent set. When OnButton ends the
// process, its exit code is what the test reads.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "Src/VTDropper/process_globals.h"
#include "ui/web_instance.h"

using namespace bastion;

namespace {

const wchar_t* TextFor(const wchar_t* name) {
  static const struct {
    const wchar_t* name;
    const wchar_t* text;
  } kTexts[] = {
      {L"close", L"\r\n          CLOSE\r\n        "},
      {L"abort", L"ABORT"},
      {L"abort-button", L"Abort pressed"},
      {L"retry", L"RETRY"},
      {L"retry-lower", L"retry"},
      {L"abort-and-close", L"CLOSE ABORT"},
  };
  for (const auto& entry : kTexts) {
    if (std::wcscmp(entry.name, name) == 0) return entry.text;
  }
  return nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const wchar_t* text = argc > 1 ? TextFor(argv[1]) : nullptr;
  if (text == nullptr) return 100;
  SetRetryEvent(RetryEvent);
  BSTR button = SysAllocString(text);
  OnButton(button);
  SysFreeString(button);
  bool set = WaitForSingleObject(RetryEvent, 0) == WAIT_OBJECT_0;
  std::printf("returned retry=%d\n", set ? 1 : 0);
  std::fflush(stdout);
  return 0;
}

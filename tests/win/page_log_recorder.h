// A PageLog stand-in that keeps every formatted line, for checking the exact
// texts the window side logs.
#ifndef BASTION_TESTS_WIN_PAGE_LOG_RECORDER_H_
#define BASTION_TESTS_WIN_PAGE_LOG_RECORDER_H_

#include <windows.h>

#include <cstdarg>
#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

inline std::mutex& PageLogMutex() {
  static std::mutex mutex;
  return mutex;
}

inline std::vector<std::wstring>& PageLogLines() {
  static std::vector<std::wstring> lines;
  return lines;
}

inline void RecordPageLog(const wchar_t* format, ...) {
  wchar_t buffer[1024];
  va_list arguments;
  va_start(arguments, format);
  _vsnwprintf(buffer, 1023, format, arguments);
  va_end(arguments);
  buffer[1023] = L'\0';
  std::lock_guard<std::mutex> hold(PageLogMutex());
  PageLogLines().push_back(buffer);
}

inline std::vector<std::wstring> TakePageLog() {
  std::lock_guard<std::mutex> hold(PageLogMutex());
  return std::exchange(PageLogLines(), {});
}

#endif  // BASTION_TESTS_WIN_PAGE_LOG_RECORDER_H_

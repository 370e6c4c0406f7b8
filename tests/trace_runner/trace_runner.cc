// The product's twin for the trace-sequence tests: the same run as
// BastionSetup.exe (RunBastionSetup), with a capture sink that appends every trace message of
// the run to "trace.txt" beside the exe, one line each:
//   {GUID} number flag arg arg ...
// where an argument of four bytes prints as a decimal ULONG, a wide string
// as "w:<text>" and a narrow one as "n:<text>" (both UTF-8, up to the
// terminator). Signed, and stamped by the test fixture like the product.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "Src/VTDropper/entry.h"
#include "diagnostics/trace.h"

using namespace bastion;

namespace {

FILE* g_trace = nullptr;

std::string Utf8(const wchar_t* text, size_t length) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size : 0, '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), size, nullptr, nullptr);
  return out;
}

// A wide string's bytes end in two zero bytes and have an even count; every
// text the procedure traces is ASCII-led, so its second byte is zero too.
std::string Render(const trace::Argument& arg) {
  const char* bytes = static_cast<const char*>(arg.data);
  if (arg.size == sizeof(ULONG)) {
    ULONG value = 0;
    memcpy(&value, bytes, sizeof(value));
    return std::to_string(value);
  }
  if (arg.size >= 2 && arg.size % 2 == 0 && bytes[arg.size - 1] == 0 && bytes[arg.size - 2] == 0 &&
      (arg.size == 2 || bytes[1] == 0)) {
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes), arg.size / 2 - 1);
    return "w:" + Utf8(text.c_str(), text.size());
  }
  return "n:" + std::string(bytes, strnlen(bytes, arg.size));
}

void Capture(const GUID& guid, USHORT number, ULONG flag, const trace::Argument* args, size_t count) {
  if (g_trace == nullptr) return;
  fprintf(g_trace, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X} %u %lu", guid.Data1, guid.Data2,
          guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
          guid.Data4[6], guid.Data4[7], number, flag);
  for (size_t i = 0; i < count; ++i) fprintf(g_trace, " %s", Render(args[i]).c_str());
  fputc('\n', g_trace);
  fflush(g_trace);
}

void OpenTraceFile() {
  wchar_t path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  wchar_t* slash = wcsrchr(path, L'\\');
  if (slash == nullptr || static_cast<size_t>(slash + 1 - path) + 10 >= MAX_PATH) return;
  wcscpy(slash + 1, L"trace.txt");
  g_trace = _wfopen(path, L"w");
}

// Once the provider is registered: every message goes to "trace.txt".
void CaptureEverything() {
  OpenTraceFile();
  trace::testing::Block().flags = 0xFFFFFFFF;
  trace::testing::SetCaptureSink(Capture);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int exitCode = RunBastionSetup(argc, argv, {.onProviderRegistered = CaptureEverything});
  trace::testing::SetCaptureSink(nullptr);
  if (g_trace != nullptr) fclose(g_trace);
  return exitCode;
}

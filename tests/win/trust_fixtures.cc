#include "win/trust_fixtures.h"

#include <fstream>
#include <iterator>

#include "win/process_runner.h"

std::wstring FixturePath(const wchar_t* name) { return TestDirectory() + L"\\trust\\" + name; }

std::vector<BYTE> ReadBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::wstring& path) {
  const auto bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::string OneLinePem(const std::wstring& path) {
  std::string line;
  for (char c : ReadText(path)) {
    if (c != '\r' && c != '\n') line += c;
  }
  return line;
}

bool WriteBytes(const std::wstring& path, const std::vector<BYTE>& bytes) {
  std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

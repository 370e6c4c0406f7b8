// The files tests/win/make_trust_fixtures.sh made beside the tests.
#ifndef BASTION_TESTS_WIN_TRUST_FIXTURES_H_
#define BASTION_TESTS_WIN_TRUST_FIXTURES_H_

#include <windows.h>

#include <string>
#include <vector>

std::wstring FixturePath(const wchar_t* name);
std::vector<BYTE> ReadBytes(const std::wstring& path);
// A file's text with a terminating zero, as a PEM certificate is handed on.
std::string ReadText(const std::wstring& path);
// A certificate file as one line of PEM, the form the product pins.
std::string OneLinePem(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const std::vector<BYTE>& bytes);

// Wine starts its desktop process (explorer.exe /desktop) the first time a
// process asks about its window station, and hands it that process's
// standard error. Were that a test's pipe, reading the pipe to its end would
// never finish. So tests that start the product, or ask themselves, first
// let a product run whose standard handles are NUL bring the desktop up.
void StartDesktopQuietly();

#endif  // BASTION_TESTS_WIN_TRUST_FIXTURES_H_

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


#endif  // BASTION_TESTS_WIN_TRUST_FIXTURES_H_

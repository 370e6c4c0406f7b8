#include "Src/Httphelper/content_length.h"

#include <wchar.h>

namespace bastion {

namespace {

const wchar_t* SkipBlanks(const wchar_t* text) {
  while (*text == L' ' || *text == L'\t') ++text;
  return text;
}

// Decimal digits at `text`, moving it past them; false without any or on
// overflow.
bool ReadNumber(const wchar_t*& text, uint64_t& value) {
  uint64_t result = 0;
  const wchar_t* start = text;
  for (; *text >= L'0' && *text <= L'9'; ++text) {
    uint64_t digit = static_cast<uint64_t>(*text - L'0');
    if (result > (UINT64_MAX - digit) / 10) return false;
    result = result * 10 + digit;
  }
  if (text == start) return false;
  value = result;
  return true;
}

constexpr size_t kMaxValidator = 256;

bool Printable(const wchar_t* text) {
  size_t length = wcslen(text);
  if (length == 0 || length > kMaxValidator) return false;
  for (size_t i = 0; i < length; ++i)
    if (text[i] < 0x20 || text[i] > 0x7E) return false;
  return true;
}

}  // namespace

bool ParseContentLength(const wchar_t* text, uint64_t& value) {
  if (text == nullptr) return false;
  text = SkipBlanks(text);
  uint64_t result = 0;
  if (!ReadNumber(text, result)) return false;
  if (*SkipBlanks(text) != L'\0') return false;
  value = result;
  return true;
}

bool ParseContentRange(const wchar_t* text, ContentRange& range) {
  if (text == nullptr) return false;
  text = SkipBlanks(text);
  if (wcsncmp(text, L"bytes", 5) != 0 || (text[5] != L' ' && text[5] != L'\t')) return false;
  text = SkipBlanks(text + 5);
  ContentRange found;
  if (!ReadNumber(text, found.first) || *text++ != L'-' || !ReadNumber(text, found.last) || *text++ != L'/' ||
      !ReadNumber(text, found.total) || *SkipBlanks(text) != L'\0')
    return false;
  if (found.first > found.last || found.last >= found.total) return false;
  range = found;
  return true;
}

std::wstring ResumeValidator(const wchar_t* etag, const wchar_t* lastModified) {
  if (etag != nullptr && Printable(etag)) {
    size_t length = wcslen(etag);
    if (length >= 2 && etag[0] == L'"' && etag[length - 1] == L'"') return etag;
  }
  if (lastModified != nullptr && Printable(lastModified)) return lastModified;
  return {};
}

}  // namespace bastion

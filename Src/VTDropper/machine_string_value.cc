#include "Src/VTDropper/machine_string_value.h"

#include <string.h>

#include <string>

namespace bastion {

namespace {

// False for bytes that are not UTF-8.
bool Utf8ToWide(const char* text, std::wstring* wide) {
  wide->clear();
  int length = static_cast<int>(strlen(text));
  if (length == 0) return true;
  int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
  if (count <= 0) return false;
  wide->resize(static_cast<size_t>(count));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, wide->data(), count) == count;
}

class ScopedKey {
 public:
  ScopedKey() = default;
  ~ScopedKey() {
    if (key_) RegCloseKey(key_);
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  HKEY* Receive() { return &key_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

LSTATUS SetMachineStringValue(const char* keyPath, const char* valueName, const char* value) {
  std::wstring widePath, wideName, wideValue;
  if (!Utf8ToWide(keyPath, &widePath) || !Utf8ToWide(valueName, &wideName) ||
      !Utf8ToWide(value, &wideValue))
    return ERROR_NO_UNICODE_TRANSLATION;

  ScopedKey key;
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, widePath.c_str(), 0, KEY_WRITE, key.Receive());
  if (status == ERROR_FILE_NOT_FOUND) {
    status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, widePath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr);
  }
  if (status != ERROR_SUCCESS) return status;
  return RegSetValueExW(key.Get(), wideName.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(wideValue.c_str()),
                        static_cast<DWORD>(wideValue.size() * sizeof(wchar_t)));
}

}  // namespace bastion

#include "Src/VTDropper/machine_string_value.h"

#include <string>

#include "platform/text.h"

namespace bastion {

namespace {

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
  const auto widePath = Utf8ToWide(keyPath, InvalidUtf8::kRefuse);
  const auto wideName = Utf8ToWide(valueName, InvalidUtf8::kRefuse);
  const auto wideValue = Utf8ToWide(value, InvalidUtf8::kRefuse);
  if (!widePath || !wideName || !wideValue) return ERROR_NO_UNICODE_TRANSLATION;

  ScopedKey key;
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, widePath->c_str(), 0, KEY_WRITE, key.Receive());
  if (status == ERROR_FILE_NOT_FOUND) {
    status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, widePath->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr);
  }
  if (status != ERROR_SUCCESS) return status;
  return RegSetValueExW(key.Get(), wideName->c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(wideValue->c_str()),
                        static_cast<DWORD>(wideValue->size() * sizeof(wchar_t)));
}

}  // namespace bastion

// The VPN value in HKLM: key creation, UTF-8 text, and empty configurations.
#include "Src/VTDropper/machine_string_value.h"

#include <gtest/gtest.h>

#include <string>

#include "Src/VTDropper/vpn_configuration.h"

using namespace bastion;

namespace {

constexpr wchar_t kKey[] = L"SOFTWARE\\Veltrion\\Bastion Security";

class MachineStringValueTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Veltrion"); }
  void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Veltrion"); }

  // The stored text; "<absent>" when missing.
  static std::wstring Read(DWORD* type = nullptr) {
    wchar_t data[512] = {};
    DWORD size = sizeof(data);
    DWORD valueType = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kKey, L"VPNConfig", RRF_RT_ANY, &valueType, data, &size) != ERROR_SUCCESS)
      return L"<absent>";
    if (type) *type = valueType;
    return data;
  }
};

TEST_F(MachineStringValueTest, CreatesTheMissingKeyAndStoresAsciiUnchanged) {
  ASSERT_EQ(Read(), L"<absent>");
  EXPECT_EQ(SetMachineStringValue(kVpnKeyPath, kVpnValueName, "gateway=vpn.example;port=443"), ERROR_SUCCESS);
  DWORD type = 0;
  EXPECT_EQ(Read(&type), L"gateway=vpn.example;port=443");
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

  // The narrow view of an ASCII value is byte for byte the text given.
  char narrow[64] = {};
  DWORD size = sizeof(narrow);
  ASSERT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, kVpnKeyPath, kVpnValueName, RRF_RT_REG_SZ, nullptr, narrow, &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(narrow, "gateway=vpn.example;port=443");
}

TEST_F(MachineStringValueTest, NonAsciiTextReadsBackUnchanged) {
  // "Grüße – 東京" in UTF-8, as the configuration document carries it.
  const char utf8[] = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x93 \xE6\x9D\xB1\xE4\xBA\xAC";
  EXPECT_EQ(SetMachineStringValue(kVpnKeyPath, kVpnValueName, utf8), ERROR_SUCCESS);
  EXPECT_EQ(Read(), L"Gr\u00FC\u00DFe \u2013 \u6771\u4EAC");
}

TEST_F(MachineStringValueTest, TextThatIsNotUtf8IsRefusedAndNothingWritten) {
  EXPECT_EQ(SetMachineStringValue(kVpnKeyPath, kVpnValueName, "caf\xE9"),
            static_cast<LSTATUS>(ERROR_NO_UNICODE_TRANSLATION));
  EXPECT_EQ(Read(), L"<absent>");
}

TEST_F(MachineStringValueTest, EmptyVpnConfigurationLeavesAnExistingValueAlone) {
  EXPECT_FALSE(StoreVpnConfiguration(""));
  EXPECT_EQ(Read(), L"<absent>");
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);

  EXPECT_TRUE(StoreVpnConfiguration("first"));
  EXPECT_FALSE(StoreVpnConfiguration(""));
  EXPECT_EQ(Read(), L"first");
  EXPECT_TRUE(StoreVpnConfiguration("second"));
  EXPECT_EQ(Read(), L"second");
}

}  // namespace

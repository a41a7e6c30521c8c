#include <gtest/gtest.h>

#include "common/Profile.h"
#include "res/resource_ids.h"
#include "server/ServerAddress.h"

namespace {

class ServerAddressTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (UINT id : {IDS_URL_VERSIONCHECK, IDS_URL_NOTICE, IDS_URL_FILEUPDATE})
            scup::WriteProfileText(scup::kSettingsSection, scup::ServerAddressSettingName(id), L"");
    }
};

TEST_F(ServerAddressTest, DefaultsComeFromTheResourceLibrary) {
    for (UINT id : {IDS_URL_VERSIONCHECK, IDS_URL_NOTICE, IDS_URL_FILEUPDATE}) {
        std::wstring url = scup::ServerAddress(id);
        EXPECT_EQ(url.rfind(L"https://", 0), 0u) << url;
    }
    EXPECT_NE(scup::ServerAddress(IDS_URL_VERSIONCHECK), scup::ServerAddress(IDS_URL_NOTICE));
}

TEST_F(ServerAddressTest, EachProfileValueOverridesOnlyItsOwnAddress) {
    const std::wstring noticeDefault = scup::ServerAddress(IDS_URL_NOTICE);
    ASSERT_TRUE(
        scup::WriteProfileText(scup::kSettingsSection, L"VersionCheckURL", L"http://127.0.0.2:8080/vc"));
    EXPECT_EQ(scup::ServerAddress(IDS_URL_VERSIONCHECK), L"http://127.0.0.2:8080/vc");
    EXPECT_EQ(scup::ServerAddress(IDS_URL_NOTICE), noticeDefault);
    ASSERT_TRUE(scup::WriteProfileText(scup::kSettingsSection, L"VersionCheckURL", L""));
    EXPECT_NE(scup::ServerAddress(IDS_URL_VERSIONCHECK), L"");
}

// What IT's administrative template writes, under the program's policy key.
class PolicyValues {
  public:
    PolicyValues() {
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, scup::PolicyKeyPath().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key_, nullptr);
    }
    ~PolicyValues() {
        RegCloseKey(key_);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, scup::PolicyKeyPath().c_str());
    }
    void SetText(const wchar_t* name, const std::wstring& value) {
        RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    void SetNumber(const wchar_t* name, DWORD value) {
        RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    }
    void Remove(const wchar_t* name) { RegDeleteValueW(key_, name); }

  private:
    HKEY key_ = nullptr;
};

TEST_F(ServerAddressTest, ThePolicyComesBeforeTheUsersProfileAndTheMachineSettings) {
    EXPECT_EQ(scup::PolicyKeyPath(), L"Software\\Policies\\Corvane Industries, Ltd.\\ScUpdaterTests");
    PolicyValues policy;
    ASSERT_TRUE(scup::WriteMachineSettingText(L"VersionCheckURL", L"https://machine.example/vc"));
    ASSERT_TRUE(
        scup::WriteProfileText(scup::kSettingsSection, L"VersionCheckURL", L"https://user.example/vc"));
    policy.SetText(L"VersionCheckURL", L"https://policy.example/vc");
    EXPECT_EQ(scup::ServerAddress(IDS_URL_VERSIONCHECK), L"https://policy.example/vc");
    policy.Remove(L"VersionCheckURL");
    EXPECT_EQ(scup::ServerAddress(IDS_URL_VERSIONCHECK), L"https://user.example/vc");
    ASSERT_TRUE(scup::WriteProfileText(scup::kSettingsSection, L"VersionCheckURL", L""));
    EXPECT_EQ(scup::ServerAddress(IDS_URL_VERSIONCHECK), L"https://machine.example/vc");
    // An empty policy value sets nothing.
    policy.SetText(L"VersionCheckURL", L"");
    EXPECT_EQ(scup::ServerAddress(IDS_URL_VERSIONCHECK), L"https://machine.example/vc");
    scup::WriteMachineSettingText(L"VersionCheckURL", L"");

    // The machine-wide settings: the policy's text, or its number (a template's decimal) as text.
    ASSERT_TRUE(scup::WriteMachineSettingText(L"BatteryThreshold", L"10"));
    EXPECT_EQ(scup::ReadMachineSettingText(L"BatteryThreshold"), L"10");
    policy.SetNumber(L"BatteryThreshold", 40);
    EXPECT_EQ(scup::ReadMachineSettingText(L"BatteryThreshold"), L"40");
    policy.SetText(L"SignatureCheck", L"on");
    ASSERT_TRUE(scup::WriteMachineSettingText(L"SignatureCheck", L"off"));
    EXPECT_EQ(scup::ReadMachineSettingText(L"SignatureCheck"), L"on");
    scup::WriteMachineSettingText(L"BatteryThreshold", L"");
    scup::WriteMachineSettingText(L"SignatureCheck", L"");
}

}  // namespace

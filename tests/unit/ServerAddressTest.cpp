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
    ASSERT_TRUE(scup::WriteProfileText(scup::kSettingsSection, L"VersionCheckURL", L"http://127.0.0.2:8080/vc"));
    EXPECT_EQ(scup::ServerAddress(IDS_URL_VERSIONCHECK), L"http://127.0.0.2:8080/vc");
    EXPECT_EQ(scup::ServerAddress(IDS_URL_NOTICE), noticeDefault);
    ASSERT_TRUE(scup::WriteProfileText(scup::kSettingsSection, L"VersionCheckURL", L""));
    EXPECT_NE(scup::ServerAddress(IDS_URL_VERSIONCHECK), L"");
}

}  // namespace

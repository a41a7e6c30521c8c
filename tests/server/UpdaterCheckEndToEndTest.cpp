// A check as the user starts it from the main dialog, against the real update server of the
// native tools with its demo catalog (run_with_server.sh starts it and hands its address over in
// SCUP_TEST_SERVER): a PC with a printer of the family and the label editor installed, the real
// update thread, local data and server exchanges, and the real dialog that shows the result.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "../unit/SimulatedPC.h"
#include "../unit/TestSupport.h"
#include "app/ScUpdaterApp.h"
#include "common/AUXMLParser.h"
#include "common/AppFiles.h"
#include "common/Profile.h"
#include "common/Text.h"
#include "res/resource_ids.h"
#include "server/AUHttpConnection.h"
#include "ui/UpdaterDialog.h"

namespace {

using namespace testing_support;

constexpr wchar_t kDriver[] = L"Corvane SC-200";
constexpr wchar_t kWaiting[] = L"Waiting for update events.";
constexpr wchar_t kThreadEnded[] = L"Exit : CAUManager::RunUpdate()";
const wchar_t* const kUrlSettings[] = {L"VersionCheckURL", L"NoticeURL", L"FileUpdateURL"};

std::wstring Environment(const wchar_t* name) {
    wchar_t value[512] = {};
    GetEnvironmentVariableW(name, value, 512);
    return value;
}

class UpdaterCheckEndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server_ = Environment(L"SCUP_TEST_SERVER");
        ASSERT_FALSE(server_.empty()) << "run through tests/server/run_with_server.sh";
        dir_ = MakeScratchFolder(L"updater-check");
        CAUXMLParser::SetDataFolderSource([this] { return dir_ + L"\\data\\"; });
        scup::WriteProfileText(L"Settings", L"VersionCheckURL", server_ + L"/scupdater/versioncheck");
        scup::WriteProfileText(L"Settings", L"NoticeURL", server_ + L"/scupdater/notice");
        scup::WriteProfileText(L"Settings", L"FileUpdateURL", server_ + L"/scupdater/fileupdate");
        pc_.AddFamilyPrinter(L"SC-200 on COM5", kDriver, 0x2107);
    }
    void TearDown() override {
        if (app_) {
            scup::UniqueHandle exit(OpenEventW(EVENT_MODIFY_STATE, FALSE, L"EXIT_EVENT"));
            if (exit) SetEvent(exit.get());
            EXPECT_TRUE(PumpUntil([&] { return trace_.Contains(kThreadEnded); }, 20000));
            app_->WaitForUpdateThread();
            app_->SetUpdaterDialog(nullptr);
        }
        dialog_.reset();
        app_.reset();
        for (const wchar_t* name : kUrlSettings) scup::WriteProfileText(L"Settings", name, L"");
        CAUHttpConnection::CloseSharedSession();
        CAUXMLParser::SetDataFolderSource({});
        scup::RemoveFolder(dir_);
    }

    void StartWithDialog(LCID locale) {
        AUServices services = AUServices::Defaults();
        services.runUpgrader = [] { return UpgradeResult::NotNeeded; };
        // The label editor 5.2 is what this PC has of the maker's applications.
        services.isPackageInstalled = [](const std::wstring& code) { return code == L"PP-SCEDIT52"; };
        app_ = std::make_unique<CScUpdaterApp>(services);
        auto local = services.createLocalData();
        ASSERT_TRUE(local->Initialize());
        app_->SetLocalData(std::move(local));
        app_->SetUnzip(std::make_unique<CUnzipHolder>(BinFolder()));
        app_->SetPrinter(kDriver);
        app_->SetLocale(locale);

        dialog_ = std::make_shared<CUpdaterDialog>(1033, kDriver, locale);
        dialog_->SetPrinters({kDriver});
        dialog_->SetUnzip(app_->Unzip());
        ASSERT_TRUE(dialog_->CreateModeless());
        ShowWindow(dialog_->GetSafeHwnd(), SW_SHOW);
        app_->SetUpdaterDialog(dialog_);
        app_->StartUpdateThread();
        ASSERT_TRUE(PumpUntil([&] { return trace_.Count(kWaiting) >= 1; }, 30000))
            << "the thread never waited";
    }

    // What the rows hold: every row is ticked for the look, then read back as the thread reads them.
    std::vector<SAUTickedRow> AllRows() {
        HWND list = GetDlgItem(dialog_->GetSafeHwnd(), IDC_UPD_LIST);
        const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < count; ++row) {
            LVITEMW item{};
            item.stateMask = LVIS_STATEIMAGEMASK;
            item.state = INDEXTOSTATEIMAGEMASK(2);
            SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        }
        return dialog_->GetTickedRows();
    }

    std::wstring server_;
    std::wstring dir_;
    SimulatedPC pc_;
    TraceCapture trace_;
    MessageBoxCapture messages_;
    std::unique_ptr<CScUpdaterApp> app_;
    std::shared_ptr<CUpdaterDialog> dialog_;
};

TEST_F(UpdaterCheckEndToEndTest, SoftwareCheckListsTheCatalogsApplicationsForTheRegion) {
    StartWithDialog(1033);
    scup::UniqueHandle check(OpenEventW(EVENT_MODIFY_STATE, FALSE, L"CHECK_EVENT"));
    ASSERT_TRUE(check);
    SetEvent(check.get());
    ASSERT_TRUE(PumpUntil([&] { return trace_.Count(kWaiting) >= 2; }, 60000)) << "the check did not end";
    EXPECT_TRUE(PumpUntil([&] { return dialog_->m_bIdle.load() == 1; }));
    PumpFor(200);
    for (const CapturedMessage& message : messages_.Messages())
        ADD_FAILURE() << "message: " << scup::ToUtf8(message.text);

    const std::vector<SAUTickedRow> rows = AllRows();
    ASSERT_FALSE(rows.empty()) << "the catalog offers the label editor for ENU";
    std::vector<std::wstring> codes;
    for (const SAUTickedRow& row : rows) {
        EXPECT_EQ(row.record.info.strCategory, L"PCS") << "the software view lists applications only";
        EXPECT_EQ(row.record.info.strSpec.substr(0, 4), L"ENU_") << "the region's language";
        EXPECT_FALSE(row.record.strTitle.empty());
        EXPECT_NE(row.record.strLink.find(L"download.aspx?model="), std::wstring::npos);
        codes.push_back(row.record.info.strId);
    }
    EXPECT_NE(std::find(codes.begin(), codes.end(), L"PP-SCEDIT52"), codes.end());
    EXPECT_EQ(std::count(codes.begin(), codes.end(), L"PP-SCEDIT52"), 1) << "one edition of the editor";
    EXPECT_EQ(std::find(codes.begin(), codes.end(), L"FP-MAIN"), codes.end());
}

}  // namespace

// The self-upgrade as the update thread runs it: the real confirmation dialog, driven as a user
// would; the package fetched and checked; the installed updater really started, elevated, on the
// checked package. The installed "ScUpdater.exe" is the recording stand-in, so the start and its
// command line are what it writes down.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "DialogDriver.h"
#include "TestSupport.h"
#include "UpgradeTestSupport.h"
#include "ZipWriter.h"
#include "app/ScUpdaterApp.h"
#include "common/AppFiles.h"
#include "common/LangResources.h"
#include "common/Profile.h"
#include "common/Text.h"
#include "local/AUCrypt.h"
#include "local/AULocalData.h"
#include "res/install_ids.h"
#include "res/resource_ids.h"
#include "res/selfupdate_ids.h"

namespace {

using namespace testing_support;

constexpr wchar_t kPackageUrl[] = L"http://updates.example.test/scupdater/files/updater/ScUpdater-1.2.1.zip";

std::string Checksum(const std::string& bytes) {
    std::wstring base64;
    CAUCrypt::GetBase64EncodedHash(reinterpret_cast<const BYTE*>(bytes.data()),
                                   static_cast<DWORD>(bytes.size()), base64);
    return std::string(base64.begin(), base64.end());
}

class RunUpgraderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        record_ = MakeScratchFolder(L"upgrade-record") + L"\\started.txt";
        installed_ = MakeScratchFolder(L"upgrade-installed");
        WriteTextFile(installed_ + L"\\ScUpdater.exe", ReadTextFile(BinFolder() + L"record_args.exe"));
        SetEnvironmentVariableW(L"SCUP_RECORD_FILE", record_.c_str());
        downloads_ = scup::GetDataFolder(L"DownloadedFiles");
        scup::RemoveFolder(downloads_);
        exit_.reset(CreateEventW(nullptr, TRUE, FALSE, L"EXIT_EVENT"));
        ResetEvent(exit_.get());

        app_ = std::make_unique<CScUpdaterApp>(AUServices{});
        app_->SetLanguage(1033);
        app_->SetPrinter(L"Corvane SC-200");
        app_->SetUnzip(std::make_unique<CUnzipHolder>(BinFolder()));
        app_->SetInstalledFolder(installed_);
        app_->SetLocalData(std::make_unique<CAULocalData>());
        auto server = std::make_unique<PackageServer>();
        server_ = server.get();
        app_->SetServerData(std::move(server));
        server_->AnnounceUpdaterVersion(L"1.2.1");
        server_->notice.strDownloadURL = kPackageUrl;
        SetPackage(ZipWriter()
                       .Deflated("ScUpdater.exe", ReadTextFile(BinFolder() + L"record_args.exe"))
                       .Stored("ScUpRes.dll", "new resources")
                       .Bytes());
        scup::WriteMachineSettingText(L"PackageVersion", L"1.2");
    }
    void TearDown() override {
        if (worker_.joinable()) worker_.join();
        SetEnvironmentVariableW(L"SCUP_RECORD_FILE", nullptr);
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, scup::MachineSettingsKeyPath().c_str(), L"PackageVersion");
        scup::RemoveFolder(installed_);
        scup::RemoveFolder(downloads_);
        ResetEvent(exit_.get());
    }
    void SetPackage(const std::string& bytes) {
        server_->body = bytes;
        const std::string checksum = Checksum(bytes);
        server_->notice.strCheckSum = std::wstring(checksum.begin(), checksum.end());
    }
    // Runs the self-upgrade on a thread of its own, as the update thread does.
    void StartUpgrader() {
        worker_ = std::thread([this] {
            workerId_ = GetCurrentThreadId();
            result_ = app_->RunUpgrader();
            done_ = true;
        });
        WaitFor([this] { return workerId_ != 0; });
    }
    HWND WaitForQuestion() { return WaitForThreadDialog(workerId_, IDC_SELF_UPDATE_TEXT, 15000); }
    UpgradeResult Result() {
        EXPECT_TRUE(WaitFor([this] { return done_.load(); }, 60000)) << "the self-upgrade did not end";
        if (worker_.joinable()) worker_.join();
        return result_;
    }
    // The command line the staged copy was started with, once it has written it.
    std::string StartedWith() {
        PumpUntil(
            [&] {
                std::string line = ReadTextFile(record_);
                return !line.empty() && line.back() == '\n';
            },
            20000);
        std::string line = ReadTextFile(record_);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        return line;
    }
    // Accepts in the dialog and expects the installed updater started on the package.
    void AcceptAndExpectStart(const std::string& ending) {
        StartUpgrader();
        HWND question = WaitForQuestion();
        ASSERT_NE(question, nullptr) << "no confirmation dialog";
        ClickButton(question, IDOK);
        ASSERT_EQ(Result(), UpgradeResult::Started);
        EXPECT_TRUE(app_->KeepsDownloads());

        const std::wstring package = downloads_ + L"\\ScUpdater-1.2.1.zip";
        EXPECT_EQ(StartedWith(),
                  "-UPDATE \"" + scup::ToUtf8(installed_) + "\" \"" + scup::ToUtf8(package) + ending);
    }

    std::unique_ptr<CScUpdaterApp> app_;
    PackageServer* server_ = nullptr;
    std::wstring record_, downloads_, installed_;
    scup::UniqueHandle exit_;
    std::thread worker_;
    std::atomic<DWORD> workerId_{0};
    std::atomic<bool> done_{false};
    UpgradeResult result_ = UpgradeResult::NotNeeded;
};

TEST_F(RunUpgraderTest, AcceptedUpgradeStartsTheInstalledUpdaterOnTheCheckedPackage) {
    AcceptAndExpectStart("\" \"1.2.1\"");
    // The package stays in the download folder with the statement it was checked against, for the
    // installed updater to check again; nothing of it runs from the user's folder.
    EXPECT_EQ(ReadTextFile(downloads_ + L"\\ScUpdater-1.2.1.zip"), server_->body);
    EXPECT_EQ(ReadTextFile(downloads_ + L"\\ScUpdater-1.2.1.zip.sig").rfind("ScUpdater statement 1\n", 0),
              0u);
    std::vector<std::wstring> downloaded = scup::PlainFilesOf(downloads_);
    std::sort(downloaded.begin(), downloaded.end());
    EXPECT_EQ(downloaded, (std::vector<std::wstring>{L"ScUpdater-1.2.1.zip", L"ScUpdater-1.2.1.zip.sig"}));
    EXPECT_EQ(server_->notices, 1);
}

TEST_F(RunUpgraderTest, InEditorModeTheInstalledUpdaterGetsTheEditorSwitch) {
    app_->SetEditorMode(true);
    AcceptAndExpectStart("\" \"1.2.1\" -EDITOR");
}

TEST_F(RunUpgraderTest, TheQuestionIsTheLanguagesDialogWithTheInformationIcon) {
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, scup::MachineSettingsKeyPath().c_str(), L"PackageVersion");
    app_->SetLanguage(1041);
    StartUpgrader();
    HWND question = WaitForQuestion();
    ASSERT_NE(question, nullptr) << "no version recorded: the upgrade must be proposed";
    EXPECT_EQ(TextOf(question), scup::AppTitle(1041));
    EXPECT_EQ(TextOf(question, IDOK), L"OK");
    EXPECT_EQ(TextOf(question, IDCANCEL), L"キャンセル");
    EXPECT_NE(SendDlgItemMessageW(question, IDC_SELF_UPDATE_ICON, STM_GETICON, 0, 0), 0);
    ClickButton(question, IDCANCEL);
    EXPECT_EQ(Result(), UpgradeResult::Declined) << "declining ends the program";
    EXPECT_EQ(server_->notices, 0);
    EXPECT_FALSE(FileExists(record_));
}

TEST_F(RunUpgraderTest, ACurrentUpdaterOrAServerWithoutVersionAsksNothing) {
    struct Case {
        const wchar_t* installed;
        const wchar_t* offered;
    };
    for (const Case& c :
         {Case{L"1.2.1", L"1.2"}, Case{L"1.2.1", L"1.2.1"}, Case{L"", L""}, Case{L"1.0", L""}}) {
        if (*c.installed)
            scup::WriteMachineSettingText(L"PackageVersion", c.installed);
        else
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, scup::MachineSettingsKeyPath().c_str(), L"PackageVersion");
        server_->AnnounceUpdaterVersion(c.offered);
        TraceCapture trace;
        EXPECT_EQ(app_->RunUpgrader(), UpgradeResult::NotNeeded) << c.installed << " / " << c.offered;
        EXPECT_EQ(server_->notices, 0);
        if (*c.offered) {
            EXPECT_TRUE(trace.Contains(L"Local Upgrader Version is latest."));
        }
    }
}

// The version an upgrade recorded may lag behind the program (the write failed): an offer that is
// not newer than the program that runs (these tests run as 1.1.0) is no upgrade either.
TEST_F(RunUpgraderTest, AnOfferNoNewerThanTheProgramThatRunsAsksNothingWhateverWasRecorded) {
    ASSERT_EQ(CAULocalData::GetProgramFileVersion(), L"1.1.0.0");
    scup::WriteMachineSettingText(L"PackageVersion", L"1.0");
    for (const wchar_t* offered : {L"1.1.0", L"1.1", L"1.0.5"}) {
        server_->AnnounceUpdaterVersion(offered);
        TraceCapture trace;
        EXPECT_EQ(app_->RunUpgrader(), UpgradeResult::NotNeeded) << offered;
        EXPECT_EQ(server_->notices, 0);
        EXPECT_TRUE(trace.Contains(L"The offered updater " + std::wstring(offered) +
                                   L" is not newer than the one that runs (1.1.0.0)."));
    }
}

TEST(ProgramFileVersion, IsReadFromTheProgramsVersionAndIsEmptyWithoutOne) {
    EXPECT_EQ(CAULocalData::GetProgramFileVersion(BinFolder() + L"ScUpdater.exe"), SCUP_PROGRAM_FILE_VERSION);
    EXPECT_EQ(CAULocalData::GetProgramFileVersion(BinFolder() + L"previous\\ScUpdater.exe"), L"0.9.0.0");
    EXPECT_EQ(CAULocalData::GetProgramFileVersion(BinFolder() + L"record_args.exe"), L"");
    EXPECT_EQ(CAULocalData::GetProgramFileVersion(BinFolder() + L"no-such-program.exe"), L"");
}

TEST_F(RunUpgraderTest, ExitRequestedBeforeTheQuestionEndsWithoutAsking) {
    SetEvent(exit_.get());
    StartUpgrader();
    EXPECT_EQ(Result(), UpgradeResult::Declined);
    EXPECT_EQ(FindThreadDialog(workerId_, IDC_SELF_UPDATE_TEXT), nullptr);
    EXPECT_EQ(server_->notices, 0);
}

TEST_F(RunUpgraderTest, APackageThatFailsTheHashCheckIsNeitherStagedNorStarted) {
    std::string changed = server_->body;
    changed[changed.size() / 2] ^= 0x20;
    server_->body = changed;
    MessageBoxCapture boxes;
    StartUpgrader();
    HWND question = WaitForQuestion();
    ASSERT_NE(question, nullptr);
    ClickButton(question, IDOK);
    EXPECT_EQ(Result(), UpgradeResult::NotObtained) << "the program goes on with the old updater";
    ASSERT_EQ(boxes.Messages().size(), 1u);
    EXPECT_EQ(boxes.Messages()[0].text, scup::LoadLangString(IDS_MSG_UPDATER_NOT_SIGNED, 1033));
    EXPECT_FALSE(FileExists(downloads_ + L"\\ScUpdater.exe"));
    EXPECT_FALSE(FileExists(downloads_ + L"\\ScUpdater-1.2.1.zip"));
    EXPECT_FALSE(app_->KeepsDownloads());
    PumpFor(1000);
    EXPECT_FALSE(FileExists(record_));
}

// The signed statement passes (the server's key was taken), but the updater inside the package does
// not carry the publisher's Authenticode signature: it is neither staged nor started.
TEST_F(RunUpgraderTest, AnUpdaterWithoutThePublishersAuthenticodeSignatureIsNeitherStagedNorStarted) {
    SetPackage(ZipWriter()
                   .Deflated("ScUpdater.exe", ReadTextFile(BinFolder() + L"trustca.exe"))
                   .Stored("ScUpRes.dll", "new resources")
                   .Bytes());
    MessageBoxCapture boxes;
    StartUpgrader();
    HWND question = WaitForQuestion();
    ASSERT_NE(question, nullptr);
    ClickButton(question, IDOK);
    EXPECT_EQ(Result(), UpgradeResult::NotObtained) << "the program goes on with the old updater";
    ASSERT_EQ(boxes.Messages().size(), 1u);
    EXPECT_EQ(boxes.Messages()[0].text, scup::LoadLangString(IDS_MSG_UPDATER_NOT_SIGNED, 1033));
    EXPECT_EQ(app_->UpgradeRefusal(),
              L"not Authenticode-signed by the maker's publisher (no Authenticode signature)");
    EXPECT_FALSE(FileExists(downloads_ + L"\\ScUpdater.exe"));
    EXPECT_FALSE(app_->KeepsDownloads());
    PumpFor(1000);
    EXPECT_FALSE(FileExists(record_));
}

TEST_F(RunUpgraderTest, APackageWithoutTheUpdaterGivesSixAndStartsNothing) {
    SetPackage(ZipWriter().Stored("ScUpRes.dll", "resources only").Bytes());
    MessageBoxCapture boxes;
    StartUpgrader();
    HWND question = WaitForQuestion();
    ASSERT_NE(question, nullptr);
    ClickButton(question, IDOK);
    EXPECT_EQ(Result(), UpgradeResult::NotStaged);
    EXPECT_TRUE(boxes.Messages().empty()) << "a failed unpack is silent";
    EXPECT_FALSE(FileExists(downloads_ + L"\\ScUpRes.dll"));
    EXPECT_FALSE(app_->KeepsDownloads());
    PumpFor(1000);
    EXPECT_FALSE(FileExists(record_));
}

}  // namespace

// The pieces of the self-upgrade on the running updater's side: where the package is stored, the
// hash check that decides whether it may be used, unpacking it, and the command line
// the installed updater is started with to complete it.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include "TestSupport.h"
#include "UpgradeTestSupport.h"
#include "ZipWriter.h"
#include "app/AUAppUpgrader.h"
#include "app/AUCommandLineInfo.h"
#include "app/ScUpdaterApp.h"
#include "app/UpgraderFiles.h"
#include "common/AppFiles.h"
#include "common/LangResources.h"
#include "res/install_ids.h"
#include "res/resource_ids.h"

namespace {

using namespace testing_support;

// SHA-256 of "abc" (the FIPS 180-2 example) in Base64.
constexpr char kAbc[] = "abc";
constexpr wchar_t kAbcChecksum[] = L"ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=";
constexpr wchar_t kPackageUrl[] = L"http://updates.example.test/scupdater/files/updater/ScUpdater-1.2.1.zip";

std::vector<std::wstring> ParseArguments(const std::wstring& parameters) {
    std::vector<std::wstring> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW((L"ScUpdater.exe " + parameters).c_str(), &count);
    for (int i = 1; i < count; ++i) args.emplace_back(argv[i]);
    LocalFree(argv);
    return args;
}

TEST(UpgraderPaths, FolderOfAPathKeepsTheRootSeparator) {
    EXPECT_EQ(scup::GetFolderOfPath(L"C:\\Program Files\\ScUpdater\\ScUpdater.exe"),
              L"C:\\Program Files\\ScUpdater");
    EXPECT_EQ(scup::GetFolderOfPath(L"C:/data/pkg.zip"), L"C:/data");
    EXPECT_EQ(scup::GetFolderOfPath(L"C:\\ScUpdater.exe"), L"C:\\");
    EXPECT_EQ(scup::GetFolderOfPath(L"\\ScUpdater.exe"), L"\\");
    EXPECT_EQ(scup::GetFolderOfPath(L"\\\\server\\share\\ScUpdater.exe"), L"\\\\server\\share");
    EXPECT_EQ(scup::GetFolderOfPath(L"ScUpdater.exe"), L"");
}

TEST(UpgraderPaths, PackageIsStoredUnderTheLastSegmentOfItsAddressOnly) {
    EXPECT_EQ(scup::PackageFileName(kPackageUrl), L"ScUpdater-1.2.1.zip");
    EXPECT_EQ(scup::PackageFileName(L"http://h/a/b/pkg.zip"), L"pkg.zip");
    // Nothing an address says may put the file anywhere but in the download folder.
    EXPECT_EQ(scup::PackageFileName(L"http://h/files/..\\..\\Start Menu\\evil.exe"), L"");
    EXPECT_EQ(scup::PackageFileName(L"http://h/files/C:evil.exe"), L"");
    EXPECT_EQ(scup::PackageFileName(L"http://h/files/.."), L"");
    EXPECT_EQ(scup::PackageFileName(L"http://h/files/"), L"");
    EXPECT_EQ(scup::PackageFileName(L"http://h/get?file=pkg.zip"), L"");
    for (const wchar_t* device :
         {L"CON", L"nul.zip", L"COM1.zip", L"LPT1", L"AUX.exe", L"pkg.zip.", L"pkg.zip "})
        EXPECT_EQ(scup::PackageFileName(std::wstring(L"http://h/files/") + device), L"") << device;
}

TEST(RelaunchCommandLine, CarriesTheThreeFoldersAndVersionThroughTheParser) {
    const std::wstring installed = L"C:\\Program Files\\Corvane\\ScUpdater";
    const std::wstring unpacked = L"C:\\users\\me\\Temp\\SU46364.512345678";
    const std::wstring parameters = scup::BuildUpdateParameters(installed, unpacked, L"1.2.1", false);
    EXPECT_EQ(parameters, L"-UPDATE \"" + installed + L"\" \"" + unpacked + L"\" \"1.2.1\"");

    CAUCommandLineInfo info;
    ParseCommandLine(info, ParseArguments(parameters));
    EXPECT_TRUE(info.m_bUpdate);
    EXPECT_TRUE(info.m_bWaitForPrevious);
    EXPECT_FALSE(info.m_bEditor);
    EXPECT_EQ(info.m_strUpdateTarget, installed);
    EXPECT_EQ(info.m_strUpdateSource, unpacked);
    EXPECT_EQ(info.m_strUpdateVersion, L"1.2.1");
}

TEST(RelaunchCommandLine, EditorModeEndsInTheEditorSwitch) {
    const std::wstring parameters = scup::BuildUpdateParameters(L"C:\\A", L"C:\\B", L"2.0", true);
    EXPECT_EQ(parameters, L"-UPDATE \"C:\\A\" \"C:\\B\" \"2.0\" -EDITOR");
    CAUCommandLineInfo info;
    ParseCommandLine(info, ParseArguments(parameters));
    EXPECT_TRUE(info.m_bEditor);
    EXPECT_EQ(info.m_strUpdateVersion, L"2.0");
}

TEST(RelaunchCommandLine, RootFoldersAndQuotesSurviveTheParser) {
    // A plain "C:\" in quotes would swallow the closing quote and the rest of the line.
    const std::wstring odd = L"D:\\odd \"name\"\\";
    const std::wstring parameters = scup::BuildUpdateParameters(L"C:\\", odd, L"1.0 \"beta\"", false);
    CAUCommandLineInfo info;
    ParseCommandLine(info, ParseArguments(parameters));
    EXPECT_EQ(info.m_strUpdateTarget, L"C:\\");
    EXPECT_EQ(info.m_strUpdateSource, odd);
    EXPECT_EQ(info.m_strUpdateVersion, L"1.0 \"beta\"");
    EXPECT_FALSE(info.m_bEditor);
}

class StagingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        work_ = MakeScratchFolder(L"staging");
        unzip_ = std::make_unique<CUnzipHolder>(BinFolder());
        ASSERT_TRUE(unzip_->m_hUnzip) << "unzip32.dll is not beside the tests";
    }
    void TearDown() override {
        unpacked_.reset();
        scup::RemoveFolder(work_);
    }
    std::wstring work_;
    std::unique_ptr<scup::CTemporaryFolder> unpacked_;
    std::unique_ptr<CUnzipHolder> unzip_;
};

TEST_F(StagingTest, UnpacksIntoAFreshFolderAndListsEveryFile) {
    ZipWriter()
        .Deflated("ScUpdater.exe", std::string(9000, 'x'))
        .Stored("ScUpRes.dll", "resources")
        .WriteTo(work_ + L"\\pkg.zip");
    std::vector<std::wstring> files;
    unpacked_ = scup::UnpackUpdaterPackage(unzip_.get(), work_ + L"\\pkg.zip", files);
    ASSERT_TRUE(unpacked_);
    const std::wstring folder = unpacked_->Path();
    EXPECT_EQ(files.size(), 2u);
    EXPECT_EQ(ReadTextFile(folder + L"\\ScUpdater.exe"), std::string(9000, 'x'));
    EXPECT_EQ(ReadTextFile(folder + L"\\ScUpRes.dll"), "resources");
    unpacked_.reset();
    EXPECT_EQ(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES)
        << "the folder goes with its owner";
}

TEST_F(StagingTest, APackageWithoutTheUpdaterOrNotAnArchiveLeavesNothingBehind) {
    ZipWriter().Stored("readme.txt", "no program here").WriteTo(work_ + L"\\noexe.zip");
    WriteTextFile(work_ + L"\\broken.zip", "this is not an archive");
    for (const wchar_t* package : {L"\\noexe.zip", L"\\broken.zip"}) {
        std::vector<std::wstring> files;
        EXPECT_EQ(scup::UnpackUpdaterPackage(unzip_.get(), work_ + package, files), nullptr) << package;
        EXPECT_TRUE(files.empty());
    }
}

// Execute against a server data whose notice answer and downloaded bytes the test sets.
class ExecuteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        app_ = std::make_unique<CScUpdaterApp>(AUServices{});
        app_->SetLanguage(1033);
        auto server = std::make_unique<PackageServer>();
        server_ = server.get();
        server_->notice.strDownloadURL = kPackageUrl;
        server_->notice.strCheckSum = std::wstring(kAbcChecksum) + L"\r\n";
        server_->body = kAbc;
        server_->AnnounceUpdaterVersion(L"1.2.1");
        app_->SetServerData(std::move(server));
        app_->SetLocalData(std::make_unique<CAULocalData>());
        stored_ = scup::GetDataFolder(L"DownloadedFiles") + L"\\ScUpdater-1.2.1.zip";
        DeleteFileW(stored_.c_str());
        exit_.reset(CreateEventW(nullptr, TRUE, FALSE, L"EXIT_EVENT"));
        ResetEvent(exit_.get());
    }
    void TearDown() override {
        ResetEvent(exit_.get());
        DeleteFileW(stored_.c_str());
    }
    int Execute() { return CAUAppUpgrader().Execute(app_.get(), {}, path_, L"Corvane SC-200"); }
    std::vector<UINT> Shown(const MessageBoxCapture& boxes) const {
        std::vector<UINT> ids;
        for (const CapturedMessage& m : boxes.Messages()) {
            if (m.text == scup::LoadLangString(IDS_MSG_SERVER_UNREACHABLE, 1033))
                ids.push_back(IDS_MSG_SERVER_UNREACHABLE);
            else if (m.text == scup::LoadLangString(IDS_MSG_PROXY_AUTH_REFUSED, 1033))
                ids.push_back(IDS_MSG_PROXY_AUTH_REFUSED);
            else if (m.text == scup::LoadLangString(IDS_MSG_UPDATER_NOT_SIGNED, 1033))
                ids.push_back(IDS_MSG_UPDATER_NOT_SIGNED);
            else
                ids.push_back(0);
        }
        return ids;
    }

    std::unique_ptr<CScUpdaterApp> app_;
    PackageServer* server_ = nullptr;
    std::wstring stored_, path_;
    scup::UniqueHandle exit_;
};

TEST_F(ExecuteTest, TheRightFileIsStoredUnderItsNameAndHandedOn) {
    MessageBoxCapture boxes;
    TraceCapture trace;
    EXPECT_EQ(Execute(), CAUAppUpgrader::kDownloaded);
    EXPECT_EQ(path_, stored_);
    EXPECT_EQ(ReadTextFile(stored_), kAbc);
    // The statement first, then the package it vouches for.
    EXPECT_EQ(server_->downloads,
              (std::vector<std::wstring>{std::wstring(kPackageUrl) + L".sig", kPackageUrl}));
    EXPECT_TRUE(trace.Contains(L"File Hash Comparison succeeded."));
    EXPECT_TRUE(boxes.Messages().empty());
}

TEST_F(ExecuteTest, AChangedOrCutFileIsRefusedDeletedAndReported) {
    for (const std::string& body : {std::string("abd"), std::string("ab"), std::string()}) {
        server_->body = body;
        MessageBoxCapture boxes;
        TraceCapture trace;
        path_.clear();
        EXPECT_EQ(Execute(), CAUAppUpgrader::kFailed) << body;
        EXPECT_TRUE(path_.empty());
        EXPECT_FALSE(FileExists(stored_)) << "a refused download must not stay where it could be run";
        EXPECT_TRUE(trace.Contains(L"File Hash comparison failed. File is corrupt"));
        EXPECT_EQ(Shown(boxes), std::vector<UINT>{IDS_MSG_UPDATER_NOT_SIGNED})
            << "the network is not to blame";
    }
}

TEST_F(ExecuteTest, APackageWithoutAValidStatementIsNeverFetchedAndIsReportedAsNotSigned) {
    {
        server_->signPackage = false;
        MessageBoxCapture boxes;
        EXPECT_EQ(Execute(), CAUAppUpgrader::kFailed);
        EXPECT_EQ(server_->downloads, std::vector<std::wstring>{std::wstring(kPackageUrl) + L".sig"});
        EXPECT_EQ(Shown(boxes), std::vector<UINT>{IDS_MSG_UPDATER_NOT_SIGNED});
    }
    // A genuine statement of another version: the server's version check says 1.2.2, the package
    // the maker signed is 1.2.1.
    server_->signPackage = true;
    server_->downloads.clear();
    server_->AnnounceUpdaterVersion(L"1.2.2");
    server_->statementVersion = "1.2.1";
    MessageBoxCapture boxes;
    CAUAppUpgrader upgrader;
    EXPECT_EQ(upgrader.Execute(app_.get(), {}, path_, L"Corvane SC-200"), CAUAppUpgrader::kFailed);
    EXPECT_EQ(server_->downloads.size(), 1u) << "only the statement was fetched";
    EXPECT_NE(upgrader.Refusal().find(L"another package"), std::wstring::npos) << upgrader.Refusal();
    EXPECT_FALSE(FileExists(stored_));
}

TEST_F(ExecuteTest, AChecksumInAnotherCaseOrMissingIsRefused) {
    std::wstring lower = kAbcChecksum;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
    for (const std::wstring& checksum : {lower, std::wstring()}) {
        server_->notice.strCheckSum = checksum;
        MessageBoxCapture boxes;
        EXPECT_EQ(Execute(), CAUAppUpgrader::kFailed);
        EXPECT_FALSE(FileExists(stored_));
    }
}

TEST_F(ExecuteTest, AFailedDownloadLeavesNoPartOfTheFile) {
    server_->body = "a";
    server_->downloadResult = ServerResult::Failed;
    MessageBoxCapture boxes;
    EXPECT_EQ(Execute(), CAUAppUpgrader::kFailed);
    EXPECT_FALSE(FileExists(stored_));
    EXPECT_EQ(Shown(boxes), std::vector<UINT>{IDS_MSG_SERVER_UNREACHABLE});
}

TEST_F(ExecuteTest, ProxyRefusalIsToldFirstAndACancelIsSilent) {
    {
        server_->noticeResult = ServerResult::ProxyAuthRefused;
        MessageBoxCapture boxes;
        EXPECT_EQ(Execute(), CAUAppUpgrader::kFailed);
        EXPECT_EQ(Shown(boxes), (std::vector<UINT>{IDS_MSG_PROXY_AUTH_REFUSED, IDS_MSG_SERVER_UNREACHABLE}));
        EXPECT_TRUE(server_->downloads.empty());
    }
    {
        server_->noticeResult = ServerResult::Success;
        server_->downloadResult = ServerResult::ProxyAuthRefused;
        MessageBoxCapture boxes;
        EXPECT_EQ(Execute(), CAUAppUpgrader::kFailed);
        EXPECT_EQ(Shown(boxes), (std::vector<UINT>{IDS_MSG_PROXY_AUTH_REFUSED, IDS_MSG_SERVER_UNREACHABLE}));
    }
    for (ServerResult* result : {&server_->noticeResult, &server_->downloadResult}) {
        server_->noticeResult = server_->downloadResult = ServerResult::Success;
        *result = ServerResult::Cancelled;
        MessageBoxCapture boxes;
        EXPECT_EQ(Execute(), CAUAppUpgrader::kFailed);
        EXPECT_TRUE(boxes.Messages().empty());
    }
}

TEST_F(ExecuteTest, NoUsableAddressGivesSixAndExitRequestedGivesFourSilently) {
    for (const wchar_t* url : {L"", L"http://h/files/..\\..\\evil.exe"}) {
        server_->notice.strDownloadURL = url;
        MessageBoxCapture boxes;
        EXPECT_EQ(Execute(), CAUAppUpgrader::kNoAddress) << url;
        EXPECT_TRUE(server_->downloads.empty());
        EXPECT_EQ(Shown(boxes), std::vector<UINT>{IDS_MSG_SERVER_UNREACHABLE});
    }
    server_->notice.strDownloadURL = kPackageUrl;
    server_->body = "changed";
    SetEvent(exit_.get());
    MessageBoxCapture boxes;
    EXPECT_EQ(Execute(), CAUAppUpgrader::kExitRequested);
    EXPECT_TRUE(boxes.Messages().empty());
    EXPECT_FALSE(FileExists(stored_));
}

TEST_F(ExecuteTest, WithoutServerOrLocalDataNothingIsAsked) {
    app_->SetLocalData(nullptr);
    EXPECT_EQ(Execute(), CAUAppUpgrader::kFailed);
    EXPECT_EQ(CAUAppUpgrader().Execute(nullptr, {}, path_, L""), CAUAppUpgrader::kFailed);
    EXPECT_TRUE(server_->downloads.empty());
}

}  // namespace

// The staging copy's side of the self-upgrade: the new files go into the installed folder all
// together or not at all, so that a copy that fails half way leaves the installed updater as it
// was and still runnable; then the installed updater is started. The installed "ScUpdater.exe"
// is the recording stand-in, so its start and command line are what it writes down.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it builds on.
#include <sddl.h>

#include "TestSigner.h"
#include "TestSupport.h"
#include "ZipWriter.h"
#include "app/StagedUpdate.h"
#include "common/AppFiles.h"
#include "common/Handles.h"
#include "common/LangResources.h"
#include "common/Profile.h"
#include "common/Text.h"
#include "res/resource_ids.h"

// Exported by user32 without a declaration in its header: the call a desktop shell makes.
extern "C" BOOL WINAPI SetShellWindow(HWND window);

namespace {

using namespace testing_support;

class FinishSelfUpdateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        target_ = MakeScratchFolder(L"finish-installed");
        source_ = MakeScratchFolder(L"finish-new");
        record_ = MakeScratchFolder(L"finish-record") + L"\\started.txt";
        SetEnvironmentVariableW(L"SCUP_RECORD_FILE", record_.c_str());
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, scup::MachineSettingsKeyPath().c_str(), L"PackageVersion");

        program_ = ReadTextFile(BinFolder() + L"record_args.exe");
        ASSERT_FALSE(program_.empty());
        WriteTextFile(target_ + L"\\ScUpdater.exe", program_);
        WriteTextFile(target_ + L"\\ScUpRes.dll", "old resources");
        WriteTextFile(target_ + L"\\readme.txt", "old readme");
        // The new updater: the same stand-in, marked so that its copy can be told apart.
        WriteTextFile(source_ + L"\\ScUpdater.exe", program_ + "NEW");
        WriteTextFile(source_ + L"\\ScUpRes.dll", "new resources");
        WriteTextFile(source_ + L"\\readme.txt", std::string(10000, 'n'));
        WriteTextFile(source_ + L"\\added.txt", "added");
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"SCUP_RECORD_FILE", nullptr);
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, scup::MachineSettingsKeyPath().c_str(), L"PackageVersion");
        scup::RemoveFolder(target_);
        scup::RemoveFolder(source_);
    }
    std::string StartedWith() {
        PumpUntil(
            [&] {
                std::string line = ReadTextFile(record_);
                return !line.empty() && line.back() == '\n';
            },
            15000);
        std::string line = ReadTextFile(record_);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        return line;
    }
    void ExpectInstalledAsBefore() {
        EXPECT_EQ(ReadTextFile(target_ + L"\\ScUpdater.exe"), program_);
        EXPECT_EQ(ReadTextFile(target_ + L"\\ScUpRes.dll"), "old resources");
        EXPECT_EQ(ReadTextFile(target_ + L"\\readme.txt"), "old readme");
        EXPECT_FALSE(FileExists(target_ + L"\\added.txt"));
        ExpectNoLeftovers();
        EXPECT_EQ(scup::ReadMachineSettingText(L"PackageVersion"), L"");
        EXPECT_TRUE(FileExists(source_ + L"\\ScUpdater.exe")) << "the new files are kept for another try";
    }
    void ExpectNoLeftovers() {
        for (const wchar_t* name : {L"ScUpdater.exe", L"ScUpRes.dll", L"readme.txt", L"added.txt"}) {
            EXPECT_FALSE(FileExists(target_ + L"\\" + name + L".scup-new")) << name;
            EXPECT_FALSE(FileExists(target_ + L"\\" + name + L".scup-old")) << name;
        }
    }

    std::wstring target_, source_, record_;
    std::string program_;
};

TEST_F(FinishSelfUpdateTest, InstallsEveryFileOverReadOnlyOnesRecordsTheVersionAndStartsTheNewUpdater) {
    SetFileAttributesW((target_ + L"\\ScUpRes.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    scup::FinishSelfUpdate(target_, source_, L"1.2.1", false);
    EXPECT_EQ(ReadTextFile(target_ + L"\\ScUpdater.exe"), program_ + "NEW");
    EXPECT_EQ(ReadTextFile(target_ + L"\\ScUpRes.dll"), "new resources");
    EXPECT_EQ(ReadTextFile(target_ + L"\\readme.txt"), std::string(10000, 'n'));
    EXPECT_EQ(ReadTextFile(target_ + L"\\added.txt"), "added");
    ExpectNoLeftovers();
    EXPECT_EQ(scup::ReadMachineSettingText(L"PackageVersion"), L"1.2.1");
    EXPECT_FALSE(FileExists(source_));
    EXPECT_EQ(StartedWith(), "-N");
}

// The elevated step may run under the account whose credentials were typed into the prompt: the
// new updater starts with the token of the desktop shell's process, that is as the user at the PC.
// Wine has a single account, so what is seen here is the road taken, not another user.
TEST_F(FinishSelfUpdateTest, TheNewUpdaterStartsAsTheDesktopShellsUserWhereAShellRuns) {
    ASSERT_EQ(GetShellWindow(), nullptr) << "another shell window is left over";
    {
        TraceCapture trace;
        scup::FinishSelfUpdate(target_, source_, L"1.2.1", false);
        EXPECT_EQ(StartedWith(), "-N");
        EXPECT_TRUE(trace.Contains(L"The updater is started under the account of this step."))
            << "without a shell there is no other user to go back to";
    }
    DeleteFileW(record_.c_str());
    HWND shell = CreateWindowExW(0, L"STATIC", L"desktop shell", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_TRUE(SetShellWindow(shell));
    TraceCapture trace;
    scup::FinishSelfUpdate(target_, source_, L"1.2.1", true);
    EXPECT_EQ(StartedWith(), "-N -EDITOR");
    EXPECT_TRUE(trace.Contains(L"The updater was started as the desktop's user : " + target_ +
                               L"\\ScUpdater.exe -N -EDITOR"));
    EXPECT_FALSE(trace.Contains(L"The updater is started under the account of this step."));
    DestroyWindow(shell);
}

// The machine's settings refuse the new version: the new files stay installed and start, and the
// user is told that the version could not be recorded (else every start would offer it again).
TEST_F(FinishSelfUpdateTest, AVersionThatCannotBeRecordedIsToldAndTheNewUpdaterStillStarts) {
    const std::wstring keyPath = scup::MachineSettingsKeyPath();
    HKEY raw = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &raw,
                              nullptr),
              ERROR_SUCCESS);
    scup::UniqueRegKey key(raw);
    // No one may set a value in the key; its list can still be put back.
    PSECURITY_DESCRIPTOR denied = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;0x6;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1,
                                                                     &denied, nullptr));
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;KA;;;WD)", SDDL_REVISION_1, &open,
                                                                     nullptr));
    ASSERT_EQ(RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, denied), ERROR_SUCCESS);
    MessageBoxCapture boxes;
    TraceCapture trace;
    scup::FinishSelfUpdate(target_, source_, L"1.2.1", false);
    RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, open);
    LocalFree(denied);
    LocalFree(open);

    EXPECT_EQ(ReadTextFile(target_ + L"\\ScUpdater.exe"), program_ + "NEW");
    EXPECT_EQ(scup::ReadMachineSettingText(L"PackageVersion"), L"");
    EXPECT_EQ(StartedWith(), "-N");
    const auto messages = boxes.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              scup::LoadLangString(IDS_MSG_UPDATER_VERSION_NOT_RECORDED, GetUserDefaultUILanguage()));
    bool traced = false;
    for (const std::wstring& line : trace.Lines())
        traced = traced || line.find(L"the new version 1.2.1 could not be recorded") != std::wstring::npos;
    EXPECT_TRUE(traced);
}

TEST_F(FinishSelfUpdateTest, ANewFileThatCannotBeReadLeavesEveryInstalledFileAsItWas) {
    // Held open without sharing: the copy of this one file fails, whichever order the folder lists.
    scup::UniqueFile held(CreateFileW((source_ + L"\\readme.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    scup::FinishSelfUpdate(target_, source_, L"1.2.1", true);
    ExpectInstalledAsBefore();
    EXPECT_EQ(StartedWith(), "-N -EDITOR") << "the installed updater is started all the same";
}

TEST_F(FinishSelfUpdateTest, AnInstalledFileThatCannotBeReplacedPutsEveryFileBack) {
    scup::UniqueFile held(CreateFileW((target_ + L"\\readme.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    scup::FinishSelfUpdate(target_, source_, L"1.2.1", false);
    held.reset();
    ExpectInstalledAsBefore();
    EXPECT_EQ(StartedWith(), "-N");
}

TEST_F(FinishSelfUpdateTest, WithoutSourceNothingIsCopiedAndWithoutTargetNothingStarts) {
    scup::FinishSelfUpdate(target_, L"", L"1.2.1", false);
    ExpectInstalledAsBefore();
    EXPECT_EQ(StartedWith(), "-N");

    DeleteFileW(record_.c_str());
    scup::FinishSelfUpdate(L"", source_, L"1.2.1", false);
    PumpFor(1500);
    EXPECT_FALSE(FileExists(record_));
    EXPECT_EQ(scup::ReadMachineSettingText(L"PackageVersion"), L"");
}

// The form this updater starts: the installed updater, elevated, is given the package it fetched and
// checked in the user's download folder. It takes the package into a folder of its own beside the
// installed files, checks it again there and installs from there alone.
class FinishFromPackageTest : public FinishSelfUpdateTest {
  protected:
    void SetUp() override {
        FinishSelfUpdateTest::SetUp();
        downloads_ = MakeScratchFolder(L"finish-downloads");
        package_ = downloads_ + L"\\ScUpdater-1.2.1.zip";
        Publish(program_);
    }
    void TearDown() override {
        scup::RemoveFolder(downloads_);
        FinishSelfUpdateTest::TearDown();
    }
    // The package holding the updater's bytes, with the maker's statement for 1.2.1 beside it.
    void Publish(const std::string& updater) {
        body_ = ZipWriter()
                    .Deflated("ScUpdater.exe", updater)
                    .Stored("ScUpRes.dll", "new resources")
                    .Stored("added.txt", "added")
                    .Bytes();
        WriteTextFile(package_, body_);
        WriteTextFile(package_ + L".sig",
                      signer_.StatementFor("https://updates.example/ScUpdater-1.2.1.zip", body_, "1.2.1"));
    }
    // Refused for the reason given, which the trace names.
    void ExpectNotInstalled(const std::string& reason) {
        EXPECT_NE(Traced().find("Failed: the new updater is refused: " + reason), std::string::npos)
            << Traced();
        EXPECT_EQ(ReadTextFile(target_ + L"\\ScUpRes.dll"), "old resources");
        EXPECT_FALSE(FileExists(target_ + L"\\added.txt"));
        EXPECT_EQ(scup::ReadMachineSettingText(L"PackageVersion"), L"");
        EXPECT_FALSE(FileExists(target_ + L"\\Staging.scup"));
        EXPECT_EQ(StartedWith(), "-N") << "the installed updater goes on as it was";
    }

    std::string Traced() const {
        std::wstring all;
        for (const std::wstring& line : trace_.Lines()) all += line + L"\n";
        return scup::ToUtf8(all);
    }

    TraceCapture trace_;
    TestSigner signer_;
    TrustedForTest trusted_{signer_};
    std::wstring downloads_, package_;
    std::string body_;
};

TEST_F(FinishFromPackageTest, TheCheckedPackageIsInstalledFromTheAdministratorsFolderWhichIsThenRemoved) {
    scup::FinishSelfUpdate(target_, package_, L"1.2.1", false);
    EXPECT_EQ(ReadTextFile(target_ + L"\\ScUpRes.dll"), "new resources") << Traced();
    EXPECT_EQ(ReadTextFile(target_ + L"\\added.txt"), "added");
    EXPECT_EQ(ReadTextFile(target_ + L"\\readme.txt"), "old readme") << "what the package lacks stays";
    EXPECT_EQ(scup::ReadMachineSettingText(L"PackageVersion"), L"1.2.1");
    EXPECT_FALSE(FileExists(target_ + L"\\Staging.scup"));
    EXPECT_EQ(StartedWith(), "-N");
}

// What another program of the user could do between the first check and the elevated step.
TEST_F(FinishFromPackageTest, APackageChangedOrUnsignedSinceItsCheckIsNotInstalled) {
    std::string changed = body_;
    changed[changed.size() / 2] ^= 0x20;
    WriteTextFile(package_, changed);
    scup::FinishSelfUpdate(target_, package_, L"1.2.1", false);
    ExpectNotInstalled("the file differs from the signed file");

    DeleteFileW(record_.c_str());
    Publish(program_);
    DeleteFileW((package_ + L".sig").c_str());
    scup::FinishSelfUpdate(target_, package_, L"1.2.1", false);
    ExpectNotInstalled("no signed statement of the maker");

    // Signed, but for another version than the one the command line installs.
    DeleteFileW(record_.c_str());
    Publish(program_);
    scup::FinishSelfUpdate(target_, package_, L"1.2.2", false);
    ExpectNotInstalled(
        "the signed statement is for another package (version \"1.2.1\" where \"1.2.2\" was asked for)");
}

TEST_F(FinishFromPackageTest, AnUpdaterWithoutThePublishersAuthenticodeSignatureIsNotInstalled) {
    Publish(ReadTextFile(BinFolder() + L"trustca.exe"));
    scup::FinishSelfUpdate(target_, package_, L"1.2.1", false);
    ExpectNotInstalled("not Authenticode-signed by the maker's publisher (no Authenticode signature)");
    EXPECT_EQ(ReadTextFile(target_ + L"\\ScUpdater.exe"), program_);
}

// A staging folder made beforehand by someone else, with a file planted in it, is never used.
TEST_F(FinishFromPackageTest, AStagingFolderMadeBeforehandIsMadeAnew) {
    ASSERT_TRUE(CreateDirectoryW((target_ + L"\\Staging.scup").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((target_ + L"\\Staging.scup\\files").c_str(), nullptr));
    WriteTextFile(target_ + L"\\Staging.scup\\files\\planted.dll", "planted");
    scup::FinishSelfUpdate(target_, package_, L"1.2.1", false);
    EXPECT_EQ(ReadTextFile(target_ + L"\\ScUpRes.dll"), "new resources");
    EXPECT_FALSE(FileExists(target_ + L"\\planted.dll"));
    EXPECT_FALSE(FileExists(target_ + L"\\Staging.scup"));
}

}  // namespace

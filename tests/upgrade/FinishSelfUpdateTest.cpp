// The staging copy's side of the self-upgrade: the new files go into the installed folder all
// together or not at all, so that a copy that fails half way leaves the installed updater as it
// was and still runnable; then the installed updater is started. The installed "ScUpdater.exe"
// is the recording stand-in, so its start and command line are what it writes down.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/StagedUpdate.h"
#include "common/AppFiles.h"
#include "common/Handles.h"
#include "common/Profile.h"

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

}  // namespace

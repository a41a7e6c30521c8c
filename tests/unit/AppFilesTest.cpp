#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it builds on.
#include <shlobj.h>


#include "TestSupport.h"
#include "common/AppFiles.h"

namespace {

using namespace testing_support;

TEST(DataFolder, CompanyWordIsCutAtTheFirstSeparatorOnlyWhenPunctuated) {
    EXPECT_EQ(scup::CompanyWord(L"Corvane Industries, Ltd."), L"Corvane");
    EXPECT_EQ(scup::CompanyWord(L"Corvane Industries"), L"Corvane Industries");
    EXPECT_EQ(scup::CompanyWord(L"Corvane,Ltd"), L"Corvane");
    EXPECT_EQ(scup::CompanyWord(L"Corvane.com"), L"Corvane");
    EXPECT_EQ(scup::CompanyWord(L""), L"");
}

TEST(DataFolder, LiesInThePerUserApplicationDataFolder) {
    wchar_t appData[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData), S_OK);
    EXPECT_EQ(scup::GetDataFolder(L"DownloadedFiles"),
              std::wstring(appData) + L"\\Corvane\\ScUpdaterTests\\DownloadedFiles");
}

TEST(CopyFileContents, CopiesEveryByteAcrossBlockBoundaries) {
    std::wstring dir = MakeScratchFolder(L"copy");
    std::string content;
    for (int i = 0; i < 4096 * 3 + 17; ++i) content.push_back(static_cast<char>(i * 7 % 256));
    WriteTextFile(dir + L"\\src.bin", content);
    ASSERT_EQ(scup::CopyFileContents(dir + L"\\src.bin", dir + L"\\dst.bin"), 1);
    EXPECT_EQ(ReadTextFile(dir + L"\\dst.bin"), content);
    scup::RemoveFolder(dir);
}

TEST(CopyFileContents, ReplacesAReadOnlyTarget) {
    std::wstring dir = MakeScratchFolder(L"copy-ro");
    WriteTextFile(dir + L"\\src.txt", "new");
    WriteTextFile(dir + L"\\dst.txt", "old");
    SetFileAttributesW((dir + L"\\dst.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(scup::CopyFileContents(dir + L"\\src.txt", dir + L"\\dst.txt"), 1);
    EXPECT_EQ(ReadTextFile(dir + L"\\dst.txt"), "new");
    scup::RemoveFolder(dir);
}

TEST(CopyFileContents, FailsForAMissingSourceOrAnUnwritableTarget) {
    std::wstring dir = MakeScratchFolder(L"copy-fail");
    EXPECT_EQ(scup::CopyFileContents(dir + L"\\missing.txt", dir + L"\\dst.txt"), 0);
    EXPECT_FALSE(FileExists(dir + L"\\dst.txt"));
    WriteTextFile(dir + L"\\src.txt", "x");
    EXPECT_EQ(scup::CopyFileContents(dir + L"\\src.txt", dir + L"\\no-such-folder\\dst.txt"), 0);
    scup::RemoveFolder(dir);
}

TEST(RemoveFolder, RemovesNestedContentsAndReportsAMissingFolder) {
    std::wstring dir = MakeScratchFolder(L"remove");
    CreateDirectoryW((dir + L"\\sub").c_str(), nullptr);
    WriteTextFile(dir + L"\\sub\\a.txt", "a");
    WriteTextFile(dir + L"\\b.txt", "b");
    SetFileAttributesW((dir + L"\\b.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(scup::RemoveFolder(dir), 1);
    EXPECT_FALSE(FileExists(dir));
    EXPECT_EQ(scup::RemoveFolder(dir), 0);
}

// A file held open by another program stays, and so does its folder: that is told as a failure,
// and the folder goes once the file is free.
TEST(RemoveFolder, AFolderWithAHeldFileIsReportedAsLeftAndGoesOnceTheFileIsFree) {
    const std::wstring dir = MakeScratchFolder(L"remove-held");
    WriteTextFile(dir + L"\\held.txt", "held");
    HANDLE held = CreateFileW((dir + L"\\held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(scup::RemoveFolder(dir), 0);
    EXPECT_TRUE(FileExists(dir + L"\\held.txt"));
    CloseHandle(held);
    EXPECT_EQ(scup::RemoveFolder(dir), 1);
    EXPECT_FALSE(FileExists(dir));
}

}  // namespace

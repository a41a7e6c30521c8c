// The program's side of package archives: UnzipPackage through the unzip library that the
// application's holder loads from the program folder, and MakeTempFolder.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it builds on.
#include <oleauto.h>

#include <algorithm>
#include <cwctype>
#include <optional>

#include "TestSupport.h"
#include "ZipWriter.h"
#include "app/ScUpdaterApp.h"
#include "common/AppFiles.h"
#include "install/PackageFiles.h"

namespace {

using namespace testing_support;

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end());
    return names;
}

class UnzipPackage : public testing::Test {
  protected:
    void SetUp() override {
        const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
        scratch_ = MakeScratchFolder(L"package-" + std::wstring(test.begin(), test.end()));
        target_ = scratch_ + L"\\unpacked";
        CreateDirectoryW(target_.c_str(), nullptr);
        archive_ = scratch_ + L"\\package.pdz";
    }
    void TearDown() override { scup::RemoveFolder(scratch_); }

    std::wstring scratch_, target_, archive_;
    CUnzipHolder holder_{BinFolder()};  // the program folder's unzip32.dll, as the program loads it
};

TEST_F(UnzipPackage, ListsExactlyThePlainFilesDirectlyInTheFolder) {
    const std::string big(200000, 'q');
    ZipWriter zip;
    zip.Deflated("data.xml", "<ScriboUpdater/>")
        .Stored("thumb.bmp", "BM")
        .Deflated("FIRM.PD3", big)
        .Stored("empty.txt", "")
        .Folder("images/")
        .Stored("images/inner.bmp", "inner");
    zip.WriteTo(archive_);
    std::vector<std::wstring> files{L"left over"};
    ASSERT_EQ(scup::UnzipPackage(&holder_, archive_, files, target_), 1);
    EXPECT_EQ(Sorted(files),
              (std::vector<std::wstring>{L"FIRM.PD3", L"data.xml", L"empty.txt", L"thumb.bmp"}));
    EXPECT_EQ(ReadTextFile(target_ + L"\\data.xml"), "<ScriboUpdater/>");
    EXPECT_EQ(ReadTextFile(target_ + L"\\FIRM.PD3"), big);
    EXPECT_EQ(ReadTextFile(target_ + L"\\images\\inner.bmp"), "inner");
}

TEST_F(UnzipPackage, AHostilePackageFailsWithAnEmptyListAndAnEmptyFolder) {
    // Two levels down, so that the climb would land in this test's own fresh folder.
    const std::wstring folder = scratch_ + L"\\outer\\unpacked";
    CreateDirectoryW((scratch_ + L"\\outer").c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    ZipWriter().Stored("data.xml", "x").Stored("..\\..\\planted.exe", "MZ").WriteTo(archive_);
    std::vector<std::wstring> files{L"left over"};
    EXPECT_EQ(scup::UnzipPackage(&holder_, archive_, files, folder), 0);
    EXPECT_TRUE(files.empty());
    EXPECT_FALSE(FileExists(folder + L"\\data.xml"));
    EXPECT_FALSE(FileExists(scratch_ + L"\\planted.exe"));
    EXPECT_FALSE(FileExists(scratch_ + L"\\outer\\planted.exe"));
}

TEST_F(UnzipPackage, FailsForAMissingOrDamagedArchive) {
    std::vector<std::wstring> files;
    EXPECT_EQ(scup::UnzipPackage(&holder_, scratch_ + L"\\missing.pdz", files, target_), 0);
    ZipWriter().Add(ZipSpec("a.pd3", "data").WithCrc(99)).WriteTo(archive_);
    EXPECT_EQ(scup::UnzipPackage(&holder_, archive_, files, target_), 0);
    EXPECT_TRUE(files.empty());
    EXPECT_FALSE(FileExists(target_ + L"\\a.pd3"));
}

TEST_F(UnzipPackage, FailsWithoutTheLibraryOrItsEntryPoint) {
    ZipWriter().Stored("a.txt", "a").WriteTo(archive_);
    std::vector<std::wstring> files{L"left over"};
    EXPECT_EQ(scup::UnzipPackage(nullptr, archive_, files, target_), 0);
    EXPECT_TRUE(files.empty());

    const CUnzipHolder missing(scratch_ + L"\\");
    ASSERT_FALSE(missing.m_hUnzip);
    EXPECT_EQ(scup::UnzipPackage(&missing, archive_, files, target_), 0);

    // A library of that name that is not the unzip library.
    const std::wstring fake = scratch_ + L"\\fake\\";
    CreateDirectoryW(fake.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW((BinFolder() + L"ScUpRes.dll").c_str(), (fake + L"unzip32.dll").c_str(), FALSE));
    const CUnzipHolder wrong(fake);
    ASSERT_TRUE(wrong.m_hUnzip);
    EXPECT_EQ(scup::UnzipPackage(&wrong, archive_, files, target_), 0);
    EXPECT_FALSE(FileExists(target_ + L"\\a.txt"));
}

TEST_F(UnzipPackage, WorksInFoldersTheSystemCodePageCannotSpell) {
    const std::wstring folder = scratch_ + L"\\\u65E5\u672C\u0627\u0644";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring archive = folder + L"\\\u0444\u0430\u0439\u043B.pdz";
    ZipWriter().Deflated("data.xml", "<x/>").WriteTo(archive);
    std::vector<std::wstring> files;
    ASSERT_EQ(scup::UnzipPackage(&holder_, archive, files, folder), 1);
    EXPECT_EQ(ReadTextFile(folder + L"\\data.xml"), "<x/>");
    EXPECT_NE(std::find(files.begin(), files.end(), L"data.xml"), files.end());
}

// Archives made at build time by Debian's zip from the files in fixtures\unzip\src: one written to
// a file (".txt" stored, the rest deflated) and one written into a pipe, so that its sizes follow
// the data in descriptors.
TEST_F(UnzipPackage, UnpacksArchivesMadeByZip) {
    const std::wstring fixtures = BinFolder() + L"..\\fixtures\\unzip\\";
    for (const wchar_t* name : {L"tool.zip", L"stream.zip"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(FileExists(fixtures + name))
            << "made at build time with zip (scripts/setup.sh installs it)";
        const std::wstring folder = scratch_ + L"\\" + name + L".out";
        CreateDirectoryW(folder.c_str(), nullptr);
        std::vector<std::wstring> files;
        ASSERT_EQ(scup::UnzipPackage(&holder_, fixtures + name, files, folder), 1);
        EXPECT_EQ(Sorted(files),
                  (std::vector<std::wstring>{L"big.txt", L"data.xml", L"data_DEU.xml", L"firm.pd3"}));
        for (const wchar_t* file :
             {L"big.txt", L"data.xml", L"data_DEU.xml", L"firm.pd3", L"images\\thumb.bmp"}) {
            SCOPED_TRACE(file);
            const std::string expected = ReadTextFile(fixtures + L"src\\" + file);
            EXPECT_FALSE(expected.empty());
            EXPECT_EQ(ReadTextFile(folder + L"\\" + file), expected);
        }
    }
}

// "SU", the automation date with six decimals, then the number.
struct TempName {
    double date = 0;
    std::wstring number;
};

std::optional<TempName> ParseTempName(const std::wstring& name) {
    if (!name.starts_with(L"SU")) return std::nullopt;
    const size_t dot = name.find(L'.');
    if (dot == std::wstring::npos || name.size() < dot + 8) return std::nullopt;
    TempName parsed;
    parsed.date = std::stod(name.substr(2, dot + 7 - 2));
    parsed.number = name.substr(dot + 7);
    if (!std::all_of(parsed.number.begin(), parsed.number.end(), iswdigit)) return std::nullopt;
    return parsed;
}

double NowAsAutomationDate() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    DATE date = 0;
    SystemTimeToVariantTime(&now, &date);
    return date;
}

std::wstring TempPath() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    return temp;
}

// Points the temporary folder elsewhere while it lives.
class TempFolderOverride {
  public:
    explicit TempFolderOverride(const std::wstring& folder) {
        wchar_t old[MAX_PATH] = {};
        hadOld_ = GetEnvironmentVariableW(L"TMP", old, MAX_PATH) > 0;
        old_ = old;
        SetEnvironmentVariableW(L"TMP", folder.c_str());
    }
    ~TempFolderOverride() { SetEnvironmentVariableW(L"TMP", hadOld_ ? old_.c_str() : nullptr); }

  private:
    bool hadOld_ = false;
    std::wstring old_;
};

TEST(MakeTempFolder, MakesDistinctEmptyFoldersNamedAfterTheDateInTheTemporaryFolder) {
    const std::wstring first = scup::MakeTempFolder();
    const std::wstring second = scup::MakeTempFolder();
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_NE(first, second);
    for (const std::wstring& folder : {first, second}) {
        SCOPED_TRACE(folder);
        ASSERT_TRUE(folder.starts_with(TempPath()));
        const std::wstring name = folder.substr(TempPath().size());
        const std::optional<TempName> parsed = ParseTempName(name);
        ASSERT_TRUE(parsed) << "name " << testing::PrintToString(name);
        EXPECT_FALSE(parsed->number.empty());
        EXPECT_NEAR(parsed->date, NowAsAutomationDate(), 2.0 / (24 * 60));  // within two minutes
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
        EXPECT_EQ(scup::RemoveFolder(folder), 1);
    }
}

TEST(MakeTempFolder, MakesTheMissingParentsOfTheTemporaryFolder) {
    const std::wstring scratch = MakeScratchFolder(L"temp-parents");
    std::wstring folder;
    {
        TempFolderOverride temp(scratch + L"\\not\\yet\\there\\");
        folder = scup::MakeTempFolder();
    }
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(folder.starts_with(scratch + L"\\not\\yet\\there\\SU"));
    EXPECT_TRUE(FileExists(folder));
    scup::RemoveFolder(scratch);
}

TEST(MakeTempFolder, GivesEmptyTextWhenNoFolderCanBeMade) {
    const std::wstring scratch = MakeScratchFolder(L"temp-blocked");
    WriteTextFile(scratch + L"\\file", "a file, not a folder");
    std::wstring folder;
    {
        TempFolderOverride temp(scratch + L"\\file\\below\\");
        folder = scup::MakeTempFolder();
    }
    EXPECT_EQ(folder, L"");
    scup::RemoveFolder(scratch);
}

}  // namespace

// unzip32.dll through its exported interface, as a caller loads it: good archives, damaged ones
// and crafted ones that try to write outside the target folder.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "ZipWriter.h"
#include "app/AppFiles.h"
#include "common/Handles.h"
#include "ext/unzip32/unzip32.h"

namespace {

using namespace testing_support;

// Every file and folder below a folder, by relative path, with the file contents.
using Tree = std::map<std::wstring, std::string>;

void Collect(const std::wstring& folder, const std::wstring& prefix, Tree& tree) {
    WIN32_FIND_DATAW found{};
    scup::UniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring relative = prefix + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            tree[relative + L"\\"] = "";
            Collect(folder + L"\\" + name, relative + L"\\", tree);
        } else {
            tree[relative] = ReadTextFile(folder + L"\\" + name);
        }
    } while (FindNextFileW(find.get(), &found));
}

Tree TreeOf(const std::wstring& folder) {
    Tree tree;
    Collect(folder, L"", tree);
    return tree;
}

std::vector<std::string> g_printed;
std::vector<std::string> g_replaceAsked;
int g_replaceAnswer = IDM_REPLACE_NO;
int g_cancelAt = -1;
int g_serviceCalls = 0;

int WINAPI Print(LPSTR text, unsigned long length) {
    g_printed.emplace_back(text, length);
    return static_cast<int>(length);
}
int WINAPI Replace(LPSTR name) {
    g_replaceAsked.emplace_back(name);
    return g_replaceAnswer;
}
int WINAPI Service(LPCSTR, unsigned long) { return g_serviceCalls++ == g_cancelAt ? 1 : 0; }

std::wstring CurrentTestName() {
    const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    return std::wstring(name.begin(), name.end());
}

class UnzipLibrary : public testing::Test {
  protected:
    void SetUp() override {
        library_.reset(LoadLibraryW((BinFolder() + L"unzip32.dll").c_str()));
        ASSERT_TRUE(library_) << "unzip32.dll beside the tests";
        unzip_ = reinterpret_cast<WIZ_SINGLEENTRYUNZIP>(
            reinterpret_cast<void*>(GetProcAddress(library_.get(), "Wiz_SingleEntryUnzip")));
        setLimits_ = reinterpret_cast<UNZIP32SETLIMITS>(
            reinterpret_cast<void*>(GetProcAddress(library_.get(), "Unzip32SetLimits")));
        ASSERT_TRUE(unzip_ && setLimits_);
        // The target lies two levels down, so that escapes upwards land where the tree sees them.
        scratch_ = MakeScratchFolder(L"unzip-" + CurrentTestName());
        target_ = scratch_ + L"\\arena\\target";
        archive_ = scratch_ + L"\\package.zip";
        CreateDirectoryW((scratch_ + L"\\arena").c_str(), nullptr);
        CreateDirectoryW(target_.c_str(), nullptr);
        g_printed.clear();
        g_replaceAsked.clear();
        g_replaceAnswer = IDM_REPLACE_NO;
        g_cancelAt = -1;
        g_serviceCalls = 0;
        options_ = {};
        options_.fQuiet = 2;
        options_.ndflag = 1;
        options_.noflag = 1;
        callbacks_ = {};
        callbacks_.print = Print;
        callbacks_.replace = Replace;
        callbacks_.ServCallBk = Service;
    }
    void TearDown() override {
        if (setLimits_) setLimits_(0, 0);
        scup::RemoveFolder(scratch_);
    }

    int Unzip(const ZipWriter& zip) {
        zip.WriteTo(archive_);
        return UnzipFile(archive_);
    }
    int UnzipFile(const std::wstring& archive, int ifnc = 0, char** ifnv = nullptr, int xfnc = 0,
                  char** xfnv = nullptr) {
        archiveAnsi_ = Ansi(archive);
        targetAnsi_ = Ansi(target_);
        options_.lpszZipFN = archiveAnsi_.data();
        options_.lpszExtractDir = targetAnsi_.data();
        return unzip_(ifnc, ifnv, xfnc, xfnv, &options_, &callbacks_);
    }
    static std::string Ansi(const std::wstring& text) {
        std::string out(text.size() * 2 + 1, '\0');
        const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(),
                                          static_cast<int>(out.size()), nullptr, nullptr);
        out.resize(n > 0 ? n - 1 : 0);
        return out;
    }
    // The scratch folder, apart from the archive itself.
    Tree Arena() const { return TreeOf(scratch_ + L"\\arena"); }
    static Tree EmptyArena() { return {{L"target\\", ""}}; }

    scup::UniqueModule library_;
    WIZ_SINGLEENTRYUNZIP unzip_ = nullptr;
    UNZIP32SETLIMITS setLimits_ = nullptr;
    std::wstring scratch_, target_, archive_;
    std::string archiveAnsi_, targetAnsi_;
    DCL options_{};
    USERFUNCTIONS callbacks_{};
};

std::string Pattern(size_t size, unsigned seed) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        data[i] = static_cast<char>((seed >> 16) % 16 + 'a');
    }
    return data;
}

// --- Good archives -------------------------------------------------------------------------------

TEST_F(UnzipLibrary, UnpacksStoredDeflatedEmptyAndNestedEntriesExactly) {
    const std::string big = Pattern(300 * 1024, 7);  // several read and inflate chunks
    ZipWriter zip;
    zip.Stored("readme.txt", "hello")
        .Deflated("big.bin", big)
        .Stored("empty.txt", "")
        .Folder("docs/")
        .Deflated("docs/deep/inner.xml", "<a/>")
        .Add(ZipSpec("described.txt", "descriptor").Deflate().WithDescriptor());
    ASSERT_EQ(Unzip(zip), PK_OK);
    EXPECT_EQ(TreeOf(target_), (Tree{{L"readme.txt", "hello"},
                                     {L"big.bin", big},
                                     {L"empty.txt", ""},
                                     {L"docs\\", ""},
                                     {L"docs\\deep\\", ""},
                                     {L"docs\\deep\\inner.xml", "<a/>"},
                                     {L"described.txt", "descriptor"}}));
    EXPECT_EQ(callbacks_.NumMembers, 6u);
    EXPECT_EQ(callbacks_.TotalSize, big.size() + 5 + 4 + 10);
}

TEST_F(UnzipLibrary, GivesFilesTheRecordedModificationTime) {
    ASSERT_EQ(Unzip(ZipWriter().Stored("a.txt", "a")), PK_OK);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExW((target_ + L"\\a.txt").c_str(), GetFileExInfoStandard, &data));
    FILETIME local{};
    SYSTEMTIME time{};
    FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
    FileTimeToSystemTime(&local, &time);
    EXPECT_EQ(time.wYear, 2024);
    EXPECT_EQ(time.wMonth, 5);
    EXPECT_EQ(time.wDay, 17);
    EXPECT_EQ(time.wHour, 10);
    EXPECT_EQ(time.wMinute, 30);
}

TEST_F(UnzipLibrary, DecodesDosAndUtf8Names) {
    ZipWriter zip;
    zip.Stored(
           "\x81"
           "ber.txt",
           "cp437")  // 0x81 is "ü" in code page 437
        .Add(ZipSpec("caf\xC3\xA9.txt", "utf8").InUtf8())
        .Add(ZipSpec("\xE6\x97\xA5\xE6\x9C\xAC.txt", "nihon").InUtf8());
    ASSERT_EQ(Unzip(zip), PK_OK);
    EXPECT_EQ(ReadTextFile(target_ + L"\\\u00FCber.txt"), "cp437");
    EXPECT_EQ(ReadTextFile(target_ + L"\\caf\u00E9.txt"), "utf8");
    EXPECT_EQ(ReadTextFile(target_ + L"\\\u65E5\u672C.txt"), "nihon");
}

TEST_F(UnzipLibrary, MakesAMissingTargetFolderWithItsParents) {
    target_ = scratch_ + L"\\arena\\new\\deeper";
    ASSERT_EQ(Unzip(ZipWriter().Stored("a.txt", "a")), PK_OK);
    EXPECT_EQ(ReadTextFile(target_ + L"\\a.txt"), "a");
}

TEST_F(UnzipLibrary, FindsTheArchiveBehindAStub) {
    ASSERT_EQ(Unzip(ZipWriter().Stub(std::string(1000, 'M')).Deflated("a.txt", "behind the stub")), PK_OK);
    EXPECT_EQ(ReadTextFile(target_ + L"\\a.txt"), "behind the stub");
}

TEST_F(UnzipLibrary, AnEmptyArchiveUnpacksToNothing) {
    EXPECT_EQ(Unzip(ZipWriter()), PK_OK);
    EXPECT_EQ(Arena(), EmptyArena());
}

// --- Hostile names -------------------------------------------------------------------------------

struct HostileName {
    std::string name;
    bool utf8;
};

TEST_F(UnzipLibrary, RefusesEveryArchiveWithAnUnsafeNameAndWritesNothingAnywhere) {
    const HostileName names[] = {
        // Climbing out.
        {"../evil.txt", false},
        {"..\\evil.txt", false},
        {"sub/../../evil.txt", false},
        {"sub/../evil.txt", false},
        {"..", false},
        {"../", false},
        {"sub/..", false},
        {"./evil.txt", false},
        {"sub//evil.txt", false},
        {"...", false},
        {".. /evil.txt", false},
        // Absolute, drives, UNC and device paths.
        {"/evil.txt", false},
        {"\\evil.txt", false},
        {"C:/scup-unzip-escape.txt", false},
        {"C:\\scup-unzip-escape.txt", false},
        {"C:scup-unzip-escape.txt", false},
        {"\\\\?\\C:\\scup-unzip-escape.txt", false},
        {"\\\\.\\C:\\scup-unzip-escape.txt", false},
        {"//server/share/evil.txt", false},
        {"\\\\?\\UNC\\server\\share\\evil.txt", false},
        // Alternate data streams.
        {"evil.txt:stream", false},
        {"a:b", false},
        {"evil.txt::$DATA", false},
        {"sub/a:b/c.txt", false},
        // Reserved device names, with and without extensions, at any depth.
        {"CON", false},
        {"nul.txt", false},
        {"sub/COM1.xml", false},
        {"LPT9", false},
        {"aux .txt", false},
        {"CONOUT$", false},
        {"prn.tar.gz", false},
        {"COM\xC2\xB9", true},
        {"lpt0.bin", false},
        // Names Windows would change or cannot hold.
        {"evil.txt.", false},
        {"evil.txt ", false},
        {"sub./evil.txt", false},
        {"", false},
        {std::string("a\0../../evil.txt", 16), false},
        {"a\x01.txt", false},
        {"a<b", false},
        {"a>b", false},
        {"a|b", false},
        {"a?b", false},
        {"a*b", false},
        {"a\"b", false},
        {"\xFF\xFE.txt", true},
    };
    for (const HostileName& hostile : names) {
        SCOPED_TRACE("entry name \"" + hostile.name + "\"");
        ZipWriter zip;
        zip.Stored("first.txt", "good")
            .Deflated("sub/second.txt", "good")
            .Add(ZipSpec(hostile.name, "evil").InUtf8(hostile.utf8))
            .Stored("last.txt", "good");
        EXPECT_EQ(Unzip(zip), UZ_UNSAFE);
        EXPECT_EQ(Arena(), EmptyArena());
        EXPECT_EQ(TreeOf(scratch_).size(), EmptyArena().size() + 2);  // arena\ and the archive
        EXPECT_FALSE(FileExists(L"C:\\scup-unzip-escape.txt"));
    }
}

TEST_F(UnzipLibrary, RefusesCollidingNames) {
    const std::vector<std::vector<std::string>> cases = {
        {"a.txt", "a.txt"}, {"a.txt", "A.TXT"},   {"sub/a.txt", "SUB\\a.txt"},
        {"a", "a/b.txt"},   {"a/b.txt", "a"},     {"dir/", "dir"},
        {"dir", "dir/"},    {"x/y/z.txt", "X/Y"},
    };
    for (const auto& names : cases) {
        SCOPED_TRACE(names[0] + " + " + names[1]);
        ZipWriter zip;
        for (const std::string& name : names)
            if (name.back() == '/')
                zip.Folder(name);
            else
                zip.Stored(name, "data of " + name);
        EXPECT_EQ(Unzip(zip), UZ_UNSAFE);
        EXPECT_EQ(Arena(), EmptyArena());
    }
}

TEST_F(UnzipLibrary, AcceptsRepeatedFolderEntries) {
    ASSERT_EQ(Unzip(ZipWriter().Folder("d/").Folder("D/").Stored("d/a.txt", "a")), PK_OK);
    EXPECT_EQ(ReadTextFile(target_ + L"\\d\\a.txt"), "a");
}

TEST_F(UnzipLibrary, RefusesAPathThatWouldBeTooLong) {
    const std::string longName = std::string(120, 'a') + "/" + std::string(120, 'b') + ".txt";
    EXPECT_EQ(Unzip(ZipWriter().Stored("ok.txt", "x").Stored(longName, "x")), UZ_UNSAFE);
    EXPECT_EQ(Arena(), EmptyArena());
}

TEST_F(UnzipLibrary, ReportsARefusalUnlessQuiet) {
    const ZipWriter zip = ZipWriter().Stored("../evil.txt", "x");
    options_.fQuiet = 2;
    EXPECT_EQ(Unzip(zip), UZ_UNSAFE);
    EXPECT_TRUE(g_printed.empty());
    options_.fQuiet = 1;
    EXPECT_EQ(Unzip(zip), UZ_UNSAFE);
    ASSERT_EQ(g_printed.size(), 1u);
    EXPECT_NE(g_printed[0].find("../evil.txt"), std::string::npos) << g_printed[0];
}

// --- Damaged archives ----------------------------------------------------------------------------

TEST_F(UnzipLibrary, ACrcMismatchFailsAndRemovesWhatWasWrittenBeforeIt) {
    for (bool deflate : {false, true}) {
        SCOPED_TRACE(deflate ? "deflated" : "stored");
        ZipWriter zip;
        zip.Stored("first.txt", "good")
            .Deflated("sub/deeper/second.txt", Pattern(100000, 3))
            .Add(ZipSpec("sub/bad.txt", "damaged").Deflate(deflate).WithCrc(0x12345678));
        EXPECT_EQ(Unzip(zip), PK_ERR);
        EXPECT_EQ(Arena(), EmptyArena());
    }
}

TEST_F(UnzipLibrary, AFailedArchiveLeavesExistingFilesAsTheyWere) {
    WriteTextFile(target_ + L"\\keep.txt", "old");
    ZipWriter zip;
    zip.Stored("keep.txt", "new").Add(ZipSpec("bad.txt", "x").WithCrc(1));
    EXPECT_EQ(Unzip(zip), PK_ERR);
    EXPECT_EQ(TreeOf(target_), (Tree{{L"keep.txt", "old"}}));
}

TEST_F(UnzipLibrary, AFileThatCannotBeReplacedUndoesTheFilesReplacedBeforeIt) {
    WriteTextFile(target_ + L"\\a.txt", "old a");
    WriteTextFile(target_ + L"\\b.txt", "old b");
    // Held open without leave to delete or rename it, as a program that uses the file would.
    scup::UniqueFile busy(CreateFileW((target_ + L"\\b.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(busy);
    EXPECT_EQ(Unzip(ZipWriter().Stored("a.txt", "new a").Stored("b.txt", "new b").Stored("c.txt", "c")),
              PK_DISK);
    busy.reset();
    EXPECT_EQ(TreeOf(target_), (Tree{{L"a.txt", "old a"}, {L"b.txt", "old b"}}));
}

TEST_F(UnzipLibrary, RecordedSizesMustMatchTheData) {
    const std::string data = Pattern(5000, 9);
    const ZipSpec cases[] = {
        ZipSpec("short.bin", data).Deflate().WithSize(4999),
        ZipSpec("long.bin", data).Deflate().WithSize(5001),
        ZipSpec("stored.bin", data).WithSize(4000),
        ZipSpec("bits.bin", data).Deflate().WithPayload(std::string(200, '\xFF')),
        ZipSpec("cut.bin", data).Deflate().WithPayload(DeflateRaw(data).substr(0, 100)),
    };
    for (const ZipSpec& spec : cases) {
        SCOPED_TRACE(spec.name);
        EXPECT_EQ(Unzip(ZipWriter().Stored("first.txt", "x").Add(spec)), PK_ERR);
        EXPECT_EQ(Arena(), EmptyArena());
    }
}

TEST_F(UnzipLibrary, DataReachingIntoTheDirectoryIsRefused) {
    EXPECT_EQ(Unzip(ZipWriter().Add(ZipSpec("a.txt", "abc").WithCompressedSize(5000))), PK_BADERR);
    EXPECT_EQ(Arena(), EmptyArena());
}

TEST_F(UnzipLibrary, EveryTruncationFailsWithoutLeavingAnything) {
    ZipWriter zip;
    zip.Stored("a.txt", "first entry").Deflated("sub/b.txt", Pattern(2000, 5)).Stored("c.txt", "last entry");
    const std::string whole = zip.Bytes();
    for (size_t length = 0; length < whole.size(); ++length) {
        SCOPED_TRACE("cut at " + std::to_string(length) + " of " + std::to_string(whole.size()));
        WriteBinaryFile(archive_, whole.substr(0, length));
        EXPECT_NE(UnzipFile(archive_), PK_OK);
        ASSERT_EQ(Arena(), EmptyArena());
    }
}

TEST_F(UnzipLibrary, AMissingFileOrOneThatIsNoArchiveIsNotAZip) {
    EXPECT_EQ(UnzipFile(scratch_ + L"\\missing.zip"), PK_NOZIP);
    WriteTextFile(archive_, std::string(5000, 'x'));
    EXPECT_EQ(UnzipFile(archive_), PK_NOZIP);
    EXPECT_EQ(Arena(), EmptyArena());
}

TEST_F(UnzipLibrary, EncryptedUnknownAndZip64EntriesAreUnsupported) {
    const ZipSpec cases[] = {
        ZipSpec("secret.txt", "x").WithFlags(0x0001),   ZipSpec("strong.txt", "x").WithFlags(0x0041),
        ZipSpec("bzip2.txt", "x").WithMethod(12),       ZipSpec("deflate64.txt", "x").WithMethod(9),
        ZipSpec("zip64.txt", "x").WithSize(0xFFFFFFFF),
    };
    for (const ZipSpec& spec : cases) {
        SCOPED_TRACE(spec.name);
        EXPECT_EQ(Unzip(ZipWriter().Stored("first.txt", "x").Add(spec)), IZ_UNSUP);
        EXPECT_EQ(Arena(), EmptyArena());
    }
}

// --- Limits --------------------------------------------------------------------------------------

TEST_F(UnzipLibrary, AnArchiveDeclaringMoreThanAGibibyteIsRefusedBeforeAnythingIsWritten) {
    // Two entries of 600 MiB each by their records; their data is never reached.
    ZipWriter zip;
    zip.Stored("small.txt", "x")
        .Add(ZipSpec("bomb1.bin", "0").Deflate().WithSize(600u << 20))
        .Add(ZipSpec("bomb2.bin", "0").Deflate().WithSize(600u << 20));
    EXPECT_EQ(Unzip(zip), UZ_LIMIT);
    EXPECT_EQ(Arena(), EmptyArena());
}

TEST_F(UnzipLibrary, ABombThatUnderstatesItsSizeStopsAtTheRecordedSize) {
    const std::string zeros(64u << 20, '\0');
    ZipWriter zip;
    zip.Add(ZipSpec("bomb.bin", zeros).Deflate().WithSize(1000));
    EXPECT_EQ(Unzip(zip), PK_ERR);
    EXPECT_EQ(Arena(), EmptyArena());
}

TEST_F(UnzipLibrary, EntriesSharingTheirDataAreRefused) {
    ZipWriter zip;
    zip.Deflated("one.bin", std::string(100000, 'z')).Add(ZipSpec("two.bin").SharingDataOf(0));
    EXPECT_EQ(Unzip(zip), PK_BADERR);
    EXPECT_EQ(Arena(), EmptyArena());
}

TEST_F(UnzipLibrary, TheSizeLimitCountsAllEntriesTogether) {
    setLimits_(1u << 20, 0);
    const std::string half(512u << 10, 'h');
    ASSERT_EQ(Unzip(ZipWriter().Deflated("a.bin", half).Deflated("b.bin", half)), PK_OK);
    scup::RemoveFolder(target_);
    EXPECT_EQ(Unzip(ZipWriter().Deflated("a.bin", half).Deflated("b.bin", half).Stored("c.txt", "1")),
              UZ_LIMIT);
    EXPECT_FALSE(FileExists(target_ + L"\\a.bin"));
}

TEST_F(UnzipLibrary, TheEntryLimitCountsEveryEntry) {
    setLimits_(0, 3);
    ASSERT_EQ(Unzip(ZipWriter().Stored("a", "").Stored("b", "").Folder("c/")), PK_OK);
    scup::RemoveFolder(target_);
    EXPECT_EQ(Unzip(ZipWriter().Stored("a", "").Stored("b", "").Folder("c/").Stored("d", "")), UZ_LIMIT);
    EXPECT_FALSE(FileExists(target_));
}

// --- Options and callbacks -----------------------------------------------------------------------

TEST_F(UnzipLibrary, TestModeChecksEverythingAndWritesNothing) {
    options_.ntflag = 1;
    EXPECT_EQ(Unzip(ZipWriter().Stored("a.txt", "a").Deflated("sub/b.txt", "b")), PK_OK);
    EXPECT_EQ(Arena(), EmptyArena());
    EXPECT_EQ(Unzip(ZipWriter().Stored("a.txt", "a").Add(ZipSpec("b.txt", "b").WithCrc(7))), PK_ERR);
}

TEST_F(UnzipLibrary, ExistingFilesAreReplacedOnlyWhenAllowed) {
    const ZipWriter zip = ZipWriter().Stored("a.txt", "new").Stored("fresh.txt", "fresh");
    WriteTextFile(target_ + L"\\a.txt", "old");

    options_.noflag = 0;
    ASSERT_EQ(Unzip(zip), PK_OK);  // neither allowed nor asked: kept
    EXPECT_EQ(ReadTextFile(target_ + L"\\a.txt"), "old");
    EXPECT_EQ(ReadTextFile(target_ + L"\\fresh.txt"), "fresh");
    EXPECT_TRUE(g_replaceAsked.empty());

    options_.PromptToOverwrite = 1;
    g_replaceAnswer = IDM_REPLACE_NO;
    ASSERT_EQ(Unzip(zip), PK_OK);
    EXPECT_EQ(ReadTextFile(target_ + L"\\a.txt"), "old");
    ASSERT_EQ(g_replaceAsked.size(), 2u);  // a.txt, and fresh.txt which is there now
    EXPECT_NE(g_replaceAsked[0].find("a.txt"), std::string::npos);

    g_replaceAnswer = IDM_REPLACE_YES;
    ASSERT_EQ(Unzip(zip), PK_OK);
    EXPECT_EQ(ReadTextFile(target_ + L"\\a.txt"), "new");

    WriteTextFile(target_ + L"\\a.txt", "old");
    options_.PromptToOverwrite = 0;
    options_.noflag = 1;
    ASSERT_EQ(Unzip(zip), PK_OK);
    EXPECT_EQ(ReadTextFile(target_ + L"\\a.txt"), "new");
    EXPECT_EQ(TreeOf(target_).size(), 2u);  // no temporary file left behind
}

TEST_F(UnzipLibrary, TheServiceCallbackCancelsAndNothingStays) {
    g_cancelAt = 1;
    EXPECT_EQ(Unzip(ZipWriter().Stored("a.txt", "a").Stored("sub/b.txt", "b").Stored("c.txt", "c")),
              IZ_CTRLC);
    EXPECT_EQ(g_serviceCalls, 2);
    EXPECT_EQ(Arena(), EmptyArena());
}

TEST_F(UnzipLibrary, IncludeAndExcludeListsSelectEntries) {
    ZipWriter()
        .Stored("data.xml", "1")
        .Stored("sub/Data_DEU.XML", "2")
        .Stored("image.bmp", "3")
        .WriteTo(archive_);
    char xml[] = "*.xml";
    char bmp[] = "*.bmp";
    char nothing[] = "nothing*";
    char* include[] = {xml};
    char* exclude[] = {bmp};
    char* none[] = {nothing};

    ASSERT_EQ(UnzipFile(archive_, 1, include), PK_OK);
    EXPECT_EQ(TreeOf(target_), (Tree{{L"data.xml", "1"}}));

    scup::RemoveFolder(target_);
    options_.C_flag = 1;
    ASSERT_EQ(UnzipFile(archive_, 1, include), PK_OK);
    EXPECT_EQ(TreeOf(target_), (Tree{{L"data.xml", "1"}, {L"sub\\", ""}, {L"sub\\Data_DEU.XML", "2"}}));

    scup::RemoveFolder(target_);
    ASSERT_EQ(UnzipFile(archive_, 0, nullptr, 1, exclude), PK_OK);
    EXPECT_FALSE(FileExists(target_ + L"\\image.bmp"));
    EXPECT_TRUE(FileExists(target_ + L"\\data.xml"));

    EXPECT_EQ(UnzipFile(archive_, 1, none), PK_FIND);
}

TEST_F(UnzipLibrary, WithoutFolderStructureEveryFileLandsInTheTarget) {
    options_.ndflag = 0;
    ASSERT_EQ(Unzip(ZipWriter().Folder("sub/").Stored("sub/deep/a.txt", "a").Stored("b.txt", "b")), PK_OK);
    EXPECT_EQ(TreeOf(target_), (Tree{{L"a.txt", "a"}, {L"b.txt", "b"}}));
    EXPECT_EQ(Unzip(ZipWriter().Stored("x/a.txt", "1").Stored("y/a.txt", "2")), UZ_UNSAFE);
}

TEST_F(UnzipLibrary, SpacesCanBecomeUnderscores) {
    options_.SpaceToUnderscore = 1;
    ASSERT_EQ(Unzip(ZipWriter().Stored("my folder/a file.txt", "a")), PK_OK);
    EXPECT_EQ(ReadTextFile(target_ + L"\\my_folder\\a_file.txt"), "a");
}

TEST_F(UnzipLibrary, ModesItDoesNotOfferAreBadOptions) {
    ZipWriter().Stored("a.txt", "a").WriteTo(archive_);
    int DCL::*const modes[] = {&DCL::ExtractOnlyNewer, &DCL::ncflag, &DCL::nvflag,
                               &DCL::nfflag,           &DCL::naflag, &DCL::nZIflag};
    for (int DCL::*mode : modes) {
        DCL saved = options_;
        options_.*mode = 1;
        EXPECT_EQ(UnzipFile(archive_), PK_PARAM);
        options_ = saved;
    }
    EXPECT_EQ(unzip_(0, nullptr, 0, nullptr, nullptr, &callbacks_), PK_PARAM);
    EXPECT_EQ(Arena(), EmptyArena());
}

}  // namespace

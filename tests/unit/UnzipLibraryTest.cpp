// unzip32.dll through its exported interface, as a caller loads it: good archives, damaged ones
// and crafted ones that try to write outside the target folder.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "ZipWriter.h"
#include "common/AppFiles.h"
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
    for (bool zip64 : {false, true}) {
        const unsigned zip64Fields = zip64 ? kZip64All : kZip64None;
        ZipWriter zip;
        zip.Stored("a.txt", "first entry")
            .Add(ZipSpec("sub/b.txt", Pattern(2000, 5)).Deflate().InZip64(zip64Fields))
            .Stored("c.txt", "last entry");
        if (zip64) zip.WithZip64End();
        const std::string whole = zip.Bytes();
        for (size_t length = 0; length < whole.size(); ++length) {
            SCOPED_TRACE((zip64 ? "Zip64, cut at " : "cut at ") + std::to_string(length) + " of " +
                         std::to_string(whole.size()));
            WriteBinaryFile(archive_, whole.substr(0, length));
            EXPECT_NE(UnzipFile(archive_), PK_OK);
            ASSERT_EQ(Arena(), EmptyArena());
        }
    }
}

TEST_F(UnzipLibrary, AMissingFileOrOneThatIsNoArchiveIsNotAZip) {
    EXPECT_EQ(UnzipFile(scratch_ + L"\\missing.zip"), PK_NOZIP);
    WriteTextFile(archive_, std::string(5000, 'x'));
    EXPECT_EQ(UnzipFile(archive_), PK_NOZIP);
    EXPECT_EQ(Arena(), EmptyArena());
}

TEST_F(UnzipLibrary, EncryptedAndUnknownEntriesAreUnsupported) {
    const ZipSpec cases[] = {
        ZipSpec("secret.txt", "x").WithFlags(0x0001),
        ZipSpec("strong.txt", "x").WithFlags(0x0041),
        ZipSpec("bzip2.txt", "x").WithMethod(12),
        ZipSpec("deflate64.txt", "x").WithMethod(9),
    };
    for (const ZipSpec& spec : cases) {
        SCOPED_TRACE(spec.name);
        EXPECT_EQ(Unzip(ZipWriter().Stored("first.txt", "x").Add(spec)), IZ_UNSUP);
        EXPECT_EQ(Arena(), EmptyArena());
    }
}

// --- Zip64 records -------------------------------------------------------------------------------

// Made at build time by Debian's zip from fixtures\unzip\src with Zip64 records forced on: sizes in
// the Zip64 fields of local headers and directory records, and the Zip64 end records.
TEST_F(UnzipLibrary, UnpacksAnArchiveOfZipWithForcedZip64Exactly) {
    const std::wstring fixtures = BinFolder() + L"..\\fixtures\\unzip\\";
    ASSERT_TRUE(FileExists(fixtures + L"tool64.zip"))
        << "made at build time with zip (scripts/setup.sh installs it)";
    const std::string bytes = ReadTextFile(fixtures + L"tool64.zip");
    ASSERT_NE(bytes.find("PK\x06\x06"), std::string::npos) << "no Zip64 end record: zip ignored -fz";
    ASSERT_NE(bytes.find("PK\x06\x07"), std::string::npos) << "no Zip64 locator: zip ignored -fz";
    ASSERT_EQ(UnzipFile(fixtures + L"tool64.zip"), PK_OK);
    const Tree expected = TreeOf(fixtures + L"src");
    EXPECT_EQ(expected.size(), 6u);  // four files, and images\thumb.bmp in its folder
    EXPECT_EQ(TreeOf(target_), expected);
}

TEST_F(UnzipLibrary, UnpacksZip64FieldsAndEndRecordsOfEveryKind) {
    const std::string big = Pattern(100000, 11);
    const std::string timestamp = ExtraField(0x5455, std::string("\x01\x00\x00\x00\x00", 5));
    // The Zip64 field of "after.txt" follows another field, in the directory and the local header.
    const std::string afterData = "after another field";
    const std::string size = Le64(afterData.size());
    const ZipSpec after = ZipSpec("after.txt", afterData)
                              .InZip64()
                              .WithCentralExtra(timestamp + ExtraField(1, size + size + Le64(0)))
                              .WithLocalExtra(timestamp + ExtraField(1, size + size));
    auto entries = [&] {
        ZipWriter zip;
        zip.Add(after)
            .Add(ZipSpec("all.bin", big).Deflate().InZip64())
            .Add(ZipSpec("size.txt", "only the size").InZip64(kZip64Size))
            .Add(ZipSpec("offset.txt", "only the offset").Deflate().InZip64(kZip64Offset))
            .Add(ZipSpec("sizes.txt", "both sizes").InZip64(kZip64Size | kZip64CompressedSize))
            .Add(ZipSpec("described.bin", big).Deflate().InZip64().WithDescriptor())
            .Stored("plain.txt", "no Zip64 field");
        return zip;
    };
    const struct {
        const char* what;
        ZipWriter zip;
    } cases[] = {
        {"Zip64 end records, the end record full", entries().WithZip64End()},
        {"Zip64 end records beside an end record that keeps its values",
         entries().WithZip64End(Zip64End().KeepingClassicValues())},
        {"behind a stub", entries().Stub(std::string(777, 'M')).WithZip64End()},
        {"Zip64 fields only", entries()},
    };
    const Tree expected{{L"all.bin", big},
                        {L"size.txt", "only the size"},
                        {L"offset.txt", "only the offset"},
                        {L"sizes.txt", "both sizes"},
                        {L"described.bin", big},
                        {L"plain.txt", "no Zip64 field"},
                        {L"after.txt", afterData}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Unzip(c.zip), PK_OK);
        EXPECT_EQ(TreeOf(target_), expected);
        EXPECT_EQ(callbacks_.NumMembers, 7u);
        EXPECT_EQ(callbacks_.TotalSize, 2 * big.size() + 13 + 15 + 10 + 14 + afterData.size());
        scup::RemoveFolder(target_);
    }
}

// Each value below is one whose low 32 bits make a good archive.
TEST_F(UnzipLibrary, Zip64SizesCountsAndOffsetsAreNeverCutTo32Bits) {
    constexpr uint64_t k4G = 1ull << 32;
    const struct {
        const char* what;
        ZipWriter zip;
        int expected;
    } cases[] = {
        {"a size over the limit", ZipWriter().Add(ZipSpec("a.txt", "hello").InZip64().WithSize(k4G + 5)),
         UZ_LIMIT},
        {"sizes whose sum wraps around to nothing",
         ZipWriter().Stored("a.txt", "hello").Add(ZipSpec("b.txt", "").InZip64().WithSize(0 - 5ull)),
         UZ_LIMIT},
        {"a compressed size past the directory",
         ZipWriter().Add(ZipSpec("a.txt", "hello").InZip64().WithCompressedSize(k4G + 5)), PK_BADERR},
        // The data starts 55 bytes in (header, name and Zip64 field): 55 + this wraps around to 27.
        {"a compressed size that wraps around",
         ZipWriter().Add(ZipSpec("a.txt", "hello").Deflate().InZip64().WithCompressedSize(0 - 28ull)),
         PK_BADERR},
        {"a local header offset past the directory",
         ZipWriter().Add(ZipSpec("a.txt", "hello").InZip64().WithOffset(k4G)), PK_BADERR},
        {"an entry count over the limit",
         ZipWriter().Stored("a.txt", "hello").WithZip64End(Zip64End().WithEntryCount(k4G + 1)), UZ_LIMIT},
        {"a directory size past the record",
         ZipWriter().Stored("a.txt", "hello").WithZip64End(Zip64End().WithCentralSize(k4G + 51)), PK_BADERR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Unzip(c.zip), c.expected);
        EXPECT_EQ(Arena(), EmptyArena());
    }
}

TEST_F(UnzipLibrary, MissingShortOrGarbledZip64FieldsAreDamage) {
    const std::string threeValues = Le64(5) + Le64(5) + Le64(0);
    const struct {
        const char* what;
        ZipSpec spec;
    } cases[] = {
        {"a full size without a Zip64 field", ZipSpec("a.txt", "hello").WithSize(0xFFFFFFFF)},
        {"a full offset without a Zip64 field",
         ZipSpec("a.txt", "hello").InZip64(kZip64Offset).WithCentralExtra("")},
        {"a field too short for its values",
         ZipSpec("a.txt", "hello").InZip64().WithCentralExtra(ExtraField(1, Le64(5) + Le64(5)))},
        {"a field that runs past the extra area",
         ZipSpec("a.txt", "hello").InZip64().WithCentralExtra(ExtraField(1, threeValues).substr(0, 20))},
        {"half a field header", ZipSpec("a.txt", "hello").InZip64().WithCentralExtra("\x01")},
        {"garbage for a field",
         ZipSpec("a.txt", "hello").InZip64().WithCentralExtra(ExtraField(1, "garbage"))},
        {"a local field too short",
         ZipSpec("a.txt", "hello").InZip64().WithLocalExtra(ExtraField(1, Le64(5)))},
        {"full local sizes without a field", ZipSpec("a.txt", "hello").InZip64().WithLocalExtra("")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Unzip(ZipWriter().Stored("first.txt", "x").Add(c.spec)), PK_BADERR);
        EXPECT_EQ(Arena(), EmptyArena());
    }
}

TEST_F(UnzipLibrary, BadZip64EndRecordsAreRefused) {
    auto archive = [](Zip64End end) {
        return ZipWriter().Stored("a.txt", "a").Deflated("b.txt", "bb").WithZip64End(end);
    };
    constexpr size_t kZip64EndSize = 56, kLocatorSize = 20, kEndSize = 22;
    const std::string whole = archive(Zip64End()).Bytes();
    const uint64_t recordAt = whole.size() - kEndSize - kLocatorSize - kZip64EndSize;
    const struct {
        const char* what;
        ZipWriter zip;
        int expected;
    } cases[] = {
        {"a locator past the end of the file", archive(Zip64End().WithRecordOffset(1ull << 40)), PK_BADERR},
        {"a locator at the first entry", archive(Zip64End().WithRecordOffset(0)), PK_BADERR},
        {"a locator a little before the record", archive(Zip64End().WithRecordOffset(recordAt - 1)),
         PK_BADERR},
        {"an end record that disagrees with the Zip64 one",
         archive(Zip64End().KeepingClassicValues().WithEntryCount(1)), PK_BADERR},
        {"records on several disks", archive(Zip64End().WithTotalDisks(2)), IZ_UNSUP},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Unzip(c.zip), c.expected);
        EXPECT_EQ(Arena(), EmptyArena());
    }
    std::string noRecord = whole;
    noRecord[recordAt + 3] = '\x07';
    std::string shortRecord = whole;
    shortRecord[recordAt + 4] = 43;  // the record's size
    const std::pair<const char*, std::string> garbled[] = {
        {"no Zip64 end record where the locator points", noRecord},
        {"a Zip64 end record too short for its values", shortRecord},
    };
    for (const auto& [what, bytes] : garbled) {
        SCOPED_TRACE(what);
        WriteBinaryFile(archive_, bytes);
        EXPECT_EQ(UnzipFile(archive_), PK_BADERR);
        EXPECT_EQ(Arena(), EmptyArena());
    }
    // Without a locator the end record's full values are taken as they are: 65535 entries, and a
    // directory larger than the file.
    std::string fullWithoutZip64 = whole;
    fullWithoutZip64.erase(recordAt, kZip64EndSize + kLocatorSize);
    WriteBinaryFile(archive_, fullWithoutZip64);
    EXPECT_EQ(UnzipFile(archive_), UZ_LIMIT);
    setLimits_(0, 0xFFFF);
    EXPECT_EQ(UnzipFile(archive_), PK_BADERR);
    EXPECT_EQ(Arena(), EmptyArena());
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

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "common/AppFiles.h"
#include "local/AUCrypt.h"

namespace {

using namespace testing_support;

// SHA-256 digests in Base64, worked out independently of CryptoAPI.
const std::wstring kSha256OfAbc = L"ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=";
const std::wstring kSha256OfNothing = L"47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=";
// Four times the bytes 0 to 255: CR, LF, 0x1A and NUL must all be hashed as stored.
const std::wstring kSha256OfAllBytesFourTimes = L"eFsHUfwsU9wUpM49gA5p75zhAJ6zJ8z0WK/gnCQsJsk=";

std::string AllBytesFourTimes() {
    std::string bytes;
    for (int round = 0; round < 4; ++round)
        for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
    return bytes;
}

std::wstring LowerCase(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

class AUCryptFileTest : public ::testing::Test {
protected:
    void SetUp() override { folder_ = MakeScratchFolder(L"crypt"); }
    void TearDown() override { scup::RemoveFolder(folder_); }

    std::wstring Write(const std::wstring& name, const std::string& content) {
        std::wstring path = folder_ + L"\\" + name;
        WriteTextFile(path, content);
        return path;
    }

    std::wstring folder_;
};

TEST_F(AUCryptFileTest, ChecksumMatchesWithWhiteSpaceAtEitherEnd) {
    const std::wstring file = Write(L"abc.bin", "abc");
    for (const std::wstring& expected :
         {kSha256OfAbc, kSha256OfAbc + L"\r\n", kSha256OfAbc + L"  \t", L" \t\r\n" + kSha256OfAbc + L"\n\r\n",
          L"\t" + kSha256OfAbc})
        EXPECT_EQ(CAUCrypt::IsFileIntact(file, expected), 0) << expected;
}

TEST_F(AUCryptFileTest, ChecksumIsComparedExactlyAndCaseSensitively) {
    const std::wstring file = Write(L"abc.bin", "abc");
    TraceCapture trace;
    EXPECT_EQ(CAUCrypt::IsFileIntact(file, LowerCase(kSha256OfAbc)), 1);
    EXPECT_EQ(CAUCrypt::IsFileIntact(file, kSha256OfAbc.substr(0, 20) + L"\r\n" + kSha256OfAbc.substr(20)), 1);
    EXPECT_EQ(CAUCrypt::IsFileIntact(file, kSha256OfAbc.substr(0, 20) + L" " + kSha256OfAbc.substr(20)), 1);
    EXPECT_EQ(CAUCrypt::IsFileIntact(file, kSha256OfAbc.substr(0, kSha256OfAbc.size() - 1)), 1);
    EXPECT_EQ(CAUCrypt::IsFileIntact(file, L""), 1);
    EXPECT_EQ(CAUCrypt::IsFileIntact(file, kSha256OfNothing), 1);
    EXPECT_EQ(trace.Count(L"Hash values are different."), 6);
    EXPECT_EQ(trace.Count(L"Hash values are same."), 0);
}

TEST_F(AUCryptFileTest, BinaryFileIsHashedAsStoredAndTraced) {
    const std::wstring file = Write(L"all.bin", AllBytesFourTimes());
    TraceCapture trace;
    EXPECT_EQ(CAUCrypt::IsFileIntact(file, kSha256OfAllBytesFourTimes), 0);
    EXPECT_TRUE(trace.Contains(L"File to be hashed: " + file));
    EXPECT_TRUE(trace.Contains(L"File Size is : 1024"));
    EXPECT_TRUE(trace.Contains(L"Base64 Encoded hash of file : " + kSha256OfAllBytesFourTimes + L"\r\n"));
    EXPECT_TRUE(trace.Contains(L"Hash values are same."));
    const auto lines = trace.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), L"Enter : CAUCrypt::IsFileIntact().");
    EXPECT_EQ(lines.back(), L"Exit : CAUCrypt::IsFileIntact()");
}

TEST_F(AUCryptFileTest, EmptyFileIsNotIntactEvenAgainstTheDigestOfNothing) {
    const std::wstring file = Write(L"empty.bin", "");
    TraceCapture trace;
    EXPECT_EQ(CAUCrypt::IsFileIntact(file, kSha256OfNothing), 1);
    EXPECT_TRUE(trace.Contains(L"Failed to read file."));
    EXPECT_TRUE(trace.Contains(L"Failed to get file contents into buffer."));
    EXPECT_FALSE(trace.Contains(L"Hash values are same."));
    EXPECT_EQ(trace.Lines().back(), L"Exit : CAUCrypt::IsFileIntact()");
}

TEST_F(AUCryptFileTest, MissingFileIsNotIntact) {
    TraceCapture trace;
    EXPECT_EQ(CAUCrypt::IsFileIntact(folder_ + L"\\absent.bin", kSha256OfAbc), 1);
    EXPECT_TRUE(trace.Contains(L"Failed to open file."));
    EXPECT_TRUE(trace.Contains(L"Failed to get file size for allocating buffer."));
    EXPECT_FALSE(trace.Contains(L"Failed to get file contents into buffer."));
    EXPECT_EQ(trace.Lines().back(), L"Exit : CAUCrypt::IsFileIntact()");
}

TEST_F(AUCryptFileTest, BufferReadGivesSizeFirstThenTheWholeFile) {
    const std::string content = AllBytesFourTimes() + "tail";
    const std::wstring file = Write(L"read.bin", content);
    DWORD size = 0;
    ASSERT_EQ(CAUCrypt::GetFileinBuffer(file, nullptr, size), 0);
    ASSERT_EQ(size, content.size());
    std::vector<BYTE> buffer(size);
    ASSERT_EQ(CAUCrypt::GetFileinBuffer(file, buffer.data(), size), 0);
    EXPECT_EQ(size, content.size());
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), content);
}

TEST_F(AUCryptFileTest, FileThatChangedSizeSinceTheQueryIsRefusedWithoutOverrun) {
    const std::wstring file = Write(L"changing.bin", std::string(16, 'a'));
    DWORD size = 0;
    ASSERT_EQ(CAUCrypt::GetFileinBuffer(file, nullptr, size), 0);
    ASSERT_EQ(size, 16u);

    // Grown: the buffer of the old size must not be written past its end.
    Write(L"changing.bin", std::string(64, 'b'));
    std::vector<BYTE> guarded(size + 16, 0xCD);
    DWORD capacity = size;
    EXPECT_EQ(CAUCrypt::GetFileinBuffer(file, guarded.data(), capacity), 1);
    for (size_t i = size; i < guarded.size(); ++i) ASSERT_EQ(guarded[i], 0xCD) << i;

    // Shrunk: only what the file holds now is read and counted, so no stale tail gets hashed.
    Write(L"changing.bin", std::string(4, 'c'));
    std::vector<BYTE> buffer(64);
    capacity = 64;
    EXPECT_EQ(CAUCrypt::GetFileinBuffer(file, buffer.data(), capacity), 0);
    EXPECT_EQ(capacity, 4u);
}

TEST_F(AUCryptFileTest, FileOf4GiBIsRefusedRatherThanCutToItsLow32Bits) {
    const std::wstring file = folder_ + L"\\huge.bin";
    {
        scup::UniqueFile handle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(handle);
        LARGE_INTEGER end{};
        end.QuadPart = 0x100000003LL;  // low 32 bits: 3, the size a truncating reader would see
        if (!SetFilePointerEx(handle.get(), end, nullptr, FILE_BEGIN) || !SetEndOfFile(handle.get()))
            GTEST_SKIP() << "this file system cannot hold a sparse 4 GiB file";
    }
    TraceCapture trace;
    DWORD size = 0;
    EXPECT_EQ(CAUCrypt::GetFileinBuffer(file, nullptr, size), 1);
    EXPECT_EQ(CAUCrypt::IsFileIntact(file, kSha256OfNothing), 1);
    EXPECT_TRUE(trace.Contains(L"File is too large to be hashed."));
    EXPECT_TRUE(trace.Contains(L"Failed to get file size for allocating buffer."));
}

TEST(AUCryptBase64, DigestIsOneLineOf44CharactersEndedByCrLf) {
    const std::string abc = "abc";
    std::wstring base64;
    TraceCapture trace;
    ASSERT_EQ(CAUCrypt::GetBase64EncodedHash(reinterpret_cast<const BYTE*>(abc.data()), 3, base64), 0);
    EXPECT_EQ(base64, kSha256OfAbc + L"\r\n");
    EXPECT_TRUE(trace.Contains(L"Enter : CAUCrypt::GetBase64EncodedHash()"));
    EXPECT_TRUE(trace.Contains(L"Exit : CAUCrypt::GetBase64EncodedHash()"));
}

TEST(AUCryptBase64, DecodingSkipsLineBreaksAndAppendsAZeroByte) {
    std::vector<BYTE> bytes;
    DWORD count = 0;
    ASSERT_TRUE(CAUCrypt::DecodeBase64(L"8e+a\r\nauva\r\n", bytes, count));
    ASSERT_EQ(count, 6u);
    const std::vector<BYTE> expected{0xf1, 0xef, 0x9a, 0x6a, 0xeb, 0xda, 0x00};
    EXPECT_EQ(bytes, expected);
}

TEST(AUCryptBase64, TextThatIsNotBase64IsRefused) {
    for (const std::wstring& text : {std::wstring(L"not base64!"), std::wstring(L"@@@@"), std::wstring(L"8e+a!uva")}) {
        std::vector<BYTE> bytes{1, 2, 3};
        DWORD count = 99;
        TraceCapture trace;
        EXPECT_FALSE(CAUCrypt::DecodeBase64(text, bytes, count)) << text;
        EXPECT_TRUE(trace.Contains(L"CryptBinaryToString() failed to get buffer length.")) << text;
        EXPECT_EQ(trace.Lines().back(), L"Exit : CAUCrypt::ConvertHashToBase64()");
    }
}

// Reads the MD5 value the cipher's key was derived from.
std::vector<BYTE> HashValue(HCRYPTHASH hash) {
    DWORD size = 0;
    if (!CryptGetHashParam(hash, HP_HASHVAL, nullptr, &size, 0)) return {};
    std::vector<BYTE> value(size);
    if (!CryptGetHashParam(hash, HP_HASHVAL, value.data(), &size, 0)) return {};
    value.resize(size);
    return value;
}

TEST(AUCryptCipher, KeyIsDerivedFromMd5OfTheFirstSevenPassPhraseBytes) {
    scup::UniqueCryptProv provider;
    scup::UniqueCryptKey key;
    scup::UniqueCryptHash hash;
    TraceCapture trace;
    ASSERT_EQ(CAUCrypt::GetSessionHandles(provider, key, hash), 0);
    EXPECT_TRUE(provider);
    EXPECT_TRUE(key);
    ASSERT_TRUE(hash);
    // MD5 of 48 00 61 00 6c 00 76.
    const std::vector<BYTE> expected{0xc8, 0xab, 0x72, 0x51, 0xfd, 0xa4, 0x11, 0x96,
                                     0x03, 0x96, 0x9b, 0x25, 0x64, 0x6d, 0xe3, 0xfd};
    EXPECT_EQ(HashValue(hash.get()), expected);
    EXPECT_EQ(trace.Lines().front(), L"Enter : CAUCrypt::GetSessionHandles()");
    EXPECT_EQ(trace.Lines().back(), L"Exit : CAUCrypt::GetSessionHandles()");
}

TEST(AUCryptCipher, StoredFormsMatchTheKnownAnswers) {
    // RC4 with the key c8ab7251fd plus 11 zero bytes over the UTF-16LE bytes.
    EXPECT_EQ(CAUCrypt::EncryptData(L"abc"), L"8e+aauva\r\n");
    EXPECT_EQ(CAUCrypt::EncryptData(L"Pr\u00fcfung \u65e5\u672c\u8a9e \u03a9"),
              L"wO+KanTawrDiw+ixog8EdQSdgPDY8cQ2tEw=\r\n");
    EXPECT_EQ(CAUCrypt::DecryptData(L"8e+aauva\r\n"), L"abc");
}

TEST(AUCryptCipher, EmptyPasswordHasAnEmptyStoredForm) {
    EXPECT_EQ(CAUCrypt::EncryptData(L""), L"");
    EXPECT_EQ(CAUCrypt::DecryptData(L""), L"");
}

TEST(AUCryptCipher, StoredFormBreaksIntoLinesOf64Characters) {
    struct Case {
        size_t characters;
        std::vector<size_t> lineLengths;
    };
    for (const Case& c : {Case{1, {4}}, Case{24, {64}}, Case{25, {64, 4}}, Case{72, {64, 64, 64}}}) {
        const std::wstring password(c.characters, L'p');
        const std::wstring stored = CAUCrypt::EncryptData(password);
        std::vector<size_t> lineLengths;
        for (size_t start = 0; start < stored.size();) {
            const size_t end = stored.find(L"\r\n", start);
            ASSERT_NE(end, std::wstring::npos) << "last line not ended by CR LF, " << c.characters;
            lineLengths.push_back(end - start);
            start = end + 2;
        }
        EXPECT_EQ(lineLengths, c.lineLengths) << c.characters;
        EXPECT_EQ(CAUCrypt::DecryptData(stored), password) << c.characters;
    }
}

TEST(AUCryptCipher, AnyNonEmptyTextSurvivesTheRoundTrip) {
    std::wstring everyLatin1;
    for (wchar_t c = 1; c < 256; ++c) everyLatin1.push_back(c);
    const std::vector<std::wstring> texts{
        L"x", L"secret password", L" leading and trailing \t\r\n", L"\u30d1\u30b9\u30ef\u30fc\u30c9",
        L"\u0643\u0644\u0645\u0629 \u0627\u0644\u0633\u0631", L"emoji \U0001F600 pair", std::wstring(L"nul\0inside", 10),
        everyLatin1};
    for (const std::wstring& text : texts) {
        const std::wstring stored = CAUCrypt::EncryptData(text);
        ASSERT_FALSE(stored.empty());
        EXPECT_EQ(stored.find(text), std::wstring::npos);
        EXPECT_EQ(CAUCrypt::DecryptData(stored), text);
    }
}

TEST(AUCryptCipher, TextThatCannotBeDecipheredGivesAnEmptyPassword) {
    TraceCapture trace;
    EXPECT_EQ(CAUCrypt::DecryptData(L"not base64!"), L"");
    EXPECT_EQ(CAUCrypt::DecryptData(L"@@@@"), L"");
    EXPECT_EQ(CAUCrypt::DecryptData(L""), L"");
    EXPECT_EQ(trace.Count(L"Enter : CAUCrypt::DecryptData()"), 3);
    EXPECT_EQ(trace.Count(L"Exit : CAUCrypt::DecryptData()"), 3);
    EXPECT_EQ(trace.Count(L"GetSessionHandles() failed"), 0);
    EXPECT_EQ(trace.Lines().back(), L"Exit : CAUCrypt::DecryptData()");
}

}  // namespace

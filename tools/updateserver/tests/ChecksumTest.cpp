// SHA-256 and Base64 against published test vectors, and the checksum text of a file.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "Base64.h"
#include "ChecksumCache.h"
#include "Sha256.h"
#include "TestCatalog.h"

namespace {

std::string Hex(const updateserver::Sha256::Digest& digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const auto b : digest) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}

std::string HexOf(const std::string& message) {
    updateserver::Sha256 hash;
    hash.Update(message);
    return Hex(hash.Finish());
}

std::string Base64Of(const std::string& bytes) {
    return updateserver::Base64Encode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TEST(Sha256, MatchesTheStandardTestVectors) {
    EXPECT_EQ(HexOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(HexOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(HexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(
        HexOf(
            "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
            "mnopqrstnopqrstu"),
        "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
}

TEST(Sha256, GivesTheSameDigestWhateverThePiecesItIsFedIn) {
    // One million "a" (a published vector), fed in pieces that straddle the 64-byte blocks unevenly.
    updateserver::Sha256 hash;
    const std::string piece(997, 'a');
    std::size_t fed = 0;
    while (fed + piece.size() <= 1000000) {
        hash.Update(piece);
        fed += piece.size();
    }
    hash.Update(std::string(1000000 - fed, 'a'));
    EXPECT_EQ(Hex(hash.Finish()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

    // Messages of 55, 56 and 64 bytes end right at the padding boundaries (digests from sha256sum).
    EXPECT_EQ(HexOf(std::string(55, 'x')),
              "d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072");
    EXPECT_EQ(HexOf(std::string(56, 'x')),
              "04c26261370ee7541549d16dee320c723e3fd14671e66a099afe0a377c16888e");
    updateserver::Sha256 split;
    split.Update(std::string(63, 'x'));
    split.Update("x");
    EXPECT_EQ(Hex(split.Finish()), "7ce100971f64e7001e8fe5a51973ecdfe1ced42befe7ee8d5fd6219506b5393c");
}

TEST(Base64, MatchesTheRfc4648Vectors) {
    EXPECT_EQ(Base64Of(""), "");
    EXPECT_EQ(Base64Of("f"), "Zg==");
    EXPECT_EQ(Base64Of("fo"), "Zm8=");
    EXPECT_EQ(Base64Of("foo"), "Zm9v");
    EXPECT_EQ(Base64Of("foob"), "Zm9vYg==");
    EXPECT_EQ(Base64Of("fooba"), "Zm9vYmE=");
    EXPECT_EQ(Base64Of("foobar"), "Zm9vYmFy");
    EXPECT_EQ(Base64Of(std::string("\xff\xfe\x00\x01", 4)), "//4AAQ==");

    // Long input stays one line with padding only at its end: "aaa" is "YWFh", "aa" is "YWE=".
    std::string expected;
    for (int i = 0; i < 33333; ++i) expected += "YWFh";
    expected += "YWE=";
    EXPECT_EQ(Base64Of(std::string(3 * 33333 + 2, 'a')), expected);
}

TEST(ChecksumCache, GivesTheBase64OfTheFilesSha256AndFollowsAReplacedFile) {
    TestCatalog folder;
    folder.WriteFile("pkg.zip", "abc");
    updateserver::ChecksumCache cache;
    updateserver::ChecksumCache::Facts facts;
    ASSERT_TRUE(cache.Get(folder.Dir() / "pkg.zip", facts));
    // SHA-256 of "abc" in Base64: one 44-character line, the form the updater compares after trimming.
    EXPECT_EQ(facts.checksum, "ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=");
    EXPECT_EQ(facts.size, 3u);

    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    folder.WriteFile("pkg.zip", "abcd");
    ASSERT_TRUE(cache.Get(folder.Dir() / "pkg.zip", facts));
    EXPECT_EQ(facts.checksum, "iNQmb9TmM40TuEX88olXnSCciXgjuSF9o+Fhk28DFYk=");
    EXPECT_EQ(facts.size, 4u);

    EXPECT_FALSE(cache.Get(folder.Dir() / "missing.zip", facts));
}

}  // namespace

// Archives from ZipWriter as the real unzip sees them.

#include <gtest/gtest.h>

#include <random>

#include "Unzip.h"
#include "ZipWriter.h"

namespace {

class ZipWriterTest : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = MakeTempDir("zipwriter"); }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
};

std::string RandomBytes(std::size_t n) {
    std::mt19937 random(12345);
    std::string bytes(n, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

TEST_F(ZipWriterTest, EntriesAreListedInOrderAndComeBackByteForByte) {
    std::string binary;
    for (int i = 0; i < 1024; ++i) binary += static_cast<char>(i * 7);
    const std::string incompressible = RandomBytes(3 << 20);
    const std::string japanese = "\xE3\x83\xA9\xE3\x83\x99\xE3\x83\xAB.txt";  // "ラベル.txt"
    {
        mkcatalog::ZipWriter zip(dir_ / "a.zip");
        ASSERT_TRUE(zip.Add("data.xml", "<ScriboUpdater><Type>pdz</Type></ScriboUpdater>"));
        ASSERT_TRUE(zip.Add("empty.txt", ""));
        ASSERT_TRUE(zip.Add("binary.bin", binary));
        ASSERT_TRUE(zip.Add("random.bin", incompressible));
        ASSERT_TRUE(zip.Add(japanese, "x"));
        ASSERT_TRUE(zip.Finish()) << zip.Error();
    }
    const auto names = UnzipNames(dir_ / "a.zip");
    EXPECT_EQ(names,
              (std::vector<std::string>{"data.xml", "empty.txt", "binary.bin", "random.bin", japanese}));
    EXPECT_TRUE(UnzipTests(dir_ / "a.zip"));
    // Deflated at the best level, even where deflate gains nothing (an empty or a random entry).
    EXPECT_EQ(UnzipMethods(dir_ / "a.zip"), std::vector<std::string>(5, "defX"));
    EXPECT_EQ(UnzipEntry(dir_ / "a.zip", "data.xml"), "<ScriboUpdater><Type>pdz</Type></ScriboUpdater>");
    EXPECT_EQ(UnzipEntry(dir_ / "a.zip", "empty.txt"), "");
    EXPECT_EQ(UnzipEntry(dir_ / "a.zip", "binary.bin"), binary);
    EXPECT_EQ(UnzipEntry(dir_ / "a.zip", "random.bin"), incompressible);
}

TEST_F(ZipWriterTest, FilesAreStreamedIntoTheArchive) {
    std::string large(24 << 20, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>((i * 131 + (i >> 12)) & 0xFF);
    WriteWholeFile(dir_ / "large.pd3", large);
    {
        mkcatalog::ZipWriter zip(dir_ / "b.zip");
        ASSERT_TRUE(zip.AddFile("large.pd3", dir_ / "large.pd3"));
        ASSERT_TRUE(zip.Finish()) << zip.Error();
    }
    EXPECT_TRUE(UnzipTests(dir_ / "b.zip"));
    EXPECT_EQ(UnzipMethods(dir_ / "b.zip"), std::vector<std::string>{"defX"});
    EXPECT_EQ(UnzipEntry(dir_ / "b.zip", "large.pd3"), large);
}

TEST_F(ZipWriterTest, AMissingSourceOrAnUnwritableArchiveFailsWithAMessage) {
    mkcatalog::ZipWriter zip(dir_ / "c.zip");
    EXPECT_FALSE(zip.AddFile("x.pd3", dir_ / "missing.pd3"));
    EXPECT_NE(zip.Error().find("missing.pd3"), std::string::npos);
    EXPECT_FALSE(zip.Add("later.txt", "y"));
    EXPECT_FALSE(zip.Finish());

    mkcatalog::ZipWriter nowhere(dir_ / "no-such-folder" / "d.zip");
    EXPECT_FALSE(nowhere.Add("a", "b"));
    EXPECT_FALSE(nowhere.Finish());
    EXPECT_NE(nowhere.Error().find("cannot create"), std::string::npos);

    mkcatalog::ZipWriter twice(dir_ / "e.zip");
    ASSERT_TRUE(twice.Add("same.txt", "1"));
    EXPECT_FALSE(twice.Add("same.txt", "2"));
    EXPECT_NE(twice.Error().find("same.txt"), std::string::npos);
    EXPECT_FALSE(twice.Finish());
    EXPECT_FALSE(std::filesystem::exists(dir_ / "e.zip"));

    mkcatalog::ZipWriter nothing(dir_ / "f.zip");
    EXPECT_FALSE(nothing.Finish());
    EXPECT_NE(nothing.Error().find("f.zip"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "f.zip"));
}

TEST_F(ZipWriterTest, WhatFailsWhileTheArchiveIsWrittenFailsFinishAndKeepsTheOldArchive) {
    // The archive is written at Finish: a folder gone by then, or a source file gone by then, fails it.
    std::filesystem::create_directories(dir_ / "out");
    mkcatalog::ZipWriter gone(dir_ / "out" / "g.zip");
    ASSERT_TRUE(gone.Add("a.txt", "a"));
    std::filesystem::remove_all(dir_ / "out");
    EXPECT_FALSE(gone.Finish());
    EXPECT_NE(gone.Error().find("cannot write " + (dir_ / "out" / "g.zip").string()), std::string::npos)
        << gone.Error();

    // An archive already at the path stays whole until a new one is written in full.
    WriteWholeFile(dir_ / "old.zip", "the old archive");
    WriteWholeFile(dir_ / "source.pd3", "firmware");
    mkcatalog::ZipWriter replaced(dir_ / "old.zip");
    ASSERT_TRUE(replaced.AddFile("source.pd3", dir_ / "source.pd3"));
    std::filesystem::remove(dir_ / "source.pd3");
    EXPECT_FALSE(replaced.Finish());
    EXPECT_NE(replaced.Error().find("cannot write " + (dir_ / "old.zip").string()), std::string::npos)
        << replaced.Error();
    EXPECT_EQ(ReadWholeFile(dir_ / "old.zip"), "the old archive");
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
        left.push_back(entry.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{"old.zip"});
}

}  // namespace

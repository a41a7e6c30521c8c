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
}

}  // namespace

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "StoredFiles.h"
#include "TestBytes.h"

namespace printersim {
namespace {

class StateDir : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/printersim-state-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
};

TEST(StateFormat, RoundTripsEveryByteOfTheTexts) {
    pd3::Header odd = test::Firmware("A B%C\x82", 1234);
    odd.name.push_back('\xA0');
    odd.spec = "";
    pd3::Header shortHeader = test::Firmware("SHORT", 9);
    shortHeader.headerLength = 64;
    shortHeader.version = shortHeader.spec = "";
    shortHeader.type = 3;

    std::string text = StoredFiles::Format({odd.Encode(), shortHeader.Encode()});
    std::string error;
    auto back = StoredFiles::Parse(text, error);
    ASSERT_TRUE(back) << error;
    ASSERT_EQ(back->size(), 2u);
    EXPECT_EQ((*back)[0], odd.Encode());
    EXPECT_EQ((*back)[1], shortHeader.Encode());
    EXPECT_NE(text.find("name=A%20B%25C%82%A0"), std::string::npos) << text;
}

TEST(StateFormat, HandWrittenLinesWithDefaultsAndComments) {
    std::string error;
    auto files =
        StoredFiles::Parse("# seeded\n\n  file name=FONTS type=3\r\nfile name=F2 length=0x10\n", error);
    ASSERT_TRUE(files) << error;
    ASSERT_EQ(files->size(), 2u);
    auto h = *pd3::Header::Decode((*files)[0]);
    EXPECT_EQ(h.name, "FONTS");
    EXPECT_EQ(h.type, 3);
    EXPECT_EQ(h.headerLength, 128);
    EXPECT_EQ(pd3::Header::Decode((*files)[1])->dataLength, 16u);
}

TEST(StateFormat, RejectsBadLinesNamingTheLine) {
    const char* bad[] = {"file name=X colour=red",
                         "file type=256",
                         "file name=%4",
                         "file name=%ZZ",
                         "file name=12345678901234567",
                         "file header=64 spec=ENG_USA",
                         "entry name=X",
                         "file name",
                         "file length=-1"};
    for (const char* line : bad) {
        std::string error;
        EXPECT_FALSE(StoredFiles::Parse(std::string("# ok\n") + line, error)) << line;
        EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << line << ": " << error;
    }
}

TEST_F(StateDir, KeptFilesAreThereInTheNextRunAndReplaceByName) {
    auto path = dir_ / "state.txt";
    std::string error;
    {
        StoredFiles files(path);
        ASSERT_TRUE(files.Load(error)) << "a missing state file is an empty printer";
        EXPECT_TRUE(files.Records().empty());
        ASSERT_TRUE(files.Keep(test::Firmware("FIRMA", 1).Encode(), error));
        ASSERT_TRUE(files.Keep(test::Firmware("FIRMB", 2).Encode(), error));
        auto newer = test::Firmware("FIRMA", 3);
        newer.version = "2.00";
        ASSERT_TRUE(files.Keep(newer.Encode(), error));
    }
    StoredFiles again(path);
    ASSERT_TRUE(again.Load(error)) << error;
    ASSERT_EQ(again.Records().size(), 2u);
    auto first = *pd3::Header::Decode(again.Records()[0]);
    EXPECT_EQ(first.name, "FIRMA") << "replaced in place";
    EXPECT_EQ(first.version, "2.00");
    EXPECT_EQ(first.dataLength, 3u);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "state.txt.tmp"));
}

TEST_F(StateDir, FailedSaveKeepsTheListAndTheOldFile) {
    auto path = dir_ / "state.txt";
    std::string error;
    StoredFiles files(path);
    ASSERT_TRUE(files.Keep(test::Firmware("FIRMA", 1).Encode(), error));
    // A directory where the temporary file would go makes the next save fail.
    std::filesystem::create_directory(dir_ / "state.txt.tmp");
    std::filesystem::create_directory(dir_ / "state.txt.tmp" / "x");
    EXPECT_FALSE(files.Keep(test::Firmware("FIRMB", 1).Encode(), error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(files.Records().size(), 1u);
    StoredFiles reread(path);
    ASSERT_TRUE(reread.Load(error));
    EXPECT_EQ(reread.Records().size(), 1u);
}

TEST_F(StateDir, UnreadableStateFileIsAnError) {
    auto path = dir_ / "state.txt";
    std::ofstream(path) << "file nonsense\n";
    StoredFiles files(path);
    std::string error;
    EXPECT_FALSE(files.Load(error));
    EXPECT_NE(error.find("state.txt: line 1"), std::string::npos) << error;
}

}  // namespace
}  // namespace printersim

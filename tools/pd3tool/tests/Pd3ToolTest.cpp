#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Pd3File.h"
#include "Pd3Tool.h"

namespace pd3tool {
namespace {

class Pd3ToolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/pd3tool-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        return RunPd3Tool(args, out_, err_);
    }
    std::string Path(const char* name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
    std::ostringstream out_, err_;
};

TEST_F(Pd3ToolTest, MadeFileShowsWhatWasAskedFor) {
    ASSERT_EQ(Run({"make", "--model", "0x2107", "--type", "6", "--name", "FIRMWAREA", "--version", "1.02",
                   "--spec", "ENG_USA", "--size", "1300", "-o", Path("a.pd3")}),
              0)
        << err_.str();
    EXPECT_EQ(std::filesystem::file_size(Path("a.pd3")), 128u + 1300u);
    EXPECT_NE(out_.str().find("128-byte header, 1300 bytes of data"), std::string::npos) << out_.str();
    ASSERT_EQ(Run({"show", Path("a.pd3")}), 0) << err_.str();
    std::string shown = out_.str();
    for (const char* line :
         {"header:  128 bytes\n", "model:   0x2107\n", "type:    6\n", "name:    FIRMWAREA\n",
          "version: 1.02\n", "spec:    ENG_USA\n", "data:    1300 bytes\n"})
        EXPECT_NE(shown.find(line), std::string::npos) << line << "in\n" << shown;
}

TEST_F(Pd3ToolTest, DataFromAFileFollowsAShortHeader) {
    std::ofstream(Path("payload.bin"), std::ios::binary) << "payload";
    ASSERT_EQ(Run({"make", "--model", "8455", "--type", "3", "--name", "FONTS", "--header", "64", "--data",
                   Path("payload.bin"), "-o", Path("b.pd3")}),
              0)
        << err_.str();
    std::ifstream in(Path("b.pd3"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 64u + 7u);
    EXPECT_EQ(bytes.substr(64), "payload");
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 64);
    EXPECT_EQ(Run({"show", Path("b.pd3")}), 0);
    EXPECT_EQ(out_.str().find("version:"), std::string::npos);
}

TEST_F(Pd3ToolTest, BadRequestsSayWhyAndWriteNothing) {
    std::vector<std::vector<std::string>> bad = {
        {"make", "--type", "6", "--name", "X", "--size", "1", "-o", Path("c.pd3")},
        {"make", "--model", "1", "--type", "6", "--name", "X", "-o", Path("c.pd3")},
        {"make", "--model", "1", "--type", "6", "--name", "X", "--size", "1", "--data", "f", "-o",
         Path("c.pd3")},
        {"make", "--model", "1", "--type", "6", "--name", "12345678901234567", "--size", "1", "-o",
         Path("c.pd3")},
        {"make", "--model", "1", "--type", "6", "--name", "X", "--spec", "ENG_USA", "--header", "64",
         "--size", "1", "-o", Path("c.pd3")},
        {"make", "--model", "0x10000", "--type", "6", "--name", "X", "--size", "1", "-o", Path("c.pd3")},
        {"make", "--model", "1", "--type", "6", "--name", "X", "--data", Path("missing"), "-o",
         Path("c.pd3")},
        {"make", "--model", "1", "--type", "6", "--name", "X", "--size", "1", "--colour", "red", "-o",
         Path("c.pd3")},
    };
    for (const auto& args : bad) {
        EXPECT_EQ(Run(args), 2) << args[1] << " " << args[2];
        EXPECT_FALSE(err_.str().empty());
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir_)) << "no file and no temporary left behind";
    EXPECT_EQ(Run({"make", "--model", "1", "--type", "6", "--name", "X", "--size", "1", "-o",
                   Path("no-such-dir/c.pd3")}),
              2);
    EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

TEST_F(Pd3ToolTest, ShowFindsTruncatedAndBrokenFiles) {
    ASSERT_EQ(
        Run({"make", "--model", "1", "--type", "6", "--name", "X", "--size", "100", "-o", Path("d.pd3")}), 0);
    std::filesystem::resize_file(Path("d.pd3"), 128 + 50);
    EXPECT_EQ(Run({"show", Path("d.pd3")}), 1);
    EXPECT_NE(err_.str().find("holds 50 bytes of data, its header says 100"), std::string::npos)
        << err_.str();

    std::filesystem::resize_file(Path("d.pd3"), 100);
    EXPECT_EQ(Run({"show", Path("d.pd3")}), 2);
    EXPECT_NE(err_.str().find("ends inside its header"), std::string::npos) << err_.str();

    std::ofstream(Path("e.pd3"), std::ios::binary)
        << std::string(1, '\x01') << std::string(1, '\x20') << std::string(62, '\0');
    EXPECT_EQ(Run({"show", Path("e.pd3")}), 2);
    EXPECT_NE(err_.str().find("header length 32"), std::string::npos) << err_.str();
    EXPECT_EQ(Run({"show", Path("missing.pd3")}), 2);
}

}  // namespace
}  // namespace pd3tool

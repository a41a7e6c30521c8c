#include <gtest/gtest.h>

#include "SimOptions.h"

namespace printersim {
namespace {

ParsedOptions Parse(std::vector<std::string> args) { return ParseSimOptions(args); }

TEST(SimOptions, PrefixAndComNameTheWinePort) {
    auto p = Parse({"--prefix", "/tmp/pfx", "--com", "11"});
    ASSERT_TRUE(p.options) << p.error;
    EXPECT_EQ(p.options->link, "/tmp/pfx/dosdevices/com11");
    EXPECT_EQ(Parse({"--link", "/tmp/x"}).options->link, "/tmp/x");
    EXPECT_FALSE(Parse({}).options);
    EXPECT_FALSE(Parse({"--prefix", "/tmp/pfx"}).options);
    EXPECT_FALSE(Parse({"--link", "/tmp/x", "--com", "3"}).options);
    EXPECT_FALSE(Parse({"--prefix", "/p", "--com", "0"}).options);
}

TEST(SimOptions, PrinterBehaviour) {
    auto p = Parse({"--link", "l", "--model", "0x20C1", "--record-size", "64", "--credit", "1300", "--refuse",
                    "--drop-after", "700", "--cancel-limit", "0", "--finish-delay", "250", "--baud", "9600"});
    ASSERT_TRUE(p.options) << p.error;
    const auto& prof = p.options->profile;
    EXPECT_EQ(prof.model, 0x20C1);
    EXPECT_EQ(prof.recordSize, 64u);
    EXPECT_EQ(prof.credit, 1300u);
    EXPECT_TRUE(prof.refuse);
    EXPECT_EQ(prof.dropAfter, 700u);
    EXPECT_EQ(prof.cancelLimit, 0u);
    EXPECT_EQ(prof.finishDelay, std::chrono::milliseconds(250));
    EXPECT_EQ(p.options->baud, 9600u);
    EXPECT_FALSE(Parse({"--link", "l", "--record-size", "100"}).options);
    EXPECT_FALSE(Parse({"--link", "l", "--model", "0x10000"}).options);
    EXPECT_FALSE(Parse({"--link", "l", "--credit", "0"}).options);
    EXPECT_FALSE(Parse({"--link", "l", "--credit"}).options);
    EXPECT_FALSE(Parse({"--link", "l", "--colour"}).options);
}

TEST(SimOptions, VaryingCreditsDelaysAndARefusalMidway) {
    auto p = Parse({"--link", "l", "--credit", "300-5000", "--mode-delay", "3000", "--vary-delays", "--seed",
                    "42", "--refuse-after", "1300", "--keep-old-version"});
    ASSERT_TRUE(p.options) << p.error;
    const auto& prof = p.options->profile;
    EXPECT_EQ(prof.creditMin, 300u);
    EXPECT_EQ(prof.credit, 5000u);
    EXPECT_EQ(prof.modeDelay, std::chrono::milliseconds(3000));
    EXPECT_TRUE(prof.varyDelays);
    EXPECT_EQ(prof.seed, 42u);
    EXPECT_EQ(prof.refuseAfter, 1300u);
    EXPECT_TRUE(prof.keepOldVersion);

    // By default the printer is as quick and as even as before.
    const auto plain = Parse({"--link", "l"}).options->profile;
    EXPECT_FALSE(plain.creditMin);
    EXPECT_FALSE(plain.varyDelays);
    EXPECT_EQ(plain.modeDelay.count(), 0);
    EXPECT_FALSE(plain.refuseAfter);
    EXPECT_FALSE(plain.keepOldVersion);
    EXPECT_FALSE(Parse({"--link", "l", "--credit", "1300-1300"}).options->profile.creditMin);

    EXPECT_FALSE(Parse({"--link", "l", "--credit", "500-300"}).options);
    EXPECT_FALSE(Parse({"--link", "l", "--credit", "0-300"}).options);
    EXPECT_FALSE(Parse({"--link", "l", "--credit", "300-"}).options);
    EXPECT_FALSE(Parse({"--link", "l", "--seed", "x"}).options);
    EXPECT_FALSE(Parse({"--link", "l", "--refuse-after", "0"}).options);
}

TEST(SimOptions, MuteTakesAnOptionalCount) {
    EXPECT_EQ(Parse({"--link", "l", "--mute"}).options->profile.muteAfter, 0u);
    EXPECT_EQ(Parse({"--link", "l", "--mute", "3"}).options->profile.muteAfter, 3u);
    auto p = Parse({"--mute", "--link", "l"});
    ASSERT_TRUE(p.options) << p.error;
    EXPECT_EQ(p.options->profile.muteAfter, 0u);
    EXPECT_FALSE(Parse({"--link", "l"}).options->profile.muteAfter);
}

TEST(SimOptions, SplitMustCoverTheWholeStatus) {
    auto p = Parse({"--link", "l", "--split", "10,10,12", "--split-delay", "5"});
    ASSERT_TRUE(p.options) << p.error;
    EXPECT_EQ(p.options->split, (std::vector<std::size_t>{10, 10, 12}));
    EXPECT_EQ(p.options->splitDelay, std::chrono::milliseconds(5));
    EXPECT_FALSE(Parse({"--link", "l", "--split", "10,10"}).options);
    EXPECT_FALSE(Parse({"--link", "l", "--split", "0,32"}).options);
    EXPECT_FALSE(Parse({"--link", "l", "--split", "10,x,22"}).options);
}

}  // namespace
}  // namespace printersim

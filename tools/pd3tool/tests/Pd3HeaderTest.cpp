#include <gtest/gtest.h>

#include "common/Pd3Header.h"

namespace {

pd3::Header Sample() {
    pd3::Header h;
    h.format = 0x5A;
    h.headerLength = 128;
    h.model = 0x20C1;
    h.type = 6;
    h.dataLength = 0x01020304;
    h.name = "FIRMWAREA";
    h.version = "1.02";
    h.spec = "ENG_USA";
    return h;
}

TEST(Pd3Header, FieldsSitWhereThePrinterAndTheProgramLookForThem) {
    auto b = Sample().Encode();
    EXPECT_EQ(b[0], 0x5A);
    EXPECT_EQ(b[1], 128);
    EXPECT_EQ(b[2], 0xC1);
    EXPECT_EQ(b[3], 0x20);
    EXPECT_EQ(b[7], 6);
    EXPECT_EQ(b[16], 0x04);
    EXPECT_EQ(b[19], 0x01);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[32]), 9), "FIRMWAREA");
    EXPECT_EQ(b[41], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[64]), 4), "1.02");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[69]), 7), "ENG_USA");
    for (std::size_t i : {4u, 5u, 6u, 8u, 15u, 20u, 31u, 48u, 63u, 76u, 127u}) EXPECT_EQ(b[i], 0) << i;
}

TEST(Pd3Header, DecodeReadsBackAndFullWidthTextsNeedNoTerminator) {
    auto h = Sample();
    h.name = "ABCDEFGHIJKLMNOP";
    h.version = "12345";
    auto back = pd3::Header::Decode(h.Encode());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->name, "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(back->version, "12345");
    EXPECT_EQ(back->spec, "ENG_USA");
    EXPECT_EQ(back->model, 0x20C1);
    EXPECT_EQ(back->dataLength, 0x01020304u);
}

TEST(Pd3Header, SixtyFourByteBlockHasNoVersionOrSpecification) {
    auto b = Sample().Encode();
    auto shortOne = pd3::Header::Decode(std::span<const std::uint8_t>(b.data(), 64));
    ASSERT_TRUE(shortOne);
    EXPECT_EQ(shortOne->name, "FIRMWAREA");
    EXPECT_TRUE(shortOne->version.empty());
    EXPECT_TRUE(shortOne->spec.empty());
    EXPECT_FALSE(pd3::Header::Decode(std::span<const std::uint8_t>(b.data(), 63)));

    auto h = Sample();
    h.headerLength = 64;
    EXPECT_FALSE(h.Problem().empty()) << "version and specification do not fit";
    h.version = h.spec = "";
    EXPECT_TRUE(h.Problem().empty());
    EXPECT_EQ(h.Encode()[64], 0);
}

TEST(Pd3Header, ProblemsNameTheField) {
    auto h = Sample();
    h.name = std::string(17, 'N');
    EXPECT_NE(h.Problem().find("name"), std::string::npos);
    h = Sample();
    h.spec = "ENG_USAX";
    EXPECT_NE(h.Problem().find("specification"), std::string::npos);
    h = Sample();
    h.version = "1.0.01";
    EXPECT_NE(h.Problem().find("version"), std::string::npos);
    h = Sample();
    h.headerLength = 63;
    EXPECT_NE(h.Problem().find("header length"), std::string::npos);
    h.headerLength = 129;
    EXPECT_FALSE(h.Problem().empty());
}

}  // namespace

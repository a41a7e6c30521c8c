// Version order, request text decoding and the ASCII form of answers.

#include <gtest/gtest.h>

#include "ExchangeResponder.h"
#include "TextEncoding.h"
#include "VersionOrder.h"

namespace {

using updateserver::CompareVersions;

TEST(CompareVersions, OrdersDottedVersionsFieldByFieldAsNumbers) {
    EXPECT_GT(CompareVersions("1.05", "1.04"), 0);
    EXPECT_LT(CompareVersions("2", "10"), 0);
    EXPECT_LT(CompareVersions("5.2.1", "5.10"), 0);
    EXPECT_GT(CompareVersions("1.2.1", "1.2"), 0);
    EXPECT_EQ(CompareVersions("1.2", "1.2.0"), 0);
    EXPECT_EQ(CompareVersions("1.05", "1.5"), 0);
    EXPECT_GT(CompareVersions("0.1", ""), 0);
    EXPECT_EQ(CompareVersions("", "0"), 0);
    EXPECT_GT(CompareVersions("2.10b", "2.10"), 0);
    EXPECT_LT(CompareVersions("2.10a", "2.10b"), 0);
    EXPECT_GT(CompareVersions("99999999999999999999999", "1"), 0);
}

TEST(RequestBytes, KeepsUtf8AndReadsOtherBytesAsWindows1252) {
    EXPECT_TRUE(updateserver::IsValidUtf8("plain"));
    EXPECT_TRUE(updateserver::IsValidUtf8("Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC"));
    EXPECT_FALSE(updateserver::IsValidUtf8("Caf\xE9"));
    EXPECT_FALSE(updateserver::IsValidUtf8("\xC0\xAF"));      // overlong "/"
    EXPECT_FALSE(updateserver::IsValidUtf8("\xED\xA0\x80"));  // a surrogate
    EXPECT_FALSE(updateserver::IsValidUtf8("\xE6\x97"));      // cut short

    EXPECT_EQ(updateserver::RequestBytesToUtf8("Caf\xC3\xA9"), "Caf\xC3\xA9");
    EXPECT_EQ(updateserver::RequestBytesToUtf8("Caf\xE9"), "Caf\xC3\xA9");
    EXPECT_EQ(updateserver::RequestBytesToUtf8("\x80 \x99 \x9F"), "\xE2\x82\xAC \xE2\x84\xA2 \xC5\xB8");
    // Bytes that Windows-1252 leaves undefined become the control characters of the same value.
    EXPECT_EQ(updateserver::RequestBytesToUtf8("\x81\x8D"), "\xC2\x81\xC2\x8D");
}

TEST(XmlAsAscii, WritesEveryNonAsciiCharacterAsAReference) {
    EXPECT_EQ(updateserver::XmlAsAscii("<a>x</a>"), "<a>x</a>");
    EXPECT_EQ(updateserver::XmlAsAscii("<a>Caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x96\xA8</a>"),
              "<a>Caf&#xE9; &#x65E5; &#x1F5A8;</a>");
    EXPECT_EQ(updateserver::XmlAsAscii("<a>\xE9</a>"), "<a>&#xFFFD;</a>");
}

TEST(UrlEncodePath, KeepsSlashesAndUnreservedCharactersOnly) {
    EXPECT_EQ(updateserver::UrlEncodePath("SC-200/SC-200_FP-MAIN_1.05.zip"),
              "SC-200/SC-200_FP-MAIN_1.05.zip");
    EXPECT_EQ(updateserver::UrlEncodePath("my files/a b&c#1?.zip"), "my%20files/a%20b%26c%231%3F.zip");
    EXPECT_EQ(updateserver::UrlEncodePath("\xC3\xA9.zip"), "%C3%A9.zip");
}

}  // namespace

// The report document of unattended runs, as the IT department's tools will read it.
#include <gtest/gtest.h>

#include "common/JsonWriter.h"

namespace {

using scup::CJsonWriter;

TEST(JsonWriter, NestedObjectsAndArraysAreIndentedAndSeparated) {
    CJsonWriter json;
    json.BeginObject()
        .Key(L"code")
        .Number(4)
        .Key(L"installed")
        .BeginArray()
        .BeginObject()
        .Key(L"id")
        .String(L"PP-SCEDIT52")
        .Key(L"verified")
        .Bool(true)
        .EndObject()
        .Null()
        .EndArray()
        .Key(L"failed")
        .BeginArray()
        .EndArray()
        .EndObject();
    EXPECT_EQ(json.Text(),
              "{\n"
              "  \"code\": 4,\n"
              "  \"installed\": [\n"
              "    {\n"
              "      \"id\": \"PP-SCEDIT52\",\n"
              "      \"verified\": true\n"
              "    },\n"
              "    null\n"
              "  ],\n"
              "  \"failed\": []\n"
              "}\n");
}

TEST(JsonWriter, StringsAreEscapedAndAlwaysValidUtf8) {
    EXPECT_EQ(CJsonWriter::Escape(L"a \"b\" \\ c"), "a \\\"b\\\" \\\\ c");
    EXPECT_EQ(CJsonWriter::Escape(L"line\r\nnext\ttab\x01"), "line\\r\\nnext\\ttab\\u0001");
    EXPECT_EQ(CJsonWriter::Escape(L"\x65E5\x672C"), "\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(CJsonWriter::Escape(L"\xD83D\xDE00"), "\xF0\x9F\x98\x80")
        << "a surrogate pair is one character";
    EXPECT_EQ(CJsonWriter::Escape(L"\xD83Dx"), "\xEF\xBF\xBDx") << "a lone surrogate";
    EXPECT_EQ(CJsonWriter::Escape(L"\xDE00"), "\xEF\xBF\xBD");
}

TEST(JsonWriter, AnUnfinishedDocumentHasNoFinalLineBreak) {
    CJsonWriter json;
    json.BeginObject().Key(L"a").BeginArray();
    EXPECT_EQ(json.Text(), "{\n  \"a\": [");
}

}  // namespace

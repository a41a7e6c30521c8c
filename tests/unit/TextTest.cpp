// The small text helpers every layer shares.
#include <gtest/gtest.h>

#include "common/Format.h"
#include "common/Text.h"

namespace {

TEST(TextHelpers, StartsWithComparesThePrefixExactly) {
    EXPECT_TRUE(scup::StartsWith(L"FP-MAIN", L"FP-"));
    EXPECT_TRUE(scup::StartsWith(L"FP-", L"FP-"));
    EXPECT_TRUE(scup::StartsWith(L"PCS", L""));
    EXPECT_FALSE(scup::StartsWith(L"fp-main", L"FP-"));
    EXPECT_FALSE(scup::StartsWith(L"FP", L"FP-"));
    EXPECT_FALSE(scup::StartsWith(L"XFP-MAIN", L"FP-"));
}

TEST(TextHelpers, StartsWithNoCaseIgnoresCaseButNotOtherLetters) {
    EXPECT_TRUE(scup::StartsWithNoCase(L"usb001", L"USB"));
    EXPECT_TRUE(scup::StartsWithNoCase(L"Corvane SC-200", L"CORVANE "));
    EXPECT_TRUE(scup::StartsWithNoCase(L"\u00C4rger", L"\u00E4R"));
    EXPECT_FALSE(scup::StartsWithNoCase(L"US", L"USB"));
    EXPECT_FALSE(scup::StartsWithNoCase(L"COM1", L"USB"));
    EXPECT_FALSE(scup::StartsWithNoCase(L"Arger", L"\u00C4r"));
}

TEST(TextHelpers, ReplaceEveryReplacesEachOccurrenceOnceAndNeverWhatItPutIn) {
    EXPECT_EQ(scup::ReplaceEvery(L"%s was installed; %s is ready.", L"%s", L"Editor"),
              L"Editor was installed; Editor is ready.");
    // A value holding the placeholder itself must not be expanded again (or for ever).
    EXPECT_EQ(scup::ReplaceEvery(L"[%s]", L"%s", L"%s%s"), L"[%s%s]");
    EXPECT_EQ(scup::ReplaceEvery(L"a{cl}b{cl}", L"{cl}", L":"), L"a:b:");
    EXPECT_EQ(scup::ReplaceEvery(L"nothing to do", L"%s", L"x"), L"nothing to do");
    EXPECT_EQ(scup::ReplaceEvery(L"same", L"", L"x"), L"same");
}

TEST(TextHelpers, FillPlaceholdersFillsEachPlaceholderWithTheNextValue) {
    EXPECT_EQ(scup::FillPlaceholders(L"%s needs %s.", {L"SC-200", L"JPN"}), L"SC-200 needs JPN.");
    EXPECT_EQ(scup::FillPlaceholders(L"%s and %s", {L"%s"}), L"%s and %s");
    EXPECT_EQ(scup::FillPlaceholders(L"no placeholder", {L"x"}), L"no placeholder");
}

}  // namespace

TEST(TextHelpers, SettingListsAreSplitIntoTrimmedItemsWithoutEmptyOnes) {
    EXPECT_EQ(scup::TrimBlanks(L" \t key \r\n"), L"key");
    EXPECT_EQ(scup::TrimBlanks(L" \r\n"), L"");
    EXPECT_EQ(scup::SplitList(L" PP-A ;PP-B;; \r\n PP-C ;", L';'),
              (std::vector<std::wstring>{L"PP-A", L"PP-B", L"PP-C"}));
    EXPECT_TRUE(scup::SplitList(L"", L';').empty());
    EXPECT_EQ(scup::SplitList(L"one", L';'), std::vector<std::wstring>{L"one"});
}

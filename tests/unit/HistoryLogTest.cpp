#include <gtest/gtest.h>

#include <thread>

#include <algorithm>
#include <regex>

#include "TestSupport.h"
#include "XmlShape.h"
#include "common/AppFiles.h"
#include "common/Handles.h"
#include "common/Text.h"
#include "local/AUHistoryLog.h"

namespace {

using namespace testing_support;

struct History {
    std::vector<std::wstring> titles, versions, dates, printers, languages;
};

History Read(const std::wstring& category) {
    History h;
    ReadHistory(category, h.titles, h.versions, h.dates, h.printers, h.languages);
    return h;
}

class HistoryLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = MakeScratchFolder(L"history");
        dataFolder_ = dir_ + L"\\Corvane\\ScUpdater\\";
        CAUXMLParser::SetDataFolderSource([this] { return dataFolder_; });
        file_ = dataFolder_ + L"ScUpdater.log";
    }
    void TearDown() override {
        CloseHistoryLog();
        CAUXMLParser::ReleaseHistoryDocument();
        CAUXMLParser::SetDataFolderSource({});
        scup::RemoveFolder(dir_);
    }
    void PutFile(const std::string& content) {
        CreateDirectoryW((dir_ + L"\\Corvane").c_str(), nullptr);
        CreateDirectoryW(dataFolder_.c_str(), nullptr);
        WriteTextFile(file_, content);
    }
    // Starts the log afresh, as the next run of the program does.
    static void Reopen() {
        CloseHistoryLog();
        CAUXMLParser::ReleaseHistoryDocument();
        InitHistoryLog();
    }

    std::wstring dir_;
    std::wstring dataFolder_;
    std::wstring file_;
};

void AddApplication(const std::wstring& title, const std::wstring& version) {
    AddHistoryRecord(L"PCS", title, version, L"Corvane SC-200", L"1033", L"P-EDITOR", L"ENU", version);
}

TEST_F(HistoryLogTest, TheFirstRecordCreatesTheFileWithTheChildrenInOrder) {
    EXPECT_EQ(InitHistoryLog(), 0);
    EXPECT_FALSE(FileExists(file_)) << "opening the log must not save";
    AddHistoryRecord(L"FIRM", L"Main firmware", L"1.20", L"Corvane SC-200", L"1041", L"SC200MAIN", L"JPN",
                     L"1.20");

    CAUXMLParser reader;
    ASSERT_EQ(reader.Load(file_), 0);
    std::wstring shape = Shape(reader.Root());
    std::wsmatch match;
    ASSERT_TRUE(std::regex_match(shape, match,
                                 std::wregex(L"Log\\(Info\\(Category=FIRM,Title=Main firmware,Version=1\\.20,"
                                             L"Date=(\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}),"
                                             L"Printer=Corvane SC-200,Language=1041,FirmName=SC200MAIN,"
                                             L"FirmSpec=JPN,FirmVersion=1\\.20\\)\\)")))
        << scup::ToUtf8(shape);

    // The stored date is the local time of writing.
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t today[16];
    swprintf(today, 16, L"%04u/%02u/%02u", now.wYear, now.wMonth, now.wDay);
    EXPECT_EQ(match[1].str().substr(0, 10), today);
}

TEST_F(HistoryLogTest, RecordsAreReadByCategoryOldestFirstAndSurviveARestart) {
    InitHistoryLog();
    AddApplication(L"Label Editor", L"5.1");
    AddHistoryRecord(L"FIRM", L"Main firmware", L"1.20", L"Corvane SC-200", L"1041", L"SC200MAIN", L"JPN",
                     L"1.20");
    AddApplication(L"Address Book", L"2.0");

    Reopen();
    History pcs = Read(L"PCS");
    EXPECT_EQ(pcs.titles, (std::vector<std::wstring>{L"Label Editor", L"Address Book"}));
    EXPECT_EQ(pcs.versions, (std::vector<std::wstring>{L"5.1", L"2.0"}));
    EXPECT_EQ(pcs.printers, (std::vector<std::wstring>{L"Corvane SC-200", L"Corvane SC-200"}));
    EXPECT_EQ(pcs.languages, (std::vector<std::wstring>{L"1033", L"1033"}));
    ASSERT_EQ(pcs.dates.size(), 2u);
    EXPECT_EQ(pcs.dates[0].find(L':'), std::wstring::npos) << "dates are shown without the time";

    History firm = Read(L"FIRM");
    EXPECT_EQ(firm.titles, std::vector<std::wstring>{L"Main firmware"});
    EXPECT_EQ(firm.languages, std::vector<std::wstring>{L"1041"});

    // The lists are appended to, never cleared.
    ReadHistory(L"FIRM", firm.titles, firm.versions, firm.dates, firm.printers, firm.languages);
    EXPECT_EQ(firm.titles.size(), 2u);
}

TEST_F(HistoryLogTest, NothingIsReadOrWrittenBeforeTheLogIsOpenAndAnEmptyLogGivesEmptyLists) {
    AddApplication(L"Label Editor", L"5.1");
    EXPECT_FALSE(FileExists(file_));
    History before = Read(L"PCS");
    EXPECT_TRUE(before.titles.empty());

    InitHistoryLog();
    History empty = Read(L"PCS");
    EXPECT_TRUE(empty.titles.empty() && empty.versions.empty() && empty.dates.empty() &&
                empty.printers.empty() && empty.languages.empty());
}

TEST_F(HistoryLogTest, StoredDatesAreShownAsTheUsersShortDateAndMalformedOnesAsStored) {
    wchar_t expected[64] = {};
    SYSTEMTIME second{2026, 1, 0, 2, 0, 0, 0, 0};
    ASSERT_GT(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &second, nullptr, expected, 64), 0);
    EXPECT_EQ(FormatHistoryDate(L"2026/01/02 03:04:05"), expected);
    if (GetUserDefaultLCID() == 1033) {
        EXPECT_EQ(FormatHistoryDate(L"2026/01/02 03:04:05"), L"1/2/2026");
    }
    // Without a time part the date is still a date.
    EXPECT_EQ(FormatHistoryDate(L"2026/01/02"), expected);

    for (const wchar_t* malformed :
         {L"", L"yesterday", L"2026-01-02 03:04:05", L"2026/01 03:04:05", L"2026/13/02 03:04:05",
          L"2026/02/30 00:00:00", L"abcd/ef/gh 03:04:05"}) {
        EXPECT_EQ(FormatHistoryDate(malformed), malformed) << scup::ToUtf8(malformed);
    }
}

TEST_F(HistoryLogTest, AnUnreadableLogIsKeptAsideAndTheNewOneStartsEmpty) {
    const std::string damaged = "<Log><Info><Category>PCS</Category><Title>Earlier update</Ti";
    PutFile(damaged);
    TraceCapture trace;
    InitHistoryLog();
    EXPECT_EQ(ReadTextFile(file_ + L".bad"), damaged);
    EXPECT_TRUE(trace.Contains(L"Failed: " + file_ + L" could not be read; kept as " + file_ + L".bad"));

    AddApplication(L"Label Editor", L"5.1");
    Reopen();
    EXPECT_EQ(Read(L"PCS").titles, std::vector<std::wstring>{L"Label Editor"});
    EXPECT_EQ(ReadTextFile(file_ + L".bad"), damaged);
}

TEST_F(HistoryLogTest, ARecordThatCannotBeSavedLeavesTheFileAsItWas) {
    InitHistoryLog();
    AddApplication(L"Label Editor", L"5.1");
    const std::string before = ReadTextFile(file_);
    {
        scup::UniqueFile holder(CreateFileW(file_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        AddApplication(L"Address Book", L"2.0");
    }
    EXPECT_EQ(ReadTextFile(file_), before) << "the file is complete or untouched, never cut short";
}

// A record is saved once, whole; and the update thread and the transfer worker may each add one
// while the history dialog reads: every record arrives, in the document and in the file.
TEST_F(HistoryLogTest, EachRecordIsSavedOnceAndWritersOnTwoThreadsLoseNothing) {
    InitHistoryLog();
    {
        TraceCapture trace;
        AddApplication(L"Label Editor", L"5.1");
        int saves = 0;
        for (const std::wstring& line : trace.Lines())
            if (line.find(L"Enter : CAUXMLParser::SaveXML()") != std::wstring::npos) ++saves;
        EXPECT_EQ(saves, 1);
    }
    constexpr int kEach = 15;
    auto writer = [](const wchar_t* category) {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        for (int i = 0; i < kEach; ++i)
            AddHistoryRecord(category, L"Record " + std::to_wstring(i), L"1." + std::to_wstring(i), L"Corvane SC-200",
                             L"1033", L"FP-MAIN", L"ENU", L"1.0");
        CoUninitialize();
    };
    std::thread update(writer, L"FIRM");
    std::thread transfer(writer, L"APPL");
    for (int i = 0; i < kEach; ++i) Read(L"FIRM");
    update.join();
    transfer.join();
    EXPECT_EQ(Read(L"FIRM").titles.size(), static_cast<size_t>(kEach));
    EXPECT_EQ(Read(L"APPL").titles.size(), static_cast<size_t>(kEach));
    Reopen();
    EXPECT_EQ(Read(L"FIRM").titles.size(), static_cast<size_t>(kEach));
    EXPECT_EQ(Read(L"APPL").titles.size(), static_cast<size_t>(kEach));
    EXPECT_EQ(Read(L"PCS").titles, std::vector<std::wstring>{L"Label Editor"});
}

}  // namespace

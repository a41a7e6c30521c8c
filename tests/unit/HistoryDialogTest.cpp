// The history dialog as the user sees it: it runs modally on the test thread over a real
// "ScUpdater.log" in a scratch data folder, while a driver thread reads its list and clicks the
// column headings.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "DialogDriver.h"
#include "TestSupport.h"
#include "common/AUXMLParser.h"
#include "common/AppFiles.h"
#include "common/LangResources.h"
#include "common/Text.h"
#include "local/AUHistoryLog.h"
#include "res/history_ids.h"
#include "ui/HistoryDialog.h"

namespace {

using namespace testing_support;

constexpr LANGID kEnglish = 1033;
constexpr LANGID kJapanese = 1041;
constexpr LANGID kArabic = 1025;
constexpr int kColumns = 5;

struct StoredRecord {
    std::string category, title, version, date, printer, language;
};

std::string LogFile(const std::vector<StoredRecord>& records) {
    std::string xml = "<?xml version=\"1.0\"?>\r\n<Log>";
    for (const StoredRecord& r : records)
        xml += "<Info><Category>" + r.category + "</Category><Title>" + r.title + "</Title><Version>" +
               r.version + "</Version><Date>" + r.date + "</Date><Printer>" + r.printer +
               "</Printer><Language>" + r.language +
               "</Language><FirmName>X</FirmName><FirmSpec>ALL_ALL</FirmSpec><FirmVersion>" + r.version +
               "</FirmVersion></Info>";
    return xml + "</Log>";
}

// Runs the dialog modally on this thread while the driver acts on its window; the driver ends
// with a click on Close, and a dialog it leaves open is closed so that a failing test cannot hang.
void RunWithDriver(scup::CHistoryDialog& dialog, const std::function<void(HWND)>& drive) {
    const DWORD uiThread = GetCurrentThreadId();
    std::thread driver([&] {
        HWND hwnd = WaitForAnyThreadDialog(uiThread);
        if (!hwnd) {
            ADD_FAILURE() << "the dialog never appeared";
            return;
        }
        drive(hwnd);
        SendMessageW(GetDlgItem(hwnd, IDCANCEL), BM_CLICK, 0, 0);
        const ULONGLONG deadline = GetTickCount64() + 3000;
        while (IsWindow(hwnd) && GetTickCount64() < deadline) Sleep(10);
        if (IsWindow(hwnd)) {
            ADD_FAILURE() << "Close did not close the dialog";
            PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
        }
    });
    dialog.DoModal();
    driver.join();
}

HWND ListOf(HWND dialog) { return GetDlgItem(dialog, IDC_HISTORY_LIST); }

int RowCount(HWND dialog) { return static_cast<int>(SendMessageW(ListOf(dialog), LVM_GETITEMCOUNT, 0, 0)); }

std::wstring Cell(HWND dialog, int row, int column) {
    wchar_t text[512] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 512;
    SendMessageW(ListOf(dialog), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

std::vector<std::wstring> Column(HWND dialog, int column) {
    std::vector<std::wstring> cells;
    for (int row = 0; row < RowCount(dialog); ++row) cells.push_back(Cell(dialog, row, column));
    return cells;
}

struct Heading {
    std::wstring text;
    int width;
};

std::vector<Heading> Headings(HWND dialog) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(ListOf(dialog), LVM_GETHEADER, 0, 0));
    std::vector<Heading> headings;
    const int count = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[128] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = text;
        column.cchTextMax = 128;
        SendMessageW(ListOf(dialog), LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
        headings.push_back({text, column.cx});
    }
    return headings;
}

// A click on the middle of a column heading, as the mouse gives it to the heading control.
void ClickHeading(HWND dialog, int column) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(ListOf(dialog), LVM_GETHEADER, 0, 0));
    RECT rect{};
    ASSERT_TRUE(SendMessageW(header, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&rect)));
    const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(header, WM_LBUTTONUP, 0, at);
}

class HistoryDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        dir_ = MakeScratchFolder(L"history-dialog");
        dataFolder_ = dir_ + L"\\Corvane\\ScUpdater\\";
        CAUXMLParser::SetDataFolderSource([this] { return dataFolder_; });
    }
    void TearDown() override {
        CloseHistoryLog();
        CAUXMLParser::ReleaseHistoryDocument();
        CAUXMLParser::SetDataFolderSource({});
        scup::RemoveFolder(dir_);
    }
    // The history file as earlier runs of the program left it, opened as start-up opens it.
    void StoreHistory(const std::vector<StoredRecord>& records) {
        CreateDirectoryW((dir_ + L"\\Corvane").c_str(), nullptr);
        CreateDirectoryW(dataFolder_.c_str(), nullptr);
        WriteTextFile(dataFolder_ + kHistoryFileName, LogFile(records));
        InitHistoryLog();
    }

    std::wstring dir_;
    std::wstring dataFolder_;
};

TEST_F(HistoryDialogTest, ListsTheCategorysRecordsInFileOrderUnderTheFiveHeadings) {
    StoreHistory({
        {"PCS", "Label Editor", "5.2.1", "2026/01/02 03:04:05", "Corvane SC-200", "1041"},
        {"FIRM", "Main firmware", "1.20", "2026/02/03 10:00:00", "Corvane SC-200", "1041"},
        {"PCS", "Address Book", "1.3", "2026/03/04 23:59:59", "Corvane SC-300", "1033"},
        {"PCS", "Templates", "2.0", "2026/03/05 00:00:00", "Corvane SC-300", "9999"},
    });
    scup::CHistoryDialog dialog(kEnglish);
    dialog.SetCategory(L"PCS");
    RunWithDriver(dialog, [](HWND hwnd) {
        const std::vector<Heading> headings = Headings(hwnd);
        ASSERT_EQ(headings.size(), static_cast<size_t>(kColumns));
        const UINT ids[kColumns] = {IDS_COL_TITLE, IDS_COL_VERSION, IDS_COL_DATE, IDS_COL_PRINTER,
                                    IDS_COL_LANGUAGE};
        const int widths[kColumns] = {160, 80, 80, 120, 80};
        for (int i = 0; i < kColumns; ++i) {
            EXPECT_FALSE(headings[i].text.empty());
            EXPECT_EQ(headings[i].text, scup::LoadLangString(ids[i], kEnglish));
            EXPECT_EQ(headings[i].width, widths[i]);
        }

        ASSERT_EQ(RowCount(hwnd), 3);
        EXPECT_EQ(Column(hwnd, 0),
                  (std::vector<std::wstring>{L"Label Editor", L"Address Book", L"Templates"}));
        EXPECT_EQ(Column(hwnd, 1), (std::vector<std::wstring>{L"5.2.1", L"1.3", L"2.0"}));
        EXPECT_EQ(Cell(hwnd, 0, 2), FormatHistoryDate(L"2026/01/02 03:04:05"));
        EXPECT_EQ(Cell(hwnd, 0, 2).find(L':'), std::wstring::npos) << "the date without its time";
        EXPECT_EQ(Column(hwnd, 3),
                  (std::vector<std::wstring>{L"Corvane SC-200", L"Corvane SC-300", L"Corvane SC-300"}));
        // A language that is none of the interface languages gets no name.
        EXPECT_EQ(Column(hwnd, 4), (std::vector<std::wstring>{L"Japanese", L"English (United States)", L""}));
    });

    scup::CHistoryDialog firmware(kEnglish);
    firmware.SetCategory(L"FIRM");
    RunWithDriver(firmware,
                  [](HWND hwnd) { EXPECT_EQ(Column(hwnd, 0), std::vector<std::wstring>{L"Main firmware"}); });
}

TEST_F(HistoryDialogTest, HeadingsSortAsPlainTextAndASecondClickReverses) {
    StoreHistory({
        {"FIRM", "Zeta", "9.0", "2026/01/01 00:00:00", "Corvane SC-200", "1033"},
        {"FIRM", "alpha", "10.1", "2026/01/02 00:00:00", "Corvane SC-200", "1033"},
        {"FIRM", "Editor 5", "2.5", "2026/01/03 00:00:00", "Corvane SC-200", "1033"},
        {"FIRM",
         "\xC3\x89"
         "diteur",
         "9.0.1", "2026/01/04 00:00:00", "Corvane SC-200", "1033"},
        {"FIRM", "Editor", "1.0", "2026/01/05 00:00:00", "Corvane SC-200", "1033"},
    });
    scup::CHistoryDialog dialog(kEnglish);
    dialog.SetCategory(L"FIRM");
    RunWithDriver(dialog, [](HWND hwnd) {
        ClickHeading(hwnd, 1);
        EXPECT_EQ(Column(hwnd, 1), (std::vector<std::wstring>{L"1.0", L"10.1", L"2.5", L"9.0", L"9.0.1"}))
            << "versions sort as text";
        EXPECT_EQ(Column(hwnd, 0),
                  (std::vector<std::wstring>{L"Editor", L"alpha", L"Editor 5", L"Zeta", L"\u00C9diteur"}))
            << "whole rows move";
        ClickHeading(hwnd, 1);
        EXPECT_EQ(Column(hwnd, 1), (std::vector<std::wstring>{L"9.0.1", L"9.0", L"2.5", L"10.1", L"1.0"}));

        // Another heading starts ascending; capitals before small letters, a prefix first.
        ClickHeading(hwnd, 0);
        EXPECT_EQ(Column(hwnd, 0),
                  (std::vector<std::wstring>{L"Editor", L"Editor 5", L"Zeta", L"alpha", L"\u00C9diteur"}));
        ClickHeading(hwnd, 0);
        EXPECT_EQ(Column(hwnd, 0),
                  (std::vector<std::wstring>{L"\u00C9diteur", L"alpha", L"Zeta", L"Editor 5", L"Editor"}));
        // Each heading keeps its own direction: the version heading's next click is its third.
        ClickHeading(hwnd, 1);
        EXPECT_EQ(Column(hwnd, 1), (std::vector<std::wstring>{L"1.0", L"10.1", L"2.5", L"9.0", L"9.0.1"}));
    });
}

TEST_F(HistoryDialogTest, AnEmptyHistoryShowsTheHeadingsOnly) {
    InitHistoryLog();
    scup::CHistoryDialog dialog(kEnglish);
    dialog.SetCategory(L"PCS");
    RunWithDriver(dialog, [](HWND hwnd) {
        EXPECT_EQ(Headings(hwnd).size(), static_cast<size_t>(kColumns));
        EXPECT_EQ(RowCount(hwnd), 0);
        ClickHeading(hwnd, 2);
        EXPECT_EQ(RowCount(hwnd), 0);
    });
}

TEST_F(HistoryDialogTest, EachLanguageHasItsOwnHeadingsAndArabicKeepsNamesLeftToRight) {
    StoreHistory({{"PCS", "Label Editor", "5.2.1", "2026/01/02 03:04:05", "Corvane SC-200", "1041"}});
    scup::CHistoryDialog arabic(kArabic);
    arabic.SetCategory(L"PCS");
    RunWithDriver(arabic, [](HWND hwnd) {
        EXPECT_NE(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYOUTRTL, 0);
        const std::vector<Heading> headings = Headings(hwnd);
        ASSERT_EQ(headings.size(), static_cast<size_t>(kColumns));
        EXPECT_EQ(headings[0].text, scup::LoadLangString(IDS_COL_TITLE, kArabic));
        EXPECT_NE(headings[0].text, scup::LoadLangString(IDS_COL_TITLE, kEnglish));
        EXPECT_EQ(Cell(hwnd, 0, 4), L"\u202AJapanese");
        EXPECT_EQ(Cell(hwnd, 0, 0), L"Label Editor");
    });

    scup::CHistoryDialog japanese(kJapanese);
    japanese.SetCategory(L"PCS");
    RunWithDriver(japanese, [](HWND hwnd) {
        EXPECT_EQ(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYOUTRTL, 0);
        const std::vector<Heading> headings = Headings(hwnd);
        ASSERT_EQ(headings.size(), static_cast<size_t>(kColumns));
        EXPECT_EQ(headings[4].text, scup::LoadLangString(IDS_COL_LANGUAGE, kJapanese));
        EXPECT_NE(headings[4].text, scup::LoadLangString(IDS_COL_LANGUAGE, kEnglish));
        EXPECT_EQ(Cell(hwnd, 0, 4), L"Japanese");
    });
}

TEST(HistoryLanguageNames, APairWithAMissingStringIsLeftOutRatherThanNamedLikeItsNeighbour) {
    // Strings 200 + i carry locale "L<i>", strings 300 + i the name "N<i>"; two are missing.
    auto strings = [](UINT id) -> std::optional<std::wstring> {
        if (id == 203 || id == 310) return std::nullopt;
        if (id >= 200 && id <= 230) return L"L" + std::to_wstring(id - 200);
        if (id >= 300 && id <= 330) return L"N" + std::to_wstring(id - 300);
        return std::nullopt;
    };
    const auto names = scup::CHistoryDialog::BuildLanguageNames(strings, false);
    EXPECT_EQ(names.size(), 29u);
    EXPECT_EQ(names.at(L"L2"), L"N2");
    EXPECT_EQ(names.count(L"L3"), 0u);
    EXPECT_EQ(names.at(L"L4"), L"N4");
    EXPECT_EQ(names.count(L"L10"), 0u);
    EXPECT_EQ(names.at(L"L30"), L"N30");

    const auto mirrored = scup::CHistoryDialog::BuildLanguageNames(strings, true);
    EXPECT_EQ(mirrored.at(L"L0"), L"\u202AN0");
}

}  // namespace

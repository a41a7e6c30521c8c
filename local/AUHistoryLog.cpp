#include "AUHistoryLog.h"

#include <windows.h>

#include <atomic>
#include <ctime>
#include <mutex>

#include "common/AUXMLParser.h"
#include "common/Format.h"
#include "common/Trace.h"
#include "common/XMLComValues.h"
#include "local/UnreadableFile.h"

using scup::AUTrace;
using scup::ComPtr;

namespace {

std::atomic<bool> g_historyOpen{false};
// The one history document is written by the update thread and the transfer worker and read by the
// history dialog on the main thread: one at a time.
std::mutex g_historyMutex;

std::wstring CurrentLocalTimeText() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now);
    wchar_t text[32] = {};
    wcsftime(text, 32, L"%Y/%m/%d %H:%M:%S", &local);
    return text;
}

// Splits at the separator; pieces past the last separator included.
std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> pieces;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        pieces.push_back(text.substr(start, at == std::wstring::npos ? std::wstring::npos : at - start));
        if (at == std::wstring::npos) break;
        start = at + 1;
    }
    return pieces;
}

// Decimal value of the leading digits; text that is no number counts as 0.
WORD NumberOf(const std::vector<std::wstring>& pieces, size_t index) {
    if (index >= pieces.size()) return 0;
    return static_cast<WORD>(wcstol(pieces[index].c_str(), nullptr, 10));
}

std::wstring ChildText(CAUXMLParser& log, IXMLDOMNode* record, const wchar_t* tag) {
    ComPtr<IXMLDOMNode> child;
    std::wstring text;
    if (log.GetFristSelectedNode(record, tag, child) == CAUXMLParser::kSuccess && child)
        log.GetNodeValue(child.get(), text);
    return text;
}

}  // namespace

int InitHistoryLog() {
    scup::TraceScope scope(L"InitHistoryLog()");
    std::lock_guard lock(g_historyMutex);
    std::wstring path = CAUXMLParser::DataFilePath(kHistoryFileName);
    CAUXMLParser& log = CAUXMLParser::CreateHistoryDocument();
    if (path.empty() || log.Load(path) != CAUXMLParser::kSuccess) {
        KeepUnreadableFileAside(log, path);
        CAUXMLParser::CreateLogDocument();
    }
    g_historyOpen = true;
    return 0;
}

void CloseHistoryLog() {
    std::lock_guard lock(g_historyMutex);
    g_historyOpen = false;
}

void AddHistoryRecord(const std::wstring& category, const std::wstring& title, const std::wstring& version,
                      const std::wstring& printer, const std::wstring& language, const std::wstring& firmName,
                      const std::wstring& firmSpec, const std::wstring& firmVersion) {
    std::lock_guard lock(g_historyMutex);
    CAUXMLParser* log = CAUXMLParser::HistoryDocument();
    if (!g_historyOpen || !log) return;
    ComPtr<IXMLDOMNode> record;
    if (log->CreateNode(nullptr, L"Info", L"", L"", &record) != CAUXMLParser::kSuccess || !record) {
        AUTrace(L"Failed: history record not written");
        return;
    }
    const std::pair<const wchar_t*, std::wstring> children[] = {
        {L"Category", category},           {L"Title", title},       {L"Version", version},
        {L"Date", CurrentLocalTimeText()}, {L"Printer", printer},   {L"Language", language},
        {L"FirmName", firmName},           {L"FirmSpec", firmSpec}, {L"FirmVersion", firmVersion}};
    for (const auto& [tag, value] : children) log->CreateNode(record.get(), tag, value, L"");
    // Saved once, whole: the file never holds a record without some of its parts. A record that
    // could not be saved stays in the document and goes with the next one saved.
    if (log->SaveIntoDataFolder(kHistoryFileName) != CAUXMLParser::kSuccess)
        AUTrace(L"Failed: history record not saved");
}

std::wstring FormatHistoryDate(const std::wstring& stored) {
    std::vector<std::wstring> halves = Split(stored, L' ');
    std::vector<std::wstring> date = Split(halves[0], L'/');
    std::vector<std::wstring> time = halves.size() > 1 ? Split(halves[1], L':') : std::vector<std::wstring>{};
    SYSTEMTIME when{};
    when.wYear = NumberOf(date, 0);
    when.wMonth = NumberOf(date, 1);
    when.wDay = NumberOf(date, 2);
    when.wHour = NumberOf(time, 0);
    when.wMinute = NumberOf(time, 1);
    when.wSecond = NumberOf(time, 2);
    // The date parts must name a real day: anything else is shown as stored rather than as a
    // made-up date.
    FILETIME check{};
    wchar_t text[128] = {};
    if (date.size() < 3 || !SystemTimeToFileTime(&when, &check) ||
        GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &when, nullptr, text, 128) == 0)
        return stored;
    return text;
}

void ReadHistory(const std::wstring& category, std::vector<std::wstring>& titles,
                 std::vector<std::wstring>& versions, std::vector<std::wstring>& dates,
                 std::vector<std::wstring>& printers, std::vector<std::wstring>& languages) {
    std::lock_guard lock(g_historyMutex);
    CAUXMLParser* log = CAUXMLParser::HistoryDocument();
    if (!g_historyOpen || !log) return;
    ComPtr<IXMLDOMNodeList> records;
    std::wstring path = scup::FormatText(L"Log/Info[Category='%s']", category.c_str());
    if (CAUXMLParser::SelectNodeList(path, records) != CAUXMLParser::kSuccess || !records) return;
    long count = 0;
    records->get_length(&count);
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> record;
        if (FAILED(records->get_item(i, record.put())) || !record) continue;
        titles.push_back(ChildText(*log, record.get(), L"Title"));
        versions.push_back(ChildText(*log, record.get(), L"Version"));
        dates.push_back(FormatHistoryDate(ChildText(*log, record.get(), L"Date")));
        printers.push_back(ChildText(*log, record.get(), L"Printer"));
        languages.push_back(ChildText(*log, record.get(), L"Language"));
    }
}

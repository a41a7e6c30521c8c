#pragma once
// The update history "ScUpdater.log" in the data folder: one record per completed update, oldest
// first, kept in the process-wide history document for the whole run.
//
// A history file that exists but cannot be loaded is moved aside as "ScUpdater.log.bad" before
// the first new record is saved, so earlier records are never overwritten.

#include <string>
#include <vector>

inline constexpr const wchar_t* kHistoryFileName = L"ScUpdater.log";

// Opens the log once at start-up; always 0.
int InitHistoryLog();

// Appends one record dated now; each element is saved at once. Does nothing before the log is open.
void AddHistoryRecord(const std::wstring& category, const std::wstring& title, const std::wstring& version,
                      const std::wstring& printer, const std::wstring& language, const std::wstring& firmName,
                      const std::wstring& firmSpec, const std::wstring& firmVersion);

// Appends the records of one category, in file order, to the lists; dates are shown as dates
// only, in the user's locale. Does nothing before the log is open.
void ReadHistory(const std::wstring& category, std::vector<std::wstring>& titles,
                 std::vector<std::wstring>& versions, std::vector<std::wstring>& dates,
                 std::vector<std::wstring>& printers, std::vector<std::wstring>& languages);

// The stored date text ("%Y/%m/%d %H:%M:%S") as the user's short date; a text that does not
// give a real date is shown as it is stored.
std::wstring FormatHistoryDate(const std::wstring& stored);

// Forgets that the log is open (the clean-up routine and tests).
void CloseHistoryLog();

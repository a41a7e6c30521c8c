#include "UnreadableFile.h"

#include <windows.h>

#include "common/Format.h"
#include "common/Trace.h"

using scup::AUTrace;

namespace {

constexpr int kMaxKeptCopies = 99;

bool HoldsContent(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    return data.nFileSizeHigh != 0 || data.nFileSizeLow != 0;
}

std::wstring KeptName(const std::wstring& path, int copy) {
    return copy == 1 ? path + L".bad" : scup::FormatText(L"%s.bad%d", path.c_str(), copy);
}

}  // namespace

std::wstring KeepUnreadableFileAside(CAUXMLParser& document, const std::wstring& path) {
    if (path.empty() || !HoldsContent(path)) return {};
    if (!document.Document()) {
        // Nothing was read because no XML document object could be made: the file may well be good.
        AUTrace(L"Failed: no XML document to read %s; it is left as it is and not saved over", path.c_str());
        document.ProtectFromSaving(path);
        return {};
    }
    for (int copy = 1; copy <= kMaxKeptCopies; ++copy) {
        std::wstring kept = KeptName(path, copy);
        if (GetFileAttributesW(kept.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        if (MoveFileExW(path.c_str(), kept.c_str(), MOVEFILE_WRITE_THROUGH)) {
            AUTrace(L"Failed: %s could not be read; kept as %s", path.c_str(), kept.c_str());
            return kept;
        }
        break;
    }
    AUTrace(L"Failed: %s could not be read nor kept aside (error %lu); it will not be saved over",
            path.c_str(), GetLastError());
    document.ProtectFromSaving(path);
    return {};
}

#include "PackageFiles.h"

#include <windows.h>
// After windows.h, which they build on.
#include <oleauto.h>
#include <shlobj.h>

#include <optional>
#include <random>

#include "common/AppFiles.h"
#include "common/Format.h"
#include "common/Handles.h"
#include "common/Trace.h"
#include "ext/unzip32/unzip32.h"

CUnzipHolder::CUnzipHolder(const std::wstring& programFolder)
    : m_hUnzip(LoadLibraryW((programFolder + L"unzip32.dll").c_str())) {}

namespace scup {
namespace {

int WINAPI PrintNothing(LPSTR, unsigned long length) { return static_cast<int>(length); }
int WINAPI ReplaceAlways(LPSTR) { return 1; }
int WINAPI NoPassword(LPSTR, int, LPCSTR, LPCSTR) { return 1; }
void WINAPI IgnoreMessage(unsigned long, unsigned long, unsigned, unsigned, unsigned, unsigned, unsigned,
                          unsigned, char, LPSTR, LPSTR, unsigned long, char) {}

std::optional<std::string> ExactAnsi(const std::wstring& text) {
    BOOL lossy = FALSE;
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, nullptr, 0, nullptr, &lossy);
    if (length <= 0 || lossy) return std::nullopt;
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, out.data(), length, nullptr,
                        nullptr);
    return out;
}

// The library takes single-byte paths. A path the system code page cannot spell (a user name in
// another script) would name some other file, so its short form is used instead, and failing
// that the path is not handed over at all.
std::optional<std::string> AnsiPath(const std::wstring& path) {
    if (auto exact = ExactAnsi(path)) return exact;
    wchar_t shortPath[MAX_PATH];
    const DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::nullopt;
    return ExactAnsi(std::wstring(shortPath, length));
}

int PseudoRandomNumber() {
    thread_local std::mt19937 generator(std::random_device{}() ^ GetCurrentThreadId());
    return std::uniform_int_distribution<int>(0, 0x7FFFFFFF)(generator);
}

WIZ_SINGLEENTRYUNZIP UnzipEntryPoint(const CUnzipHolder* unzip) {
    if (!unzip || !unzip->m_hUnzip) {
        AUTrace(L"Failed: unzip32.dll is not loaded");
        return nullptr;
    }
    auto entry = reinterpret_cast<WIZ_SINGLEENTRYUNZIP>(
        reinterpret_cast<void*>(GetProcAddress(unzip->m_hUnzip.get(), "Wiz_SingleEntryUnzip")));
    if (!entry) AUTrace(L"Failed: unzip32.dll has no Wiz_SingleEntryUnzip");
    return entry;
}

}  // namespace

bool HasUnzipEntryPoint(const CUnzipHolder* unzip) { return UnzipEntryPoint(unzip) != nullptr; }

int UnzipPackage(const CUnzipHolder* unzip, const std::wstring& archive, std::vector<std::wstring>& files,
                 const std::wstring& folder) {
    files.clear();
    const WIZ_SINGLEENTRYUNZIP unzipArchive = UnzipEntryPoint(unzip);
    if (!unzipArchive) return 0;
    std::optional<std::string> archivePath = AnsiPath(archive);
    std::optional<std::string> folderPath = AnsiPath(folder);
    if (!archivePath || !folderPath) {
        AUTrace(L"Failed: unzip of %s: the path cannot be handed to the unzip library", archive.c_str());
        return 0;
    }

    DCL options{};
    options.fQuiet = 2;
    options.ndflag = 1;
    options.noflag = 1;
    options.lpszZipFN = archivePath->data();
    options.lpszExtractDir = folderPath->data();
    USERFUNCTIONS callbacks{};
    callbacks.print = PrintNothing;
    callbacks.replace = ReplaceAlways;
    callbacks.password = NoPassword;
    callbacks.SendApplicationMessage = IgnoreMessage;

    const int rc = unzipArchive(0, nullptr, 0, nullptr, &options, &callbacks);
    if (rc != PK_OK) {
        AUTrace(L"Failed: unzip of %s (%d)", archive.c_str(), rc);
        return 0;
    }
    files = PlainFilesOf(folder);
    return 1;
}

std::wstring MakeTempFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return {};
    SYSTEMTIME now{};
    GetLocalTime(&now);
    DATE date = 0;
    SystemTimeToVariantTime(&now, &date);
    // Another folder of the same name may be there already (made within the same second): it
    // belongs to someone else and must not be handed out, so another number is drawn.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::wstring folder = std::wstring(temp) + FormatText(L"SU%f%d", date, PseudoRandomNumber());
        if (folder.size() >= MAX_PATH) return {};
        const int rc = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
        if (rc == ERROR_SUCCESS) return folder;
        if (rc != ERROR_ALREADY_EXISTS && rc != ERROR_FILE_EXISTS) break;
    }
    AUTrace(L"Failed: no temporary folder could be made");
    return {};
}

}  // namespace scup

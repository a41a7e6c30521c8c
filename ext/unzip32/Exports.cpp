// The functions of unzip32.dll.
#include <atomic>
#include <new>

#include "Extraction.h"
#include "unzip32.h"

namespace {

std::atomic<unsigned long long> g_maxTotalSize{UNZIP32_DEFAULT_MAX_TOTAL_SIZE};
std::atomic<unsigned long> g_maxEntries{UNZIP32_DEFAULT_MAX_ENTRIES};

std::wstring FromAnsi(const char* text) {
    if (!text || !*text) return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 1) return {};
    std::wstring out(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), length);
    out.pop_back();
    return out;
}

bool ReadNameList(int count, char** names, std::vector<std::wstring>& list) {
    if (count < 0 || (count > 0 && !names)) return false;
    for (int i = 0; i < count; ++i) {
        if (!names[i]) return false;
        list.push_back(FromAnsi(names[i]));
    }
    return true;
}

// Listing, standard output, freshening and line-end conversion change what a call does; they
// are not offered, and asking for them is an error rather than silently unpacking instead.
bool AsksForUnsupported(const DCL& dcl) {
    return dcl.ExtractOnlyNewer || dcl.ncflag || dcl.nvflag || dcl.nfflag || dcl.naflag || dcl.nZIflag;
}

int Unzip(int ifnc, char** ifnv, int xfnc, char** xfnv, const DCL& dcl, LPUSERFUNCTIONS callbacks) {
    unzip32::ExtractOptions options;
    if (!ReadNameList(ifnc, ifnv, options.include) || !ReadNameList(xfnc, xfnv, options.exclude))
        return PK_PARAM;
    options.archive = FromAnsi(dcl.lpszZipFN);
    options.target = FromAnsi(dcl.lpszExtractDir);
    if (options.archive.empty()) return PK_PARAM;
    options.keepFolders = dcl.ndflag != 0;
    options.spaceToUnderscore = dcl.SpaceToUnderscore != 0;
    options.overwrite = dcl.noflag != 0;
    options.prompt = dcl.PromptToOverwrite != 0;
    options.testOnly = dcl.ntflag != 0;
    options.ignoreCase = dcl.C_flag != 0;
    options.quiet = dcl.fQuiet;
    options.maxTotalSize = g_maxTotalSize.load();
    options.maxEntries = g_maxEntries.load();
    unzip32::Extraction extraction(std::move(options), callbacks);
    return extraction.Run();
}

}  // namespace

extern "C" int WINAPI Wiz_SingleEntryUnzip(int ifnc, char** ifnv, int xfnc, char** xfnv, LPDCL lpDCL,
                                           LPUSERFUNCTIONS lpUserFunc) {
    if (!lpDCL || AsksForUnsupported(*lpDCL)) return PK_PARAM;
    int rc;
    // Nothing may be thrown across the library's edge.
    try {
        rc = Unzip(ifnc, ifnv, xfnc, xfnv, *lpDCL, lpUserFunc);
    } catch (const std::bad_alloc&) {
        rc = PK_MEM;
    } catch (...) {
        rc = PK_BADERR;
    }
    if (lpUserFunc && lpUserFunc->sound) lpUserFunc->sound();
    return rc;
}

extern "C" void WINAPI Unzip32SetLimits(unsigned long long maxTotalSize, unsigned long maxEntries) {
    g_maxTotalSize = maxTotalSize ? maxTotalSize : UNZIP32_DEFAULT_MAX_TOTAL_SIZE;
    g_maxEntries = maxEntries ? maxEntries : UNZIP32_DEFAULT_MAX_ENTRIES;
}

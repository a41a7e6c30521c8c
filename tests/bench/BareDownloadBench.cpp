// Downloads one file with the plainest WinHTTP loop there is (large reads written straight to the
// file, no worker, no progress, no checks beyond the status), as the ceiling the program's own
// download is measured against. Prints the throughput and the process's peak working set.
// Usage: bare_download_bench FILE_URL OUT_PATH
#include <windows.h>
#include <psapi.h>
#include <winhttp.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/Handles.h"

namespace {

// Kept apart from the program's connection code on purpose: this loop must owe it nothing.
struct InternetTraits {
    static HINTERNET Invalid() noexcept { return nullptr; }
    static void Close(HINTERNET h) noexcept { ::WinHttpCloseHandle(h); }
};
using UniqueInternet = scup::UniqueResource<HINTERNET, InternetTraits>;

int Fail(const char* what) {
    std::fprintf(stderr, "%s failed with %lu\n", what, GetLastError());
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bare_download_bench FILE_URL OUT_PATH\n");
        return 2;
    }
    const std::wstring url = argv[1];
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
        return Fail("WinHttpCrackUrl");
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);

    UniqueInternet session(WinHttpOpen(L"ScUpdater bench", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return Fail("WinHttpOpen");
    UniqueInternet connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
    if (!connection) return Fail("WinHttpConnect");

    // Timed from the request on, as the program's download is: the session is opened before both.
    const auto started = std::chrono::steady_clock::now();
    UniqueInternet request(WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              WINHTTP_FLAG_REFRESH));
    if (!request) return Fail("WinHttpOpenRequest");
    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                            0))
        return Fail("WinHttpSendRequest");
    if (!WinHttpReceiveResponse(request.get(), nullptr)) return Fail("WinHttpReceiveResponse");
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return Fail("WinHttpQueryHeaders");
    if (status != HTTP_STATUS_OK) {
        std::fprintf(stderr, "the server answered %lu\n", status);
        return 1;
    }

    scup::UniqueFile file(
        CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return Fail("CreateFileW");
    std::vector<char> buffer(1 << 20);
    unsigned long long total = 0;
    for (;;) {
        DWORD read = 0;
        if (!WinHttpReadData(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read))
            return Fail("WinHttpReadData");
        if (read == 0) break;
        DWORD written = 0;
        if (!WriteFile(file.get(), buffer.data(), read, &written, nullptr) || written != read)
            return Fail("WriteFile");
        total += read;
    }
    file.reset();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    PROCESS_MEMORY_COUNTERS memory{};
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
    std::printf("bare loop: %llu bytes in %.2f s = %.1f MB/s, peak working set %.1f MB\n", total, seconds,
                static_cast<double>(total) / seconds / 1e6, memory.PeakWorkingSetSize / 1e6);
    DeleteFileW(argv[2]);
    return 0;
}

// Downloads one file from the update server through the program's server exchanges and prints the
// throughput and the process's peak working set. Usage: download_bench SERVER_BASE FILE_URL OUT_PATH
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "common/Handles.h"
#include "common/Profile.h"
#include "common/Resources.h"
#include "local/AUConfigXML.h"
#include "server/AUHttpConnection.h"
#include "server/AUServerData.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: download_bench SERVER_BASE FILE_URL OUT_PATH\n");
        return 2;
    }
    const std::wstring base = argv[1];
    scup::ComInit com;
    wchar_t folder[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, folder, MAX_PATH);
    std::wstring bin(folder);
    bin.resize(bin.find_last_of(L'\\') + 1);
    scup::UniqueModule resources(LoadLibraryW((bin + L"ScUpRes.dll").c_str()));
    scup::SetResourceModule(resources.get());
    scup::SetAppIdentity({L"Corvane Industries, Ltd.", L"ScUpdaterBench"});
    scup::WriteProfileText(L"Settings", L"VersionCheckURL", base + L"/scupdater/versioncheck");
    scup::WriteProfileText(L"Settings", L"NoticeURL", base + L"/scupdater/notice");
    scup::WriteProfileText(L"Settings", L"FileUpdateURL", base + L"/scupdater/fileupdate");

    std::wstring dataFolder = std::wstring(argv[3]) + L".data\\";
    CAUXMLParser::SetDataFolderSource([&] { return dataFolder; });
    CAUConfigXML config;
    config.Initialize();
    CAUServerData data;
    data.SetConfiguration(&config);
    if (data.Initialize() != ServerResult::Success) {
        std::fprintf(stderr, "the server could not be reached\n");
        return 1;
    }
    auto started = std::chrono::steady_clock::now();
    ServerResult result = data.Download(argv[2], argv[3], {});
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (result != ServerResult::Success) {
        std::fprintf(stderr, "download failed with %d\n", ResultCode(result));
        return 1;
    }
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    GetFileAttributesExW(argv[3], GetFileExInfoStandard, &attributes);
    double bytes = static_cast<double>((static_cast<unsigned long long>(attributes.nFileSizeHigh) << 32) |
                                       attributes.nFileSizeLow);
    PROCESS_MEMORY_COUNTERS memory{};
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
    std::printf("program: %.0f bytes in %.2f s = %.1f MB/s, peak working set %.1f MB\n", bytes, seconds,
                bytes / seconds / 1e6, memory.PeakWorkingSetSize / 1e6);
    DeleteFileW(argv[3]);
    return 0;
}

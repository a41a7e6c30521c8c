// Stands in for an installed program: appends its command line (after the program name) and its
// folder to the file named by SCUP_RECORD_FILE, one line each start.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain() {
    wchar_t path[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"SCUP_RECORD_FILE", path, MAX_PATH)) return 1;
    std::wstring line = GetCommandLineW();
    // Drop the program name, quoted or not.
    size_t start = 0;
    if (!line.empty() && line[0] == L'"') {
        start = line.find(L'"', 1);
        start = start == std::wstring::npos ? line.size() : start + 1;
    } else {
        start = line.find(L' ');
        if (start == std::wstring::npos) start = line.size();
    }
    std::wstring args = line.substr(start);
    while (!args.empty() && args.front() == L' ') args.erase(0, 1);
    args += L"\n";
    std::string utf8(WideCharToMultiByte(CP_UTF8, 0, args.c_str(), -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, args.c_str(), -1, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.pop_back();  // the terminating null
    FILE* file = _wfopen(path, L"ab");
    if (!file) return 1;
    fwrite(utf8.data(), 1, utf8.size(), file);
    fclose(file);
    return 0;
}

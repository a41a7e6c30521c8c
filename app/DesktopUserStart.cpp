#include "DesktopUserStart.h"

#include <windows.h>

#include <vector>

#include "UpgraderFiles.h"
#include "common/Handles.h"
#include "common/Trace.h"

namespace scup {
namespace {

// The primary token of the process that owns the desktop's shell window; none without a shell.
UniqueHandle DesktopUserToken() {
    HWND shell = GetShellWindow();
    DWORD processId = 0;
    if (!shell || !GetWindowThreadProcessId(shell, &processId) || processId == 0) {
        AUTrace(L"No desktop shell runs: its user's token cannot be had.");
        return UniqueHandle();
    }
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    HANDLE shellToken = nullptr;
    if (!process || !OpenProcessToken(process.get(), TOKEN_DUPLICATE, &shellToken)) {
        AUTrace(L"Failed: the desktop shell's token could not be opened (error %lu).", GetLastError());
        return UniqueHandle();
    }
    const UniqueHandle owned(shellToken);
    HANDLE primary = nullptr;
    if (!DuplicateTokenEx(owned.get(),
                          TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT |
                              TOKEN_ADJUST_SESSIONID,
                          nullptr, SecurityImpersonation, TokenPrimary, &primary)) {
        AUTrace(L"Failed: the desktop shell's token could not be duplicated (error %lu).", GetLastError());
        return UniqueHandle();
    }
    return UniqueHandle(primary);
}

}  // namespace

bool StartAsDesktopUser(const std::wstring& program, const std::wstring& parameters) {
    const UniqueHandle token = DesktopUserToken();
    if (!token) return false;
    std::wstring commandLine = L"\"" + program + L"\" " + parameters;
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    const std::wstring folder = GetFolderOfPath(program);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    // No environment given: the program gets the one made from the user's own profile.
    if (!CreateProcessWithTokenW(token.get(), 0, program.c_str(), writable.data(), CREATE_UNICODE_ENVIRONMENT,
                                 nullptr, folder.c_str(), &startup, &started)) {
        AUTrace(L"Failed: the updater could not be started as the desktop's user (error %lu).",
                GetLastError());
        return false;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    AUTrace(L"The updater was started as the desktop's user : %s %s", program.c_str(), parameters.c_str());
    return true;
}

}  // namespace scup

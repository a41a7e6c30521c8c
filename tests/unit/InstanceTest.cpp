// The real program as separate processes: one instance per logon, and the staging copy that
// completes a self-upgrade.
#include <gtest/gtest.h>

#include <string>

#include "SimulatedPC.h"
#include "TestSupport.h"
#include "common/AppFiles.h"
#include "common/Handles.h"
#include "common/Text.h"

namespace {

using namespace testing_support;

constexpr wchar_t kSettingsKey[] = L"Software\\Corvane Industries, Ltd.\\ScUpdater\\Settings";

struct Process {
    scup::UniqueHandle handle;
    DWORD id = 0;
    bool Running() const { return handle && WaitForSingleObject(handle.get(), 0) == WAIT_TIMEOUT; }
    bool WaitForExit(DWORD ms) const { return WaitForSingleObject(handle.get(), ms) == WAIT_OBJECT_0; }
    void Kill() {
        if (Running()) {
            TerminateProcess(handle.get(), 1);
            WaitForExit(5000);
        }
    }
};

Process StartProgram(const std::wstring& arguments) {
    std::wstring command = L"\"" + BinFolder() + L"ScUpdater.exe\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    Process process;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, BinFolder().c_str(), &si,
                       &pi)) {
        CloseHandle(pi.hThread);
        process.handle.reset(pi.hProcess);
        process.id = pi.dwProcessId;
    }
    return process;
}

struct WindowQuery {
    DWORD pid;
    bool wantProperty;
    HWND found = nullptr;
};

// A visible top-level dialog window of the process, with or without the instance property.
HWND FindProcessWindow(DWORD pid, bool withProperty) {
    WindowQuery query{pid, withProperty};
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto* q = reinterpret_cast<WindowQuery*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            wchar_t cls[32] = {};
            GetClassNameW(hwnd, cls, 32);
            const bool hasProperty = GetPropW(hwnd, L"ScriboUpdaterWindow") != nullptr;
            if (owner == q->pid && IsWindowVisible(hwnd) && std::wstring(cls) == L"#32770" &&
                hasProperty == q->wantProperty) {
                q->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&query));
    return query.found;
}

HWND WaitForProcessWindow(DWORD pid, bool withProperty, DWORD timeoutMs = 30000) {
    HWND found = nullptr;
    PumpUntil([&] { return (found = FindProcessWindow(pid, withProperty)) != nullptr; }, timeoutMs);
    return found;
}

std::wstring ReadMachineText(const wchar_t* key, const wchar_t* name) {
    wchar_t buffer[256] = {};
    DWORD size = sizeof(buffer);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return {};
    return buffer;
}

std::wstring ProgramDataFolder() {
    wchar_t appData[MAX_PATH] = {};
    GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH);
    return std::wstring(appData) + L"\\Corvane\\ScUpdater";
}

std::wstring ProgramTraceFile() { return ProgramDataFolder() + L"\\ScUpdater.trace.txt"; }

class SingleInstanceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        pc_.AddFamilyPrinter(L"Corvane Test Printer", L"Corvane SC-200", 0x2107);
        DeleteFileW(ProgramTraceFile().c_str());
        SetEnvironmentVariableW(L"SCUPDATER_TRACE", L"1");
    }
    void TearDown() override {
        for (Process* p : {&first_, &second_, &third_}) p->Kill();
        SetEnvironmentVariableW(L"SCUPDATER_TRACE", nullptr);
    }
    // Starts the first instance and answers its "server not reachable" warning.
    HWND StartFirstInstance() {
        first_ = StartProgram(L"");
        HWND warning = WaitForProcessWindow(first_.id, false);
        if (!warning) return nullptr;
        PostMessageW(warning, WM_COMMAND, IDOK, 0);
        HWND start = nullptr;
        PumpUntil(
            [&] {
                start = FindProcessWindow(first_.id, true);
                return start && IsWindowEnabled(start) && !FindProcessWindow(first_.id, false);
            },
            30000);
        return start;
    }
    std::string Trace() const { return ReadTextFile(ProgramTraceFile()); }
    // A file the first instance is downloading: it belongs to it, and no later start removes it.
    std::wstring PutDownloadInProgress() const {
        const std::wstring downloads = ProgramDataFolder() + L"\\DownloadedFiles";
        CreateDirectoryW(downloads.c_str(), nullptr);
        WriteTextFile(downloads + L"\\being-downloaded.exe", "part of an installer");
        return downloads + L"\\being-downloaded.exe";
    }

    testing_support::SimulatedPC pc_;
    Process first_, second_, third_;
};

TEST_F(SingleInstanceTest, PlainSecondStartBringsTheFirstForwardAndEnds) {
    HWND start = StartFirstInstance();
    ASSERT_NE(start, nullptr) << "the first instance showed no start dialog";

    const std::wstring download = PutDownloadInProgress();

    second_ = StartProgram(L"");
    ASSERT_TRUE(second_.WaitForExit(20000)) << "the second instance did not end";
    EXPECT_NE(Trace().find("Success: running instance brought forward."), std::string::npos);
    EXPECT_TRUE(first_.Running());
    EXPECT_EQ(FindProcessWindow(second_.id, true), nullptr);
    EXPECT_TRUE(FileExists(download)) << "the second start removed the downloads";
}

TEST_F(SingleInstanceTest, AnUnattendedStartItCannotRunLeavesTheRunningCopysDownloads) {
    HWND start = StartFirstInstance();
    ASSERT_NE(start, nullptr) << "the first instance showed no start dialog";
    const std::wstring download = PutDownloadInProgress();

    second_ = StartProgram(L"-INSTALL");
    ASSERT_TRUE(second_.WaitForExit(20000)) << "a bad command line must end the run at once";
    DWORD exitCode = 0;
    GetExitCodeProcess(second_.handle.get(), &exitCode);
    EXPECT_EQ(exitCode, 2u);
    EXPECT_TRUE(first_.Running());
    EXPECT_TRUE(FileExists(download)) << "the unattended start removed the downloads";
}

TEST_F(SingleInstanceTest, StartWithNWaitsForTheFirstAndGoesOnHalfASecondLater) {
    HWND start = StartFirstInstance();
    ASSERT_NE(start, nullptr);

    third_ = StartProgram(L"-N");
    PumpFor(2500);
    EXPECT_TRUE(third_.Running()) << "-N must wait, not end";
    EXPECT_EQ(FindProcessWindow(third_.id, true), nullptr)
        << "-N must not show a window while the first runs";
    EXPECT_EQ(FindProcessWindow(third_.id, false), nullptr);

    PostMessageW(start, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(first_.WaitForExit(20000)) << "closing the start dialog did not end the first instance";
    const ULONGLONG firstEnded = GetTickCount64();

    HWND window = nullptr;
    ASSERT_TRUE(PumpUntil(
        [&] {
            return (window = FindProcessWindow(third_.id, false)) ||
                   (window = FindProcessWindow(third_.id, true));
        },
        30000))
        << "the waiting instance never went on";
    EXPECT_GE(GetTickCount64() - firstEnded, 500u);
    EXPECT_NE(Trace().find("Success: previous instance has ended."), std::string::npos);
}

class SelfUpdateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        target_ = MakeScratchFolder(L"update-target");
        source_ = MakeScratchFolder(L"update-source");
        record_ = MakeScratchFolder(L"update-record") + L"\\started.txt";
        ASSERT_TRUE(CopyFileW((BinFolder() + L"record_args.exe").c_str(),
                              (source_ + L"\\ScUpdater.exe").c_str(), FALSE));
        WriteTextFile(source_ + L"\\ScUpRes.dll", "new resources");
        WriteTextFile(source_ + L"\\readme.txt", std::string(10000, 'r'));
        WriteTextFile(target_ + L"\\readme.txt", "old");
        SetEnvironmentVariableW(L"SCUP_RECORD_FILE", record_.c_str());
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSettingsKey, L"PackageVersion");
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"SCUP_RECORD_FILE", nullptr);
        scup::RemoveFolder(target_);
        scup::RemoveFolder(source_);
    }
    // Runs the staging copy and waits for it and for the program it starts.
    void RunUpdate(const std::wstring& arguments, bool expectStarted = true) {
        Process staging = StartProgram(arguments);
        ASSERT_TRUE(staging.WaitForExit(30000)) << "update mode did not end";
        if (expectStarted) {
            // The started program creates the file before it writes its line.
            ASSERT_TRUE(PumpUntil(
                [&] {
                    std::string line = ReadTextFile(record_);
                    return !line.empty() && line.back() == '\n';
                },
                15000))
                << "the installed updater was not started";
        }
    }
    std::string StartedWith() const {
        std::string line = ReadTextFile(record_);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        return line;
    }

    std::wstring target_, source_, record_;
};

TEST_F(SelfUpdateTest, CopiesEveryFileRecordsTheVersionRemovesTheSourceAndStartsTheUpdater) {
    RunUpdate(L"-UPDATE " + target_ + L" " + source_ + L" 1.2.0");
    EXPECT_EQ(ReadTextFile(target_ + L"\\ScUpRes.dll"), "new resources");
    EXPECT_EQ(ReadTextFile(target_ + L"\\readme.txt"), std::string(10000, 'r'));
    EXPECT_TRUE(FileExists(target_ + L"\\ScUpdater.exe"));
    EXPECT_EQ(ReadMachineText(kSettingsKey, L"PackageVersion"), L"1.2.0");
    EXPECT_FALSE(FileExists(source_));
    EXPECT_EQ(StartedWith(), "-N");
}

TEST_F(SelfUpdateTest, EditorSwitchIsPassedOnToTheInstalledUpdater) {
    RunUpdate(L"/UPDATE " + target_ + L" " + source_ + L" 1.3.0 -EDITOR");
    EXPECT_EQ(ReadMachineText(kSettingsKey, L"PackageVersion"), L"1.3.0");
    EXPECT_EQ(StartedWith(), "-N -EDITOR");
}

TEST_F(SelfUpdateTest, FailedCopyKeepsTheSourceAndTheOldVersion) {
    const std::wstring missingTarget = target_ + L"\\no-such-folder";
    RunUpdate(L"-UPDATE " + missingTarget + L" " + source_ + L" 9.9.9", false);
    EXPECT_TRUE(ReadMachineText(kSettingsKey, L"PackageVersion").empty());
    EXPECT_TRUE(FileExists(source_ + L"\\ScUpdater.exe"));
    EXPECT_TRUE(FileExists(source_ + L"\\readme.txt"));
}

}  // namespace

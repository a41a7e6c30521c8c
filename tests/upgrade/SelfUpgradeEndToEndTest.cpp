// The self-upgrade of the real program, end to end: an installed ScUpdater whose recorded version
// is older than the one the real update server offers. The user answers the confirmation dialog of
// the running program; the program fetches and checks the package, starts the installed updater
// elevated on it, ends; that elevated step checks the package again in a folder of its own, installs
// the new files and starts the installed updater again, which comes back as the new version. A
// package that does not pass the check leaves the old program running as it was. run_upgrade_e2e.sh
// builds the catalog (its updater package holds the built program, marked so that the installed copy
// can be told apart) and starts the server; it hands over the server's address in SCUP_TEST_SERVER
// and the catalog folder in SCUP_TEST_CATALOG.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it builds on.
#include <tlhelp32.h>
#include <winhttp.h>

#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "../unit/SimulatedPC.h"
#include "../unit/TestSupport.h"
#include "common/AppFiles.h"
#include "common/Handles.h"
#include "res/selfupdate_ids.h"

namespace {

using namespace testing_support;

constexpr wchar_t kProgramKey[] = L"Software\\Corvane Industries, Ltd.\\ScUpdater\\Settings";
constexpr char kNewBuildMark[] = "SCUP-E2E-NEW-BUILD";
constexpr wchar_t kPackagePath[] = L"/scupdater/files/updater/";

std::wstring Environment(const wchar_t* name) {
    wchar_t value[1024] = {};
    GetEnvironmentVariableW(name, value, 1024);
    return value;
}

// A Linux path as the Wine process sees it.
std::wstring FromUnixPath(std::wstring path) {
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return L"Z:" + path;
}

// A plain HTTP request to the test server's control endpoint; the body of a 200 answer.
std::string ControlRequest(const wchar_t* method, const std::wstring& url) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return {};
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                              std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    struct Closer {
        void operator()(HINTERNET h) const { WinHttpCloseHandle(h); }
    };
    using Handle = std::unique_ptr<void, Closer>;
    Handle session(WinHttpOpen(L"scup-test", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0));
    Handle connect(session ? WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0) : nullptr);
    Handle request(connect
                       ? WinHttpOpenRequest(connect.get(), method, path.c_str(), nullptr, nullptr, nullptr, 0)
                       : nullptr);
    if (!request || !WinHttpSendRequest(request.get(), nullptr, 0, nullptr, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
        return {};
    DWORD status = 0, size = sizeof(status);
    WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, nullptr,
                        &status, &size, nullptr);
    std::string body;
    DWORD available = 0;
    while (WinHttpQueryDataAvailable(request.get(), &available) && available > 0) {
        std::string chunk(available, '\0');
        DWORD read = 0;
        if (!WinHttpReadData(request.get(), chunk.data(), available, &read)) break;
        body.append(chunk.data(), read);
    }
    return status == 200 ? body : std::string();
}

// "notice N" of the server's request counts.
int NoticeCount(const std::wstring& server) {
    std::istringstream stats(ControlRequest(L"GET", server + L"/_control/stats"));
    std::string word;
    int count = 0;
    while (stats >> word)
        if (word == "notice" && stats >> count) return count;
    return -1;
}

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

Process StartProgram(const std::wstring& program) {
    std::wstring command = L"\"" + program + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    Process process;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        process.handle.reset(pi.hProcess);
        process.id = pi.dwProcessId;
    }
    return process;
}

std::wstring ImageOf(DWORD pid) {
    scup::UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!process || !QueryFullProcessImageNameW(process.get(), 0, path, &size)) return {};
    return path;
}

struct SWindow {
    HWND hwnd = nullptr;
    DWORD pid = 0;
};

// The visible dialogs of the program: with the instance property (its start or main dialog) or,
// without it, its questions and message boxes.
std::vector<SWindow> ProgramDialogs(bool withProperty) {
    struct Query {
        bool withProperty;
        std::vector<SWindow> found;
    } query{withProperty, {}};
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto* q = reinterpret_cast<Query*>(param);
            wchar_t cls[32] = {};
            GetClassNameW(hwnd, cls, 32);
            const bool hasProperty = GetPropW(hwnd, L"ScriboUpdaterWindow") != nullptr;
            if (IsWindowVisible(hwnd) && std::wstring(cls) == L"#32770" && hasProperty == q->withProperty) {
                DWORD pid = 0;
                GetWindowThreadProcessId(hwnd, &pid);
                q->found.push_back({hwnd, pid});
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&query));
    return query.found;
}

HWND WaitForDialogOf(DWORD pid, bool withProperty, int controlId, DWORD timeoutMs) {
    HWND found = nullptr;
    PumpUntil(
        [&] {
            for (const SWindow& w : ProgramDialogs(withProperty))
                if (w.pid == pid && (controlId == 0 || GetDlgItem(w.hwnd, controlId))) found = w.hwnd;
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

std::wstring WindowText(HWND hwnd) {
    wchar_t text[1024] = {};
    GetWindowTextW(hwnd, text, 1024);
    return text;
}

// The text of a message box: its static text control.
std::wstring MessageBoxText(HWND box) { return WindowText(GetDlgItem(box, 0xFFFF)); }

// What the process shows, for a failure's message.
std::string WindowsOf(DWORD pid) {
    std::string out;
    for (bool withProperty : {true, false})
        for (const SWindow& w : ProgramDialogs(withProperty)) {
            if (w.pid != pid) continue;
            const std::wstring text = WindowText(w.hwnd) + L" / " + WindowText(GetDlgItem(w.hwnd, 0xFFFF));
            out += std::string(text.begin(), text.end()) +
                   (IsWindowEnabled(w.hwnd) ? " (enabled)\n" : " (disabled)\n");
        }
    return out;
}

std::wstring ReadRegText(HKEY root, const wchar_t* name) {
    wchar_t buffer[512] = {};
    DWORD size = sizeof(buffer);
    if (RegGetValueW(root, kProgramKey, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return {};
    return buffer;
}

void WriteRegText(HKEY root, const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, kProgramKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void DeleteRegValue(HKEY root, const wchar_t* name) { RegDeleteKeyValueW(root, kProgramKey, name); }

std::wstring ProgramDataFolder() { return Environment(L"APPDATA") + L"\\Corvane\\ScUpdater"; }

// Process ids of the trace lines that hold the text.
std::set<unsigned long> TracePids(const std::string& trace, const std::string& text) {
    std::set<unsigned long> pids;
    std::istringstream lines(trace);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find(text) == std::string::npos) continue;
        const size_t open = line.find('[');
        if (open != std::string::npos) pids.insert(std::stoul(line.substr(open + 1)));
    }
    return pids;
}

class SelfUpgradeEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        server_ = Environment(L"SCUP_TEST_SERVER");
        catalog_ = Environment(L"SCUP_TEST_CATALOG");
        ASSERT_FALSE(server_.empty()) << "run through run_upgrade_e2e.sh";
        ASSERT_FALSE(catalog_.empty());
        ControlRequest(L"POST", server_ + L"/_control/fault?kind=none");
        package_ = FromUnixPath(catalog_) + L"\\updater\\ScUpdater-1.0.0.zip";
        packageBytes_ = ReadTextFile(package_);
        ASSERT_FALSE(packageBytes_.empty()) << "no updater package in the catalog";

        installed_ = MakeScratchFolder(L"e2e-installed");
        for (const wchar_t* name : {L"ScUpdater.exe", L"ScUpRes.dll", L"unzip32.dll", L"scfilo.dll"})
            ASSERT_TRUE(CopyFileW((BinFolder() + name).c_str(), (installed_ + L"\\" + name).c_str(), FALSE))
                << name;
        // The program itself is the release before, as the PC records it below.
        ASSERT_TRUE(CopyFileW((BinFolder() + L"previous\\ScUpdater.exe").c_str(),
                              (installed_ + L"\\ScUpdater.exe").c_str(), FALSE));
        oldProgram_ = ReadTextFile(installed_ + L"\\ScUpdater.exe");

        for (const wchar_t* name : {L"VersionCheckURL", L"NoticeURL", L"FileUpdateURL"})
            savedUser_[name] = ReadRegText(HKEY_CURRENT_USER, name);
        savedVersion_ = ReadRegText(HKEY_LOCAL_MACHINE, L"PackageVersion");
        WriteRegText(HKEY_CURRENT_USER, L"VersionCheckURL", server_ + L"/scupdater/versioncheck");
        WriteRegText(HKEY_CURRENT_USER, L"NoticeURL", server_ + L"/scupdater/notice");
        WriteRegText(HKEY_CURRENT_USER, L"FileUpdateURL", server_ + L"/scupdater/fileupdate");
        // The installed updater is older than the 1.0.0 that the catalog offers.
        WriteRegText(HKEY_LOCAL_MACHINE, L"PackageVersion", L"0.9.0");

        pc_.AddFamilyPrinter(L"Corvane Test Printer", L"Corvane SC-200", 0x2107);
        scup::RemoveFolder(ProgramDataFolder() + L"\\DownloadedFiles");
        DeleteFileW((ProgramDataFolder() + L"\\ScUpdater.trace.txt").c_str());
        SetEnvironmentVariableW(L"SCUPDATER_TRACE", L"1");
    }
    void TearDown() override {
        program_.Kill();
        KillProgramsIn({installed_, ProgramDataFolder() + L"\\DownloadedFiles"});
        SetEnvironmentVariableW(L"SCUPDATER_TRACE", nullptr);
        ControlRequest(L"POST", server_ + L"/_control/fault?kind=none");
        if (!packageBytes_.empty() && ReadTextFile(package_) != packageBytes_)
            WriteBinary(package_, packageBytes_);
        for (const auto& [name, value] : savedUser_) {
            if (value.empty())
                DeleteRegValue(HKEY_CURRENT_USER, name.c_str());
            else
                WriteRegText(HKEY_CURRENT_USER, name.c_str(), value);
        }
        if (savedVersion_.empty())
            DeleteRegValue(HKEY_LOCAL_MACHINE, L"PackageVersion");
        else
            WriteRegText(HKEY_LOCAL_MACHINE, L"PackageVersion", savedVersion_);
        scup::RemoveFolder(installed_);
        scup::RemoveFolder(ProgramDataFolder() + L"\\DownloadedFiles");
    }
    // Whatever of the chain still runs (the old program, its staging copy, the new version), so
    // that a failed test leaves no program holding the single-instance mutex for the next one.
    static void KillProgramsIn(const std::vector<std::wstring>& folders) {
        // A failed snapshot is INVALID_HANDLE_VALUE, as a failed file open is.
        scup::UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        if (!snapshot) return;
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
             more = Process32NextW(snapshot.get(), &entry)) {
            const std::wstring image = ImageOf(entry.th32ProcessID);
            for (const std::wstring& folder : folders) {
                if (folder.empty() || image.rfind(folder + L"\\", 0) != 0) continue;
                scup::UniqueHandle process(
                    OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
                if (!process) continue;
                TerminateProcess(process.get(), 1);
                WaitForSingleObject(process.get(), 5000);
            }
        }
    }
    static void WriteBinary(const std::wstring& path, const std::string& bytes) {
        WriteTextFile(path, bytes);
    }
    std::string Trace() const { return ReadTextFile(ProgramDataFolder() + L"\\ScUpdater.trace.txt"); }

    // Starts the installed updater and waits for its question.
    HWND StartAndWaitForQuestion() {
        program_ = StartProgram(installed_ + L"\\ScUpdater.exe");
        if (!program_.handle) return nullptr;
        return WaitForDialogOf(program_.id, false, IDC_SELF_UPDATE_TEXT, 60000);
    }
    // The program's start dialog once the user can use it: the update thread has decided about
    // the upgrade (the trace line), nothing is over the dialog and its Close button is enabled.
    HWND WaitForReadyStartDialog(DWORD pid, const char* decided, DWORD timeoutMs) {
        HWND start = nullptr;
        const bool ready = PumpUntil(
            [&] {
                if (!TracePids(Trace(), decided).count(pid)) return false;
                start = WaitForDialogOf(pid, true, 0, 0);
                bool covered = false;
                for (const SWindow& w : ProgramDialogs(false)) covered = covered || w.pid == pid;
                return start && IsWindowEnabled(start) && IsWindowEnabled(GetDlgItem(start, IDCANCEL)) &&
                       !covered;
            },
            timeoutMs);
        return ready ? start : nullptr;
    }
    void ExpectOldProgramKept() {
        EXPECT_EQ(ReadTextFile(installed_ + L"\\ScUpdater.exe"), oldProgram_);
        EXPECT_EQ(ReadRegText(HKEY_LOCAL_MACHINE, L"PackageVersion"), L"0.9.0");
        EXPECT_TRUE(TracePids(Trace(), "Enter : CAUManager::FinishSelfUpdate()").empty())
            << "no elevated step may run";
        EXPECT_FALSE(FileExists(ProgramDataFolder() + L"\\DownloadedFiles\\ScUpdater.exe"));
        EXPECT_FALSE(FileExists(ProgramDataFolder() + L"\\DownloadedFiles\\ScUpdater-1.0.0.zip"));
    }
    // A refused package: the program tells why (the message holds the words), then goes on. The
    // trace line is the one that refused it.
    void ExpectRefusedAndStillRunning(const char* refusal, const wchar_t* told = L"could not be reached") {
        HWND box = WaitForDialogOf(program_.id, false, 0xFFFF, 60000);
        ASSERT_NE(box, nullptr) << "no message about the failed download";
        EXPECT_NE(MessageBoxText(box).find(told), std::wstring::npos) << MessageBoxText(box).c_str();
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        HWND start = WaitForReadyStartDialog(program_.id, refusal, 30000);
        ASSERT_NE(start, nullptr) << "the old program did not go on";
        EXPECT_TRUE(program_.Running());
        EXPECT_NE(Trace().find(refusal), std::string::npos);
        ExpectOldProgramKept();
        PostMessageW(start, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(program_.WaitForExit(30000)) << "the old program did not end when closed";
    }

    testing_support::SimulatedPC pc_;
    Process program_;
    std::wstring server_, catalog_, package_, installed_, savedVersion_;
    std::string packageBytes_, oldProgram_;
    std::map<std::wstring, std::wstring> savedUser_;
};

TEST_F(SelfUpgradeEndToEnd, AcceptedUpgradeBringsTheProgramBackAsTheNewVersion) {
    HWND question = StartAndWaitForQuestion();
    ASSERT_NE(question, nullptr) << "the older program did not propose the upgrade";
    HWND start = WaitForDialogOf(program_.id, true, 0, 5000);
    ASSERT_NE(start, nullptr);
    EXPECT_FALSE(IsWindowEnabled(start)) << "the question is modal over the start dialog";
    const DWORD oldPid = program_.id;

    SendMessageW(GetDlgItem(question, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(program_.WaitForExit(120000))
        << "the old program did not end after starting the elevated step";

    // The installed updater comes back: another process, from the installed folder.
    DWORD newPid = 0;
    PumpUntil(
        [&] {
            for (const SWindow& w : ProgramDialogs(true))
                if (w.pid != oldPid && ImageOf(w.pid) == installed_ + L"\\ScUpdater.exe") newPid = w.pid;
            return newPid != 0;
        },
        120000);
    ASSERT_NE(newPid, 0u) << "the installed updater did not come back";
    // It is the new version: it does not propose the upgrade again.
    HWND newStart = WaitForReadyStartDialog(newPid, "Local Upgrader Version is latest.", 60000);
    ASSERT_NE(newStart, nullptr) << "the new version did not become ready as the latest version";

    // The new files are installed and the version recorded.
    const std::string installedProgram = ReadTextFile(installed_ + L"\\ScUpdater.exe");
    // The new build is the old one marked and signed again.
    ASSERT_GT(installedProgram.size(), oldProgram_.size());
    EXPECT_NE(installedProgram.find(kNewBuildMark), std::string::npos);
    EXPECT_EQ(oldProgram_.find(kNewBuildMark), std::string::npos);
    EXPECT_EQ(ReadRegText(HKEY_LOCAL_MACHINE, L"PackageVersion"), L"1.0.0");
    const std::string trace = Trace();
    EXPECT_FALSE(WaitForDialogOf(newPid, false, IDC_SELF_UPDATE_TEXT, 0));

    // The chain ran through a third process, the installed updater's elevated step, which checked
    // the package again and installed the files; nothing ran from the user's download folder.
    const auto staging = TracePids(trace, "Enter : CAUManager::FinishSelfUpdate()");
    ASSERT_EQ(staging.size(), 1u) << trace;
    EXPECT_FALSE(staging.count(oldPid));
    EXPECT_FALSE(staging.count(newPid));
    EXPECT_TRUE(TracePids(trace, "Starting the installed updater to complete the upgrade").count(oldPid));
    EXPECT_FALSE(TracePids(trace, "Authenticode signer of the new updater").empty()) << trace;
    EXPECT_FALSE(FileExists(installed_ + L"\\Staging.scup"));
    EXPECT_EQ(WaitForDialogOf(oldPid, true, 0, 0), nullptr) << "the old process is gone";

    // Closing the new version ends it and removes the download folder that held the package.
    PostMessageW(newStart, WM_COMMAND, IDCANCEL, 0);
    scup::UniqueHandle newProcess(OpenProcess(SYNCHRONIZE, FALSE, newPid));
    ASSERT_TRUE(newProcess);
    EXPECT_EQ(WaitForSingleObject(newProcess.get(), 30000), WAIT_OBJECT_0) << WindowsOf(newPid);
    EXPECT_FALSE(FileExists(ProgramDataFolder() + L"\\DownloadedFiles"));
}

TEST_F(SelfUpgradeEndToEnd, APackageCutShortIsRefusedAndTheOldProgramGoesOn) {
    ASSERT_FALSE(
        ControlRequest(L"POST", server_ + L"/_control/fault?kind=cut-body&bytes=4096&path=" + kPackagePath)
            .empty());
    HWND question = StartAndWaitForQuestion();
    ASSERT_NE(question, nullptr);
    SendMessageW(GetDlgItem(question, IDOK), BM_CLICK, 0, 0);
    ExpectRefusedAndStillRunning("Failed: the answer ended after 4096 of the");
}

TEST_F(SelfUpgradeEndToEnd, APackageChangedAfterItsChecksumIsRefusedAndTheOldProgramGoesOn) {
    // The download waits at the server (its statement is the first request to the path); meanwhile
    // the package changes under the statement and the checksum that the notice answer already gave,
    // as a file damaged or replaced on the way would.
    ASSERT_FALSE(
        ControlRequest(L"POST", server_ + L"/_control/fault?kind=delay&ms=4000&times=1&path=" + kPackagePath)
            .empty());
    HWND question = StartAndWaitForQuestion();
    ASSERT_NE(question, nullptr);
    const int noticesBefore = NoticeCount(server_);
    ASSERT_GE(noticesBefore, 0);
    PostMessageW(GetDlgItem(question, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return NoticeCount(server_) > noticesBefore; }, 30000))
        << "no notice exchange";
    std::string changed = packageBytes_;
    changed[changed.size() / 2] ^= 0x01;
    WriteBinary(package_, changed);
    // The maker's statement no longer matches the file: refused as not signed, not blamed on the network.
    ExpectRefusedAndStillRunning("is refused: the file differs from the signed file",
                                 L"valid signature of the maker");
}

TEST_F(SelfUpgradeEndToEnd, DecliningEndsTheProgramAndInstallsNothing) {
    HWND question = StartAndWaitForQuestion();
    ASSERT_NE(question, nullptr);
    const int noticesBefore = NoticeCount(server_);
    SendMessageW(GetDlgItem(question, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_TRUE(program_.WaitForExit(30000)) << "declining ends the program";
    EXPECT_EQ(NoticeCount(server_), noticesBefore) << "nothing is fetched after a refusal";
    ExpectOldProgramKept();
}

}  // namespace

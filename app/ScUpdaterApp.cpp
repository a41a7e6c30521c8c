#include "ScUpdaterApp.h"

#include <commctrl.h>
#include <gdiplus.h>
#include <shlobj.h>

#include "SingleInstance.h"
#include "StagedUpdate.h"
#include "UnattendedRun.h"
#include "common/AUXMLParser.h"
#include "common/AppFiles.h"
#include "common/Format.h"
#include "common/LangResources.h"
#include "common/MainThreadCalls.h"
#include "common/Profile.h"
#include "common/Resources.h"
#include "common/Text.h"
#include "common/Trace.h"
#include "install/ConnectedPrinters.h"
#include "install/PrintQueue.h"
#include "install/StoredFileQuery.h"
#include "install/TransferEnvironment.h"
#include "local/AUHistoryLog.h"
#include "local/PrinterList.h"
#include "res/resource_ids.h"
#include "server/AUHttpConnection.h"
#include "ui/AppMainWindow.h"
#include "ui/InstallDialogs.h"
#include "ui/ProxyUserDlg.h"

using scup::AUTrace;

namespace {

// An unattended run without its resource library still leaves a report, so that an earlier one
// at the same place is not read as this run's.
void ReportMissingResourceLibrary(const CAUCommandLineInfo& commandLine) {
    if (commandLine.m_strReportFile.empty()) return;
    CUnattendedReport report;
    report.AddFailed({L"", L"start", L"the resource library ScUpRes.dll could not be loaded"});
    report.Finish(UnattendedExit::Failed);
    report.WriteTo(scup::AbsolutePath(commandLine.m_strReportFile));
}

CScUpdaterApp* g_app = nullptr;

// Support turns on a trace file in the data folder with SCUPDATER_TRACE=1 or the profile value
// "Trace" = 1 in "Settings", without rebuilding.
void AttachTraceFileWhenAsked() {
    wchar_t env[8] = {};
    const bool byEnvironment = GetEnvironmentVariableW(L"SCUPDATER_TRACE", env, 8) > 0 && env[0] == L'1';
    if (!byEnvironment && scup::GetProfileInt(scup::kSettingsSection, L"Trace", 0) == 0) return;
    const std::wstring folder = scup::GetDataFolder(L"");
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    scup::AttachTraceFile(scup::JoinPath(folder, L"ScUpdater.trace.txt"));
}

class GdiplusSession {
public:
    void Start() {
        Gdiplus::GdiplusStartupInput input;
        if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) token_ = 0;
    }
    void Stop() {
        if (token_) Gdiplus::GdiplusShutdown(token_);
        token_ = 0;
    }

private:
    ULONG_PTR token_ = 0;
};

GdiplusSession g_gdiplus;

}  // namespace

CScUpdaterApp* TheApp() { return g_app; }
void SetTheApp(CScUpdaterApp* app) { g_app = app; }

AUServices AUServices::Defaults() {
    AUServices services;
    services.createServerData = [] { return std::make_unique<CAUServerData>(); };
    services.createLocalData = [] {
        auto localData = std::make_unique<CAULocalData>();
        localData->SetStoredFileReader(ReadConnectedPrintersFiles);
        return localData;
    };
    services.runUpgrader = [] { return TheApp() ? TheApp()->RunUpgrader() : UpgradeResult::NotNeeded; };
    // Printers are known by identifier through their driver information library.
    services.findPrinterById = [](unsigned long printerId) { return FindPrinterDriverById(printerId); };
    services.findTransferPrinter = FindConnectedPrinter;
    return services;
}

CScUpdaterApp::CScUpdaterApp(AUServices services) : m_services(std::move(services)) {}

CScUpdaterApp::~CScUpdaterApp() {
    WaitForUpdateThread();
    if (TheApp() == this) SetTheApp(nullptr);
}

bool CScUpdaterApp::InitInstance(const std::vector<std::wstring>& args) {
    SetTheApp(this);
    scup::SetProgramFolder(scup::ModuleFolder());
    m_pUnzip = std::make_unique<CUnzipHolder>(scup::ProgramFolder());

    m_hResourceDll.reset(LoadLibraryW((scup::ProgramFolder() + L"ScUpRes.dll").c_str()));
    if (!m_hResourceDll) {
        // Nobody is there to read a message in an unattended run: its exit code says it.
        CAUCommandLineInfo early;
        ParseCommandLine(early, args);
        if (early.m_unattended == UnattendedTask::None && !early.m_bBadCommandLine) {
            scup::ShowWindowFailureMessage(0);
        } else {
            m_nExitCode = static_cast<int>(UnattendedExit::Failed);
            ReportMissingResourceLibrary(early);
        }
        return false;
    }
    scup::SetResourceModule(m_hResourceDll.get());
    // The profile's key and name come first so that a trace file sees the whole start.
    scup::AppIdentity identity = scup::GetAppIdentity();
    identity.registryKey = scup::LoadResString(IDS_REGISTRY_KEY);
    if (auto profile = scup::FindResString(IDS_PROFILE_NAME)) identity.profileName = *profile;
    scup::SetAppIdentity(identity);
    AttachTraceFileWhenAsked();
    CAUXMLParser::SetDataFolderSource([] { return scup::GetDataFolder(L""); });
    CAUHttpConnection::SetLanguageSource([this] { return Language(); });
    CAUHttpConnection::SetCredentialsPrompt([this](CAUHttpConnection::Credentials& credentials) {
        return scup::ResultOnMainThread([&] { return scup::AskProxyCredentials(Language(), credentials); });
    });
    SetInstallDialogs(OpenedOnMainThread(scup::StandardInstallDialogs()));
    SetTransferEnvironment({[this] { return Language(); }, [this] { return m_nLCID.load(); }});
    scup::SetMainWindowSource([this] { return MainWindowHandle(); });

    INITCOMMONCONTROLSEX controls{8, 0xFF};
    InitCommonControlsEx(&controls);

    m_bKeepDownloads = false;
    CAUCommandLineInfo commandLine(m_services.findPrinterById);
    ParseCommandLine(commandLine, args);

    m_com = std::make_unique<scup::ComInit>();

    scup::CSingleInstance instance;
    if (commandLine.m_unattended != UnattendedTask::None || commandLine.m_bBadCommandLine) {
        m_nExitCode = RunUnattended(commandLine, args, instance);
        return false;
    }
    if (!instance.TryLock()) {
        if (!commandLine.m_bWaitForPrevious) {
            scup::ActivateRunningInstance();
            // The download folder is the running instance's.
            m_bKeepDownloads = true;
            return false;
        }
        instance.WaitForPrevious();
    }
    // Only the instance that holds the lock may take back a pause an earlier run left.
    scup::ResumeQueueLeftPaused();

    m_bEditorMode = commandLine.m_bEditor;

    g_gdiplus.Start();
    m_pUpdaterDialog.Set(nullptr);
    m_pStartDialog.Set(nullptr);

    if (commandLine.m_bUpdate) {
        m_bKeepDownloads = true;
        scup::FinishSelfUpdate(commandLine.m_strUpdateTarget, commandLine.m_strUpdateSource,
                               commandLine.m_strUpdateVersion, commandLine.m_bEditor, commandLine.m_followUp);
        return false;
    }

    if (commandLine.m_nEditorLCID != 0) m_nLCID = static_cast<LCID>(commandLine.m_nEditorLCID);
    if (!commandLine.m_strEditorPrinter.empty()) m_printer.Set(commandLine.m_strEditorPrinter);

    m_pLocalData = m_services.createLocalData();
    if (!m_pLocalData->Initialize()) {
        AUTrace(L"Failed to initialize App Config file.");
        return false;
    }
    InitHistoryLog();

    AUTrace(L"Enter : CAUManager::InitInstance()");
    m_pUpdateThread.reset();
    RunDialogs();
    WaitForUpdateThread();
    m_retiredDialogs.clear();
    return false;
}

namespace {

// How long an unattended run waits for another instance of the program to end before it gives up.
constexpr DWORD kUnattendedWaitMs = 10 * 60 * 1000;

// To the standard output the caller gave the program (a redirection, a deployment tool), else to
// the console of the command prompt that started it, if any.
void WriteToConsole(const std::wstring& text) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    scup::UniqueFile console;
    bool attached = false;
    if (!out || out == INVALID_HANDLE_VALUE) {
        if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
        attached = true;
        console.reset(
            CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        out = console.get();
    }
    DWORD written = 0;
    DWORD mode = 0;
    if (out && GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else if (out) {
        const std::string bytes = scup::ToUtf8(text);
        WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    console.reset();
    if (attached) FreeConsole();
}

}  // namespace

int CScUpdaterApp::RunUnattended(const CAUCommandLineInfo& commandLine, const std::vector<std::wstring>& args,
                                 scup::CSingleInstance& instance) {
    AUTrace(L"Enter : CAUManager::RunUnattended()");
    CUnattendedRun run(*this, commandLine, args);
    // The report goes where the caller meant, also for the updater a self-upgrade hands the task to.
    const std::wstring reportFile = commandLine.m_strReportFile.empty()
                                        ? std::wstring()
                                        : scup::AbsolutePath(commandLine.m_strReportFile);
    UnattendedExit exit = UnattendedExit::Done;
    // Until this run holds the instance lock, the download folder may be a running copy's.
    m_bKeepDownloads = true;
    // A second unattended start waits for the running instance, as "N" does, rather than bringing
    // a window forward.
    if (commandLine.m_bBadCommandLine) {
        exit = run.Run();
    } else if (!instance.TryLock() && !instance.WaitForPrevious(kUnattendedWaitMs)) {
        exit =
            run.EndBeforeStart(UnattendedExit::AnotherInstance, L"another instance of ScUpdater still runs");
    } else {
        m_bKeepDownloads = false;
        scup::ResumeQueueLeftPaused();
        g_gdiplus.Start();
        m_pLocalData = m_services.createLocalData();
        if (!m_pLocalData->Initialize()) {
            exit = run.EndBeforeStart(UnattendedExit::Failed, L"the configuration file could not be read");
        } else {
            InitHistoryLog();
            exit = run.Run();
        }
    }
    if (!reportFile.empty()) {
        if (!run.Report().WriteTo(reportFile)) {
            AUTrace(L"Failed: the report could not be written to %s.", reportFile.c_str());
            WriteToConsole(L"ScUpdater: the report could not be written to " + reportFile + L"\r\n");
            if (exit == UnattendedExit::Done) exit = UnattendedExit::Failed;
        }
    } else {
        WriteToConsole(run.Report().Summary());
    }
    return static_cast<int>(exit);
}

int CScUpdaterApp::ExitInstance() {
    g_gdiplus.Stop();
    WaitForUpdateThread();
    m_pUpdateThread.reset();
    m_pLocalData.reset();
    m_pServerData.reset();
    if (!m_bKeepDownloads && scup::ResourceModule()) scup::RemoveFolder(scup::GetDataFolder(L"DownloadedFiles"));
    CloseHistoryLog();
    CAUXMLParser::ReleaseHistoryDocument();
    scup::SetResourceModule(nullptr);
    m_hResourceDll.reset();
    m_pUnzip.reset();
    m_com.reset();
    return m_nExitCode;
}

void CScUpdaterApp::StartUpdateThread() {
    if (m_pUpdateThread) return;
    AUTrace(L"Starting Update Thread.");
    m_pUpdateThread = std::make_unique<std::thread>([this] {
        scup::ComInit com;
        RunUpdate();
    });
}

// Called once the dialogs have ended: windows the update thread still asks for open on it.
void CScUpdaterApp::WaitForUpdateThread() {
    if (m_pUpdateThread && m_pUpdateThread->joinable()) m_pUpdateThread->join();
}

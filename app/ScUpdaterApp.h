#pragma once
// The application object: start-up and clean-up, and the update manager that runs the dialog
// sequence on the main thread and the update work on its own thread.

#include <windows.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "AUCommandLineInfo.h"
#include "CheckRoad.h"
#include "common/FirmInfo.h"
#include "common/Guarded.h"
#include "common/Handles.h"
#include "install/PackageFiles.h"
#include "install/UpdateListView.h"
#include "local/AULocalData.h"
#include "server/AUServerData.h"

class CAUFileUpdater;
class CStartDialog;
namespace scup {
class CSingleInstance;
}
class CUpdaterDialog;

// Indices of the events in the update thread's wait; CANCEL is not waited on.
enum AUEventIndex { kRefreshEvent = 0, kCheckEvent, kStartEvent, kExitEvent, kResetServerEvent, kCancelEvent };
extern const wchar_t* const kAUEventNames[6];

// What the self-upgrade came to.
enum class UpgradeResult {
    NotNeeded = 0,    // no newer updater is offered
    NotObtained = 1,  // not downloaded or not verified, or the user cancelled: the program goes on
    Declined = 4,     // the user declined, or "EXIT_EVENT" was set: the program ends
    Started = 5,      // the new updater has been started: the program ends
    NotStaged = 6,    // no download address, or the files could not be staged: the program goes on
};
inline bool EndsTheProgram(UpgradeResult result) {
    return result == UpgradeResult::Started || result == UpgradeResult::Declined;
}

// Where the manager gets the parts it works with; tests put their own in.
struct AUServices {
    std::function<std::unique_ptr<CAUServerData>()> createServerData;
    std::function<std::unique_ptr<CAULocalData>()> createLocalData;
    std::function<UpgradeResult()> runUpgrader;
    // Finds or adds the printer with a numeric identifier; gives its driver name.
    CAUCommandLineInfo::PrinterResolver findPrinterById;
    // The printer of a driver that firmware can be sent to, empty when there is none. Without
    // it no printer has such a port, and firmware that needs one is not offered.
    std::function<std::wstring(const std::wstring& driver)> findTransferPrinter;
    // Whether one of the maker's applications is installed; the local data's test without it.
    std::function<bool(const std::wstring& code)> isPackageInstalled;
    static AUServices Defaults();
};

// The message that tells the user how an exchange with the server failed.
UINT ServerFailureMessageId(ServerResult failure);

class CScUpdaterApp {
  public:
    explicit CScUpdaterApp(AUServices services = AUServices::Defaults());
    ~CScUpdaterApp();
    CScUpdaterApp(const CScUpdaterApp&) = delete;
    CScUpdaterApp& operator=(const CScUpdaterApp&) = delete;

    // Start-up: always false, the program ends when it returns.
    bool InitInstance(const std::vector<std::wstring>& args);
    // The process's exit code: 0 after the dialogs, an unattended run's own code after one.
    int ExitInstance();

    // Main sequence on the main thread: start dialog, printer dialog, main dialog, until the user leaves.
    void RunDialogs();
    // The update thread's whole run.
    int RunUpdate();
    // Starts the update thread when none runs.
    void StartUpdateThread();
    void WaitForUpdateThread();
    // The self-upgrade, when the server offers a newer updater.
    UpgradeResult RunUpgrader();
    // The self-upgrade offered by the server's last answer, through the services (tests put in their own).
    UpgradeResult OfferedUpgrade();
    // Whether the newer updater may be installed (the self-upgrade dialog asks the user unless this
    // answers), and what the updater it installs is started with at its end, after "-N": an
    // unattended run's task, so that the new updater carries it out.
    void SetUpgradeAnswers(std::function<bool()> consent, std::vector<std::wstring> followUp);
    // Why the last self-upgrade's package was refused; empty when none was.
    const std::wstring& UpgradeRefusal() const { return m_strUpgradeRefusal; }
    // Where the self-upgrade installs; empty: the running program's own folder.
    void SetInstalledFolder(std::wstring folder) { m_strInstalledFolder = std::move(folder); }
    // The downloads are kept at the end: a started self-upgrade still needs them.
    bool KeepsDownloads() const { return m_bKeepDownloads; }

    // The window of the start or main dialog while one is on screen, else none.
    HWND MainWindowHandle() const;
    LANGID Language() const { return static_cast<LANGID>(m_nLanguage.load()); }
    void SetLanguage(LANGID language) { m_nLanguage.exchange(language); }
    // The printer, region and interface language the start-up settings name (the first printer and
    // the user's region when they name none).
    void InitialSelection();
    // The current printer and locale: the main thread's dialogs and the update thread both set them.
    std::wstring Printer() const { return m_printer.Get(); }
    void SetPrinter(const std::wstring& printer) { m_printer.Set(printer); }
    LCID Locale() const { return m_nLCID; }
    void SetLocale(LCID locale) { m_nLCID = locale; }
    // Started by the label editor: its firmware view tells nothing of a failed check.
    bool EditorMode() const { return m_bEditorMode; }
    void SetEditorMode(bool editor) { m_bEditorMode = editor; }
    // The key of the version check: the locale's language and the user's country ("ENU_USA").
    std::wstring BuildQueryKey() const;

    // The parts the update work is done with; set at start-up, replaced by tests.
    CAULocalData* LocalData() const { return m_pLocalData.get(); }
    void SetLocalData(std::unique_ptr<CAULocalData> local) { m_pLocalData = std::move(local); }
    CAUServerData* ServerData() const { return m_pServerData.get(); }
    void SetServerData(std::unique_ptr<CAUServerData> server) { m_pServerData = std::move(server); }
    const CUnzipHolder* Unzip() const { return m_pUnzip.get(); }
    void SetUnzip(std::unique_ptr<CUnzipHolder> unzip) { m_pUnzip = std::move(unzip); }
    const AUServices& Services() const { return m_services; }
    // A new server data that has made its first exchange: success when the server answered, else
    // that exchange's failure. A failure to keep the proxy credentials for the next run is told.
    ServerResult ConnectServer();
    // The road of one check over the server and local data of the moment, in the current locale.
    CCheckRoad CheckRoad() const;

    // The dialogs on screen, set and cleared by the main thread. The update thread works on a copy
    // of the pointer: a dialog the user closes meanwhile lives until the thread lets go.
    std::shared_ptr<CUpdaterDialog> UpdaterDialog() const { return m_pUpdaterDialog.Get(); }
    void SetUpdaterDialog(std::shared_ptr<CUpdaterDialog> dialog) { m_pUpdaterDialog.Set(std::move(dialog)); }
    std::shared_ptr<CStartDialog> StartDialog() const { return m_pStartDialog.Get(); }
    void SetStartDialog(std::shared_ptr<CStartDialog> dialog) { m_pStartDialog.Set(std::move(dialog)); }

  private:
    std::function<bool()> m_askUpgradeConsent;
    std::vector<std::wstring> m_upgradeFollowUp;
    std::wstring m_strUpgradeRefusal;
    std::wstring m_strInstalledFolder;
    scup::Guarded<std::wstring> m_printer;
    std::atomic<LCID> m_nLCID{0};
    std::atomic<bool> m_bEditorMode{false};
    std::atomic<long> m_nLanguage{0};
    bool m_bKeepDownloads = false;
    scup::UniqueModule m_hResourceDll;
    std::unique_ptr<CAULocalData> m_pLocalData;
    std::unique_ptr<CAUServerData> m_pServerData;
    scup::Guarded<std::shared_ptr<CUpdaterDialog>> m_pUpdaterDialog;
    scup::Guarded<std::shared_ptr<CStartDialog>> m_pStartDialog;
    // Closed dialogs the update thread may still hold (main thread only).
    std::vector<std::shared_ptr<void>> m_retiredDialogs;
    void RetireDialog(std::shared_ptr<void> dialog);
    std::unique_ptr<std::thread> m_pUpdateThread;
    std::unique_ptr<CUnzipHolder> m_pUnzip;
    std::unique_ptr<scup::ComInit> m_com;

    // Update thread pieces.
    bool CreateEvents();
    void CloseEvents();
    bool IsEventSet(AUEventIndex index) const;
    void SetStartDialogReady(int value);
    void SetUpdaterDialogReady(int value);
    void ShowThreadMessage(UINT textId, UINT icon);
    void EndWithoutLoop();
    void EventLoop();
    bool StillShown(const std::shared_ptr<CUpdaterDialog>& dialog) const;
    bool WarnOverDialog(const std::shared_ptr<CUpdaterDialog>& dialog, HWND window, UINT textId, UINT icon);
    bool RetryPrinterContact(HWND window, const std::wstring& printer);
    void HandleCheck();
    // A check for the dialog's printer and view, with the dialog busy; says what failed.
    void CheckInDialog(const std::shared_ptr<CUpdaterDialog>& dialog);
    CCheckRoad CheckRoadIn(LCID locale) const;
    // The check road's offer, into the caches and the dialog's list.
    ServerResult CheckAndCache(CUpdaterDialog& dialog, const std::wstring& printer, bool firmwareView,
                                 bool printerData);
    void HandleStart();
    void HandleExit();
    void ClearCaches();
    void SaveDefaultSelection();
    void GetPrinterForInitialCheck(std::wstring& printer, std::wstring& locale, std::wstring& language);

    // Unpacks the verified package, stages it and starts the staging copy.
    UpgradeResult StageAndStartUpgrade(const std::wstring& package, const std::wstring& version);
    // The folder of the running program, which the self-upgrade installs into.
    std::wstring InstalledFolder() const;

    // Main sequence pieces.
    // Runs the main dialog in a view, again in each language the user picks; gives the last one.
    std::shared_ptr<CUpdaterDialog> RunUpdaterDialog(UpdateView view, int& x, int& y);
    // The main dialog for the current language, printer and locale, with the printers, settings
    // and unzip library it works with.
    std::shared_ptr<CUpdaterDialog> MakeUpdaterDialog();
    // A dialog could not be created: tells the user and asks the update thread to end, so that the
    // program ends instead of waiting for a window that never comes.
    void EndForWindowFailure(UINT baseTemplateId);

    // Set when a dialog's window could not be created; the dialog sequence then ends.
    bool m_bWindowFailed = false;
    int m_nExitCode = 0;

    // The unattended road: runs the task of the command line with no window; gives the exit code.
    int RunUnattended(const CAUCommandLineInfo& commandLine, const std::vector<std::wstring>& args,
                      scup::CSingleInstance& instance);

    AUServices m_services;
    scup::UniqueHandle m_events[6];
    std::map<LCID, ComponentList> m_serverCache;
    // A refined list kept per locale, with when the server was asked for it.
    struct SCheckedList {
        RefinedList list;
        SYSTEMTIME askedAt{};
    };
    std::map<LCID, SCheckedList> m_refinedCache;
};

// The one application object of the process.
CScUpdaterApp* TheApp();
void SetTheApp(CScUpdaterApp* app);

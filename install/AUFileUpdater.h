#pragma once
// Fetches what the refined list offers for the current printer and installs what the user
// ticks: at check time the description package of every entry, at install time the ticked
// packages; then runs the application installers one after another (or hands firmware to the
// transfer), checks that the new version arrived and records it in the history.
//
// Made and used on the update thread, one per check or install run; it reaches the main dialog
// only through IUpdateListView.

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "common/FirmInfo.h"
#include "install/AUUpdaterOwner.h"
#include "install/UpdateListView.h"
#include "server/AUConnection.h"

class CAUServerData;
class CAULocalData;

// What an install run came to.
enum class InstallResult {
    // What was ticked was installed or sent.
    Done = 0,
    // Not initialised, the printer is not listed, no download arrived, or the proxy refused.
    Failed = 1,
    // Nothing ticked, a cancel, or a firmware transfer that sent nothing: the offer stands as it was.
    NothingDone = 3,
    // A download failed and the others went ahead.
    PartlyDone = 4,
};

class CAUFileUpdater {
  public:
    explicit CAUFileUpdater(const SAUUpdaterOwner* manager = nullptr) : m_pManager(manager) {}

    // 0 when the manager, its server data and local data and the view are all there, else 1.
    int Initialize();
    // Fetches the description package of every entry of the printer; entries that cannot be
    // fetched leave the list. Hands the reduced list to the view on success; Failed when not
    // initialised, else the first exchange or download that failed.
    ServerResult GetUpdates(const std::wstring& printer, RefinedList& updates, IUpdateListView* view);
    // The real package's address: the description package's address with its last three
    // characters replaced by its "ScriboUpdater/Type"; empty without "data.xml" or "data_ENG.xml".
    std::wstring GetDownloadURL(const SAUExtFirmInfo& entry);
    InstallResult InstallUpdates(const RefinedList* updates, const std::wstring& printer,
                                 IUpdateListView* view);

    // 0 when the new version is verified as installed, 1 otherwise.
    int CallCorvaneApp(std::wstring path, const SAUItemRecord& item);
    // The installer's parameters for the item, the program to start (the installer itself, or
    // "msiexec.exe") and whether to ask for elevation. 1 when the application to be updated runs.
    int GetInstallCommand(const SAUItemRecord& item, std::wstring& path, std::wstring& parameters,
                          bool& elevate);
    static std::wstring BuildSilentSwitches(const std::wstring& key, const std::wstring& folder,
                                            const std::wstring& shortcut);
    static bool IsProgramRunning(const std::wstring& executable);
    // Whether a program of the application the package updates runs (its installer would not be
    // started then).
    static bool IsApplicationRunning(const std::wstring& code);
    // Whether what the installer of the item should have written is there.
    bool VerifyInstalled(const SAUItemRecord& item) const;

    // Set while the system is asked to stay awake during a firmware transfer.
    std::atomic<bool> m_bKeepAwake{false};

    // The install-time download: three parallel lists, applications first, then other
    // firmware, then the main firmware.
    struct SInstallLists {
        std::vector<std::wstring> paths;
        std::vector<std::wstring> installNames;
        std::vector<SAUItemRecord> items;
        void Append(const SInstallLists& other);
        bool Empty() const { return paths.empty(); }
    };
    // Downloads the entries that the view's ticked rows name, in key order, and sorts them for
    // installation. Success with the lists filled (empty when the user cancelled between two
    // entries), else the download's result.
    ServerResult DownloadTickedPackages(const ComponentList& entries, IUpdateListView* view,
                                        SInstallLists& lists);

  private:
    // Downloads to a temporary name in the folder and renames on success, so that only complete
    // files ever carry the package's name. Failed when the address gives no usable file name.
    ServerResult DownloadFile(const std::wstring& url, std::wstring& localPath,
                              const DownloadProgress& progress);
    bool EnsureDownloadFolder() const;
    ServerResult DownloadTicked(const ComponentList& entries, SInstallLists& lists);
    void EndInstallRunScreens();
    InstallResult InstallFirmware(const std::wstring& printer, SInstallLists& lists);
    int InstallApplications(const SInstallLists& lists);
    void SetViewReady(int ready);
    int ShowMessage(UINT baseTextId, UINT icon, const std::wstring& argument = {}) const;
    LANGID Language() const;

    const SAUUpdaterOwner* m_pManager = nullptr;
    IUpdateListView* m_pUpdaterDialog = nullptr;
    CAULocalData* m_pLocalData = nullptr;
    CAUServerData* m_pServerData = nullptr;
};

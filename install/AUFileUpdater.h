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
#include "common/ServerRecords.h"
#include "install/AUUpdaterOwner.h"
#include "install/TrustPolicy.h"
#include "install/UpdateListView.h"
#include "install/VerifiedFetch.h"
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
    // The proxy refused the credentials during a download: nothing more was fetched.
    ProxyAuthRefused = 7,
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
    // When the last GetUpdates asked the server: the age of the list it handed over.
    const SYSTEMTIME& AskedAt() const { return m_askedAt; }
    // The real package's address: the description package's address with its last three
    // characters replaced by its "ScriboUpdater/Type"; empty without "data.xml" or "data_ENG.xml".
    std::wstring GetDownloadURL(const SAUExtFirmInfo& entry);
    // What the description package says of the package (its "data.xml" or "data_ENG.xml").
    struct SDescription {
        std::wstring type;
        std::wstring version;
        std::wstring size;
    };
    bool ReadDescription(const SAUExtFirmInfo& entry, SDescription& description);
    // The kind of file the package's code allows: "pdz" for firmware, "exe" for the maker's
    // applications, whose installers the program knows, "msi" for the rest.
    static std::wstring PackageExtension(const SAUExtFirmInfo& entry);
    // Whether the offered version may replace the installed one: newer, compared as dotted numbers;
    // an older one only where the maker's statement names the installed version as withdrawn, or the
    // PC's policy lets that package go back.
    static bool MayReplace(const SAUExtFirmInfo& entry, const std::wstring& offered,
                           const std::wstring& replaces, const STrustPolicy& policy);

    // An entry left out or not installed because nothing vouched for it (or it was no newer).
    struct SRefusal {
        std::wstring id;
        std::wstring spec;
        std::wstring title;
        VerifyFailure failure = VerifyFailure::None;
        std::wstring reason;
    };
    const std::vector<SRefusal>& Refusals() const { return m_refusals; }
    // The ticked updates of the last install run whose download failed (the refused ones are
    // refusals), with the reason in English.
    struct SFailedDownload {
        std::wstring id;
        std::wstring spec;
        std::wstring title;
        std::wstring reason;
        ServerResult result = ServerResult::Failed;
    };
    const std::vector<SFailedDownload>& FailedDownloads() const { return m_failedDownloads; }
    // Whether this run requires the maker's signature (the PC's policy may turn it off).
    bool SignaturesRequired() const { return m_policy.signaturesRequired; }
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
    // entries), else the last failure's result; a cancel or a refused proxy ends the walk.
    ServerResult DownloadTickedPackages(const ComponentList& entries, IUpdateListView* view,
                                        SInstallLists& lists);

  private:
    // The entry's own folder in the download folder, so that two packages of one file name never
    // overwrite each other; empty when it cannot be made.
    std::wstring EntryFolder(const SAUExtFirmInfo& entry) const;
    bool EnsureDownloadFolder() const;
    // Fetches the entry's description package and checks that its version may be offered; false
    // (the entry leaves the list) when it may not or nothing vouches for it.
    ServerResult FetchDescription(SAUExtFirmInfo& entry, const SAUFileUpdateInfo& info, bool& offered);
    // Fetches the ticked entry's package: of the kind its code allows, vouched for as the same
    // package and version as its description.
    SFetchResult FetchPackage(const SAUExtFirmInfo& entry, const DownloadProgress& progress);
    void Refuse(const SAUExtFirmInfo& entry, const std::wstring& title, VerifyFailure failure,
                const std::wstring& reason);
    void TellRefusedAtCheck() const;
    ServerResult DownloadTicked(const ComponentList& entries, SInstallLists& lists);
    void EndInstallRunScreens();
    InstallResult InstallFirmware(const std::wstring& printer, SInstallLists& lists);
    int InstallApplications(const SInstallLists& lists);
    int ShowMessage(UINT baseTextId, UINT icon, const std::wstring& argument = {}) const;
    LANGID Language() const;

    const SAUUpdaterOwner* m_pManager = nullptr;
    IUpdateListView* m_pUpdaterDialog = nullptr;
    CAULocalData* m_pLocalData = nullptr;
    CAUServerData* m_pServerData = nullptr;
    STrustPolicy m_policy;
    std::vector<SRefusal> m_refusals;
    SYSTEMTIME m_askedAt{};
    // Of the last install-time download: the titles whose download failed (not the refused ones),
    // and whether the user cancelled between two entries.
    std::vector<SFailedDownload> m_failedDownloads;
    bool m_cancelledBetweenEntries = false;
};

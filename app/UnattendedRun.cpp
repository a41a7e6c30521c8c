#include "UnattendedRun.h"

#include <algorithm>
#include <cwctype>
#include <thread>

#include "HeadlessListView.h"
#include "ScUpdaterApp.h"
#include "UpdaterOwner.h"
#include "common/AppFiles.h"
#include "common/Format.h"
#include "common/LangResources.h"
#include "common/Profile.h"
#include "common/Text.h"
#include "common/Trace.h"
#include "install/AUFileUpdater.h"
#include "install/FirmTransfer.h"
#include "install/InstallDialogs.h"
#include "install/StoredFileQuery.h"
#include "res/resource_ids.h"
#include "server/AUHttpConnection.h"
#include "ui/LanguageMenu.h"

using scup::AUTrace;

namespace {

constexpr DWORD kInstallerWaitMs = 60 * 60 * 1000;

// Every message box of the run is answered without being shown, and its text kept for the report:
// a question gets its cautious answer (No, Cancel), anything else OK.
class CMessageSink {
  public:
    explicit CMessageSink(CUnattendedReport& report) {
        m_previous = scup::SetMessageBoxHandler(
            [&report](HWND, const std::wstring& text, const std::wstring&, UINT style) {
                report.AddMessage(text);
                switch (style & MB_TYPEMASK) {
                    case MB_YESNO:
                        return IDNO;
                    case MB_OKCANCEL:
                    case MB_RETRYCANCEL:
                    case MB_YESNOCANCEL:
                    case MB_CANCELTRYCONTINUE:
                        return IDCANCEL;
                    case MB_ABORTRETRYIGNORE:
                        return IDABORT;
                    default:
                        return IDOK;
                }
            });
    }
    ~CMessageSink() { scup::SetMessageBoxHandler(std::move(m_previous)); }
    CMessageSink(const CMessageSink&) = delete;
    CMessageSink& operator=(const CMessageSink&) = delete;

  private:
    scup::MessageBoxHandler m_previous;
};

// The transfer is confirmed, a printer that does not answer is not asked for again, the transfer
// runs on a thread of its own as under its progress dialog, and an installer is waited for.
SInstallDialogs SilentInstallDialogs() {
    SInstallDialogs dialogs;
    dialogs.mainWindow = [] { return HWND{}; };
    dialogs.confirmTransfer = [](LANGID, HWND) { return true; };
    dialogs.retryConnection = [](LANGID, HWND) { return false; };
    dialogs.runTransfer = [](LANGID, HWND, std::uint32_t, std::function<void(const TransferProgress&)> work) {
        std::thread worker([&work] { work([](int) { return 1; }); });
        worker.join();
        return true;
    };
    // An installer that hangs (or waits for a window nobody sees) does not hold the run for ever:
    // after the limit it is left, and the check of its version reports the update as failed.
    dialogs.waitForInstaller = [](LANGID, const std::wstring&, bool, HANDLE process) {
        if (WaitForSingleObject(process, kInstallerWaitMs) == WAIT_TIMEOUT)
            AUTrace(L"Failed: the installer did not end within %lu minutes; it is left.",
                    kInstallerWaitMs / 60000);
    };
    return dialogs;
}

bool SameCode(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

// Whether the run refused the entry's package (the report names it under "verify" already).
bool WasRefused(const CAUFileUpdater& updater, const SAUExtFirmInfo& entry) {
    for (const CAUFileUpdater::SRefusal& refusal : updater.Refusals())
        if (refusal.id == entry.strId && refusal.spec == entry.strSpec) return true;
    return false;
}

const CAUFileUpdater::SFailedDownload* FailedDownloadOf(const CAUFileUpdater& updater,
                                                        const SAUExtFirmInfo& entry) {
    for (const CAUFileUpdater::SFailedDownload& failure : updater.FailedDownloads())
        if (failure.id == entry.strId && failure.spec == entry.strSpec) return &failure;
    return nullptr;
}

// The command line as the report repeats it: the arguments, quoted where they hold a blank.
std::wstring JoinArguments(const std::vector<std::wstring>& args) {
    std::wstring text;
    for (const std::wstring& arg : args) {
        if (!text.empty()) text += L' ';
        text += arg.find_first_of(L" \t") == std::wstring::npos ? arg : L'"' + arg + L'"';
    }
    return text;
}

// The task for the updater a self-upgrade installs: the same, without taking a newer updater again,
// and with the report's path made whole (that updater starts in another folder).
std::vector<std::wstring> FollowUpArguments(const std::vector<std::wstring>& args) {
    std::vector<std::wstring> followUp;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"-SELFUPDATE" || args[i] == L"/SELFUPDATE") continue;
        followUp.push_back(args[i]);
        if ((args[i] == L"-REPORT" || args[i] == L"/REPORT") && i + 1 < args.size())
            followUp.push_back(scup::AbsolutePath(args[++i]));
    }
    return followUp;
}

}  // namespace

CUnattendedRun::CUnattendedRun(CScUpdaterApp& app, const CAUCommandLineInfo& commandLine,
                               std::vector<std::wstring> args)
    : m_app(app), m_commandLine(commandLine), m_args(std::move(args)) {
    m_report.SetCommand(JoinArguments(m_args));
    m_report.SetProgramVersion(CAULocalData::GetOwnPackageVersion());
}

LANGID CUnattendedRun::ResolveLanguage(const std::wstring& value) {
    if (value.empty()) return 0;
    const auto languages = scup::InterfaceLanguages();
    if (std::all_of(value.begin(), value.end(), [](wchar_t c) { return std::iswdigit(c); })) {
        const LANGID language = static_cast<LANGID>(scup::ParseDecimal(value));
        for (const scup::SInterfaceLanguage& known : languages)
            if (known.language == language) return language;
        return 0;
    }
    const LCID locale = LocaleNameToLCID(value.c_str(), 0);
    if (locale == 0) return 0;
    const LANGID language = LANGIDFROMLCID(locale);
    for (const scup::SInterfaceLanguage& known : languages)
        if (known.language == language) return language;
    // "pt" may name the program's Portuguese of another region: the first of its kind.
    for (const scup::SInterfaceLanguage& known : languages)
        if (PRIMARYLANGID(known.language) == PRIMARYLANGID(language)) return known.language;
    return 0;
}

std::wstring CUnattendedRun::ReportLanguage() const {
    if (!m_commandLine.m_strReportLanguage.empty()) return m_commandLine.m_strReportLanguage;
    const std::wstring fallback = scup::ReadMachineSettingText(L"UnattendedLanguage");
    if (fallback.empty() || ResolveLanguage(fallback) != 0) return fallback;
    // A default that names no language leaves the report in the program's language.
    AUTrace(L"The machine's \"UnattendedLanguage\" names no language of the program: %s", fallback.c_str());
    return L"";
}

UnattendedExit CUnattendedRun::Run() {
    scup::TraceScope scope(L"CUnattendedRun::Run()");
    if (m_commandLine.m_bBadCommandLine) {
        m_report.AddFailed({L"", L"command line", m_commandLine.m_strBadCommandLine});
        return Finish(UnattendedExit::BadCommandLine);
    }
    // IT's defaults for the runs of every PC (the policy or the machine-wide settings) stand where
    // the command line says nothing.
    m_selfUpdate =
        m_commandLine.m_bSelfUpdate || scup::ReadMachineSettingText(L"UnattendedSelfUpdate") == L"1";
    const std::wstring reportLanguage = ReportLanguage();
    if (!reportLanguage.empty()) {
        const LANGID language = ResolveLanguage(reportLanguage);
        if (language == 0) {
            m_report.AddFailed(
                {L"", L"command line", L"-LANG names no language of the program: " + reportLanguage});
            return Finish(UnattendedExit::BadCommandLine);
        }
        m_app.InitialSelection();
        m_app.SetLanguage(language);
    } else {
        m_app.InitialSelection();
    }
    if (m_app.Locale() == 0) m_app.SetLocale(GetUserDefaultLCID());

    CMessageSink sink(m_report);
    SetInstallDialogs(SilentInstallDialogs());
    // Credentials come from the configuration alone: nobody is there to type them.
    CAUHttpConnection::SetCredentialsPrompt({});
    m_app.SetUpgradeAnswers([take = m_selfUpdate] { return take; }, FollowUpArguments(m_args));
    return Finish(RunTask());
}

UnattendedExit CUnattendedRun::RunTask() {
    if (!m_app.LocalData() || m_app.LocalData()->GetPrinterMap().empty()) {
        m_report.AddFailed(
            {L"", L"check", scup::LoadLangString(IDS_MSG_NO_PRINTER_DRIVER, m_app.Language())});
        return UnattendedExit::Failed;
    }
    if (!Connect()) return UnattendedExit::ServerUnreachable;
    // As on the dialogs' road, a program run from a network drive does not replace itself.
    if (GetDriveTypeW(nullptr) != DRIVE_REMOTE && TookSelfUpgrade()) return UnattendedExit::Done;

    const std::wstring printer = m_app.Printer();
    m_report.SetPrinter(printer);
    switch (m_commandLine.m_unattended) {
        case UnattendedTask::Check: {
            SViewCheck software = CheckView(printer, UpdateView::Software);
            ReportOffered(software.rows);
            bool checked = software.checked;
            if (const std::wstring only = FirmwarePrinter(); !only.empty()) {
                SViewCheck firmware = CheckView(only, UpdateView::Firmware);
                ReportOffered(firmware.rows);
                checked = checked && firmware.checked;
            }
            // A package refused on the way is a failure the check could not get past.
            if (!checked) return UnattendedExit::Failed;
            return m_refused > 0 ? UnattendedExit::PartlyDone : UnattendedExit::Done;
        }
        case UnattendedTask::Install: {
            SViewCheck software = CheckView(printer, UpdateView::Software);
            ReportOffered(software.rows);
            if (!software.checked) return UnattendedExit::Failed;
            return InstallApplications(printer, software);
        }
        case UnattendedTask::Firmware: {
            const std::wstring target = FirmwarePrinter();
            if (target.empty()) {
                m_report.AddFailed(
                    {m_commandLine.m_strFirmwarePrinter, L"check", L"no such printer is installed"});
                return UnattendedExit::Failed;
            }
            m_report.SetPrinter(target);
            SViewCheck firmware = CheckView(target, UpdateView::Firmware);
            ReportOffered(firmware.rows);
            if (!firmware.checked) return UnattendedExit::Failed;
            return SendFirmware(target, firmware);
        }
        case UnattendedTask::None:
            break;
    }
    return UnattendedExit::Done;
}

bool CUnattendedRun::Connect() {
    const ServerResult connected = m_app.ConnectServer();
    if (connected == ServerResult::Success) {
        m_report.SetServer(true, L"");
        return true;
    }
    m_report.SetServer(false, scup::LoadLangString(ServerFailureMessageId(connected), m_app.Language()));
    return false;
}

// As the dialogs' road starts: the version check, then the self-upgrade when a newer updater is
// offered. Taken, it ends the run: the new updater installs itself once this one has ended.
bool CUnattendedRun::TookSelfUpgrade() {
    ComponentList discarded;
    m_app.ServerData()->DoVersionCheck(discarded, m_app.BuildQueryKey(), m_app.Printer());
    const std::wstring offered = m_app.ServerData()->UpdaterVersion();
    const UpgradeResult upgrade = m_app.OfferedUpgrade();
    switch (upgrade) {
        case UpgradeResult::Started:
            // The new updater goes on with the task once it has installed itself, and writes its
            // own report over this one.
            // Nothing is installed yet: the report says so, and the new updater's replaces it.
            m_report.AddSkipped({L"ScUpdater", L"the task is handed to the new updater " + offered +
                                                   L", which installs itself and writes its report here"});
            return true;
        case UpgradeResult::Declined:
            m_report.AddSkipped(
                {L"ScUpdater",
                 m_selfUpdate ? L"the newer updater " + offered + L" was not taken: the program is ending"
                              : L"the newer updater " + offered + L" is taken only with -SELFUPDATE"});
            break;
        case UpgradeResult::NotObtained:
        case UpgradeResult::NotStaged:
            if (!m_app.UpgradeRefusal().empty())
                m_report.AddFailed({L"ScUpdater", L"verify",
                                    L"the newer updater " + offered + L": " + m_app.UpgradeRefusal()});
            else
                m_report.AddFailed({L"ScUpdater", L"self-upgrade",
                                    L"the newer updater " + offered + L" could not be installed"});
            break;
        case UpgradeResult::NotNeeded:
            break;
    }
    return false;
}

CUnattendedRun::SViewCheck CUnattendedRun::CheckView(const std::wstring& printer, UpdateView view) {
    SViewCheck check;
    const bool firmwareView = view == UpdateView::Firmware;
    const bool printerData = m_app.LocalData()->CollectPrinterEnvironment(printer, firmwareView) ==
                                 CAULocalData::Environment::Collected &&
                             firmwareView && ReadPrinterFiles(printer);
    if (firmwareView && !printerData) {
        m_report.AddFailed({printer, L"check", L"the printer does not answer"});
        return check;
    }
    CHeadlessListView list(m_app.Unzip(), printer, m_app.Locale(), view);
    const SAUUpdaterOwner owner = MakeUpdaterOwner(m_app);
    CAUFileUpdater updater(&owner);
    CCheckRoad::SResult fetched = m_app.CheckRoad().Check(updater, list, printer, firmwareView, printerData);
    check.refined = std::move(fetched.refined);
    if (fetched.queried) check.askedAt = updater.AskedAt();
    if (fetched.result != ServerResult::Success) {
        m_report.AddFailed({printer, L"check",
                            scup::LoadLangString(ServerFailureMessageId(fetched.result), m_app.Language())});
        return check;
    }
    check.rows = list.Rows();
    check.checked = true;
    ReportRefusals(updater);
    return check;
}

// The dialogs show a printer that cannot be read with an empty list; unattended, no stored file
// read from it means it did not answer, and the server would offer it nothing.
bool CUnattendedRun::ReadPrinterFiles(const std::wstring& printer) const {
    const PrinterMap printers = m_app.LocalData()->GetPrinterMap();
    const auto found = printers.find(printer);
    if (found == printers.end()) return false;
    return std::any_of(found->second.begin(), found->second.end(),
                       [](const auto& entry) { return entry.second.strCategory == kFirmwareCategory; });
}

void CUnattendedRun::ReportRefusals(const CAUFileUpdater& updater) {
    m_report.SetSignaturesRequired(updater.SignaturesRequired());
    for (const CAUFileUpdater::SRefusal& refusal : updater.Refusals()) {
        if (refusal.failure == VerifyFailure::NotNewer) {
            m_report.AddSkipped({refusal.id, refusal.reason});
            continue;
        }
        m_report.AddFailed({refusal.id, L"verify", refusal.reason});
        ++m_refused;
    }
}

void CUnattendedRun::ReportOffered(const std::vector<SAUItemRecord>& rows) {
    for (const SAUItemRecord& row : rows)
        m_report.AddOffered({row.info.strId, row.info.strSpec, row.info.strCategory, row.strTitle,
                             row.info.strInstalledVersion, row.strVersion});
}

UnattendedExit CUnattendedRun::InstallApplications(const std::wstring& printer, SViewCheck& check) {
    std::vector<std::wstring> ticked;
    int skippedRunning = 0;
    for (const SAUItemRecord& row : check.rows) {
        const bool asked =
            m_commandLine.m_bInstallAll ||
            std::any_of(m_commandLine.m_installCodes.begin(), m_commandLine.m_installCodes.end(),
                        [&](const std::wstring& code) { return SameCode(code, row.info.strId); });
        if (!asked) continue;
        if (CAUFileUpdater::IsApplicationRunning(row.info.strId)) {
            m_report.AddSkipped({row.info.strId, L"the application is running; it was not closed"});
            ++skippedRunning;
            continue;
        }
        ticked.push_back(row.info.strId);
    }
    for (const std::wstring& code : m_commandLine.m_installCodes)
        if (std::none_of(check.rows.begin(), check.rows.end(),
                         [&](const SAUItemRecord& row) { return SameCode(code, row.info.strId); }))
            m_report.AddSkipped({code, L"not offered for this PC (up to date, or not installed here)"});
    if (ticked.empty())
        return skippedRunning > 0 || m_refused > 0 ? UnattendedExit::Failed : UnattendedExit::Done;

    // What the check found installed (a template package's own version, too).
    std::vector<std::pair<SAUItemRecord, std::wstring>> before;
    for (const SAUItemRecord& row : check.rows)
        if (std::find(ticked.begin(), ticked.end(), row.info.strId) != ticked.end())
            before.emplace_back(row, row.info.strInstalledVersion);
    CHeadlessListView list(m_app.Unzip(), printer, m_app.Locale(), UpdateView::Software);
    list.TickCodes(ticked);
    list.SetUpdates(check.refined, check.askedAt);
    const SAUUpdaterOwner owner = MakeUpdaterOwner(m_app);
    CAUFileUpdater updater(&owner);
    updater.InstallUpdates(&check.refined, printer, &list);
    ReportRefusals(updater);

    int installed = 0, failed = 0;
    for (const auto& [row, version] : before) {
        std::wstring after;
        CAULocalData::GetInstalledPackageVersion(row.info.strId, after);
        if (WasRefused(updater, row.info)) {
            ++failed;
        } else if (const auto* download = FailedDownloadOf(updater, row.info)) {
            m_report.AddFailed({row.info.strId, L"download", download->reason});
            ++failed;
        } else if (updater.VerifyInstalled(row)) {
            m_report.AddInstalled({row.info.strId, row.strTitle, version, after});
            ++installed;
        } else {
            m_report.AddFailed({row.info.strId, L"install", L"the new version did not arrive"});
            ++failed;
        }
    }
    if (failed == 0 && skippedRunning == 0 && m_refused == 0) return UnattendedExit::Done;
    return installed > 0 ? UnattendedExit::PartlyDone : UnattendedExit::Failed;
}

UnattendedExit CUnattendedRun::SendFirmware(const std::wstring& printer, SViewCheck& check) {
    if (check.rows.empty()) return UnattendedExit::Done;
    CHeadlessListView list(m_app.Unzip(), printer, m_app.Locale(), UpdateView::Firmware);
    list.TickAll();
    list.SetUpdates(check.refined, check.askedAt);
    const SAUUpdaterOwner owner = MakeUpdaterOwner(m_app);
    CAUFileUpdater updater(&owner);
    // A run that stops before the transfer (a download that failed) must not read an old success.
    ForgetLastTransfer();
    const InstallResult installed = updater.InstallUpdates(&check.refined, printer, &list);
    ReportRefusals(updater);
    // A row is done only when every package reached the printer (a package that could not be
    // fetched or unpacked is left out) and the printer then listed the row's file at its new
    // version: its taking the data proves nothing of the update, and a file the transfer left out
    // (for another model, or not the row's own) was never sent.
    const bool transferred = LastTransferResult() == 0 && installed == InstallResult::Done;
    // A transfer that put the printer in its transfer mode ends it, as closing the dialog does.
    if (LastTransferUsedModeCheck()) SendModeExitCommand(printer);

    // The printer's parts as it tells them after the transfer (the install run asked it again),
    // for the versions the report names; a printer still restarting tells none.
    const PrinterMap printers = m_app.LocalData()->GetPrinterMap();
    const auto rows = printers.find(printer);
    auto storedVersion = [&](const std::wstring& id) {
        if (rows != printers.end())
            for (const auto& [key, info] : rows->second)
                if (info.strId == id) return info.strInstalledVersion;
        return std::wstring();
    };
    int sent = 0, failed = 0;
    // The printer gets the files of its update together or none of them.
    const bool setIncomplete = !updater.FailedDownloads().empty() || !updater.Refusals().empty();
    for (const SAUItemRecord& row : check.rows) {
        const std::wstring after = storedVersion(row.info.strId);
        if (WasRefused(updater, row.info)) {
            ++failed;
        } else if (const auto* download = FailedDownloadOf(updater, row.info)) {
            m_report.AddFailed({row.info.strId, L"download", download->reason});
            ++failed;
        } else if (setIncomplete) {
            m_report.AddFailed({row.info.strId, L"transfer",
                                L"not sent: another file of the update did not arrive or was refused"});
            ++failed;
        } else if (transferred && LastTransferConfirmed(row.info)) {
            m_report.AddInstalled({row.info.strId, row.strTitle, row.info.strInstalledVersion,
                                   after.empty() ? row.strVersion : after});
            ++sent;
        } else {
            m_report.AddFailed({row.info.strId, L"transfer", L"the printer did not store the new version"});
            ++failed;
        }
    }
    if (failed == 0) return UnattendedExit::Done;
    return sent > 0 ? UnattendedExit::PartlyDone : UnattendedExit::Failed;
}

std::wstring CUnattendedRun::FirmwarePrinter() const {
    const PrinterMap printers = m_app.LocalData()->GetPrinterMap();
    const std::wstring& named = m_commandLine.m_strFirmwarePrinter;
    if (named.empty()) return printers.size() == 1 ? printers.begin()->first : std::wstring();
    for (const auto& [driver, rows] : printers)
        if (_wcsicmp(driver.c_str(), named.c_str()) == 0) return driver;
    const bool hex = std::all_of(named.begin(), named.end(), [](wchar_t c) { return std::iswxdigit(c); });
    if (hex && m_app.Services().findPrinterById) {
        const std::wstring driver = m_app.Services().findPrinterById(scup::ParseHex(named));
        if (printers.count(driver)) return driver;
    }
    return {};
}

UnattendedExit CUnattendedRun::EndBeforeStart(UnattendedExit exit, const std::wstring& reason) {
    m_report.AddFailed({L"", L"start", reason});
    return Finish(exit);
}

UnattendedExit CUnattendedRun::Finish(UnattendedExit task) {
    const UnattendedExit exit = m_report.Finish(task);
    AUTrace(L"Unattended run ended: %s (%d)", UnattendedExitName(exit), static_cast<int>(exit));
    return exit;
}

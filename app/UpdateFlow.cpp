// The application object's update flow: the dialog sequence on the main thread and the update
// thread's work (checks, installs, the server reset and the end of the program).

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <vector>

#include "CheckRoad.h"
#include "ScUpdaterApp.h"
#include "StartDialog.h"
#include "UpdateRefinement.h"
#include "UpdaterOwner.h"
#include "common/Format.h"
#include "common/LangResources.h"
#include "common/MainThreadCalls.h"
#include "common/ProgramEvents.h"
#include "common/Resources.h"
#include "common/Text.h"
#include "common/Trace.h"
#include "install/AUFileUpdater.h"
#include "install/BusyView.h"
#include "install/FirmTransfer.h"
#include "install/StoredFileQuery.h"
#include "local/Spooler.h"
#include "res/resource_ids.h"
#include "ui/CantCommDialog.h"
#include "ui/PrinterSelectDialog.h"
#include "ui/UpdaterDialog.h"

using scup::AUTrace;
using scup::FormatText;
using scup::StartsWith;

const wchar_t* const kAUEventNames[6] = {scup::kRefreshEventName,     scup::kCheckEventName,
                                         scup::kStartEventName,       scup::kExitEventName,
                                         scup::kResetServerEventName, scup::kCancelEventName};

namespace {

constexpr bool kManualReset[6] = {true, false, false, true, false, false};

}  // namespace

// The server answered with nothing to use, could not prove who it is, or was not reached at all.
UINT ServerFailureMessageId(ServerResult failure) {
    switch (failure) {
        case ServerResult::AnswerUnusable:
            return IDS_MSG_SERVER_ANSWER_UNUSABLE;
        case ServerResult::NotTrusted:
            return IDS_MSG_SERVER_NOT_TRUSTED;
        case ServerResult::RedirectRefused:
            return IDS_MSG_REDIRECT_REFUSED;
        case ServerResult::SignInRequired:
            return IDS_MSG_SIGN_IN_FIRST;
        default:
            return IDS_MSG_SERVER_UNREACHABLE;
    }
}

namespace {

scup::UniqueHandle OpenNamedEvent(int index) {
    return scup::UniqueHandle(CreateEventW(nullptr, kManualReset[index], FALSE, kAUEventNames[index]));
}

// Printers using the driver that are not set to work offline.
int CountOnlinePrinters(const std::wstring& driver) {
    int online = 0;
    for (const SSpoolerPrinter& printer : EnumSpoolerPrinters())
        if (printer.driver == driver && !(printer.attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE)) ++online;
    return online;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Main sequence (main thread)

// The update thread may still hold a dialog the user closed; the main thread, which made it, keeps
// it until the thread has let go, so that it always ends here (its controls, its GDI+ session).
void CScUpdaterApp::RetireDialog(std::shared_ptr<void> dialog) {
    if (dialog) m_retiredDialogs.push_back(std::move(dialog));
    std::erase_if(m_retiredDialogs, [](const std::shared_ptr<void>& kept) { return kept.use_count() == 1; });
}

HWND CScUpdaterApp::MainWindowHandle() const {
    if (const auto dialog = m_pUpdaterDialog.Get()) return dialog->GetSafeHwnd();
    if (const auto dialog = m_pStartDialog.Get()) return dialog->GetSafeHwnd();
    return nullptr;
}

std::shared_ptr<CUpdaterDialog> CScUpdaterApp::MakeUpdaterDialog() {
    auto dialog = std::make_shared<CUpdaterDialog>(Language(), m_printer.Get(), m_nLCID);
    if (m_pLocalData) {
        std::vector<std::wstring> printers;
        for (const auto& [name, installed] : m_pLocalData->GetPrinterMap()) printers.push_back(name);
        dialog->SetPrinters(std::move(printers));
        dialog->SetConfiguration(m_pLocalData.get());
    }
    dialog->SetUnzip(m_pUnzip.get());
    return dialog;
}

std::shared_ptr<CUpdaterDialog> CScUpdaterApp::RunUpdaterDialog(UpdateView view, int& x, int& y) {
    auto dialog = MakeUpdaterDialog();
    INT_PTR result = 0;
    for (;;) {
        dialog->SetPosition(x, y);
        m_pUpdaterDialog.Set(dialog);
        result = dialog->Run(view);
        m_pUpdaterDialog.Set(nullptr);
        // A printer a transfer put into its transfer mode is let out of it when its dialog has gone.
        if (LastTransferUsedModeCheck()) SendModeExitCommand(dialog->m_printer.Get());
        if (result == -1) m_bWindowFailed = true;
        x = dialog->PositionX();
        y = dialog->PositionY();
        m_printer.Set(dialog->m_printer.Get());
        m_nLCID = dialog->m_nLocale.load();
        if (result <= 1000) break;
        // The user chose another user-interface language: the dialog comes back in it.
        m_nLanguage.exchange(static_cast<long>(result));
        RetireDialog(dialog);
        dialog = MakeUpdaterDialog();
    }
    RetireDialog(dialog);
    return dialog;
}

void CScUpdaterApp::EndForWindowFailure(UINT baseTemplateId) {
    AUTrace(L"Failed: the window of dialog %d could not be created.", static_cast<int>(baseTemplateId));
    scup::ShowWindowFailureMessage(Language());
    scup::UniqueHandle exit = OpenNamedEvent(kExitEvent);
    SetEvent(exit.get());
}

void CScUpdaterApp::RunDialogs() {
    scup::UniqueHandle refresh = OpenNamedEvent(kRefreshEvent);
    scup::UniqueHandle exit = OpenNamedEvent(kExitEvent);
    // From here on the windows the update thread asks for open on this thread.
    scup::CMainThreadCalls windowsHere;
    StartUpdateThread();
    while (m_nLanguage.load() == 0) scup::WaitTakingCalls(nullptr, 10);

    int x = 0, y = 0;
    bool firmwareFirst = false;
    if (m_bEditorMode) {
        std::shared_ptr<CUpdaterDialog> dialog = RunUpdaterDialog(UpdateView::Software, x, y);
        if (m_bWindowFailed) return EndForWindowFailure(IDD_UPDATER);
        const bool hasFirmware = dialog->HasFirmwareEntries(m_printer.Get());
        const int online = hasFirmware ? CountOnlinePrinters(m_printer.Get()) : 0;
        m_bEditorMode = false;
        dialog.reset();
        if (hasFirmware && online > 0 &&
            scup::ShowLangMessage(nullptr, IDS_MSG_UPDATE_FIRMWARE_NOW, Language(),
                                  MB_ICONQUESTION | MB_YESNO) == IDYES) {
            SetEvent(refresh.get());
            firmwareFirst = true;
        } else {
            SetEvent(exit.get());
            return;
        }
    }

    for (;;) {
        if (firmwareFirst) {
            firmwareFirst = false;
        } else {
            auto start = std::make_shared<CStartDialog>(Language());
            start->SetPosition(x, y);
            m_pStartDialog.Set(start);
            INT_PTR result = start->DoModal();
            m_pStartDialog.Set(nullptr);
            x = start->PositionX();
            y = start->PositionY();
            RetireDialog(std::move(start));
            if (result == -1) return EndForWindowFailure(IDD_START);

            if (result == CStartDialog::kResultFirmware) {
                std::vector<std::wstring> printers;
                if (m_pLocalData)
                    for (const auto& [name, installed] : m_pLocalData->GetPrinterMap())
                        printers.push_back(name);
                scup::CPrinterSelectDialog choose(Language(), printers, m_printer.Get());
                choose.SetPosition(x, y);
                INT_PTR chosen = choose.DoModal();
                if (chosen == -1) return EndForWindowFailure(IDD_PRINTER_SELECT);
                x = choose.PositionX();
                y = choose.PositionY();
                if (chosen != 1) continue;
                m_printer.Set(choose.Printer());
            } else if (result == CStartDialog::kResultSoftware) {
                RunUpdaterDialog(UpdateView::Software, x, y);
                if (m_bWindowFailed) return EndForWindowFailure(IDD_UPDATER);
                SetEvent(refresh.get());
                continue;
            } else {
                return;
            }
        }
        RunUpdaterDialog(UpdateView::Firmware, x, y);
        if (m_bWindowFailed) return EndForWindowFailure(IDD_UPDATER);
        SetEvent(refresh.get());
    }
}

// ---------------------------------------------------------------------------------------------
// Update thread

bool CScUpdaterApp::CreateEvents() {
    for (int i = 0; i < 6; ++i) {
        m_events[i] = OpenNamedEvent(i);
        if (!m_events[i]) return false;
        ResetEvent(m_events[i].get());
    }
    return true;
}

void CScUpdaterApp::CloseEvents() {
    for (auto& event : m_events) event.reset();
}

bool CScUpdaterApp::IsEventSet(AUEventIndex index) const {
    return m_events[index] && WaitForSingleObject(m_events[index].get(), 0) == WAIT_OBJECT_0;
}

void CScUpdaterApp::SetStartDialogReady(int value) {
    if (const auto dialog = m_pStartDialog.Get())
        scup::SetReadyFlag(dialog->m_bIdle, dialog->GetSafeHwnd(), value);
}

void CScUpdaterApp::SetUpdaterDialogReady(int value) {
    if (const auto dialog = m_pUpdaterDialog.Get()) dialog->SetReady(value);
}

// A start-up message: a warning owned by the start dialog when there is one, else a plain box.
void CScUpdaterApp::ShowThreadMessage(UINT textId, UINT icon) {
    HWND owner = nullptr;
    if (const auto dialog = m_pStartDialog.Get()) owner = dialog->GetSafeHwnd();
    scup::ShowLangMessage(owner, textId, Language(), owner ? icon : 0);
}

void CScUpdaterApp::GetPrinterForInitialCheck(std::wstring& printer, std::wstring& locale,
                                              std::wstring& language) {
    CUpdateRefinement::GetPrinterForInitialCheck(m_pLocalData.get(), printer, locale, language);
}

void CScUpdaterApp::InitialSelection() {
    const bool printerWasEmpty = m_printer.Get().empty();
    std::wstring printer, locale, language;
    GetPrinterForInitialCheck(printer, locale, language);
    if (!locale.empty() && m_nLCID == 0) m_nLCID = static_cast<LCID>(scup::ParseDecimal(locale));
    if (!printer.empty() && printerWasEmpty) m_printer.Set(printer);

    long ui = scup::ParseDecimal(language);
    if (ui != 0 && !IsValidLocale(static_cast<LCID>(ui), LCID_INSTALLED)) ui = 0;
    if (ui == 0) ui = 1033;
    m_nLanguage.exchange(ui);
}

std::wstring CScUpdaterApp::BuildQueryKey() const {
    return FormatText(L"%s_%s", LocaleText(m_nLCID, LOCALE_SABBREVLANGNAME, 8).c_str(),
                      UserCountryAbbreviation().c_str());
}

ServerResult CScUpdaterApp::ConnectServer() {
    m_pServerData = m_services.createServerData();
    if (!m_pServerData) return ServerResult::Failed;
    m_pServerData->SetConfiguration(m_pLocalData.get());
    const ServerResult connected = m_pServerData->Initialize();
    // The credentials work for this run; that they could not be kept for the next is told.
    if (const int saved = m_pServerData->CredentialsSaveResult(); saved != CAUXMLParser::kSuccess)
        ShowThreadMessage(saved == CAUConfigXML::kPasswordNotEnciphered ? IDS_MSG_PASSWORD_NOT_SAVED
                                                                        : IDS_MSG_PROXY_NOT_SAVED,
                          MB_ICONERROR);
    return connected;
}

void CScUpdaterApp::ClearCaches() {
    m_serverCache.clear();
    m_refinedCache.clear();
}

void CScUpdaterApp::SaveDefaultSelection() {
    if (m_pLocalData)
        m_pLocalData->SetDefaultSelection(m_printer.Get(), FormatText(L"%d", static_cast<int>(m_nLCID)),
                                          FormatText(L"%d", static_cast<int>(m_nLanguage.load())));
}

void CScUpdaterApp::EndWithoutLoop() {
    ClearCaches();
    CloseEvents();
    const auto updater = m_pUpdaterDialog.Get();
    const auto start = m_pStartDialog.Get();
    for (HWND window : {updater ? updater->GetSafeHwnd() : nullptr, start ? start->GetSafeHwnd() : nullptr})
        if (window) PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
}

int CScUpdaterApp::RunUpdate() {
    scup::TraceScope scope(L"CAUManager::RunUpdate()");
    if (!CreateEvents()) {
        AUTrace(L"Failed: the update events could not be created.");
        m_nLanguage.exchange(1033);
        CloseEvents();
        return 1;
    }
    SetStartDialogReady(0);
    SetUpdaterDialogReady(0);

    InitialSelection();
    const std::wstring key = BuildQueryKey();

    // A main sequence that has already ended never shows a window: the exit request ends the wait.
    while (!MainWindowHandle() && !IsEventSet(kExitEvent)) Sleep(100);
    SetStartDialogReady(0);
    SetUpdaterDialogReady(0);

    const ServerResult connected = ConnectServer();
    // A user who closed the start dialog while it was connecting has left: nothing more is said.
    if (connected != ServerResult::Success && !m_bEditorMode && !IsEventSet(kExitEvent))
        ShowThreadMessage(ServerFailureMessageId(connected), MB_ICONEXCLAMATION);

    if (IsEventSet(kExitEvent)) {
        CloseEvents();
        return 0;
    }

    if (connected == ServerResult::Success && GetDriveTypeW(nullptr) != DRIVE_REMOTE) {
        ComponentList discarded;
        m_pServerData->DoVersionCheck(discarded, key, m_printer.Get());
        const UpgradeResult upgrade = OfferedUpgrade();
        if (EndsTheProgram(upgrade)) {
            SaveDefaultSelection();
            SetStartDialogReady(1);
            SetUpdaterDialogReady(1);
            EndWithoutLoop();
            return 0;
        }
    }

    SetStartDialogReady(1);
    if (const auto dialog = m_pUpdaterDialog.Get()) {
        dialog->ShowProgress(ProgressMode::Hidden);
        dialog->SetReady(1);
    }
    if (IsEventSet(kExitEvent)) {
        EndWithoutLoop();
        return 0;
    }

    if (!m_pLocalData || m_pLocalData->GetPrinterMap().empty()) {
        SetStartDialogReady(0);
        ShowThreadMessage(IDS_MSG_NO_PRINTER_DRIVER, MB_ICONEXCLAMATION);
        AUTrace(L"No Printer Driver");
        SetStartDialogReady(1);
        EndWithoutLoop();
        return 0;
    }

    EventLoop();
    return 0;
}

void CScUpdaterApp::EventLoop() {
    HANDLE waited[5];
    for (int i = 0; i < 5; ++i) waited[i] = m_events[i].get();
    for (;;) {
        AUTrace(L"Waiting for update events.");
        DWORD rc = WaitForMultipleObjects(5, waited, FALSE, INFINITE);
        if (rc >= WAIT_OBJECT_0 + 5) {
            AUTrace(L"Failed: waiting for the update events (%d).", static_cast<int>(GetLastError()));
            HandleExit();
            return;
        }
        // An exit request that arrives together with another event still ends the thread.
        const bool exitRequested = IsEventSet(kExitEvent);
        // A cancel signalled after the last operation ended belongs to none: every operation starts
        // without one.
        for (AUEventIndex index :
             {kStartEvent, kCheckEvent, kExitEvent, kRefreshEvent, kResetServerEvent, kCancelEvent})
            ResetEvent(m_events[index].get());
        const int index = exitRequested ? kExitEvent : static_cast<int>(rc - WAIT_OBJECT_0);
        AUTrace(L"Event : %s", kAUEventNames[index]);
        switch (index) {
            case kRefreshEvent:
                if (m_pServerData) m_pServerData->CloseConnections();
                ClearCaches();
                HandleCheck();
                break;
            case kCheckEvent:
                HandleCheck();
                break;
            case kStartEvent:
                HandleStart();
                break;
            case kExitEvent:
                HandleExit();
                return;
            case kResetServerEvent:
                if (m_pServerData) m_pServerData->ResetServer();
                SetEvent(m_events[kRefreshEvent].get());
                break;
        }
    }
}

// Whether the user still has the dialog on screen: one closed meanwhile takes no more news.
bool CScUpdaterApp::StillShown(const std::shared_ptr<CUpdaterDialog>& dialog) const {
    return m_pUpdaterDialog.Get() == dialog;
}

// Gives whether the dialog is still on screen after the message.
bool CScUpdaterApp::WarnOverDialog(const std::shared_ptr<CUpdaterDialog>& dialog, HWND window, UINT textId,
                                   UINT icon) {
    scup::ShowLangMessage(window, textId, Language(), icon);
    return StillShown(dialog);
}

// The printer did not answer: the user may switch it on and try again, as often as it takes. Gives
// whether the printer answered.
bool CScUpdaterApp::RetryPrinterContact(HWND window, const std::wstring& printer) {
    bool answered = false;
    while (!answered) {
        const INT_PTR chosen =
            scup::ResultOnMainThread([&] { return scup::CCantCommDialog(Language(), window).DoModal(); });
        if (chosen != scup::CCantCommDialog::kRetry) break;
        answered = m_pLocalData && m_pLocalData->CollectPrinterEnvironment(printer, true) ==
                                       CAULocalData::Environment::Collected;
    }
    return answered;
}

void CScUpdaterApp::HandleCheck() {
    // The thread's own reference: the dialog outlives the check even if the user closes it.
    const std::shared_ptr<CUpdaterDialog> dialog = m_pUpdaterDialog.Get();
    if (!dialog) return;
    {
        const CBusyView busy(dialog.get());
        CheckInDialog(dialog);
    }
    // A check from the label editor's firmware view ends the editor's mode, whatever its end.
    if (dialog->IsFirmwareView() && m_bEditorMode) m_bEditorMode = false;
}

void CScUpdaterApp::CheckInDialog(const std::shared_ptr<CUpdaterDialog>& dialog) {
    HWND window = dialog->GetSafeHwnd();
    const bool firmwareView = dialog->IsFirmwareView();
    dialog->m_bLocalFiles = 0;
    // One printer for the whole check, even if the user picks another meanwhile.
    const std::wstring printer = dialog->m_printer.Get();
    const std::wstring previousPrinter = m_printer.Get();
    m_printer.Set(printer);
    m_nLCID = dialog->m_nLocale.load();
    if (printer != previousPrinter) ClearCaches();

    if (m_serverCache.count(m_nLCID) && m_refinedCache.count(m_nLCID)) {
        const SCheckedList& cached = m_refinedCache[m_nLCID];
        dialog->SetUpdates(cached.list, cached.askedAt);
        return;
    }

    while (window && IsWindow(window) && !IsWindowVisible(window)) Sleep(1);
    dialog->ShowProgress(ProgressMode::Checking);
    const bool withFirmware = firmwareView || m_bEditorMode;
    bool printerData = m_pLocalData &&
                       m_pLocalData->CollectPrinterEnvironment(printer, withFirmware) ==
                           CAULocalData::Environment::Collected &&
                       withFirmware;
    if (firmwareView && !printerData) {
        dialog->ShowProgress(ProgressMode::Hidden);
        printerData = RetryPrinterContact(window, printer);
        if (!printerData || !StillShown(dialog)) return;
    }
    dialog->ShowProgress(ProgressMode::Checking);
    if (!m_pServerData || !m_pServerData->IsConnected()) {
        if (const ServerResult connected = ConnectServer(); connected != ServerResult::Success) {
            dialog->ShowProgress(ProgressMode::Hidden);
            WarnOverDialog(dialog, window, ServerFailureMessageId(connected), MB_ICONEXCLAMATION);
            return;
        }
    }
    const ServerResult failure = CheckAndCache(*dialog, printer, firmwareView, printerData);
    if (failure == ServerResult::Success) return;
    dialog->ShowProgress(ProgressMode::Hidden);
    // The user cancelled the wait: no message, the dialog is theirs again. Started from the label
    // editor, its firmware view tells nothing either.
    if (failure == ServerResult::Cancelled || (firmwareView && m_bEditorMode)) return;
    if (failure == ServerResult::ProxyAuthRefused &&
        !WarnOverDialog(dialog, window, IDS_MSG_PROXY_AUTH_REFUSED, MB_ICONSTOP))
        return;
    WarnOverDialog(dialog, window, ServerFailureMessageId(failure), MB_ICONEXCLAMATION);
}

UpgradeResult CScUpdaterApp::OfferedUpgrade() {
    return m_services.runUpgrader ? m_services.runUpgrader() : UpgradeResult::NotNeeded;
}

void CScUpdaterApp::SetUpgradeAnswers(std::function<bool()> consent, std::vector<std::wstring> followUp) {
    m_askUpgradeConsent = std::move(consent);
    m_upgradeFollowUp = std::move(followUp);
}

CCheckRoad CScUpdaterApp::CheckRoad() const { return CheckRoadIn(m_nLCID); }

CCheckRoad CScUpdaterApp::CheckRoadIn(LCID locale) const {
    CCheckRoad::SParts parts;
    parts.server = m_pServerData.get();
    parts.local = m_pLocalData.get();
    parts.locale = locale;
    parts.findTransferPrinter = m_services.findTransferPrinter;
    parts.isPackageInstalled = m_services.isPackageInstalled;
    return CCheckRoad(std::move(parts));
}

ServerResult CScUpdaterApp::CheckAndCache(CUpdaterDialog& dialog, const std::wstring& printer,
                                          bool firmwareView, bool printerData) {
    // The locale of the whole check: the main thread may set another one meanwhile.
    const LCID locale = m_nLCID;
    SAUUpdaterOwner owner = MakeUpdaterOwner(*this);
    owner.nLCID = locale;
    CAUFileUpdater updater(&owner);
    CCheckRoad::SResult check =
        CheckRoadIn(locale).Check(updater, dialog, printer, firmwareView, printerData);
    if (check.queried) m_serverCache[locale] = std::move(check.serverList);
    if (check.result == ServerResult::Success)
        m_refinedCache[locale] = {std::move(check.refined), updater.AskedAt()};
    return check.result;
}

void CScUpdaterApp::HandleStart() {
    // The thread's own reference, as for a check.
    const std::shared_ptr<CUpdaterDialog> dialog = m_pUpdaterDialog.Get();
    if (!dialog) return;
    const CBusyView busy(dialog.get());
    HWND window = dialog->GetSafeHwnd();
    auto warn = [&](UINT textId, UINT icon) { return WarnOverDialog(dialog, window, textId, icon); };

    // One printer for the whole run, even if the user picks another meanwhile.
    const std::wstring printer = dialog->m_printer.Get();
    m_printer.Set(printer);
    m_nLCID = dialog->m_nLocale.load();
    if (!m_pServerData || !m_pServerData->IsConnected()) {
        if (const ServerResult connected = ConnectServer(); connected != ServerResult::Success) {
            dialog->ShowProgress(ProgressMode::Hidden);
            warn(ServerFailureMessageId(connected), MB_ICONEXCLAMATION);
            return;
        }
    }
    const SAUUpdaterOwner owner = MakeUpdaterOwner(*this);
    CAUFileUpdater updater(&owner);
    auto cached = m_refinedCache.find(m_nLCID);
    const RefinedList* offered = cached == m_refinedCache.end() ? nullptr : &cached->second.list;
    if (updater.InstallUpdates(offered, printer, dialog.get()) == InstallResult::NothingDone) return;

    dialog->ClearList();
    for (auto it = m_serverCache.begin(); it != m_serverCache.end();)
        it = it->first == m_nLCID ? std::next(it) : m_serverCache.erase(it);
    m_refinedCache.clear();
    // Without a cached offer for the locale nothing is refined into it: no empty offer is cached.
    auto offer = m_serverCache.find(m_nLCID);
    RefinedList refined =
        CheckRoad().Refine(printer, offer == m_serverCache.end() ? ComponentList() : offer->second);
    // The install run is over: a cancel given during it (a transfer the user stopped) belongs to
    // it, not to fetching the offer again.
    ResetEvent(m_events[kCancelEvent].get());
    const ServerResult rc = updater.GetUpdates(printer, refined, dialog.get());
    if (rc == ServerResult::Cancelled) return;
    if (rc != ServerResult::Success) {
        if (rc == ServerResult::ProxyAuthRefused && !warn(IDS_MSG_PROXY_AUTH_REFUSED, MB_ICONSTOP)) return;
        warn(ServerFailureMessageId(rc), MB_ICONEXCLAMATION);
        return;
    }
    m_refinedCache[m_nLCID] = {std::move(refined), updater.AskedAt()};
}

void CScUpdaterApp::HandleExit() {
    SaveDefaultSelection();
    ClearCaches();
    m_pServerData.reset();
    CloseEvents();
}

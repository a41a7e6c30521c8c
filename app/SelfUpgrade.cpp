// The self-upgrade on the manager: asks whether a newer updater may be installed, fetches it,
// stages it and starts the staging copy that installs it once this updater has ended.

#include <windows.h>

#include "AUAppUpgrader.h"
#include "ScUpdaterApp.h"
#include "UpdateRefinement.h"
#include "UpgraderFiles.h"
#include "common/AppFiles.h"
#include "common/Handles.h"
#include "common/Trace.h"
#include "ui/DialogBase.h"
#include "ui/SelfUpdateDialog.h"

using scup::AUTrace;

namespace {

constexpr int kNoUpgrade = 0;
constexpr int kDeclined = 4;
constexpr int kStarted = 5;

bool IsExitRequested(HANDLE exitEvent) {
    return exitEvent && WaitForSingleObject(exitEvent, 0) == WAIT_OBJECT_0;
}

}  // namespace

int CScUpdaterApp::RunUpgrader() {
    scup::TraceScope scope(L"CAUManager::RunUpgrader()");
    scup::UniqueHandle exitEvent(CreateEventW(nullptr, TRUE, FALSE, kAUEventNames[kExitEvent]));
    const std::wstring installed = CAULocalData::GetOwnPackageVersion();
    const std::wstring offered = m_pServerData ? m_pServerData->UpdaterVersion() : std::wstring();
    // A server that names no version has nothing to offer; without this every start of a program
    // that never recorded its version would propose an upgrade to nothing.
    if (offered.empty()) {
        AUTrace(L"Server Upgrader Version is not known.");
        return kNoUpgrade;
    }
    if (!installed.empty() && CUpdateRefinement::CompareUpgraderVersions(installed, offered) < 1) {
        AUTrace(L"Local Upgrader Version is latest.");
        return kNoUpgrade;
    }
    AUTrace(L"Server Upgrader Version is higher. Update Required.");
    if (IsExitRequested(exitEvent.get())) return kDeclined;

    scup::CDialogBase* mainWindow = MainWindow();
    scup::CSelfUpdateDialog question(Language(), mainWindow ? mainWindow->GetSafeHwnd() : nullptr);
    if (question.DoModal() != scup::CSelfUpdateDialog::kConsent) return kDeclined;
    AUTrace(L"User confirmation is Yes for Updater download.");

    const PrinterMap printers = m_pLocalData ? m_pLocalData->GetPrinterMap() : PrinterMap();
    std::wstring package;
    CAUAppUpgrader upgrader;
    const int fetched = upgrader.Execute(this, printers, package, m_printer.Get());
    if (fetched != CAUAppUpgrader::kDownloaded) return fetched;
    return StageAndStartUpgrade(package, offered);
}

int CScUpdaterApp::StageAndStartUpgrade(const std::wstring& package, const std::wstring& version) {
    std::wstring unpacked;
    std::vector<std::wstring> files;
    if (scup::UnpackUpdaterPackage(m_pUnzip.get(), package, unpacked, files) != scup::kStagingDone)
        return scup::kStagingFailed;

    wchar_t modulePath[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
    const std::wstring installedFolder = scup::GetFolderOfPath(modulePath);
    const std::wstring stagingFolder = scup::GetFolderOfPath(package);
    if (scup::CopyToStaging(unpacked, files, stagingFolder) != scup::kStagingDone ||
        scup::AddCompanionLibraries(installedFolder, files, stagingFolder) != scup::kStagingDone) {
        scup::RemoveFolder(unpacked);
        return scup::kStagingFailed;
    }
    // The new updater runs from the download folder until it has installed itself.
    m_bKeepDownloads = true;
    const std::wstring parameters =
        scup::BuildUpdateParameters(installedFolder, unpacked, version, m_bEditorMode);
    if (!scup::StartStagingCopy(stagingFolder, parameters)) {
        // Nothing will install the new files: this updater goes on as it was.
        m_bKeepDownloads = false;
        scup::RemoveFolder(unpacked);
        return scup::kStagingFailed;
    }
    return kStarted;
}

// The self-upgrade on the manager: asks whether a newer updater may be installed, fetches it,
// stages it and starts the staging copy that installs it once this updater has ended.

#include <windows.h>

#include "AUAppUpgrader.h"
#include "ScUpdaterApp.h"
#include "UpdateRefinement.h"
#include "UpgraderFiles.h"
#include "common/AppFiles.h"
#include "common/Handles.h"
#include "common/LangResources.h"
#include "common/MainThreadCalls.h"
#include "common/ProgramEvents.h"
#include "common/Trace.h"
#include "install/TrustPolicy.h"
#include "res/install_ids.h"
#include "ui/SelfUpdateDialog.h"

using scup::AUTrace;

namespace {

UpgradeResult FetchFailure(int fetched) {
    switch (fetched) {
        case CAUAppUpgrader::kExitRequested:
            return UpgradeResult::Declined;
        case CAUAppUpgrader::kNoAddress:
            return UpgradeResult::NotStaged;
        default:
            return UpgradeResult::NotObtained;
    }
}

}  // namespace

UpgradeResult CScUpdaterApp::RunUpgrader() {
    scup::TraceScope scope(L"CAUManager::RunUpgrader()");
    // Made here when the run has none yet, and kept for the look at it below.
    const scup::UniqueHandle exitEvent(CreateEventW(nullptr, TRUE, FALSE, scup::kExitEventName));
    const std::wstring installed = CAULocalData::GetOwnPackageVersion();
    const std::wstring offered = m_pServerData ? m_pServerData->UpdaterVersion() : std::wstring();
    // A server that names no version has nothing to offer; without this every start of a program
    // that never recorded its version would propose an upgrade to nothing.
    if (offered.empty()) {
        AUTrace(L"Server Upgrader Version is not known.");
        return UpgradeResult::NotNeeded;
    }
    if (!installed.empty() && CUpdateRefinement::CompareUpgraderVersions(installed, offered) < 1) {
        AUTrace(L"Local Upgrader Version is latest.");
        return UpgradeResult::NotNeeded;
    }
    // The recorded version lags behind the program when its last upgrade could not record it:
    // an offer that is not newer than the program that runs is no upgrade.
    const std::wstring running = CAULocalData::GetProgramFileVersion();
    if (!running.empty() && CUpdateRefinement::CompareUpgraderVersions(running, offered) < 1) {
        AUTrace(L"The offered updater %s is not newer than the one that runs (%s).", offered.c_str(),
                running.c_str());
        return UpgradeResult::NotNeeded;
    }
    AUTrace(L"Server Upgrader Version is higher. Update Required.");
    if (scup::IsNamedEventSet(scup::kExitEventName)) return UpgradeResult::Declined;

    const bool consent = m_askUpgradeConsent ? m_askUpgradeConsent() : scup::ResultOnMainThread([&] {
        return scup::CSelfUpdateDialog(Language(), MainWindowHandle()).DoModal() ==
               scup::CSelfUpdateDialog::kConsent;
    });
    if (!consent) return UpgradeResult::Declined;
    AUTrace(L"User confirmation is Yes for Updater download.");

    const PrinterMap printers = m_pLocalData ? m_pLocalData->GetPrinterMap() : PrinterMap();
    std::wstring package;
    CAUAppUpgrader upgrader;
    const int fetched = upgrader.Execute(this, printers, package, m_printer.Get());
    m_strUpgradeRefusal = upgrader.Refusal();
    if (fetched != CAUAppUpgrader::kDownloaded) return FetchFailure(fetched);
    return StageAndStartUpgrade(package, offered);
}

std::wstring CScUpdaterApp::InstalledFolder() const {
    if (!m_strInstalledFolder.empty()) return m_strInstalledFolder;
    wchar_t modulePath[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
    return scup::GetFolderOfPath(modulePath);
}

UpgradeResult CScUpdaterApp::StageAndStartUpgrade(const std::wstring& package, const std::wstring& version) {
    // Unpacked here once to refuse early, with the user's message, what the elevated step would
    // refuse anyway.
    std::vector<std::wstring> files;
    std::wstring refusal;
    {
        const auto unpacked = scup::UnpackUpdaterPackage(m_pUnzip.get(), package, files);
        if (!unpacked) return UpgradeResult::NotStaged;
        refusal = scup::UnpackedUpdaterRefusal(unpacked->Path(), LoadTrustPolicy());
    }
    if (!refusal.empty()) {
        m_strUpgradeRefusal = refusal;
        AUTrace(L"Failed: the new updater is refused: %s.", refusal.c_str());
        if (!scup::IsNamedEventSet(scup::kExitEventName))
            scup::ShowLangMessage(nullptr, IDS_MSG_UPDATER_NOT_SIGNED, Language(), MB_ICONERROR);
        return UpgradeResult::NotObtained;
    }
    // The installed updater, elevated, takes the package from the download folder (kept for it)
    // into a folder of its own and checks it again there before it installs it.
    m_bKeepDownloads = true;
    const std::wstring installedFolder = InstalledFolder();
    const std::wstring parameters =
        scup::BuildUpdateParameters(installedFolder, package, version, m_bEditorMode, m_upgradeFollowUp);
    if (!scup::StartElevatedStep(installedFolder, parameters)) {
        // Nothing will install the new files: this updater goes on as it was.
        m_bKeepDownloads = false;
        return UpgradeResult::NotStaged;
    }
    return UpgradeResult::Started;
}

#include "AUAppUpgrader.h"

#include <shlobj.h>

#include "ScUpdaterApp.h"
#include "UpgraderFiles.h"
#include "common/AppFiles.h"
#include "common/Format.h"
#include "common/Handles.h"
#include "common/LangResources.h"
#include "common/ProgramEvents.h"
#include "common/Trace.h"
#include "install/VerifiedFetch.h"
#include "local/AUCrypt.h"
#include "res/install_ids.h"
#include "res/resource_ids.h"

using scup::AUTrace;

namespace {

// Where signatures are off and the notice gives no size.
constexpr unsigned long long kUnverifiedUpdaterLimit = 64ull << 20;

std::wstring PrepareDownloadFolder() {
    const std::wstring folder = scup::GetDataFolder(L"DownloadedFiles");
    if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
        Sleep(100);
    }
    return folder;
}

}  // namespace

int CAUAppUpgrader::Execute(CScUpdaterApp* manager, const PrinterMap& printerMap, std::wstring& outFilePath,
                            const std::wstring& printer) {
    scup::TraceScope scope(L"CAUAppUpgrader::Execute()");
    if (!manager) {
        AUTrace(L"Manager not available");
        return kFailed;
    }
    if (!manager->ServerData()) {
        AUTrace(L"Server Data not available");
        return kFailed;
    }
    if (!manager->LocalData()) {
        AUTrace(L"Local Data not available");
        return kFailed;
    }
    const LANGID language = manager->Language();
    CAUServerData& server = *manager->ServerData();

    SAUUpgraderInfo info;
    ServerResult rc = server.DoNoticeAction(info, printerMap, printer);
    if (rc != ServerResult::Success) {
        AUTrace(L"DoNoticeAction() Failed.");
        return rc == ServerResult::Cancelled ? kFailed : Fail(language, kFailed, rc);
    }
    if (info.strDownloadURL.empty()) {
        AUTrace(L"Upgrader Download URL is empty.");
        return Fail(language, kNoAddress, ServerResult::Success);
    }
    AUTrace(L"Upgrader Download URL is : %s", info.strDownloadURL.c_str());
    const std::wstring name = scup::PackageFileName(info.strDownloadURL);
    if (name.empty()) {
        AUTrace(L"Failed: the upgrader download URL names no file that can be stored.");
        return Fail(language, kNoAddress, ServerResult::Success);
    }
    const std::wstring folder = PrepareDownloadFolder();

    // The package must be the updater the version check offered, as the maker signed it; the
    // notice's own size bounds it only where signatures are turned off.
    const STrustPolicy policy = LoadTrustPolicy();
    const SExpectedFile expected{scup::kUpdaterPackageCode, scup::kUpdaterPackageSpec, L"", L"",
                                 server.UpdaterVersion()};
    const unsigned long long unverifiedLimit =
        info.nFileSize > 0 ? static_cast<unsigned long long>(info.nFileSize) : kUnverifiedUpdaterLimit;
    CVerifiedFetch fetch(server, policy);
    const SFetchResult fetched = fetch.Fetch(info.strDownloadURL, expected, folder, unverifiedLimit, {});
    if (fetched.server == ServerResult::NotVerified) return Refuse(language, fetched.Reason());
    if (!fetched.Succeeded()) {
        AUTrace(L"Failed to download.");
        return fetched.server == ServerResult::Cancelled ? kFailed : Fail(language, kFailed, fetched.server);
    }
    if (CAUCrypt::IsFileIntact(fetched.localPath, info.strCheckSum) == 0) {
        AUTrace(L"File Hash Comparison succeeded.");
        // The elevated step checks the package again against the same statement.
        if (fetched.verified && !scup::WriteFileWhole(fetched.localPath + L".sig", fetched.statementBytes)) {
            AUTrace(L"Failed: the statement could not be kept beside the package.");
            DeleteFileW(fetched.localPath.c_str());
            return Fail(language, kFailed, ServerResult::Failed);
        }
        outFilePath = fetched.localPath;
        return kDownloaded;
    }
    AUTrace(L"File Hash comparison failed. File is corrupt");
    DeleteFileW(fetched.localPath.c_str());
    return Refuse(language, L"the file differs from the checksum the server gives");
}

int CAUAppUpgrader::Refuse(LANGID language, const std::wstring& reason) {
    AUTrace(L"Failed: the new updater is refused: %s.", reason.c_str());
    m_strRefusal = reason;
    if (scup::IsNamedEventSet(scup::kExitEventName)) return kExitRequested;
    scup::ShowLangMessage(nullptr, IDS_MSG_UPDATER_NOT_SIGNED, language, MB_ICONERROR);
    return kFailed;
}

int CAUAppUpgrader::Fail(LANGID language, int code, ServerResult serverResult) {
    if (scup::IsNamedEventSet(scup::kExitEventName)) return kExitRequested;
    if (serverResult == ServerResult::ProxyAuthRefused)
        scup::ShowLangMessage(nullptr, IDS_MSG_PROXY_AUTH_REFUSED, language, MB_ICONSTOP);
    scup::ShowLangMessage(nullptr, IDS_MSG_SERVER_UNREACHABLE, language, 0);
    return code;
}

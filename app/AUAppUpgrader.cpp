#include "AUAppUpgrader.h"

#include <shlobj.h>

#include "ScUpdaterApp.h"
#include "UpgraderFiles.h"
#include "common/AppFiles.h"
#include "common/Format.h"
#include "common/Handles.h"
#include "common/LangResources.h"
#include "common/Trace.h"
#include "local/AUCrypt.h"
#include "res/resource_ids.h"

using scup::AUTrace;

namespace {

bool ExitRequested() {
    scup::UniqueHandle exit(OpenEventW(SYNCHRONIZE, FALSE, L"EXIT_EVENT"));
    return exit && WaitForSingleObject(exit.get(), 0) == WAIT_OBJECT_0;
}

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
    if (!manager->m_pServerData) {
        AUTrace(L"Server Data not available");
        return kFailed;
    }
    if (!manager->m_pLocalData) {
        AUTrace(L"Local Data not available");
        return kFailed;
    }
    const LANGID language = manager->Language();
    CAUServerData& server = *manager->m_pServerData;

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
    const std::wstring target = scup::FormatText(L"%s\\%s", PrepareDownloadFolder().c_str(), name.c_str());

    rc = server.Download(info.strDownloadURL, target, {});
    if (rc != ServerResult::Success) {
        AUTrace(L"Failed to download.");
        // Whatever part of the file arrived must never be taken for the package.
        DeleteFileW(target.c_str());
        return rc == ServerResult::Cancelled ? kFailed : Fail(language, kFailed, rc);
    }
    if (CAUCrypt::IsFileIntact(target, info.strCheckSum) == 0) {
        AUTrace(L"File Hash Comparison succeeded.");
        outFilePath = target;
        return kDownloaded;
    }
    AUTrace(L"File Hash comparison failed. File is corrupt");
    DeleteFileW(target.c_str());
    return Fail(language, kFailed, ServerResult::Success);
}

int CAUAppUpgrader::Fail(LANGID language, int code, ServerResult serverResult) {
    if (ExitRequested()) return kExitRequested;
    if (serverResult == ServerResult::ProxyAuthRefused)
        scup::ShowLangMessage(nullptr, IDS_MSG_PROXY_AUTH_REFUSED, language, MB_ICONSTOP);
    scup::ShowLangMessage(nullptr, IDS_MSG_SERVER_UNREACHABLE, language, 0);
    return code;
}

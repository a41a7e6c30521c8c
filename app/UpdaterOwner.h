#pragma once
// What the update thread lends the file updater: the application's server and local data,
// its languages, the download folder and the package-file operations.

#include "ScUpdaterApp.h"
#include "common/AppFiles.h"
#include "install/AUUpdaterOwner.h"
#include "install/PackageFiles.h"

inline SAUUpdaterOwner MakeUpdaterOwner(CScUpdaterApp& app) {
    SAUUpdaterOwner owner;
    owner.pServerData = app.ServerData();
    owner.pLocalData = app.LocalData();
    owner.nLanguage = app.Language();
    owner.nLCID = app.Locale();
    owner.bEditorMode = app.EditorMode();
    owner.strDownloadFolder = scup::GetDataFolder(L"DownloadedFiles");
    const CUnzipHolder* unzip = app.Unzip();
    owner.unzip = [unzip](const std::wstring& archive, std::vector<std::wstring>& files,
                          const std::wstring& folder) {
        return scup::UnzipPackage(unzip, archive, files, folder);
    };
    return owner;
}

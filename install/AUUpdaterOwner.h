#pragma once
// What the file updater borrows from the application object that creates it on the update
// thread: the server exchanges, the local data, the language settings, the download folder and
// the package-file operations (unzip, temporary folders, folder removal) that live with the
// application.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class CAUServerData;
class CAULocalData;

struct SAUUpdaterOwner {
    CAUServerData* pServerData = nullptr;
    CAULocalData* pLocalData = nullptr;
    // User-interface language (message texts, right-to-left boxes) and the locale of the check.
    LANGID nLanguage = 1033;
    LCID nLCID = 0;
    bool bEditorMode = false;
    // "...\DownloadedFiles" of the data folder.
    std::wstring strDownloadFolder;
    // 1 on success, with the names of the extracted files.
    std::function<int(const std::wstring& archive, std::vector<std::wstring>& files,
                      const std::wstring& folder)>
        unzip;
};

#pragma once
// What the update server answers about the updater itself and about the description package of
// one offered package.

#include <string>

// The newer updater that the notice answer names.
struct SAUUpgraderInfo {
    int nFileSize = 0;
    std::wstring strNewVersion;
    std::wstring strDisplayVersion;
    std::wstring strDownloadURL;
    std::wstring strCheckSum;
};

// Where the description package of one package lies. A non-zero version check value means that
// the server has nothing newer for the installed version.
struct SAUFileUpdateInfo {
    int nVersionCheck = 0;
    std::wstring strId;
    std::wstring strPath;
};

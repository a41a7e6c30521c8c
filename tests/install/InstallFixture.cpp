#include "InstallFixture.h"

#include <windows.h>

#include <fstream>
#include <sstream>

#include "ZipWriter.h"
#include "common/AUXMLParser.h"
#include "common/AppFiles.h"
#include "common/Handles.h"
#include "common/Profile.h"
#include "install/PackageFiles.h"
#include "local/AUHistoryLog.h"
#include "server/AUHttpConnection.h"

namespace testing_support {

std::string DescriptionPackage(const std::string& type, const std::string& title, const std::string& dataName,
                               const std::string& version) {
    const std::string data = "<?xml version=\"1.0\"?><ScriboUpdater><Type>" + type + "</Type><Title>" +
                             title + "</Title><Version>" + version +
                             "</Version><Size>1 KB</Size><URL></URL>"
                             "<Thumbnail></Thumbnail><Description>Test</Description></ScriboUpdater>";
    return ZipWriter().Stored("thumb.png", "png").Stored(dataName, data).Bytes();
}

std::string FileUpdateAnswer(const std::string& id, const std::string& path, int versionCheck) {
    return "<?xml version=\"1.0\"?><ResponseInfo><FirmUpdateInfo><VersionCheck>" +
           std::to_string(versionCheck) + "</VersionCheck><Firm><Category>PCS</Category><Id>" + id +
           "</Id><Version>9.9</Version><Path>" + path + "</Path></Firm></FirmUpdateInfo></ResponseInfo>";
}

std::string EmptyFileUpdateAnswer() { return "<?xml version=\"1.0\"?><ResponseInfo></ResponseInfo>"; }

std::string RequestedId(const HttpRequestSeen& request) {
    if (request.method != "POST") return {};
    const size_t start = request.body.find("<Id>");
    const size_t end = request.body.find("</Id>");
    if (start == std::string::npos || end == std::string::npos || end < start) return {};
    return request.body.substr(start + 4, end - start - 4);
}

SAUExtFirmInfo Entry(int sequence, const std::wstring& id, const std::wstring& spec,
                     const std::wstring& installed, const std::wstring& category) {
    SAUExtFirmInfo entry;
    entry.nSequence = sequence;
    entry.strName = L"Corvane SC-200";
    entry.strId = id;
    entry.strSpec = spec;
    entry.strInstalledVersion = installed;
    entry.strCategory = category;
    return entry;
}

std::wstring EntryKey(const SAUExtFirmInfo& entry) { return entry.strId + L"_" + entry.strSpec; }

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    scup::UniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(find.get(), &found));
    return names;
}

std::vector<std::wstring> FilesBelow(const std::wstring& folder) {
    std::vector<std::wstring> paths;
    WIN32_FIND_DATAW found{};
    scup::UniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find) return paths;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            for (const std::wstring& inner : FilesBelow(folder + L"\\" + name))
                paths.push_back(name + L"\\" + inner);
        } else {
            paths.push_back(name);
        }
    } while (FindNextFileW(find.get(), &found));
    return paths;
}

std::string ReadBinaryFile(const std::wstring& path) {
    scup::UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return {};
    std::string content;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        content.append(buffer, read);
    return content;
}

namespace {

const wchar_t* const kProductKeys[] = {
    L"SOFTWARE\\Corvane Industries, Ltd.\\Scribo Editor",
    L"SOFTWARE\\Corvane Industries, Ltd.\\Scribo Address Book",
    L"SOFTWARE\\Corvane Industries, Ltd.\\WireMarker",
    L"SOFTWARE\\Corvane Industries, Ltd.\\Fieldlabel Printer\\Device Setup Tool",
    L"SOFTWARE\\Corvane Industries, Ltd.\\Scribo Editor Template",
    L"Software\\Microsoft\\Office\\Word\\Addins\\ScriboAddin50.ComAddinWord",
    L"Software\\Microsoft\\Office\\Excel\\Addins\\ScriboAddin50.ComAddinExcel",
    L"Software\\Microsoft\\Office\\Outlook\\Addins\\ScriboAddin50.ComAddin",
};

// RegDeleteTree cannot be told the registry view, so the tree is taken down key by key.
void DeleteTreeInView(const std::wstring& path, REGSAM view) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return;
    std::vector<std::wstring> children;
    {
        scup::UniqueRegKey key(opened);
        wchar_t name[256];
        for (DWORD index = 0;; ++index) {
            DWORD length = 256;
            if (RegEnumKeyExW(opened, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            children.push_back(name);
        }
    }
    for (const std::wstring& child : children) DeleteTreeInView(path + L"\\" + child, view);
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), view, 0);
}

}  // namespace

void RemoveProductKeys() {
    for (const wchar_t* path : kProductKeys)
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) DeleteTreeInView(path, view);
}

void CreateMachineKey(const std::wstring& key) {
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(created);
}

void SetMachineText(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    scup::UniqueRegKey owner(created);
    RegSetValueExW(created, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void InstallFixture::SetUp() {
    RemoveProductKeys();
    scratch_ = MakeScratchFolder(L"install");
    dataFolder_ = scratch_ + L"\\data";
    downloadFolder_ = dataFolder_ + L"\\DownloadedFiles";
    CAUXMLParser::SetDataFolderSource([this] { return dataFolder_ + L"\\"; });
    localData_.Initialize();
    unzip_ = std::make_unique<CUnzipHolder>(BinFolder());
    owner_.pLocalData = &localData_;
    owner_.nLanguage = 1033;
    owner_.nLCID = 1033;
    owner_.strDownloadFolder = downloadFolder_;
    const CUnzipHolder* unzip = unzip_.get();
    owner_.unzip = [unzip](const std::wstring& archive, std::vector<std::wstring>& files,
                           const std::wstring& folder) {
        return scup::UnzipPackage(unzip, archive, files, folder);
    };
    messages_ = std::make_unique<MessageBoxCapture>(IDOK);
    trusted_ = std::make_unique<TrustedForTest>(signer_);
    CloseHistoryLog();
    CAUXMLParser::ReleaseHistoryDocument();
    InitHistoryLog();
    HANDLE cancel = CreateEventW(nullptr, FALSE, FALSE, L"CANCEL_EVENT");
    ResetEvent(cancel);
    CloseHandle(cancel);
}

void InstallFixture::TearDown() {
    messages_.reset();
    serverData_.reset();
    server_.reset();
    trusted_.reset();
    for (const wchar_t* name : {L"VersionCheckURL", L"NoticeURL", L"FileUpdateURL"})
        scup::WriteProfileText(L"Settings", name, L"");
    CAUHttpConnection::CloseSharedSession();
    CloseHistoryLog();
    CAUXMLParser::ReleaseHistoryDocument();
    CAUXMLParser::SetDataFolderSource({});
    RemoveProductKeys();
    scup::RemoveFolder(scratch_);
}

void InstallFixture::StartServer(ScriptedHttpServer::Handler handler) {
    const auto signing = [this, handler](const HttpRequestSeen& request) {
        const std::string suffix = ".sig";
        const bool statement =
            request.method == "GET" && request.target.size() > suffix.size() &&
            request.target.compare(request.target.size() - suffix.size(), suffix.size(), suffix) == 0;
        if (!statement) return handler(request);
        HttpAnswer refused;
        refused.status = 404;
        if (!signFiles_) return refused;
        HttpRequestSeen file = request;
        file.target.resize(file.target.size() - suffix.size());
        const HttpAnswer served = handler(file);
        if (served.status != 200 || served.hang) return refused;
        const size_t slash = file.target.find_last_of('/');
        const std::string name = file.target.substr(slash == std::string::npos ? 0 : slash + 1);
        const bool firmware = name.rfind("FP-", 0) == 0 || name.rfind("FC-", 0) == 0;
        HttpAnswer answer;
        answer.body =
            signer_.StatementFor(file.target, served.body, OfferedVersion(name.substr(0, name.find('_'))),
                                 firmware ? "Corvane SC-200" : "");
        return answer;
    };
    server_ = std::make_unique<ScriptedHttpServer>(signing);
    UseServer(server_->Url(L""));
}

void InstallFixture::UseServer(const std::wstring& base) {
    scup::WriteProfileText(L"Settings", L"VersionCheckURL", base + L"/scupdater/versioncheck");
    scup::WriteProfileText(L"Settings", L"NoticeURL", base + L"/scupdater/notice");
    scup::WriteProfileText(L"Settings", L"FileUpdateURL", base + L"/scupdater/fileupdate");
    serverData_ = std::make_unique<CAUServerData>();
    serverData_->SetConfiguration(&localData_);
    ASSERT_EQ(serverData_->Initialize(), ServerResult::Success);
    owner_.pServerData = serverData_.get();
}

void InstallFixture::OfferVersion(const std::string& code, const std::string& version) {
    std::lock_guard lock(versionsMutex_);
    versions_[code] = version;
}

std::string InstallFixture::OfferedVersion(const std::string& code) const {
    std::lock_guard lock(versionsMutex_);
    const auto found = versions_.find(code);
    return found == versions_.end() ? "1.0" : found->second;
}

std::unique_ptr<CAUFileUpdater> InstallFixture::MakeUpdater() {
    return std::make_unique<CAUFileUpdater>(&owner_);
}

}  // namespace testing_support

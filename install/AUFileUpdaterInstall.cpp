// The second stage of an install run: the application installers, their command lines and the
// check that the new version arrived; and the firmware branch.

#include "AUFileUpdater.h"

#include <windows.h>
// After windows.h, which they build on.
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <memory>

#include "DottedVersion.h"
#include "FirmTransfer.h"
#include "InstallDialogs.h"
#include "TemporaryFolder.h"
#include "common/AppFiles.h"
#include "common/Format.h"
#include "common/Handles.h"
#include "common/KeepAwake.h"
#include "common/LangResources.h"
#include "common/Trace.h"
#include "local/AUHistoryLog.h"
#include "local/AULocalData.h"
#include "local/InstalledTemplates.h"
#include "local/MakerApplications.h"
#include "res/firmware_ids.h"
#include "res/install_ids.h"

using scup::AUTrace;
using scup::FileExists;
using scup::FormatText;

namespace {

constexpr DWORD kSettleMs = 500;

std::wstring ReadText(HKEY key, const wchar_t* name, DWORD maxBytes) {
    std::vector<wchar_t> buffer(maxBytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = maxBytes;
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    return buffer.data();
}

std::wstring SpecialFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return path;
}

std::wstring ShortcutLetters(const std::wstring& shortcut) {
    std::wstring letters;
    const std::wstring desktop = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
    if (!desktop.empty() && FileExists(desktop + L"\\" + shortcut)) letters += L"d";
    const std::wstring appData = SpecialFolder(CSIDL_APPDATA);
    if (!appData.empty() &&
        FileExists(FormatText(L"%s\\Microsoft\\Internet Explorer\\Quick Launch\\", appData.c_str()) +
                   shortcut))
        letters += L"q";
    return letters;
}

// " /addin'...'" with the letters of the Office add-ins of the editor that are registered.
std::wstring AddinSwitch() {
    static constexpr struct {
        const wchar_t* key;
        const wchar_t* letter;
    } kAddins[] = {
        {L"Software\\Microsoft\\Office\\Word\\Addins\\ScriboAddin50.ComAddinWord", L"w"},
        {L"Software\\Microsoft\\Office\\Excel\\Addins\\ScriboAddin50.ComAddinExcel", L"e"},
        {L"Software\\Microsoft\\Office\\Outlook\\Addins\\ScriboAddin50.ComAddin", L"o"},
    };
    std::wstring letters;
    for (const auto& addin : kAddins)
        if (scup::OpenMakerKey(HKEY_LOCAL_MACHINE, addin.key, KEY_QUERY_VALUE)) letters += addin.letter;
    return letters.empty() ? std::wstring() : L" /addin'" + letters + L"'";
}

// The installers take a value between two "'" with no way to escape one inside: a value that holds
// one (or a control character) would end early and break the rest of the command line, so it goes
// as a blank, as a value the PC does not have.
std::wstring QuotableValue(const std::wstring& value, const wchar_t* name, const wchar_t* blank = L"") {
    const bool unsafe =
        std::any_of(value.begin(), value.end(), [](wchar_t c) { return c == L'\'' || c < 0x20; });
    if (!unsafe) return value;
    AUTrace(L"The %s holds a character the installer's command line cannot carry; it is left out.", name);
    return blank;
}

}  // namespace

std::wstring CAUFileUpdater::BuildSilentSwitches(const std::wstring& key, const std::wstring& folder,
                                                 const std::wstring& shortcut) {
    scup::UniqueRegKey settings = scup::OpenMakerKey(HKEY_LOCAL_MACHINE, key);
    if (!settings) return L"/s /a /silent";
    std::wstring installPath = ReadText(settings.get(), L"ApplicationPath", 512);
    // "...\Corvane\Scedit50\" gives "...\Corvane": the installer adds its own folder again.
    const size_t own = installPath.find(L"\\" + folder + L"\\", 1);
    if (own != std::wstring::npos) installPath.resize(own);
    installPath = QuotableValue(installPath, L"installation folder", L" ");
    std::wstring company = QuotableValue(ReadText(settings.get(), L"CompanyName", 96), L"company name");
    const std::wstring user = QuotableValue(ReadText(settings.get(), L"UserName", 96), L"user name");
    settings.reset();

    std::wstring letters = ShortcutLetters(shortcut);
    if (letters.empty()) letters = L" ";
    if (company.empty()) company = L" ";
    if (!user.empty())
        return FormatText(L"/s /a /silent /user'%s' /cmpy'%s' /ipath'%s' /shct'%s'", user.c_str(),
                          company.c_str(), installPath.c_str(), letters.c_str());
    return FormatText(L"/s /a /silent /cmpy'%s' /ipath'%s' /shct'%s'", company.c_str(), installPath.c_str(),
                      letters.c_str());
}

std::wstring CAUFileUpdater::PackageExtension(const SAUExtFirmInfo& entry) {
    if (entry.strCategory == kFirmwareCategory) return L"pdz";
    return scup::FindMakerApplication(entry.strId) ? L"exe" : L"msi";
}

bool CAUFileUpdater::IsProgramRunning(const std::wstring& executable) {
    scup::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return false;
    PROCESSENTRY32W process{};
    process.dwSize = sizeof(process);
    for (BOOL more = Process32FirstW(snapshot.get(), &process); more;
         more = Process32NextW(snapshot.get(), &process))
        if (CompareStringOrdinal(process.szExeFile, -1, executable.c_str(), -1, TRUE) == CSTR_EQUAL)
            return true;
    return false;
}

bool CAUFileUpdater::IsApplicationRunning(const std::wstring& code) {
    const scup::SMakerApplication* installer = scup::FindMakerApplication(code);
    if (!installer) return false;
    for (const wchar_t* executable : installer->running)
        if (executable && IsProgramRunning(executable)) return true;
    return false;
}

int CAUFileUpdater::GetInstallCommand(const SAUItemRecord& item, std::wstring& path, std::wstring& parameters,
                                      bool& elevate) {
    scup::TraceScope scope(L"CAUFileUpdater::GetInstallCommand()");
    elevate = false;
    const scup::SMakerApplication* installer = scup::FindMakerApplication(item.info.strId);
    if (!installer) {
        parameters = FormatText(L"/qn /i \"%s\"", path.c_str());
        path = L"msiexec.exe";
        elevate = true;
        return 0;
    }

    switch (installer->kind) {
        case scup::InstallerKind::Editor50:
            parameters = BuildSilentSwitches(scup::MakerKey(installer->product), installer->folder,
                                             installer->shortcut) +
                         AddinSwitch() + L" /qn";
            break;
        case scup::InstallerKind::Editor5x:
            parameters = BuildSilentSwitches(scup::MakerKey(installer->product), installer->folder,
                                             installer->shortcut);
            if (!CAULocalData::IsPackageInstalled(installer->code)) parameters += L" /eula";
            parameters += L" /usage" + AddinSwitch() + L" /qn";
            break;
        case scup::InstallerKind::AddressBook:
            parameters = BuildSilentSwitches(scup::MakerKey(installer->product), installer->folder,
                                             installer->shortcut) +
                         L" /qn";
            break;
        case scup::InstallerKind::DeviceSetup:
            parameters = L"/s /a /silent /qn";
            break;
        case scup::InstallerKind::WireMarker:
            parameters = BuildSilentSwitches(scup::MakerKey(installer->product), installer->folder,
                                             installer->shortcut) +
                         L" /usage /qn";
            break;
    }
    AUTrace(L"Install parameters : %s", parameters.c_str());

    for (const wchar_t* executable : installer->running) {
        if (!executable || !IsProgramRunning(executable)) continue;
        AUTrace(L"Failed: %s is running; the update is not installed.", executable);
        const std::wstring name = installer->displayName ? installer->displayName : item.strTitle;
        ShowMessage(IDS_MSG_APP_RUNNING, MB_ICONERROR, name);
        return 1;
    }
    return 0;
}

bool CAUFileUpdater::VerifyInstalled(const SAUItemRecord& item) const {
    const SAUExtFirmInfo& info = item.info;
    if (scup::FindMakerApplication(info.strId)) {
        std::wstring installed;
        CAULocalData::GetInstalledPackageVersion(info.strId, installed);
        AUTrace(L"Installed version of %s : %s", info.strId.c_str(), installed.c_str());
        // Compared as dotted numbers alone: "2.0" is a version, and "10.0" is newer than "9.0".
        return !installed.empty() && scup::CompareDottedVersions(installed, info.strInstalledVersion) > 0;
    }
    const std::wstring language = info.strSpec.substr(0, 3);
    for (const SInstalledTemplate& installed : ListInstalledTemplates())
        if (installed.strId == info.strId && installed.strLanguage == language &&
            !installed.strPackageVersion.empty() &&
            scup::CompareDottedVersions(installed.strPackageVersion, info.strInstalledVersion) > 0)
            return true;
    return false;
}

int CAUFileUpdater::CallCorvaneApp(std::wstring path, const SAUItemRecord& item) {
    scup::TraceScope scope(L"CAUFileUpdater::CallCorvaneApp()");
    int result = 1;
    std::wstring parameters;
    bool elevate = false;
    if (GetInstallCommand(item, path, parameters, elevate) != 0) return result;

    SHELLEXECUTEINFOW launch{};
    launch.cbSize = sizeof(launch);
    launch.fMask = SEE_MASK_NOCLOSEPROCESS;
    launch.lpVerb = elevate ? L"runas" : nullptr;
    launch.lpFile = path.c_str();
    launch.lpParameters = parameters.c_str();
    launch.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&launch) && launch.hProcess) {
        scup::UniqueHandle process(launch.hProcess);
        const SInstallDialogs dialogs = InstallDialogs();
        if (dialogs.waitForInstaller) {
            const std::wstring note =
                scup::FillPlaceholders(scup::LoadLangString(IDS_MSG_INSTALLING, Language()), {item.strTitle});
            dialogs.waitForInstaller(Language(), note, item.bRightToLeft != 0, process.get());
        } else {
            WaitForSingleObject(process.get(), INFINITE);
        }
        DWORD exitCode = 0;
        GetExitCodeProcess(process.get(), &exitCode);
        AUTrace(L"Installer ended with code %lu.", exitCode);
        process.reset();
        Sleep(kSettleMs);
        if (VerifyInstalled(item)) {
            result = 0;
            AddHistoryRecord(kSoftwareCategory, item.strTitle, item.strVersion, item.info.strName,
                             FormatText(L"%d", static_cast<int>(m_pManager->nLCID)), item.info.strId,
                             item.info.strSpec, item.info.strInstalledVersion);
        }
    } else {
        AUTrace(L"Failed: ShellExecuteEx() of %s failed with Error Code : %lu.", path.c_str(),
                GetLastError());
    }
    if (result != 0) ShowMessage(IDS_MSG_INSTALL_FAILED, MB_ICONERROR, item.strTitle);
    return result;
}

int CAUFileUpdater::InstallApplications(const SInstallLists& lists) {
    bool anyFailed = false;
    for (size_t i = 0; i < lists.paths.size(); ++i)
        if (CallCorvaneApp(lists.paths[i], lists.items[i]) != 0) anyFailed = true;
    if (anyFailed) ShowMessage(IDS_MSG_SOME_UPDATES_FAILED, MB_ICONINFORMATION);
    return anyFailed ? 1 : 0;
}

InstallResult CAUFileUpdater::InstallFirmware(const std::wstring& printer, SInstallLists& lists) {
    std::vector<std::unique_ptr<scup::CTemporaryFolder>> folders;
    std::vector<std::wstring> files, installNames;
    std::vector<const SAUItemRecord*> items;
    bool wholeSet = true;
    for (size_t i = 0; i < lists.paths.size() && wholeSet; ++i) {
        folders.push_back(std::make_unique<scup::CTemporaryFolder>());
        const std::wstring& folder = folders.back()->Path();
        std::vector<std::wstring> extracted;
        const bool unpacked =
            !folder.empty() && m_pManager->unzip && m_pManager->unzip(lists.paths[i], extracted, folder) == 1;
        // A printer never gets part of its set: a package that cannot be unpacked, or holds no
        // file, holds back the rest as a download that failed does.
        if (!unpacked || extracted.empty()) {
            ShowMessage(IDS_MSG_UNZIP_FAILED, MB_ICONERROR, scup::FileNameOf(lists.paths[i]));
            wholeSet = false;
            continue;
        }
        files.push_back(folder + L"\\" + extracted.front());
        installNames.push_back(lists.installNames[i]);
        items.push_back(&lists.items[i]);
    }

    int transferred = kFirmTransferNothingSent;
    if (wholeSet) {
        scup::CKeepAwake awake(m_bKeepAwake);
        transferred = TransferFirmware(printer, installNames, files, &items);
    }
    return transferred == kFirmTransferNothingSent ? InstallResult::NothingDone : InstallResult::Done;
}

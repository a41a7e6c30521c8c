// Shows one of the program's dialogs modally, in a given language and with sample values, so that
// dialogs the program opens only deep inside its flow can be looked at and photographed.
//   show_dialog LANGUAGE DIALOG
//   LANGUAGE: en, ja, ar or a language id such as 1041
//   DIALOG:   proxy-settings, proxy-user, history, firmware-confirm, firmware-progress,
//             device-progress, self-update, updater-software, updater-firmware or region-menu
// It reads ScUpRes.dll beside itself and never writes the user's configuration: it has no data
// folder, so OK in the proxy settings shows the message for settings that could not be saved.
// The history dialog reads a sample history file from a temporary folder of its own, which is
// removed again when the dialog closes. The firmware progress shows a transfer that stands at
// 42 % until Cancel; the device progress, which has no buttons, closes itself after 6 seconds.
// The main updater dialog shows sample updates read from sample description packages in a
// temporary folder of its own; region-menu opens its region menu and closes itself after 6 seconds.
// Prints the dialog's result; exits 0 when the dialog was shown, 1 when it could not be, 2 for a
// malformed call.

#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <thread>

#include "../unit/ZipWriter.h"
#include "app/ScUpdaterApp.h"
#include "common/AUXMLParser.h"
#include "common/Handles.h"
#include "common/Resources.h"
#include "local/AUConfigXML.h"
#include "local/AUHistoryLog.h"
#include "ui/DevProgDlg.h"
#include "ui/FirmUpDialog.h"
#include "ui/HistoryDialog.h"
#include "ui/InstallDialogs.h"
#include "ui/ProxySettingDlg.h"
#include "ui/ProxyUserDlg.h"
#include "ui/SelfUpdateDialog.h"
#include "ui/TrProgressDlg.h"
#include "ui/UpdaterDialog.h"

namespace {

constexpr int kShown = 0;
constexpr int kNotShown = 1;
constexpr int kUsage = 2;

const wchar_t kSampleConfig[] =
    L"<Config><ProxyInfo><ProxyServer>proxy.corvane-industries.example:8080</ProxyServer>"
    L"<ProxyUser>jsmith</ProxyUser><ProxyPwd></ProxyPwd><ProxyUse>true</ProxyUse></ProxyInfo></Config>";

// Completed updates of the PC software, in three languages.
const char kSampleHistory[] =
    "<?xml version=\"1.0\"?>\r\n<Log>"
    "<Info><Category>PCS</Category><Title>Scribo Editor 5.2</Title><Version>5.2.1</Version>"
    "<Date>2026/03/14 09:12:40</Date><Printer>Corvane SC-200</Printer><Language>1041</Language>"
    "<FirmName>PP-SCEDIT52</FirmName><FirmSpec>JPN_JPN</FirmSpec><FirmVersion>5.2.1</FirmVersion></Info>"
    "<Info><Category>PCS</Category><Title>Scribo Address Book 1.3</Title><Version>1.3.10</Version>"
    "<Date>2026/05/02 17:45:03</Date><Printer>Corvane SC-200</Printer><Language>1033</Language>"
    "<FirmName>PP-CONTACT13</FirmName><FirmSpec>ENU_USA</FirmSpec><FirmVersion>1.3.10</FirmVersion></Info>"
    "<Info><Category>PCS</Category><Title>Label Templates</Title><Version>1.3.9</Version>"
    "<Date>2026/11/28 08:00:00</Date><Printer>Corvane SC-300</Printer><Language>1025</Language>"
    "<FirmName>PS-OFFICE</FirmName><FirmSpec>ARA_SAU</FirmSpec><FirmVersion>1.3.9</FirmVersion></Info>"
    "</Log>";

std::optional<LANGID> ParseLanguage(const std::wstring& text) {
    if (text == L"en") return LANGID{1033};
    if (text == L"ja") return LANGID{1041};
    if (text == L"ar") return LANGID{1025};
    if (text.empty() || text.find_first_not_of(L"0123456789") != std::wstring::npos || text.size() > 5)
        return std::nullopt;
    const unsigned long value = std::wcstoul(text.c_str(), nullptr, 10);
    if (value == 0 || value > 0xFFFF) return std::nullopt;
    return static_cast<LANGID>(value);
}

std::wstring OwnFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    const size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

INT_PTR ShowProxySettings(LANGID language) {
    CAUConfigXML config;
    if (config.LoadXML(kSampleConfig) != CAUXMLParser::kSuccess) {
        fwprintf(stderr, L"the sample configuration could not be made\n");
        return -1;
    }
    scup::CProxySettingDlg dialog(language, config);
    return dialog.DoModal();
}

INT_PTR ShowProxyUser(LANGID language) {
    scup::CProxyUserDlg dialog(language);
    dialog.Preset(L"jsmith", L"sample-password");
    const INT_PTR result = dialog.DoModal();
    if (result == IDOK) wprintf(L"user \"%ls\" save %d\n", dialog.User().c_str(), dialog.SaveCredentials());
    return result;
}

bool WriteSampleHistory(const std::wstring& path) {
    scup::UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    const DWORD size = sizeof(kSampleHistory) - 1;
    return file && WriteFile(file.get(), kSampleHistory, size, &written, nullptr) && written == size;
}

INT_PTR ShowHistory(LANGID language) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"scup-show-history-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    const std::wstring file = folder + kHistoryFileName;
    CreateDirectoryW(folder.c_str(), nullptr);
    INT_PTR result = -1;
    if (WriteSampleHistory(file)) {
        CAUXMLParser::SetDataFolderSource([folder] { return folder; });
        InitHistoryLog();
        scup::CHistoryDialog dialog(language);
        dialog.SetCategory(L"PCS");
        result = dialog.DoModal();
        CloseHistoryLog();
        CAUXMLParser::ReleaseHistoryDocument();
        CAUXMLParser::SetDataFolderSource({});
    } else {
        fwprintf(stderr, L"the sample history could not be written to %ls\n", file.c_str());
    }
    DeleteFileW(file.c_str());
    RemoveDirectoryW(folder.c_str());
    return result;
}

INT_PTR ShowFirmwareConfirm(LANGID language) {
    scup::CFirmUpDialog dialog(language);
    return dialog.DoModal();
}

INT_PTR ShowSelfUpdate(LANGID language) {
    scup::CSelfUpdateDialog dialog(language);
    return dialog.DoModal();
}

// A transfer that stands at 42 % of its one file until the user cancels it.
INT_PTR ShowFirmwareProgress(LANGID language) {
    constexpr std::uint32_t kSampleFirmwareSize = 2 * 1024 * 1024;
    scup::CTrProgressDlg dialog(language, nullptr);
    scup::STrProgressState& state = scup::CTrProgressDlg::State();
    state.totalWeight = kSampleFirmwareSize;
    dialog.SetWork([&state] {
        state.SetCurrentName(L"Printer firmware 2.00");
        state.currentShare = kSampleFirmwareSize;
        state.cancelEnabled = 1;
        while (scup::CTrProgressDlg::Progress(42) != 0) Sleep(50);
    });
    return dialog.DoModal();
}

// The device dialog has no buttons: it goes by itself, as it does once the printer has stored
// its firmware.
INT_PTR ShowDeviceProgress(LANGID language) {
    constexpr ULONGLONG kShownMs = 6000;
    scup::CDevProgDlg dialog(language);
    if (!dialog.Create()) return -1;
    HWND hwnd = dialog.GetSafeHwnd();
    ShowWindow(hwnd, SW_SHOW);
    const ULONGLONG until = GetTickCount64() + kShownMs;
    while (GetTickCount64() < until && IsWindow(hwnd)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (IsDialogMessageW(hwnd, &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return IDOK;
}

// Sample updates of one view, each with a description package in the language of the dialog.
struct SSampleUpdate {
    const wchar_t* id;
    const wchar_t* category;
    int newInstall;
    const char* title;
    const char* arabicTitle;
    const char* version;
    const char* size;
    const char* description;
    const char* arabicDescription;
};

const SSampleUpdate kSampleUpdates[] = {
    {L"FP-MAIN", L"FIRM", 0, "Printer firmware",
     "\xd8\xa7\xd9\x84\xd8\xa8\xd8\xb1\xd9\x86\xd8\xa7\xd9\x85\xd8\xac "
     "\xd8\xa7\xd9\x84\xd8\xab\xd8\xa7\xd8\xa8\xd8\xaa "
     "\xd9\x84\xd9\x84\xd8\xb7\xd8\xa7\xd8\xa8\xd8\xb9\xd8\xa9",
     "2.10", "1.2 MB", "Faster cutting and support for 62 mm continuous tape.",
     "\xd9\x82\xd8\xb5 \xd8\xa3\xd8\xb3\xd8\xb1\xd8\xb9 \xd9\x88\xd8\xaf\xd8\xb9\xd9\x85 "
     "\xd8\xb4\xd8\xb1\xd9\x8a\xd8\xb7 62 \xd9\x85\xd9\x85."},
    {L"FP-FONT", L"FIRM", 1, "(Asia) Printer fonts", "(Asia) Printer fonts", "1.04", "640 KB",
     "Fonts for labels in Asian languages.", "Fonts for labels in Asian languages."},
    {L"PP-SCEDIT50", L"PCS", 0, "Scribo Editor 5.2", "\xd9\x85\xd8\xad\xd8\xb1\xd8\xb1 Scribo 5.2", "5.2.1",
     "48 MB", "The label editor with new templates and barcode types.",
     "\xd9\x85\xd8\xad\xd8\xb1\xd8\xb1 \xd8\xa7\xd9\x84\xd9\x85\xd9\x84\xd8\xb5\xd9\x82\xd8\xa7\xd8\xaa."},
    {L"PP-CONTACT13", L"PCS", 1, "Scribo Address Book 1.3", "Scribo Address Book 1.3", "1.3.10", "12 MB",
     "Print address labels from your contacts.", "Print address labels from your contacts."},
    {L"PS-OFFICE", L"PCS", 0, "Label templates", "Label templates", "1.3.9", "3 MB",
     "Templates for office labels.", "Templates for office labels."},
};

std::string SampleDescription(const SSampleUpdate& update, bool arabic) {
    return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?><ScriboUpdater><Title>") +
           (arabic ? update.arabicTitle : update.title) + "</Title><Version>" + update.version +
           "</Version><Size>" + update.size + "</Size><Description>" +
           (arabic ? update.arabicDescription : update.description) + "</Description></ScriboUpdater>";
}

RefinedList WriteSamplePackages(const std::wstring& folder) {
    RefinedList list;
    for (const SSampleUpdate& update : kSampleUpdates) {
        const std::wstring path = folder + update.id + L".zip";
        // Updates without Arabic texts have only the English description, as such packages do.
        testing_support::ZipWriter zip;
        zip.Deflated("data_ENG.xml", SampleDescription(update, false));
        if (std::string(update.title) != update.arabicTitle)
            zip.Deflated("data_ARA.xml", SampleDescription(update, true));
        zip.WriteTo(path);
        SAUExtFirmInfo info;
        info.strId = update.id;
        info.strName = update.id;
        info.strCategory = update.category;
        info.strFilePath = path;
        info.nNewInstall = update.newInstall;
        list[L"Corvane SC-200"][std::wstring(update.id) + L"_ENU_USA"] = info;
    }
    return list;
}

// The region menu's mnemonic: the character after "&" in its title.
wchar_t RegionMenuKey(HWND dialog) {
    wchar_t title[64] = {};
    GetMenuStringW(GetMenu(dialog), 2, title, 64, MF_BYPOSITION);
    const wchar_t* amp = wcschr(title, L'&');
    return amp && amp[1] ? amp[1] : L'r';
}

INT_PTR ShowUpdater(LANGID language, UpdateView view, bool openRegionMenu) {
    constexpr DWORD kMenuShownMs = 6000;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"scup-show-updater-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    const RefinedList list = WriteSamplePackages(folder);
    CUnzipHolder unzip(OwnFolder());
    const LCID locale = language == 1025 ? 1025 : 1033;
    CUpdaterDialog dialog(language, L"Corvane SC-200", locale);
    dialog.SetPrinters({L"Corvane SC-200", L"Corvane SC-300"});
    dialog.SetUnzip(&unzip);
    dialog.SetLinkOpener([](HWND, const std::wstring&) {});
    std::thread feeder([&] {
        HWND hwnd = nullptr;
        for (int i = 0; i < 500 && !hwnd; ++i, Sleep(20)) hwnd = dialog.GetSafeHwnd();
        if (!hwnd) return;
        SYSTEMTIME now{};
        GetLocalTime(&now);
        dialog.SetUpdates(list, now);
        if (!openRegionMenu) return;
        Sleep(500);
        PostMessageW(hwnd, WM_SYSCOMMAND, SC_KEYMENU, RegionMenuKey(hwnd));
        Sleep(kMenuShownMs);
        // The menu loop runs on the dialog's thread: cancelling the mode there ends it.
        SendMessageW(hwnd, WM_CANCELMODE, 0, 0);
        PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
    });
    const INT_PTR result = dialog.Run(view);
    feeder.join();
    for (const SSampleUpdate& update : kSampleUpdates) DeleteFileW((folder + update.id + L".zip").c_str());
    RemoveDirectoryW(folder.c_str());
    return result;
}

void PrintUsage() {
    fwprintf(stderr,
             L"usage: show_dialog en|ja|ar|LANGID proxy-settings|proxy-user|history|firmware-confirm|"
             L"firmware-progress|device-progress|self-update|updater-software|updater-firmware|region-menu\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        PrintUsage();
        return kUsage;
    }
    const auto language = ParseLanguage(argv[1]);
    const std::wstring name = argv[2];
    const bool known = name == L"proxy-settings" || name == L"proxy-user" || name == L"history" ||
                       name == L"firmware-confirm" || name == L"firmware-progress" ||
                       name == L"device-progress" || name == L"self-update" || name == L"updater-software" ||
                       name == L"updater-firmware" || name == L"region-menu";
    if (!language || !known) {
        PrintUsage();
        return kUsage;
    }

    const std::wstring library = OwnFolder() + L"ScUpRes.dll";
    scup::UniqueModule resources(LoadLibraryW(library.c_str()));
    if (!resources) {
        fwprintf(stderr, L"%ls could not be loaded (error %lu)\n", library.c_str(), GetLastError());
        return kNotShown;
    }
    scup::SetResourceModule(resources.get());
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    scup::ComInit com;
    // A transfer from the updater dialog shows the dialogs the application gives it.
    SetInstallDialogs(scup::StandardInstallDialogs());

    INT_PTR result = -1;
    if (name == L"proxy-settings")
        result = ShowProxySettings(*language);
    else if (name == L"proxy-user")
        result = ShowProxyUser(*language);
    else if (name == L"history")
        result = ShowHistory(*language);
    else if (name == L"firmware-confirm")
        result = ShowFirmwareConfirm(*language);
    else if (name == L"firmware-progress")
        result = ShowFirmwareProgress(*language);
    else if (name == L"self-update")
        result = ShowSelfUpdate(*language);
    else if (name == L"updater-software")
        result = ShowUpdater(*language, UpdateView::Software, false);
    else if (name == L"updater-firmware")
        result = ShowUpdater(*language, UpdateView::Firmware, false);
    else if (name == L"region-menu")
        result = ShowUpdater(*language, UpdateView::Software, true);
    else
        result = ShowDeviceProgress(*language);
    scup::SetResourceModule(nullptr);
    if (result == -1) {
        fwprintf(stderr, L"the %ls dialog could not be shown (error %lu)\n", name.c_str(), GetLastError());
        return kNotShown;
    }
    wprintf(L"result %d\n", static_cast<int>(result));
    return kShown;
}

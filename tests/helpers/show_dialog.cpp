// Shows one of the program's dialogs modally, in a given language and with sample values, so that
// dialogs the program opens only deep inside its flow can be looked at and photographed.
//   show_dialog LANGUAGE DIALOG
//   LANGUAGE: en, ja, ar or a language id such as 1041
//   DIALOG:   proxy-settings or proxy-user
// It reads ScUpRes.dll beside itself and never writes the user's configuration: it has no data
// folder, so OK in the proxy settings shows the message for settings that could not be saved.
// Prints the dialog's result; exits 0 when the dialog was shown, 1 when it could not be, 2 for a
// malformed call.

#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>

#include "common/Handles.h"
#include "common/Resources.h"
#include "local/AUConfigXML.h"
#include "ui/ProxySettingDlg.h"
#include "ui/ProxyUserDlg.h"

namespace {

constexpr int kShown = 0;
constexpr int kNotShown = 1;
constexpr int kUsage = 2;

const wchar_t kSampleConfig[] =
    L"<Config><ProxyInfo><ProxyServer>proxy.corvane-industries.example:8080</ProxyServer>"
    L"<ProxyUser>jsmith</ProxyUser><ProxyPwd></ProxyPwd><ProxyUse>true</ProxyUse></ProxyInfo></Config>";

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

void PrintUsage() { fwprintf(stderr, L"usage: show_dialog en|ja|ar|LANGID proxy-settings|proxy-user\n"); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        PrintUsage();
        return kUsage;
    }
    const auto language = ParseLanguage(argv[1]);
    const std::wstring name = argv[2];
    if (!language || (name != L"proxy-settings" && name != L"proxy-user")) {
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

    const INT_PTR result =
        name == L"proxy-settings" ? ShowProxySettings(*language) : ShowProxyUser(*language);
    scup::SetResourceModule(nullptr);
    if (result == -1) {
        fwprintf(stderr, L"the %ls dialog could not be shown (error %lu)\n", name.c_str(), GetLastError());
        return kNotShown;
    }
    wprintf(L"result %d\n", static_cast<int>(result));
    return kShown;
}

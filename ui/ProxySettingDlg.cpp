#include "ProxySettingDlg.h"

#include <cwchar>
#include <new>

#include "common/Format.h"
#include "common/LangResources.h"
#include "local/AUConfigXML.h"
#include "res/resource_ids.h"

namespace scup {
namespace {

constexpr long kHighestPort = 65535;
// Five digits hold every port; longer input can only be a mistake.
constexpr WPARAM kPortDigits = 5;

// The n-th ":"-separated field of the text; empty when the text has fewer fields.
std::wstring ColonField(const std::wstring& text, size_t n) {
    size_t start = 0;
    for (size_t i = 0; i < n; ++i) {
        start = text.find(L':', start);
        if (start == std::wstring::npos) return {};
        ++start;
    }
    const size_t end = text.find(L':', start);
    return text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

// A host name reads left to right in every language; in a mirrored window the edit would lay
// its dot-separated parts out from the right and show them in reverse order.
void KeepLeftToRight(HWND edit) {
    const LONG exStyle = GetWindowLongW(edit, GWL_EXSTYLE);
    const LONG rightToLeft = WS_EX_LAYOUTRTL | WS_EX_RTLREADING | WS_EX_RIGHT | WS_EX_LEFTSCROLLBAR;
    if (exStyle & rightToLeft) SetWindowLongW(edit, GWL_EXSTYLE, exStyle & ~rightToLeft);
}

}  // namespace

CProxySettingDlg::CProxySettingDlg(LANGID language, CAUConfigXML& config, HWND parent)
    : CLangDialog(language, IDD_PROXY_SETTINGS, parent), m_config(config) {
    PrepareFromStoredRecord();
}

void CProxySettingDlg::PrepareFromStoredRecord() {
    // Without a stored record the dialog starts empty, with the proxy off.
    SAUProxyInfo record;
    m_config.GetProxyInfo(record);
    m_strHost = ColonField(record.strProxyServer, 0);
    m_nPort =
        static_cast<unsigned int>(std::wcstol(ColonField(record.strProxyServer, 1).c_str(), nullptr, 10));
    m_bUseProxy = record.bUseProxy;
}

BOOL CProxySettingDlg::OnInitDialog() {
    CLangDialog::OnInitDialog();
    HWND dialog = GetSafeHwnd();
    KeepLeftToRight(Item(IDC_PROXY_HOST));
    SendMessageW(Item(IDC_PROXY_PORT), EM_LIMITTEXT, kPortDigits, 0);
    SetDlgItemTextW(dialog, IDC_PROXY_HOST, m_strHost.c_str());
    // Port 0 stands for "no port": the edit stays empty so that the user is asked for one.
    const std::wstring port = m_nPort ? FormatText(L"%d", static_cast<int>(m_nPort)) : std::wstring();
    SetDlgItemTextW(dialog, IDC_PROXY_PORT, port.c_str());
    CheckDlgButton(dialog, IDC_PROXY_USE, m_bUseProxy ? BST_CHECKED : BST_UNCHECKED);
    ApplyCheckBoxRule();
    return TRUE;
}

bool CProxySettingDlg::OnCommand(UINT id, UINT code, HWND control) {
    if (id == IDC_PROXY_USE) {
        if (code == BN_CLICKED) ApplyCheckBoxRule();
        return true;
    }
    if (id == IDC_PROXY_HOST || id == IDC_PROXY_PORT) {
        if (code == EN_CHANGE) ApplyTextRule();
        return true;
    }
    return CLangDialog::OnCommand(id, code, control);
}

std::wstring CProxySettingDlg::ItemText(int id) const {
    HWND control = Item(id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool CProxySettingDlg::BothTextsGiven() const {
    return GetWindowTextLengthW(Item(IDC_PROXY_HOST)) > 0 && GetWindowTextLengthW(Item(IDC_PROXY_PORT)) > 0;
}

void CProxySettingDlg::ApplyCheckBoxRule() {
    const bool useProxy = IsDlgButtonChecked(GetSafeHwnd(), IDC_PROXY_USE) == BST_CHECKED;
    EnableWindow(Item(IDC_PROXY_HOST), useProxy);
    EnableWindow(Item(IDC_PROXY_PORT), useProxy);
    EnableWindow(Item(IDOK), !useProxy || BothTextsGiven());
}

void CProxySettingDlg::ApplyTextRule() { EnableWindow(Item(IDOK), BothTextsGiven()); }

void CProxySettingDlg::OnOK() {
    // Enter reaches here even while the OK button is disabled.
    if (!IsWindowEnabled(Item(IDOK))) return;
    try {
        const std::wstring host = ItemText(IDC_PROXY_HOST);
        std::wstring portText = ItemText(IDC_PROXY_PORT);
        if (portText.empty()) {
            portText = L"0";
            SetDlgItemTextW(GetSafeHwnd(), IDC_PROXY_PORT, portText.c_str());
        }
        const long port = std::wcstol(portText.c_str(), nullptr, 10);
        const int useProxy = IsDlgButtonChecked(GetSafeHwnd(), IDC_PROXY_USE) == BST_CHECKED ? 1 : 0;
        // The port only matters, and can only be corrected, while the proxy is switched on.
        if (useProxy && (port < 0 || port > kHighestPort)) {
            ShowLangMessage(GetSafeHwnd(), IDS_MSG_PROXY_PORT_RANGE, m_nLanguage, MB_ICONWARNING | MB_OK);
            SetFocus(Item(IDC_PROXY_PORT));
            SendMessageW(Item(IDC_PROXY_PORT), EM_SETSEL, 0, -1);
            return;
        }
        if (const int saved = SaveRecord(host, static_cast<unsigned int>(port), useProxy);
            saved != CAUXMLParser::kSuccess) {
            ShowLangMessage(GetSafeHwnd(),
                            saved == CAUConfigXML::kPasswordNotEnciphered ? IDS_MSG_PASSWORD_NOT_SAVED
                                                                          : IDS_MSG_PROXY_NOT_SAVED,
                            m_nLanguage, MB_ICONERROR | MB_OK);
            return;
        }
        m_strHost = host;
        m_nPort = static_cast<unsigned int>(port);
        m_bUseProxy = useProxy;
        EndDialog(IDOK);
    } catch (const std::bad_alloc&) {
        // Out of memory: nothing was saved, and the dialog stays as it is.
    }
}

int CProxySettingDlg::SaveRecord(const std::wstring& host, unsigned int port, int useProxy) {
    // Read afresh: the update thread may have stored credentials since the dialog opened.
    SAUProxyInfo record;
    m_config.GetProxyInfo(record);
    const std::wstring server = FormatText(L"%s:%d", host.c_str(), static_cast<int>(port));
    // A password belongs to the proxy it was given for.
    if (server != record.strProxyServer) record.strProxyPwd.clear();
    record.strProxyServer = server;
    record.bUseProxy = useProxy;
    return m_config.SetProxyInfo(record);
}

}  // namespace scup

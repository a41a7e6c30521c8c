#include "HttpSession.h"

#include <algorithm>

#include "common/Profile.h"
#include "common/Text.h"
#include "common/Trace.h"

using scup::AUTrace;

namespace scup::http {

namespace {

constexpr const wchar_t* kUserAgent = L"Scribo Update Software 1.0";

HINTERNET OpenSession(DWORD accessType, const std::wstring& proxy, const wchar_t* bypass) {
    HINTERNET session = WinHttpOpen(kUserAgent, accessType,
                                    accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? proxy.c_str() : nullptr,
                                    accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? bypass : nullptr, 0);
    if (!session) AUTrace(L"WinHttpOpen() failed with Error Code : %u.", GetLastError());
    return session;
}

struct BrowserProxyConfig {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    ~BrowserProxyConfig() {
        if (config.lpszAutoConfigUrl) GlobalFree(config.lpszAutoConfigUrl);
        if (config.lpszProxy) GlobalFree(config.lpszProxy);
        if (config.lpszProxyBypass) GlobalFree(config.lpszProxyBypass);
    }
};

}  // namespace

SharedSession& Session() {
    static SharedSession session;
    return session;
}

namespace {

// Whether plain http goes through the proxy text's proxy: a text of one proxy ("host:port"), or a
// list by scheme ("http=host:port;https=host:port") that names one for http.
bool ServesPlainHttp(std::wstring proxyText) {
    // The stack takes blanks as well as semicolons between the entries.
    std::replace(proxyText.begin(), proxyText.end(), L' ', L';');
    for (const std::wstring& entry : SplitList(proxyText, L';')) {
        const size_t equals = entry.find(L'=');
        if (equals == std::wstring::npos || _wcsicmp(entry.substr(0, equals).c_str(), L"http") == 0)
            return true;
    }
    return false;
}

}  // namespace

void UseProxy(const std::wstring& proxyText, const wchar_t* bypass) {
    Session().proxyText = proxyText;
    Session().proxyForEveryHost = (!bypass || !*bypass) && ServesPlainHttp(proxyText);
}

void ForgetProxy() {
    Session().proxyText.clear();
    Session().proxyForEveryHost = false;
}

HINTERNET CreateManualSession(const SAUProxyInfo& proxy) {
    TraceScope scope(L"CAUHttpConnection::CreateManualSession()");
    ForgetProxy();
    if (proxy.strProxyServer.empty()) return nullptr;
    HINTERNET session = OpenSession(WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.strProxyServer, nullptr);
    if (session) UseProxy(proxy.strProxyServer, nullptr);
    return session;
}

HINTERNET CreateBrowserSession(SAUProxyInfo& proxy) {
    TraceScope scope(L"CAUHttpConnection::CreateBrowserSession()");
    ForgetProxy();
    BrowserProxyConfig browser;
    if (!WinHttpGetIEProxyConfigForCurrentUser(&browser.config)) {
        AUTrace(L"WinHttpGetIEProxyConfigForCurrentUser() failed with Error Code : %u.", GetLastError());
        return nullptr;
    }
    if (!browser.config.fAutoDetect && browser.config.lpszProxy && *browser.config.lpszProxy) {
        std::wstring proxyText = browser.config.lpszProxy;
        HINTERNET session =
            OpenSession(WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxyText, browser.config.lpszProxyBypass);
        if (session) UseProxy(proxyText, browser.config.lpszProxyBypass);
        return session;
    }
    if (browser.config.lpszAutoConfigUrl && *browser.config.lpszAutoConfigUrl)
        proxy.strAutoConfigURL = browser.config.lpszAutoConfigUrl;
    return nullptr;
}

HINTERNET CreateDirectSession() {
    TraceScope scope(L"CAUHttpConnection::CreateDirectSession()");
    ForgetProxy();
    return OpenSession(WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, L"", nullptr);
}

int ReceiveTimeout() {
    std::wstring receive = GetProfileText(L"Settings", L"ReceiveTimeOut", L"300000");
    return static_cast<int>(wcstol(receive.c_str(), nullptr, 10));
}

void ConfigureSession(HINTERNET session) {
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
    WinHttpSetOption(session, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));
    int receiveTimeout = ReceiveTimeout();
    WinHttpSetTimeouts(session, 60000, 60000, 30000, receiveTimeout);
    // The wait for the answer's headers is a receive too; not every platform derives it from the above.
    DWORD responseTimeout = static_cast<DWORD>(receiveTimeout);
    WinHttpSetOption(session, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout,
                     sizeof(responseTimeout));
}

bool CrackUrl(const std::wstring& url, UrlParts& parts) {
    URL_COMPONENTS components{};
    components.dwStructSize = sizeof(components);
    components.dwHostNameLength = static_cast<DWORD>(-1);
    components.dwUrlPathLength = static_cast<DWORD>(-1);
    components.dwExtraInfoLength = static_cast<DWORD>(-1);
    components.dwSchemeLength = static_cast<DWORD>(-1);
    if (url.empty() || !WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &components)) {
        AUTrace(L"WinHttpCrackUrl() failed with Error Code : %u.", GetLastError());
        return false;
    }
    parts.scheme = components.nScheme;
    parts.host.assign(components.lpszHostName, components.dwHostNameLength);
    parts.port = components.nPort;
    parts.object.assign(components.lpszUrlPath, components.dwUrlPathLength);
    if (components.lpszExtraInfo) parts.object.append(components.lpszExtraInfo, components.dwExtraInfoLength);
    return true;
}

}  // namespace scup::http

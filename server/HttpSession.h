#pragma once
// The one WinHTTP session of the process and how it was opened, with what every request on it
// needs: an address split into its parts and the profile's receive time-out. The session belongs
// to the update thread (the probe opens it, the exchanges use it); a call left behind on a worker
// holds only its own request's handle.

#include <windows.h>
#include <winhttp.h>

#include <string>

#include "common/Handles.h"
#include "common/ProxyInfo.h"

namespace scup {

struct InternetHandleTraits {
    static HINTERNET Invalid() noexcept { return nullptr; }
    static void Close(HINTERNET h) noexcept { ::WinHttpCloseHandle(h); }
};
using UniqueInternet = UniqueResource<HINTERNET, InternetHandleTraits>;

namespace http {

struct SharedSession {
    UniqueInternet handle;
    // The proxy the session goes through, empty when it goes direct.
    std::wstring proxyText;
    // The session has a named proxy for plain http and no list of hosts that bypass it: its plain
    // http requests reach the proxy first (the PC's own loopback names aside, which a stack may
    // reach directly whatever it is told).
    bool proxyForEveryHost = false;
    int proxySession = 0;
    bool autoProxyDone = false;
};
SharedSession& Session();
// The session goes through the proxy, with the hosts of the bypass list (null or empty: none)
// going direct; or it goes direct.
void UseProxy(const std::wstring& proxyText, const wchar_t* bypass);
void ForgetProxy();

// Each gives the new session's handle or null; the manual and browser kinds set the proxy text,
// and the browser kind may store the browser's automatic configuration address into the record.
HINTERNET CreateManualSession(const SAUProxyInfo& proxy);
HINTERNET CreateBrowserSession(SAUProxyInfo& proxy);
HINTERNET CreateDirectSession();
// The time-outs of the profile and the redirect policy (never from https to http).
void ConfigureSession(HINTERNET session);

// "ReceiveTimeOut" of the profile in milliseconds (300000 when it is not set).
int ReceiveTimeout();

struct UrlParts {
    INTERNET_SCHEME scheme = INTERNET_SCHEME_HTTP;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring object;  // path with query, as written
};
// False, with a trace, for a text that is no address.
bool CrackUrl(const std::wstring& url, UrlParts& parts);

}  // namespace http
}  // namespace scup

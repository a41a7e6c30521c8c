#pragma once
// The proxy record shared by the configuration file, the HTTP connection and the proxy dialogs.

#include <string>

struct SAUProxyInfo {
    std::wstring strProxyServer;  // host ":" port
    std::wstring strProxyUser;
    std::wstring strProxyPwd;  // clear text in memory; enciphered in the configuration file
    int bUseProxy = 0;
    std::wstring strAutoConfigURL;  // filled from the browser settings only, never stored
};

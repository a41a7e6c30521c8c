#pragma once
// A way to talk to the update server: connecting to its host, testing the way out, exchanging an
// XML request for an answer, and downloading a file.

#include <functional>
#include <string>

#include "common/ProxyInfo.h"
#include "server/ServerResult.h"

// Called with a percentage as a download goes on, or -1 when it failed.
using DownloadProgress = std::function<void(int percent)>;

class CAUConnection {
  public:
    virtual ~CAUConnection() = default;

    virtual ServerResult CreateConnection(const std::wstring& url, const SAUProxyInfo& proxy) = 0;
    virtual ServerResult TestProxy(const std::wstring& url) = 0;
    virtual ServerResult Send(const std::wstring& url, const std::wstring& request,
                              std::wstring& response) = 0;
    // A body longer than maxBytes (0: no limit) is refused, before a byte of it is written where
    // its length is announced, else as soon as it runs past.
    virtual ServerResult Download(const std::wstring& url, const std::wstring& filePath,
                                  const DownloadProgress& progress, unsigned long long maxBytes = 0) = 0;
};

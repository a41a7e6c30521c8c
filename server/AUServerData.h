#pragma once
// The program's one front to the update server: it finds once how the server can be reached
// (the configured proxy, the browser's proxy, or directly), keeps the process-wide HTTP session,
// and runs the exchanges: version check, notice, file update and file download.
//
// Lives on the update thread; the application's clean-up drops a leftover one only after that
// thread has ended.

#include <memory>
#include <string>

#include "common/FirmInfo.h"
#include "common/ProxyInfo.h"
#include "common/ServerRecords.h"
#include "server/AUConnection.h"

class CAUConfigXML;
class CAUHttpConnection;
class CAUXMLParser;

class CAUServerData {
  public:
    // How the probe reached the server.
    enum ConnectionKind { kConfiguredProxy = 0, kBrowserProxy = 1, kDirect = 3 };

    CAUServerData();
    virtual ~CAUServerData();
    CAUServerData(const CAUServerData&) = delete;
    CAUServerData& operator=(const CAUServerData&) = delete;

    // The configuration object that holds the proxy settings; not owned.
    void SetConfiguration(CAUConfigXML* configuration) { m_pConfiguration = configuration; }

    // Success when a way to the server was found; does nothing once initialised.
    virtual ServerResult Initialize();
    // The server's packages for the printer and query key; leaves the updater version it names.
    virtual ServerResult DoVersionCheck(ComponentList& result, const std::wstring& key,
                                        const std::wstring& printer);
    virtual ServerResult DoNoticeAction(SAUUpgraderInfo& info, const PrinterMap& printers,
                                        const std::wstring& printer);
    // NoFileInformation when the answer names no file.
    virtual ServerResult DoFileUpdateAction(const SAUExtFirmInfo& package, SAUFileUpdateInfo& info);
    // Whether a file may be fetched from the address: not in the clear where the exchanges go over
    // https, since anyone on the way could replace it.
    bool MayFetch(const std::wstring& url) const;
    // maxBytes as for CAUConnection::Download. Where the exchanges go over https, a file address
    // that does not is refused.
    virtual ServerResult Download(const std::wstring& url, const std::wstring& filePath,
                                  const DownloadProgress& progress, unsigned long long maxBytes = 0);
    // Closes the connections of the exchanges; the session stays.
    virtual void CloseConnections();
    // Closes the session and the connections and forgets everything, so that the next
    // initialisation probes again.
    virtual void ResetServer();
    virtual bool IsConnected() const { return m_bConnected; }

    const std::wstring& UpdaterVersion() const { return m_strUpdaterVersion; }
    int ConnectionKindFound() const { return m_nConnectionKind; }
    const SAUProxyInfo& ProxyRecord() const { return m_proxy; }
    // What saving the credentials the user asked to keep gave (the configuration's SetProxyInfo);
    // 0 when there was nothing to save. The connection stands either way.
    int CredentialsSaveResult() const { return m_credentialsSaved; }

  protected:
    // The updater version as a version check leaves it.
    void SetUpdaterVersion(const std::wstring& version) { m_strUpdaterVersion = version; }

    bool m_bConnected = false;

  private:
    struct Exchange;
    static void UsePolicyProxy(SAUProxyInfo& working);
    ServerResult Probe(SAUProxyInfo& working);
    ServerResult Connect(CAUHttpConnection& connection, const std::wstring& url, const std::wstring& host,
                         int secure);
    ServerResult SendExchange(const Exchange& exchange, CAUXMLParser& request, CAUHttpConnection& connection,
                              const std::wstring& url, const std::wstring& host, int secure,
                              CAUXMLParser& response);

    CAUConfigXML* m_pConfiguration = nullptr;
    SAUProxyInfo m_proxy;
    int m_credentialsSaved = 0;
    std::wstring m_strUpdaterVersion;
    int m_nConnectionKind = -1;
    std::wstring m_strVersionCheckURL, m_strFileUpdateURL, m_strNoticeURL;
    std::wstring m_strVersionCheckHost, m_strFileUpdateHost, m_strNoticeHost;
    int m_bVersionCheckSecure = 0, m_bFileUpdateSecure = 0, m_bNoticeSecure = 0;
    std::unique_ptr<CAUHttpConnection> m_versionCheck, m_notice, m_fileUpdate, m_download;
};

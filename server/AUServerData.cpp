#include "AUServerData.h"

#include <windows.h>
#include <winhttp.h>

#include "common/AUXMLParser.h"
#include "common/Profile.h"
#include "common/Trace.h"
#include "local/AUConfigXML.h"
#include "res/resource_ids.h"
#include "server/AUFileUpdateRequestXML.h"
#include "server/AUFileUpdateResponseXML.h"
#include "server/AUHttpConnection.h"
#include "server/AUNoticeRequestXML.h"
#include "server/AUNoticeResponseXML.h"
#include "server/AUVersionRequestXML.h"
#include "server/AUVersionResponseXML.h"
#include "server/ServerAddress.h"

using scup::AUTrace;

namespace {

constexpr UINT kVersionCheckAddress = 503;
constexpr UINT kNoticeAddress = 504;
constexpr UINT kFileUpdateAddress = 505;

bool SplitHost(const std::wstring& url, std::wstring& host, int& secure) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    if (url.empty() || !WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
        AUTrace(L"WinHttpCrackUrl() failed with Error Code : %u.", GetLastError());
        return false;
    }
    host.assign(parts.lpszHostName, parts.dwHostNameLength);
    secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? 1 : 0;
    return true;
}

std::wstring SystemLanguageAbbreviation() {
    wchar_t text[16] = {};
    GetLocaleInfoW(GetSystemDefaultLCID(), LOCALE_SABBREVLANGNAME, text, 16);
    return text;
}

}  // namespace

// The trace texts of one exchange; the steps are the same for all three.
struct CAUServerData::Exchange {
    const wchar_t* serialiseEnter;
    const wchar_t* serialiseSuccess;
    const wchar_t* serialiseFailure;
    const wchar_t* serialiseExit;
    const wchar_t* serialiseFailed;
    const wchar_t* connectFailed;
    const wchar_t* requestTrace;
    const wchar_t* responseTrace;
    const wchar_t* sendFailed;
    const wchar_t* responseEnter;
    const wchar_t* responseExit;
    const wchar_t* responseFailed;
};

CAUServerData::CAUServerData()
    : m_versionCheck(std::make_unique<CAUHttpConnection>()),
      m_notice(std::make_unique<CAUHttpConnection>()),
      m_fileUpdate(std::make_unique<CAUHttpConnection>()),
      m_download(std::make_unique<CAUHttpConnection>()) {}

CAUServerData::~CAUServerData() {
    CloseConnections();
    CAUHttpConnection::CloseSharedSession();
}

void CAUServerData::CloseConnections() {
    for (CAUHttpConnection* connection :
         {m_versionCheck.get(), m_notice.get(), m_fileUpdate.get(), m_download.get()})
        connection->Reset();
}

void CAUServerData::ResetServer() {
    CloseConnections();
    CAUHttpConnection::CloseSharedSession();
    m_pConfiguration = nullptr;
    m_proxy.strProxyServer.clear();
    m_proxy.strProxyUser.clear();
    m_proxy.strProxyPwd.clear();
    m_proxy.bUseProxy = 0;
    m_strUpdaterVersion.clear();
    m_nConnectionKind = -1;
    m_strVersionCheckURL.clear();
    m_strFileUpdateURL.clear();
    m_strNoticeURL.clear();
    m_bVersionCheckSecure = m_bFileUpdateSecure = m_bNoticeSecure = 0;
    m_bConnected = false;
}

ServerResult CAUServerData::Initialize() {
    scup::TraceScope scope(L"CAUServerData::Initialize()");
    if (m_bConnected) return ServerResult::Success;
    if (!m_pConfiguration) {
        AUTrace(L"Local Data not available.");
        return ServerResult::Failed;
    }
    SAUProxyInfo working;
    m_pConfiguration->GetProxyInfo(working);
    UsePolicyProxy(working);

    m_strVersionCheckURL = scup::ServerAddress(kVersionCheckAddress);
    m_strFileUpdateURL = scup::ServerAddress(kFileUpdateAddress);
    m_strNoticeURL = scup::ServerAddress(kNoticeAddress);
    CloseConnections();
    if (m_strVersionCheckURL.empty() || m_strFileUpdateURL.empty() || m_strNoticeURL.empty()) {
        AUTrace(L"Version Check URL not available.");
        return ServerResult::Failed;
    }
    if (!SplitHost(m_strVersionCheckURL, m_strVersionCheckHost, m_bVersionCheckSecure) ||
        !SplitHost(m_strFileUpdateURL, m_strFileUpdateHost, m_bFileUpdateSecure) ||
        !SplitHost(m_strNoticeURL, m_strNoticeHost, m_bNoticeSecure))
        return ServerResult::Failed;
    ServerResult result = Probe(working);
    m_bConnected = result == ServerResult::Success;
    return result;
}

// IT's policy may name the proxy that every request goes through, whatever the user's own setting
// says; the user's credentials go only to the proxy they were given for.
void CAUServerData::UsePolicyProxy(SAUProxyInfo& working) {
    const std::optional<std::wstring> proxy = scup::ReadPolicyText(L"ProxyServer");
    if (!proxy) return;
    AUTrace(L"The policy names the proxy : %s", proxy->c_str());
    if (working.strProxyServer != *proxy) {
        working.strProxyUser.clear();
        working.strProxyPwd.clear();
    }
    working.strProxyServer = *proxy;
    working.bUseProxy = 1;
}

// Tries the ways out in order; a configured proxy is the only way tried when it is switched on.
ServerResult CAUServerData::Probe(SAUProxyInfo& working) {
    CAUHttpConnection probe;
    auto tryWay = [&](CAUHttpConnection::SessionKind kind, ServerResult& testResult) {
        testResult = ServerResult::Failed;
        if (CAUHttpConnection::OpenSharedSession(kind, working) != ServerResult::Success) return false;
        if (probe.CreateConnection(m_strVersionCheckURL, working) != ServerResult::Success) return false;
        testResult = probe.TestProxy(m_strVersionCheckURL);
        return testResult == ServerResult::Success;
    };
    ServerResult testResult = ServerResult::Failed;
    bool reached = false;
    if (working.bUseProxy) {
        reached = tryWay(CAUHttpConnection::SessionKind::Manual, testResult);
        if (reached) {
            AUTrace(L"Manual Connection to server possible.");
            m_nConnectionKind = kConfiguredProxy;
        }
    } else {
        reached = tryWay(CAUHttpConnection::SessionKind::Browser, testResult);
        if (reached) {
            AUTrace(L"Connection using manual IE settings to server possible.");
            m_nConnectionKind = kBrowserProxy;
        } else if (testResult != ServerResult::ProxyAuthRefused) {
            probe.Reset();
            CAUHttpConnection::CloseSharedSession();
            reached = tryWay(CAUHttpConnection::SessionKind::Direct, testResult);
            if (reached) {
                AUTrace(L"Direct Connection to server possible.");
                m_nConnectionKind = kDirect;
            }
        }
    }
    if (!reached) {
        probe.Reset();
        CAUHttpConnection::CloseSharedSession();
        AUTrace(L"Unable to connect to server.");
        // A server that could not prove who it is was reached: saying it was not would send the
        // user to check the network.
        return testResult == ServerResult::NotTrusted || testResult == ServerResult::RedirectRefused ||
                       testResult == ServerResult::SignInRequired
                   ? testResult
                   : ServerResult::Failed;
    }
    m_proxy = probe.ProxyInfo();
    m_credentialsSaved =
        probe.SaveCredentials() && m_pConfiguration ? m_pConfiguration->SetProxyInfo(m_proxy) : 0;
    return ServerResult::Success;
}

ServerResult CAUServerData::Connect(CAUHttpConnection& connection, const std::wstring& url,
                                    const std::wstring& host, int secure) {
    // A connection goes to one scheme, host and port: another port on the same host is another server.
    if (connection.HostName() == host && connection.IsSecure() == secure && !host.empty() &&
        connection.Port() == CAUHttpConnection::PortOf(url))
        return ServerResult::Success;
    connection.Reset();
    return connection.CreateConnection(url, m_proxy);
}

// Serialises the request, sends it on the connection and loads the answer: the common road of
// the three exchanges. 0, 1, or the connection's status when sending failed.
ServerResult CAUServerData::SendExchange(const Exchange& texts, CAUXMLParser& request,
                                         CAUHttpConnection& connection, const std::wstring& url,
                                         const std::wstring& host, int secure, CAUXMLParser& response) {
    std::wstring requestText;
    AUTrace(texts.serialiseEnter);
    bool serialised = request.XMLTOString(requestText) == CAUXMLParser::kSuccess;
    AUTrace(serialised ? texts.serialiseSuccess : texts.serialiseFailure);
    AUTrace(texts.serialiseExit);
    if (!serialised) {
        AUTrace(texts.serialiseFailed);
        return ServerResult::Failed;
    }
    requestText = L"<?xml version='1.0' ?>" + requestText;
    if (Connect(connection, url, host, secure) != ServerResult::Success) {
        AUTrace(texts.connectFailed);
        return ServerResult::Failed;
    }
    AUTrace(texts.requestTrace, requestText.c_str());
    std::wstring responseText;
    ServerResult sent = connection.Send(url, requestText, responseText);
    AUTrace(texts.responseTrace, responseText.c_str());
    if (sent != ServerResult::Success) {
        AUTrace(texts.sendFailed);
        return sent;
    }
    AUTrace(texts.responseEnter);
    bool loaded = response.LoadXML(responseText) == CAUXMLParser::kSuccess;
    AUTrace(texts.responseExit);
    if (!loaded) {
        // The server answered, with something other than a document.
        AUTrace(texts.responseFailed);
        return ServerResult::AnswerUnusable;
    }
    return ServerResult::Success;
}

ServerResult CAUServerData::DoVersionCheck(ComponentList& result, const std::wstring& key,
                                           const std::wstring& printer) {
    scup::TraceScope scope(L"CAUServerData::DoVersionCheck()");
    const std::wstring url = m_strVersionCheckURL;
    std::wstring name = printer;
    if (name.size() > 3 && name.compare(name.size() - 3, 3, L" LE") == 0) name.resize(name.size() - 3);
    result.clear();
    if (url.empty()) {
        AUTrace(L"Version Check URL not available.");
        return ServerResult::Failed;
    }
    CAUXMLParser request;
    if (CAUVersionRequestXML::CreateVersionRequestXml(request, name, key) != 0) {
        AUTrace(L"Failed to Create Version Check Request XML.");
        return ServerResult::Failed;
    }
    static constexpr Exchange kTexts{L"Enter : CAUVersionRequestXML::GetVersionRequestXml()",
                                     L"Success:Version Check Request is successfully read",
                                     L"Failed: reading the Version Check Request.",
                                     L"Exit : CAUVersionRequestXML::GetVersionRequestXml()",
                                     L"Failed to Get Version Check Request XML string.",
                                     L"Failed to Create connection to send Version Check Request.",
                                     L"VERSION CHECK REQUEST XML : %s",
                                     L"VERSION CHECK RESPONSE XML : %s",
                                     L"Failed to Send Version Check Request.",
                                     L"Enter : CAUVersionResponseXML::CreateVersionResponseXml()",
                                     L"Exit : CAUVersionResponseXML::CreateVersionResponseXml()",
                                     L"Failed to Create Version Check Response XML."};
    CAUXMLParser response;
    ServerResult status = SendExchange(kTexts, request, *m_versionCheck, url, m_strVersionCheckHost,
                                       m_bVersionCheckSecure, response);
    if (status != ServerResult::Success) return status;
    if (CAUVersionResponseXML::GetUpdaterVersion(response, m_strUpdaterVersion) != 0) {
        AUTrace(L"Failed to get Updater Version.");
        return ServerResult::AnswerUnusable;
    }
    if (CAUVersionResponseXML::GetPrinterFirmwareList(response, result) != 0)
        AUTrace(L"Failed to get Printer Firmware List.");
    return ServerResult::Success;
}

ServerResult CAUServerData::DoNoticeAction(SAUUpgraderInfo& info, const PrinterMap&, const std::wstring&) {
    scup::TraceScope scope(L"CAUServerData::DoNoticeAction()");
    m_strNoticeURL = scup::ServerAddress(kNoticeAddress);
    const std::wstring locale = SystemLanguageAbbreviation();
    if (m_strNoticeURL.empty()) {
        AUTrace(L"Notice URL not available.");
        return ServerResult::Failed;
    }
    CAUXMLParser request;
    if (CAUNoticeRequestXML::CreateNoticeRequestXml(request, locale) != 0) {
        AUTrace(L"Failed to Create Notice Request XML.");
        return ServerResult::Failed;
    }
    static constexpr Exchange kTexts{L"Enter : CAUNoticeRequestXML::GetNoticeRequestXml()",
                                     L"Success:Notice Request is successfully read.",
                                     L"Failed: reading the Notice Request.",
                                     L"Exit : CAUNoticeRequestXML::GetNoticeRequestXml()",
                                     L"Failed to Get Notice Request XML string.",
                                     L"Failed to Create connection to send Notice Request.",
                                     L"NOTICE REQUEST XML : %s",
                                     L"NOTICE RESPONSE XML : %s",
                                     L"Failed to Send Notice Request.",
                                     L"Enter : CAUNoticeResponseXML::CreateNoticeResponseXml()",
                                     L"Exit : CAUNoticeResponseXML::CreateNoticeResponseXml()",
                                     L"Failed to Create Notice Response XML."};
    CAUXMLParser response;
    ServerResult status =
        SendExchange(kTexts, request, *m_notice, m_strNoticeURL, m_strNoticeHost, m_bNoticeSecure, response);
    if (status != ServerResult::Success) return status;
    if (CAUNoticeResponseXML::GetUpgraderInfo(response, info) != 0) {
        AUTrace(L"Failed to get Upgrader Info.");
        return ServerResult::Failed;
    }
    return ServerResult::Success;
}

ServerResult CAUServerData::DoFileUpdateAction(const SAUExtFirmInfo& package, SAUFileUpdateInfo& info) {
    scup::TraceScope scope(L"CAUServerData::DoFileUpdateAction()");
    if (m_strFileUpdateURL.empty()) {
        AUTrace(L"File Update URL not available.");
        return ServerResult::Failed;
    }
    CAUXMLParser request;
    if (CAUFileUpdateRequestXML::CreateFileRequestXml(request, package) != 0) {
        AUTrace(L"Failed to Create File Update Request XML.");
        return ServerResult::Failed;
    }
    static constexpr Exchange kTexts{L"Enter : CAUFileUpdateRequestXML::GetFileRequestXml()",
                                     L"Success:File Request is successfully read.",
                                     L"Failed: reading the FileRequest.",
                                     L"Exit : CAUFileUpdateRequestXML::GetFileRequestXml()",
                                     L"Failed to Get File Update Request XML string.",
                                     L"Failed to Create connection to send File Update Request.",
                                     L"FILE UPDATE  REQUEST XML : %s",
                                     L"FILE UPDATE  RESPONSE XML : %s",
                                     L"Failed to Send File Update Request.",
                                     L"Enter : CAUFileUpdateResponseXML::CreateFileResponseXml()",
                                     L"Exit : CAUFileUpdateResponseXML::CreateFileResponseXml()",
                                     L"Failed to Create File Update Response XML."};
    CAUXMLParser response;
    ServerResult status = SendExchange(kTexts, request, *m_fileUpdate, m_strFileUpdateURL,
                                       m_strFileUpdateHost, m_bFileUpdateSecure, response);
    if (status != ServerResult::Success) return status;
    if (CAUFileUpdateResponseXML::GetFileUpdateInfo(response, info) != 0) {
        AUTrace(L"Failed to get File Update Info.");
        return ServerResult::NoFileInformation;
    }
    return ServerResult::Success;
}

bool CAUServerData::MayFetch(const std::wstring& url) const {
    std::wstring host;
    int secure = 0;
    if (!SplitHost(url, host, secure)) return false;
    return secure || !(m_bVersionCheckSecure || m_bFileUpdateSecure || m_bNoticeSecure);
}

ServerResult CAUServerData::Download(const std::wstring& url, const std::wstring& filePath,
                                     const DownloadProgress& progress, unsigned long long maxBytes) {
    scup::TraceScope scope(L"CAUServerData::Download()");
    std::wstring host;
    int secure = 0;
    if (!SplitHost(url, host, secure)) return ServerResult::Failed;
    // Anyone on the way could replace a file fetched in the clear; the road the exchanges take
    // says what the server can give.
    if (!MayFetch(url)) {
        AUTrace(
            L"Failed: the file address %s is not https while the server is reached over https; it is not "
            L"fetched.",
            url.c_str());
        return ServerResult::AnswerUnusable;
    }
    if (Connect(*m_download, url, host, secure) != ServerResult::Success) {
        AUTrace(L"Failed to Create connection for File Download.");
        return ServerResult::Failed;
    }
    ServerResult status = m_download->Download(url, filePath, progress, maxBytes);
    if (status != ServerResult::Success) AUTrace(L"Download Failed.");
    return status;
}

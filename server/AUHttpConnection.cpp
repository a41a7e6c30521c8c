#include "AUHttpConnection.h"

#include <wincrypt.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "common/AnsiText.h"
#include "common/Format.h"
#include "common/LangResources.h"
#include "common/Profile.h"
#include "common/ProgramEvents.h"
#include "common/Text.h"
#include "common/Trace.h"

using scup::AUTrace;
using scup::FormatText;

namespace {

constexpr const wchar_t* kUserAgent = L"Scribo Update Software 1.0";
constexpr UINT kProxyRefusedMessage = 1482;

using UniqueInternet = scup::UniqueResource<HINTERNET, scup::InternetHandleTraits>;

// The one session of the process and how it was opened.
struct SharedSession {
    UniqueInternet handle;
    std::wstring proxyText;
    int proxySession = 0;
    bool autoProxyDone = false;
};

SharedSession& Session() {
    static SharedSession session;
    return session;
}

CAUHttpConnection::CredentialsPrompt& Prompt() {
    static CAUHttpConnection::CredentialsPrompt prompt;
    return prompt;
}

std::function<LANGID()>& LanguageSource() {
    static std::function<LANGID()> source;
    return source;
}

LANGID InterfaceLanguage() { return LanguageSource() ? LanguageSource()() : static_cast<LANGID>(0x409); }

struct UrlParts {
    INTERNET_SCHEME scheme = INTERNET_SCHEME_HTTP;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring object;  // path with query, as written
};

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

// "%02x " per byte, a line break after every 32nd.
std::wstring HexDump(const std::string& bytes) {
    std::wstring dump;
    dump.reserve(bytes.size() * 3 + bytes.size() / 16);
    for (size_t i = 0; i < bytes.size(); ++i) {
        dump += FormatText(L"%02x ", static_cast<unsigned char>(bytes[i]));
        if ((i + 1) % 32 == 0) dump += L"\r\n";
    }
    return dump;
}

void TraceDump(const wchar_t* format, const std::string& bytes) {
    if (scup::TraceEnabled()) AUTrace(format, HexDump(bytes).c_str());
}

// Basic credentials for the proxy alone: the stack gives them to the proxy that asks, never to the
// server, and never inside a tunnel, where a header of the request would travel to the server.
bool SetBasicProxyCredentials(HINTERNET request, const std::wstring& user, const std::wstring& password) {
    return WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, WINHTTP_AUTH_SCHEME_BASIC, user.c_str(),
                                 password.c_str(), nullptr);
}

HINTERNET OpenSession(DWORD accessType, const std::wstring& proxy, const wchar_t* bypass) {
    HINTERNET session = WinHttpOpen(kUserAgent, accessType,
                                    accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? proxy.c_str() : nullptr,
                                    accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? bypass : nullptr, 0);
    if (!session) AUTrace(L"WinHttpOpen() failed with Error Code : %u.", GetLastError());
    return session;
}

HINTERNET CreateManualSession(const SAUProxyInfo& proxy) {
    scup::TraceScope scope(L"CAUHttpConnection::CreateManualSession()");
    Session().proxyText.clear();
    if (proxy.strProxyServer.empty()) return nullptr;
    HINTERNET session = OpenSession(WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.strProxyServer, nullptr);
    if (session) Session().proxyText = proxy.strProxyServer;
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

HINTERNET CreateBrowserSession(SAUProxyInfo& proxy) {
    scup::TraceScope scope(L"CAUHttpConnection::CreateBrowserSession()");
    Session().proxyText.clear();
    BrowserProxyConfig browser;
    if (!WinHttpGetIEProxyConfigForCurrentUser(&browser.config)) {
        AUTrace(L"WinHttpGetIEProxyConfigForCurrentUser() failed with Error Code : %u.", GetLastError());
        return nullptr;
    }
    if (!browser.config.fAutoDetect && browser.config.lpszProxy && *browser.config.lpszProxy) {
        std::wstring proxyText = browser.config.lpszProxy;
        HINTERNET session =
            OpenSession(WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxyText, browser.config.lpszProxyBypass);
        if (session) Session().proxyText = proxyText;
        return session;
    }
    if (browser.config.lpszAutoConfigUrl && *browser.config.lpszAutoConfigUrl)
        proxy.strAutoConfigURL = browser.config.lpszAutoConfigUrl;
    return nullptr;
}

HINTERNET CreateDirectSession() {
    scup::TraceScope scope(L"CAUHttpConnection::CreateDirectSession()");
    Session().proxyText.clear();
    return OpenSession(WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, L"", nullptr);
}

int ReceiveTimeout() {
    std::wstring receive = scup::GetProfileText(L"Settings", L"ReceiveTimeOut", L"300000");
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

}  // namespace

// --- The process-wide session. ---

ServerResult CAUHttpConnection::OpenSharedSession(SessionKind kind, SAUProxyInfo& proxy) {
    HINTERNET session = nullptr;
    switch (kind) {
        case SessionKind::Manual:
            session = CreateManualSession(proxy);
            break;
        case SessionKind::Browser:
            session = CreateBrowserSession(proxy);
            break;
        case SessionKind::Direct:
            session = CreateDirectSession();
            break;
    }
    Session().handle.reset(session);
    ServerResult result = ServerResult::Failed;
    if (!session) {
        AUTrace(L"Failed to create a session handle.");
    } else {
        Session().proxySession = kind == SessionKind::Direct ? 0 : 1;
        ConfigureSession(session);
        result = ServerResult::Success;
    }
    AUTrace(L"Exit : CAUHttpConnection::CreateConnection()");
    return result;
}

void CAUHttpConnection::CloseSharedSession() {
    Session().handle.reset();
    Session().autoProxyDone = false;
}

bool CAUHttpConnection::HasSharedSession() { return static_cast<bool>(Session().handle); }

void CAUHttpConnection::SetCredentialsPrompt(CredentialsPrompt prompt) { Prompt() = std::move(prompt); }

void CAUHttpConnection::SetLanguageSource(std::function<LANGID()> source) {
    LanguageSource() = std::move(source);
}

// --- One connection. ---

CAUHttpConnection::~CAUHttpConnection() { Reset(); }

void CAUHttpConnection::Reset() {
    m_hConnect.reset();
    m_strProxyServer.clear();
    m_strProxyUser.clear();
    m_strProxyPwd.clear();
    m_bUseProxy = 0;
    m_strAutoConfigURL.clear();
    m_strHostName.clear();
    m_bSecure = 0;
    m_nPort = 0;
}

INTERNET_PORT CAUHttpConnection::PortOf(const std::wstring& url) {
    UrlParts parts;
    return CrackUrl(url, parts) ? parts.port : 0;
}

SAUProxyInfo CAUHttpConnection::ProxyInfo() const {
    return {m_strProxyServer, m_strProxyUser, m_strProxyPwd, m_bUseProxy, m_strAutoConfigURL};
}

ServerResult CAUHttpConnection::CreateConnection(const std::wstring& url, const SAUProxyInfo& proxy) {
    AUTrace(L"Enter : CAUHttpConnection::CreateConnection()");
    Reset();
    if (!Session().handle) {
        AUTrace(L"Failed to create a session handle.");
        return ServerResult::Failed;
    }
    UrlParts parts;
    if (!CrackUrl(url, parts)) return ServerResult::Failed;
    // The port the address names is the one the server listens on; without one the parser gives
    // the scheme's own (80 or 443).
    m_hConnect.reset(WinHttpConnect(Session().handle.get(), parts.host.c_str(), parts.port, 0));
    AUTrace(L"Connecting to Server : %s. Handle : %x.", parts.host.c_str(),
            static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_hConnect.get())));
    if (!m_hConnect) {
        AUTrace(L"WinHttpConnect() failed with Error Code : %u.", GetLastError());
        return ServerResult::Failed;
    }
    m_strProxyServer = proxy.strProxyServer;
    m_strProxyUser = proxy.strProxyUser;
    m_strProxyPwd = proxy.strProxyPwd;
    m_bUseProxy = proxy.bUseProxy;
    m_strAutoConfigURL = proxy.strAutoConfigURL;
    m_strHostName = parts.host;
    m_bSecure = parts.scheme == INTERNET_SCHEME_HTTPS ? 1 : 0;
    m_nPort = parts.port;
    AUTrace(L"Exit : CAUHttpConnection::CreateConnection()");
    return ServerResult::Success;
}

ServerResult CAUHttpConnection::CreateRequest(UniqueInternet& request, const std::wstring& url,
                                              const wchar_t* verb) {
    scup::TraceScope scope(L"CAUHttpConnection::CreateRequest()");
    UrlParts parts;
    if (!CrackUrl(url, parts)) return ServerResult::Failed;
    DWORD flags = WINHTTP_FLAG_REFRESH | (parts.scheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    request.reset(WinHttpOpenRequest(m_hConnect.get(), verb, parts.object.c_str(), nullptr,
                                     WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!request) {
        AUTrace(L"WinHttpOpenRequest() failed with Error Code : %u.", GetLastError());
        return ServerResult::Failed;
    }
    if (Session().proxySession == 0 && !Session().autoProxyDone) SearchProxyAutomatically(request.get(), url);
    m_requestUrl = url;
    m_requestVerb = verb;
    m_proxyCredentialsGiven = false;
    return ServerResult::Success;
}

// Wine's stack keeps the first credentials given to a request handle and sends them before any
// later ones, so each round of proxy authentication goes out on a handle of its own. A call left
// behind on the worker keeps the old handle alive until it is done with it.
HINTERNET CAUHttpConnection::RenewRequest() {
    UniqueInternet created;
    const std::wstring url = m_requestUrl;
    const std::wstring verb = m_requestVerb;
    if (CreateRequest(created, url, verb.c_str()) != ServerResult::Success) return nullptr;
    m_request.reset(created.release(), [](void* handle) { WinHttpCloseHandle(handle); });
    return m_request.get();
}

bool CAUHttpConnection::GiveProxyCredentials(HINTERNET request) {
    if (!SetBasicProxyCredentials(request, m_strProxyUser, m_strProxyPwd)) {
        TraceCredentialsFailure(GetLastError());
        return false;
    }
    m_proxyCredentialsGiven = true;
    return true;
}

// Each operation words the failure its own way; the support desk's scripts read these lines.
void CAUHttpConnection::TraceCredentialsFailure(DWORD error) const {
    if (m_probeAttempt != 0)
        AUTrace(L"WinHttpSetCredentials() failed with Error Code : %u. Attempt No : %d", error,
                m_probeAttempt);
    else if (m_requestVerb == L"GET")
        AUTrace(L"WinHttpSetCredentials() failed with Error Code : %u.", error);
    else
        AUTrace(L"WinHttpSetCredentials() failed with Error Code : %u", error);
}

void CAUHttpConnection::SearchProxyAutomatically(HINTERNET, const std::wstring& url) {
    Session().autoProxyDone = true;
    WINHTTP_AUTOPROXY_OPTIONS options{};
    options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    if (!m_strAutoConfigURL.empty()) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = m_strAutoConfigURL.c_str();
    }
    options.fAutoLogonIfChallenged = FALSE;
    WINHTTP_PROXY_INFO found{};
    BOOL ok = WinHttpGetProxyForUrl(Session().handle.get(), url.c_str(), &options, &found);
    if (!ok && GetLastError() == ERROR_WINHTTP_LOGIN_FAILURE) {
        options.fAutoLogonIfChallenged = TRUE;
        ok = WinHttpGetProxyForUrl(Session().handle.get(), url.c_str(), &options, &found);
    }
    if (!ok) return;
    AUTrace(L"Setting Proxy using Auto Proxy Options.  %s", found.lpszProxy ? found.lpszProxy : L"");
    if (!WinHttpSetOption(Session().handle.get(), WINHTTP_OPTION_PROXY, &found, sizeof(found)))
        AUTrace(L"Failed to set Auto Proxy Options. WinHttpSetOption() failed with Error Code : %u.",
                GetLastError());
    else if (found.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && found.lpszProxy)
        // Credentials the user gives after this proxy asks are bound to it, not to the session.
        Session().proxyText = found.lpszProxy;
    if (found.lpszProxy) GlobalFree(found.lpszProxy);
    if (found.lpszProxyBypass) GlobalFree(found.lpszProxyBypass);
}

bool CAUHttpConnection::MayUseStoredCredentials() const {
    return !m_strProxyUser.empty() && Session().proxyText == m_strProxyServer;
}

namespace {

std::atomic<unsigned long long> g_stallBytes{CAUHttpConnection::StallRule{}.minimumBytes};
std::atomic<DWORD> g_stallWindowMs{CAUHttpConnection::StallRule{}.windowMs};

// Whether a download still moves: at least the rule's bytes in each of its windows.
class CMovementWatch {
  public:
    CMovementWatch() : m_windowStart(GetTickCount64()) {}
    // False once a whole window brought too little; total: the bytes so far.
    bool StillMoving(unsigned long long total) {
        const ULONGLONG now = GetTickCount64();
        if (now - m_windowStart < g_stallWindowMs.load()) return true;
        const unsigned long long moved = total - m_totalAtStart;
        m_windowStart = now;
        m_totalAtStart = total;
        if (moved >= g_stallBytes.load()) return true;
        AUTrace(L"Failed: the download brought %llu bytes in %lu ms, less than the %llu it must to go on.",
                moved, static_cast<unsigned long>(g_stallWindowMs.load()), g_stallBytes.load());
        return false;
    }

  private:
    ULONGLONG m_windowStart;
    unsigned long long m_totalAtStart = 0;
};

}  // namespace

void CAUHttpConnection::SetStallRule(StallRule rule) {
    g_stallBytes = rule.minimumBytes;
    g_stallWindowMs = rule.windowMs;
}

void CAUHttpConnection::StartWaiting() {
    m_worker = std::make_unique<CCallWorker>();
    const int limit = ReceiveTimeout();
    // A moment over the limit, so that where the HTTP layer's own time-out applies it speaks first.
    constexpr DWORD kGrace = 1000;
    m_waitLimit = limit > 0 ? static_cast<DWORD>(limit) + kGrace : INFINITE;
    m_waitStarted = GetTickCount64();
}

DWORD CAUHttpConnection::RemainingWait() const {
    if (m_waitLimit == INFINITE) return INFINITE;
    const ULONGLONG spent = GetTickCount64() - m_waitStarted;
    return spent >= m_waitLimit ? 0 : static_cast<DWORD>(m_waitLimit - spent);
}

CAUHttpConnection::RequestScope::RequestScope(CAUHttpConnection& owner, UniqueInternet& request)
    : m_owner(owner) {
    m_owner.m_request.reset(request.release(), [](void* handle) { WinHttpCloseHandle(handle); });
}

CCallWorker::End CAUHttpConnection::RunBlocking(std::function<BOOL()> call, DWORD& error) {
    if (!m_worker) StartWaiting();
    struct Outcome {
        BOOL ok = FALSE;
        DWORD error = 0;
    };
    auto outcome = std::make_shared<Outcome>();
    const CCallWorker::End end = m_worker->Run(
        [outcome, keep = m_request, call = std::move(call)] {
            outcome->ok = call();
            outcome->error = outcome->ok ? 0 : GetLastError();
        },
        RemainingWait());
    if (end == CCallWorker::End::Finished) error = outcome->error;
    return end;
}

// Cancelled when the user or the program ended the wait, Failed when the answer took too long.
ServerResult CAUHttpConnection::ResultOfUnfinished(CCallWorker::End end, const wchar_t* what) {
    switch (end) {
        case CCallWorker::End::Cancelled:
            AUTrace(L"Cancel event occured while waiting for %s.", what);
            return ServerResult::Cancelled;
        case CCallWorker::End::Exiting:
            AUTrace(L"Exit event occured while waiting for %s.", what);
            return ServerResult::Cancelled;
        default:
            AUTrace(L"Failed: %s did not arrive within the receive time-out.", what);
            return ServerResult::Failed;
    }
}

ServerResult CAUHttpConnection::SendBody(HINTERNET request, const std::wstring& requestText) {
    std::shared_ptr<const std::string> body;
    if (!requestText.empty()) {
        // The stack may send the body again by itself (authentication), and a send left behind
        // on the worker still reads it: it is shared, never on this stack.
        body = std::make_shared<const std::string>(scup::ToAnsi(requestText));
        m_requestBody = body;
        TraceDump(L"REQUEST IN BINARY FORMAT : \r\n%s", *body);
    }
    DWORD error = 0;
    const CCallWorker::End end = RunBlocking(
        [request, body]() -> BOOL {
            if (!body)
                return WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                                          0, 0, 0);
            return WinHttpSendRequest(request, L"Content-Type: text/xml", static_cast<DWORD>(-1L),
                                      const_cast<char*>(body->data()), static_cast<DWORD>(body->size()),
                                      static_cast<DWORD>(body->size()), 0);
        },
        error);
    if (end != CCallWorker::End::Finished) return ResultOfUnfinished(end, L"the request to be sent");
    if (error != 0) {
        if (m_probeAttempt != 0)
            AUTrace(L"WinHttpSendRequest() failed with Error Code : %u. Attempt No : %d", error,
                    m_probeAttempt);
        else
            AUTrace(L"WinHttpSendRequest() failed with Error Code : %u.", error);
        if (IsConnectionLost(error)) return ServerResult::ConnectionLost;
        if (error == ERROR_WINHTTP_REDIRECT_FAILED) return RefuseInsecureRedirect();
        if (IsCertificateRefusal(error)) {
            AUTrace(L"Failed: the server's certificate was refused.");
            return ServerResult::NotTrusted;
        }
        return ServerResult::Failed;
    }
    return ServerResult::Success;
}

// A kept-alive connection that the other end closed meanwhile (a proxy after its refusal, a server
// after its last request on a connection) fails the request sent on it before any answer; so does
// one left in a bad state, where the bytes of an earlier answer longer than its Content-Length
// come first and read as no answer at all. The stack drops such a connection.
bool CAUHttpConnection::IsConnectionLost(DWORD error) {
    return error == WSAECONNRESET || error == ERROR_WINHTTP_CONNECTION_ERROR ||
           error == ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
}

// Sends the request in scope and takes its answer. A request that met a lost connection goes out
// again on a new handle, with the credentials the first one had: nothing of it was answered. A
// proxy that refuses a request without credentials and closes at once may reset the connection
// before its refusal is read (tinyproxy does when the request's body is still on the way, the more
// often the busier the PC), and the stack sends Basic proxy credentials only after a refusal, so
// several tries are allowed; each is quick, and a cancel ends them.
ServerResult CAUHttpConnection::SendAndReceive(const std::wstring& requestText, std::wstring& target,
                                               Mode mode, const DownloadProgress& progress) {
    constexpr int kAttempts = 8;
    HINTERNET request = m_request.get();
    for (int attempt = 1;; ++attempt) {
        StartWaiting();
        ServerResult result = SendBody(request, requestText);
        if (result == ServerResult::Success)
            result = GetResponse(request, requestText, target, mode, progress);
        if (result != ServerResult::ConnectionLost) return result;
        if (attempt == kAttempts) return ServerResult::Failed;
        // A cancel or the program's end that came meanwhile is not overridden by asking again.
        if (CCallWorker::CancelRequested() || scup::IsNamedEventSet(scup::kExitEventName)) {
            AUTrace(L"The connection was lost after a cancel: the request is not sent again.");
            return ServerResult::Cancelled;
        }
        AUTrace(L"The connection was closed by the other end: the request goes out again.");
        const bool credentials = m_proxyCredentialsGiven;
        request = RenewRequest();
        if (!request) return ServerResult::Failed;
        if (credentials) GiveProxyCredentials(request);
    }
}

ServerResult CAUHttpConnection::RefuseInsecureRedirect() {
    AUTrace(
        L"Failed: the server sent the request on to an address that is not secure (http); it was not "
        L"followed.");
    return ServerResult::RedirectRefused;
}

bool CAUHttpConnection::RedirectsInTheClear(HINTERNET request) {
    wchar_t location[2048] = {};
    DWORD size = sizeof(location);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, location, &size,
                             WINHTTP_NO_HEADER_INDEX))
        return false;
    return _wcsnicmp(location, L"http:", 5) == 0;
}

bool CAUHttpConnection::IsCertificateRefusal(DWORD error) const {
    switch (error) {
        case ERROR_WINHTTP_SECURE_FAILURE:
        case ERROR_WINHTTP_SECURE_INVALID_CA:
        case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
        case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
        case ERROR_WINHTTP_SECURE_INVALID_CERT:
        case ERROR_WINHTTP_SECURE_CERT_REVOKED:
        case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
            return true;
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
            // Wine gives this one for an authority it does not trust, but also for a proxy that
            // refused the tunnel: only without a proxy on the way is it the server's certificate.
            return Session().proxyText.empty();
        default:
            return false;
    }
}

ServerResult CAUHttpConnection::Send(const std::wstring& url, const std::wstring& requestText,
                                     std::wstring& response) {
    scup::TraceScope scope(L"CAUHttpConnection::Send()");
    if (!Session().handle || !m_hConnect) return ServerResult::Failed;
    UniqueInternet created;
    if (CreateRequest(created, url, L"POST") != ServerResult::Success) {
        AUTrace(L"CreateRequest() failed.");
        return ServerResult::Failed;
    }
    const RequestScope request(*this, created);
    if (MayUseStoredCredentials()) GiveProxyCredentials(request.get());
    return SendAndReceive(requestText, response, Mode::Text, {});
}

ServerResult CAUHttpConnection::Download(const std::wstring& url, const std::wstring& filePath,
                                         const DownloadProgress& progress, unsigned long long maxBytes) {
    scup::TraceScope scope(L"CAUHttpConnection::Download()");
    if (!Session().handle || !m_hConnect) return ServerResult::Failed;
    UniqueInternet created;
    if (CreateRequest(created, url, L"GET") != ServerResult::Success) {
        AUTrace(L"CreateRequest() failed.");
        return ServerResult::Failed;
    }
    const RequestScope request(*this, created);
    if (MayUseStoredCredentials()) GiveProxyCredentials(request.get());
    std::wstring target = filePath;
    m_downloadLimit = maxBytes;
    const ServerResult result = SendAndReceive(L"", target, Mode::File, progress);
    m_downloadLimit = 0;
    return result;
}

ServerResult CAUHttpConnection::GetResponse(HINTERNET request, const std::wstring& requestText,
                                            std::wstring& target, Mode mode,
                                            const DownloadProgress& progress) {
    scup::TraceScope scope(L"CAUHttpConnection::GetResponse()");
    DWORD error = 0;
    const CCallWorker::End end =
        RunBlocking([request] { return WinHttpReceiveResponse(request, nullptr); }, error);
    if (end == CCallWorker::End::TimedOut) {
        AUTrace(L"WinHttpReceiveResponse() failed with Error Code : %u.", ERROR_WINHTTP_TIMEOUT);
        AUTrace(L"WinHttpReceiveResponse() failed due to Timeout.");
        return ServerResult::Failed;
    }
    if (end != CCallWorker::End::Finished) return ResultOfUnfinished(end, L"the answer");
    if (error != 0) {
        AUTrace(L"WinHttpReceiveResponse() failed with Error Code : %u.", error);
        if (IsConnectionLost(error)) return ServerResult::ConnectionLost;
        if (error == ERROR_WINHTTP_REDIRECT_FAILED) return RefuseInsecureRedirect();
        // Wine reports the socket's own time-out code instead of the HTTP stack's.
        if (error == ERROR_WINHTTP_TIMEOUT || error == WSAETIMEDOUT)
            AUTrace(L"WinHttpReceiveResponse() failed due to Timeout.");
        return ServerResult::Failed;
    }
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        // An answer without a readable status is no answer: nothing of it may pass for success.
        AUTrace(
            L"Failed: the status code could not be read. WinHttpQueryHeaders() failed with Error Code : %u.",
            GetLastError());
        return ServerResult::Failed;
    }
    AUTrace(L"WinHttpQueryHeaders() returned Status Code : %d", static_cast<int>(status));
    if (status == HTTP_STATUS_OK) return WriteResponse(request, target, mode, progress);
    // A proxy that refuses the credentials it was given may say so with 401 (tinyproxy does).
    if (status == HTTP_STATUS_PROXY_AUTH_REQ || (status == HTTP_STATUS_DENIED && m_proxyCredentialsGiven))
        return AnswerProxyAuthentication(request, requestText, target, mode, progress);
    // The stack leaves a redirect from https to http unfollowed, and may hand it over as it came.
    if (IsSecure() && status >= 300 && status < 400 && RedirectsInTheClear(request))
        return RefuseInsecureRedirect();
    AUTrace(L"WinHttpQueryHeaders() returned an unknown status : %d.", static_cast<int>(status));
    return ServerResult::AnswerUnusable;
}

ServerResult CAUHttpConnection::AnswerProxyAuthentication(HINTERNET request, const std::wstring& requestText,
                                                          std::wstring& target, Mode mode,
                                                          const DownloadProgress& progress) {
    if (scup::IsNamedEventSet(scup::kExitEventName)) return ServerResult::ProxyAuthRefused;
    AUTrace(L"Getting Proxy Authentication details from user.");
    if (Session().proxyText != m_strProxyServer) {
        m_strProxyUser.clear();
        m_strProxyPwd.clear();
        m_strProxyServer = Session().proxyText;
    }
    ServerResult answer = GetProxyAuthDetailsFromUser();
    if (scup::IsNamedEventSet(scup::kExitEventName)) return ServerResult::ProxyAuthRefused;
    if (answer != ServerResult::Success) {
        AUTrace(L"User cancelled the request for Proxy Authentication.");
        return ServerResult::ProxyAuthRefused;
    }
    std::wstring drained;
    WriteResponse(request, drained, Mode::Text, progress);
    HINTERNET renewed = RenewRequest();
    if (!renewed) return ServerResult::Failed;
    GiveProxyCredentials(renewed);
    // The round starts its own wait: the time the user took over the credentials is not the server's.
    ServerResult result = SendAndReceive(requestText, target, mode, progress);
    if (result == ServerResult::ProxyAuthRefused) AUTrace(L"Proxy Authentication failed.");
    return result;
}

namespace {

// The length the answer announces; false when it announces none (a chunked or closing answer).
bool AnnouncedLength(HINTERNET request, unsigned long long& length) {
    wchar_t text[32] = {};
    DWORD size = sizeof(text);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                             WINHTTP_NO_HEADER_INDEX))
        return false;
    wchar_t* end = nullptr;
    length = wcstoull(text, &end, 10);
    return end != text;
}

}  // namespace

ServerResult CAUHttpConnection::WriteResponse(HINTERNET request, std::wstring& target, Mode mode,
                                              const DownloadProgress& progress) {
    scup::TraceScope scope(L"CAUHttpConnection::WriteResponse()");
    scup::UniqueFile file;
    unsigned long long length = 0;
    if (mode == Mode::File && m_downloadLimit > 0 && AnnouncedLength(request, length) &&
        length > m_downloadLimit) {
        AUTrace(L"Failed: the answer announces %llu bytes, more than the %llu expected; it is not read.",
                length, m_downloadLimit);
        return ServerResult::TooLong;
    }
    if (mode == Mode::Text) {
        target.clear();
    } else {
        file.reset(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            AUTrace(L"Failed: %s could not be created (error %lu).", target.c_str(), GetLastError());
            return ServerResult::Failed;
        }
    }
    std::string body;
    unsigned long long total = 0;
    ServerResult result = ReadBody(request, target, mode, progress, file.get(), body, total);
    unsigned long long announced = 0;
    if (result == ServerResult::Success && AnnouncedLength(request, announced) && announced != total) {
        // A connection closed early looks like the end of the answer: only the count tells.
        AUTrace(L"Failed: the answer ended after %llu of the %llu bytes it announced.", total, announced);
        body.clear();
        // An exchange only asks, so its answer is asked for again; a download that did not arrive
        // whole is a failed one.
        result = mode == Mode::Text ? ServerResult::ConnectionLost : ServerResult::Failed;
    }
    if (result == ServerResult::Cancelled) file.reset();
    if (progress && result == ServerResult::Success) progress(100);
    if (progress && result != ServerResult::Success && result != ServerResult::Cancelled) progress(-1);
    TraceDump(L"RESPONSE IN BINARY FORMAT : \r\n%s", body);
    if (mode == Mode::Text) target = result == ServerResult::Success ? scup::FromAnsi(body) : std::wstring();
    AUTrace(L"Char count in Response Data: %d", static_cast<int>(body.size()));
    return result;
}

ServerResult CAUHttpConnection::ReadBody(HINTERNET request, std::wstring& target, Mode mode,
                                         const DownloadProgress& progress, HANDLE file, std::string& body,
                                         unsigned long long& total) {
    unsigned long long bytesPerPercent = 0;
    unsigned long long announced = 0;
    if (progress && AnnouncedLength(request, announced)) bytesPerPercent = announced / 100;

    // The HTTP layer hands the body over a few kilobytes at a time: each turn of the worker
    // gathers what arrives within a moment, so that a fast download is not slowed by the
    // hand-overs and a slow one still shows its progress.
    constexpr size_t kGatherBytes = 256 * 1024;
    constexpr ULONGLONG kGatherMs = 100;
    // What a read left behind on the worker may still write into. One buffer serves every turn: a
    // buffer grown afresh for each piece cost the download almost half its speed under Wine.
    struct Piece {
        std::vector<char> bytes = std::vector<char>(kGatherBytes);
        size_t size = 0;
        bool ended = false;
        bool queryFailed = false;
    };
    const auto piece = std::make_shared<Piece>();
    CMovementWatch movement;
    for (;;) {
        piece->size = 0;
        DWORD error = 0;
        // An exchange's answer must arrive within the time-out in all; a download only each read.
        if (mode == Mode::File) RestartWaitClock();
        const CCallWorker::End end = RunBlocking(
            [request, piece]() -> BOOL {
                const ULONGLONG started = GetTickCount64();
                while (piece->size < kGatherBytes && GetTickCount64() - started < kGatherMs) {
                    DWORD available = 0;
                    if (!WinHttpQueryDataAvailable(request, &available)) {
                        piece->queryFailed = true;
                        return FALSE;
                    }
                    if (available == 0) {
                        piece->ended = true;
                        return TRUE;
                    }
                    const DWORD wanted =
                        static_cast<DWORD>(std::min<size_t>(available, kGatherBytes - piece->size));
                    DWORD read = 0;
                    if (!WinHttpReadData(request, piece->bytes.data() + piece->size, wanted, &read))
                        return FALSE;
                    piece->size += read;
                }
                return TRUE;
            },
            error);
        if (end != CCallWorker::End::Finished) {
            body.clear();
            return ResultOfUnfinished(end, L"the rest of the answer");
        }
        if (error != 0) {
            AUTrace(piece->queryFailed ? L"WinHttpQueryDataAvailable() failed with Error Code : %u."
                                       : L"WinHttpReadData() failed with Error Code : %u.",
                    error);
            body.clear();
            return ServerResult::Failed;
        }
        if (piece->size == 0 && piece->ended) return ServerResult::Success;
        const DWORD read = static_cast<DWORD>(piece->size);
        AUTrace(L"WinHttpReadData() read %d bytes", static_cast<int>(read));
        if (mode == Mode::File) {
            if (m_downloadLimit > 0 && total + read > m_downloadLimit) {
                AUTrace(L"Failed: the answer runs past the %llu bytes expected; it is not read further.",
                        m_downloadLimit);
                return ServerResult::TooLong;
            }
            DWORD written = 0;
            if (!WriteFile(file, piece->bytes.data(), read, &written, nullptr) || written != read) {
                // A full disk must not pass for a complete download, nor for a network failure.
                const DWORD error = GetLastError();
                AUTrace(L"Failed: writing %s failed (error %lu).", target.c_str(), error);
                return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? ServerResult::DiskFull
                                                                                   : ServerResult::Failed;
            }
            total += read;
            if (progress && bytesPerPercent > 0) progress(static_cast<int>(total / bytesPerPercent));
            if (!movement.StillMoving(total)) return ServerResult::Failed;
        } else {
            if (body.size() + read > kMaxResponseBytes) {
                AUTrace(L"Failed: the answer is larger than %u bytes; it is not read further.",
                        static_cast<unsigned>(kMaxResponseBytes));
                body.clear();
                return ServerResult::AnswerUnusable;
            }
            body.append(piece->bytes.data(), read);
            total += read;
        }
        if (CCallWorker::CancelRequested()) {
            AUTrace(L"Cancel event occured while reading data.");
            return ServerResult::Cancelled;
        }
        if (piece->ended) return ServerResult::Success;
    }
}

ServerResult CAUHttpConnection::GetProxyAuthDetailsFromUser() {
    scup::TraceScope scope(L"CAUHttpConnection::GetProxyAuthDetailsFromUser()");
    Credentials credentials{m_strProxyUser, m_strProxyPwd, 0};
    const bool accepted = Prompt() && Prompt()(credentials);
    if (!accepted) return ServerResult::Cancelled;
    m_strProxyUser = credentials.user;
    m_strProxyPwd = credentials.password;
    m_bSaveCredentials = credentials.save;
    AUTrace(L"Save Proxy Authentication status is : %d", m_bSaveCredentials);
    return ServerResult::Success;
}

ServerResult CAUHttpConnection::TestAttempt(int attempt, bool& tryAgain) {
    tryAgain = false;
    m_probeAttempt = attempt;
    const std::unique_ptr<int, void (*)(int*)> endOfAttempt(&m_probeAttempt, [](int* probe) { *probe = 0; });
    HINTERNET request = m_request.get();
    if (attempt == 1) {
        if (MayUseStoredCredentials()) GiveProxyCredentials(request);
    } else {
        if (!m_strProxyUser.empty()) {
            AUTrace(L"Stopping a 2nd attempt to send data with Proxy credentails");
            return ServerResult::Failed;
        }
        // The second attempt goes out on a handle of its own: the stack would send the first
        // attempt's credentials before any later ones. An empty user satisfies a proxy that only
        // wants the header; one that wants a name answers 407 and the user is asked.
        request = RenewRequest();
        if (!request) return ServerResult::Failed;
        if (!SetBasicProxyCredentials(request, L"", L""))
            TraceCredentialsFailure(GetLastError());
        else if (!Session().proxyText.empty())
            m_proxyCredentialsGiven = true;  // a proxy's 401 to them asks the user, as a 407 does
    }
    std::wstring scratch;
    const ServerResult result = SendAndReceive(L"", scratch, Mode::Text, {});
    if (result == ServerResult::ProxyAuthRefused) {
        LANGID language = InterfaceLanguage();
        scup::ShowLangMessage(nullptr, kProxyRefusedMessage, language, MB_OK | MB_ICONERROR);
        return ServerResult::ProxyAuthRefused;
    }
    // A cancel, or a server whose certificate was refused, is not mended by asking again.
    tryAgain = result != ServerResult::Success && result != ServerResult::Cancelled &&
               result != ServerResult::NotTrusted && result != ServerResult::RedirectRefused;
    return result;
}

ServerResult CAUHttpConnection::TestProxy(const std::wstring& url) {
    scup::TraceScope scope(L"CAUHttpConnection::TestProxy()");
    if (!Session().handle || !m_hConnect) return ServerResult::Failed;
    m_bSaveCredentials = 0;
    UniqueInternet created;
    if (CreateRequest(created, url, L"POST") != ServerResult::Success) {
        AUTrace(L"CreateRequest() failed.");
        return ServerResult::Failed;
    }
    const RequestScope request(*this, created);
    for (int attempt = 1; attempt <= 2; ++attempt) {
        bool tryAgain = false;
        ServerResult result = TestAttempt(attempt, tryAgain);
        if (!tryAgain) return result;
    }
    return ServerResult::Failed;
}

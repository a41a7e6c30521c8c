#include "AUHttpConnection.h"

#include <algorithm>
#include <cwchar>
#include <memory>
#include <optional>
#include <vector>

#include "HttpRequest.h"
#include "RetrySchedule.h"
#include "common/LangResources.h"
#include "common/ProgramEvents.h"
#include "common/Trace.h"

using scup::AUTrace;
using namespace scup::http;

namespace {

constexpr UINT kProxyRefusedMessage = 1482;

CAUHttpConnection::CredentialsPrompt& Prompt() {
    static CAUHttpConnection::CredentialsPrompt prompt;
    return prompt;
}

std::function<LANGID()>& LanguageSource() {
    static std::function<LANGID()> source;
    return source;
}

LANGID InterfaceLanguage() { return LanguageSource() ? LanguageSource()() : static_cast<LANGID>(0x409); }

bool IsExiting() { return scup::IsNamedEventSet(scup::kExitEventName); }

// The connection probe finds out which way reaches the server, and a way that fails is given up
// for its second attempt or the next way: it waits for nothing. A connection lost on the way is
// tried again at once (proxies that close after their refusal).
CRetrySchedule ProbeSchedule() {
    CRetrySchedule::Rule rule;
    rule.immediateTries = 7;
    rule.pauses = 0;
    return CRetrySchedule(rule);
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

void CAUHttpConnection::SetStallRule(StallRule rule) {
    scup::http::SetStallRule(rule.minimumBytes, rule.windowMs);
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

ServerResult CAUHttpConnection::OpenRequest(CHttpRequest& request) {
    scup::TraceScope scope(L"CAUHttpConnection::CreateRequest()");
    if (request.Open() != ServerResult::Success) return ServerResult::Failed;
    if (Session().proxySession == 0 && !Session().autoProxyDone) SearchProxyAutomatically(request.Url());
    return ServerResult::Success;
}

bool CAUHttpConnection::GiveProxyCredentials(CHttpRequest& request) {
    if (!request.SetProxyCredentials(m_strProxyUser, m_strProxyPwd)) return false;
    if (MayAnnounceCredentials(request)) request.AnnounceProxyCredentials(m_strProxyUser, m_strProxyPwd);
    request.MarkCredentialsGiven();
    return true;
}

namespace {

// The names for this PC that the stacks may reach directly whatever the proxy settings say.
bool IsLoopbackName(const std::wstring& host) {
    for (const wchar_t* name : {L"localhost", L"127.0.0.1", L"::1", L"[::1]"})
        if (_wcsicmp(host.c_str(), name) == 0) return true;
    return false;
}

// The stacks' own Basic encoding of other characters differs; those are left to the stack.
bool IsPlainAscii(const std::wstring& text) {
    return std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= 0x20 && c < 0x7f; });
}

}  // namespace

// The header goes where only the proxy reads it: never inside a tunnel (a header of the request
// reaches the server there), never where the request might go direct, never after a redirect.
bool CAUHttpConnection::MayAnnounceCredentials(const CHttpRequest& request) const {
    return !IsSecure() && Session().proxyForEveryHost && request.MayAnnounce() && !m_strProxyUser.empty() &&
           !IsLoopbackName(m_strHostName) && IsPlainAscii(m_strProxyUser) && IsPlainAscii(m_strProxyPwd);
}

void CAUHttpConnection::SearchProxyAutomatically(const std::wstring& url) {
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
        UseProxy(found.lpszProxy, found.lpszProxyBypass);
    if (found.lpszProxy) GlobalFree(found.lpszProxy);
    if (found.lpszProxyBypass) GlobalFree(found.lpszProxyBypass);
}

bool CAUHttpConnection::MayUseStoredCredentials() const {
    return !m_strProxyUser.empty() && Session().proxyText == m_strProxyServer;
}

// A request that met a lost connection goes out again on a new handle, with the credentials the
// last one had: nothing of it was answered. A proxy that refuses a request without credentials and
// closes at once may reset the connection before its refusal is read (tinyproxy does when the
// request's body is still on the way, the more often the busier the PC), and the stack sends Basic
// proxy credentials only after a refusal it read. Known credentials therefore go with the request
// itself where only the proxy can read them (plain http through a proxy for every host); elsewhere,
// and for the first request before anyone was asked, several tries are allowed; each is quick, and
// a cancel ends them. A round of credentials starts the count anew. Rounds of credentials have no limit but
// the user's cancel and the program's end.
namespace {

// The answers that asked for credentials stay open in the trace until the request ends: the user is
// asked, and the request goes out again, within the answer that asked (the support desk's scripts
// read the lines in that nesting).
class COpenAnswers {
  public:
    void Keep(std::unique_ptr<scup::TraceScope> answer) { m_answers.push_back(std::move(answer)); }
    // Closes them innermost first; every answer below the innermost tells a refusal of the
    // credentials given after it.
    ServerResult Close(ServerResult result) {
        while (!m_answers.empty()) {
            m_answers.pop_back();
            if (result == ServerResult::ProxyAuthRefused && !m_answers.empty())
                AUTrace(L"Proxy Authentication failed.");
        }
        return result;
    }

  private:
    std::vector<std::unique_ptr<scup::TraceScope>> m_answers;
};

}  // namespace

ServerResult CAUHttpConnection::Exchange(CHttpRequest& request, const std::wstring& requestText,
                                         std::wstring& target, AnswerMode mode,
                                         const DownloadProgress& progress, CRetrySchedule schedule) {
    // A download that keeps making headway between breaks goes on, up to this many breaks.
    constexpr int kMostBreaksWithHeadway = 16;
    int breaksWithHeadway = 0;
    COpenAnswers open;
    for (;;) {
        std::unique_ptr<scup::TraceScope> answer;
        const unsigned long long before = request.DownloadPoint().written;
        const ServerResult result = Round(request, requestText, target, mode, progress, answer);
        if (result == ServerResult::CredentialsAsked) {
            open.Keep(std::move(answer));
            const ServerResult asked = AskForCredentials(request);
            if (asked != ServerResult::Success) return open.Close(asked);
            schedule.StartAnew();
            continue;
        }
        answer.reset();
        if (result == ServerResult::RedirectedWithCredentials) {
            AUTrace(L"The request was sent elsewhere: it goes out again without the proxy's header.");
            request.ForbidAnnouncing();
            if (OpenRequest(request) != ServerResult::Success) return open.Close(ServerResult::Failed);
            GiveProxyCredentials(request);
            continue;
        }
        std::optional<DWORD> pause;
        if (result == ServerResult::ConnectionLost) {
            pause = schedule.AfterLostConnection();
        } else if (result == ServerResult::Busy) {
            pause = schedule.AfterBusyAnswer(request.RetryAfter());
        } else if (result == ServerResult::Interrupted) {
            if (request.DownloadPoint().written > before && breaksWithHeadway++ < kMostBreaksWithHeadway)
                schedule.StartAnew();
            pause = schedule.AfterLostConnection();
        } else {
            return open.Close(result);
        }
        if (!pause) return open.Close(GiveUp(result, progress));
        // A cancel or the program's end that came meanwhile is not overridden by asking again.
        if (CCallWorker::CancelRequested() || IsExiting()) {
            AUTrace(L"The connection was lost after a cancel: the request is not sent again.");
            return open.Close(ServerResult::Cancelled);
        }
        if (!WaitBeforeTryingAgain(result, *pause)) return open.Close(ServerResult::Cancelled);
        const bool credentials = request.CredentialsGiven();
        if (OpenRequest(request) != ServerResult::Success) return open.Close(ServerResult::Failed);
        if (credentials) GiveProxyCredentials(request);
    }
}

ServerResult CAUHttpConnection::GiveUp(ServerResult result, const DownloadProgress& progress) {
    AUTrace(L"Failed: the request was tried as often as it may be; it is given up.");
    if (progress && result == ServerResult::Interrupted) progress(-1);
    return result == ServerResult::Busy ? ServerResult::AnswerUnusable : ServerResult::Failed;
}

bool CAUHttpConnection::WaitBeforeTryingAgain(ServerResult result, DWORD pauseMs) {
    if (pauseMs == 0) {
        AUTrace(L"The connection was closed by the other end: the request goes out again.");
        return true;
    }
    AUTrace(result == ServerResult::Busy ? L"The server is busy: the request goes out again in %lu ms."
                                         : L"The connection broke: the request goes out again in %lu ms.",
            static_cast<unsigned long>(pauseMs));
    if (CCallWorker::Pause(pauseMs) == CCallWorker::End::Finished) return true;
    AUTrace(L"Cancel or exit event occured while waiting to try again.");
    return false;
}

namespace {

bool IsBusyStatus(DWORD status) {
    return status == 429 || status == 500 || status == 502 || status == 503 || status == 504;
}

// The host a redirect sends the request to, or nothing when it names none.
std::optional<std::wstring> RedirectHost(HINTERNET request) {
    const std::optional<std::wstring> location = AnswerHeader(request, L"Location");
    if (!location) return std::nullopt;
    UrlParts parts;
    if (!CrackUrl(*location, parts)) return std::nullopt;
    return parts.host;
}

// Whether a 206 answer is the rest of the file the first answer began: the same length and, where
// both name one, the same version.
bool IsSameFile(HINTERNET handle, const SDownloadPoint& point, unsigned long long total) {
    if (point.total != 0 && total != point.total) return false;
    const std::optional<std::wstring> tag = AnswerHeader(handle, L"ETag");
    const bool namesVersions = tag && !point.validator.empty() && point.validator.front() == L'"';
    return !namesVersions || *tag == point.validator;
}

}  // namespace

// The rest of a download came when the answer gives exactly the bytes from the download's point to
// the end of the same file, and announces no other length for them.
ServerResult CAUHttpConnection::TakePartialAnswer(CHttpRequest& request) {
    SDownloadPoint& point = request.DownloadPoint();
    const HINTERNET handle = request.Handle();
    const std::optional<std::wstring> range = AnswerHeader(handle, L"Content-Range");
    unsigned long long length = 0;
    const bool announces = AnnouncedLength(handle, length);
    unsigned long long first = 0;
    unsigned long long last = 0;
    unsigned long long total = 0;
    if (point.askedForRest && range &&
        swscanf(range->c_str(), L"bytes %llu-%llu/%llu", &first, &last, &total) == 3 &&
        first == point.written && last >= first && last + 1 == total &&
        (m_downloadLimit == 0 || total <= m_downloadLimit) && IsSameFile(handle, point, total) &&
        (!announces || length == last - first + 1))
        return ServerResult::Success;
    AUTrace(L"Failed: the server sent another part of the file (%s) than the rest from byte %llu.",
            range ? range->c_str() : L"none", point.written);
    point.written = 0;
    return ServerResult::Failed;
}

ServerResult CAUHttpConnection::Round(CHttpRequest& request, const std::wstring& requestText,
                                      std::wstring& target, AnswerMode mode, const DownloadProgress& progress,
                                      std::unique_ptr<scup::TraceScope>& answer) {
    request.StartWaiting();
    if (mode == AnswerMode::File) request.AskForTheRest();
    const ServerResult sent = request.SendBody(requestText);
    if (sent != ServerResult::Success) return sent;
    answer = std::make_unique<scup::TraceScope>(L"CAUHttpConnection::GetResponse()");
    DWORD status = 0;
    const ServerResult received = request.ReceiveStatus(status);
    if (received != ServerResult::Success) return received;
    if (status == HTTP_STATUS_OK) {
        // The whole file came, where the rest was asked for: the server gives no parts of it now.
        request.DownloadPoint().askedForRest = false;
        return ReadAnswer(request, target, mode, progress, m_downloadLimit);
    }
    if (status == HTTP_STATUS_PARTIAL_CONTENT && mode == AnswerMode::File) {
        const ServerResult part = TakePartialAnswer(request);
        return part == ServerResult::Success ? ReadAnswer(request, target, mode, progress, m_downloadLimit)
                                             : part;
    }
    if (request.CredentialsAnnounced() && status >= 300 && status < 400)
        return ServerResult::RedirectedWithCredentials;
    // A proxy that refuses the credentials it was given may say so with 401 (tinyproxy does).
    if (status == HTTP_STATUS_PROXY_AUTH_REQ || (status == HTTP_STATUS_DENIED && request.CredentialsGiven()))
        return ServerResult::CredentialsAsked;
    // The stack leaves a redirect from https to http unfollowed, and may hand it over as it came.
    if (IsSecure() && status >= 300 && status < 400 && RedirectsInTheClear(request.Handle()))
        return RefuseInsecureRedirect();
    if (status >= 300 && status < 400 && mode == AnswerMode::Text) {
        // An exchange follows no redirect; one to another host is a network's sign-in page.
        const std::optional<std::wstring> host = RedirectHost(request.Handle());
        if (host && _wcsicmp(host->c_str(), m_strHostName.c_str()) != 0) {
            AUTrace(L"Failed: the request was sent on to %s: the network asks to sign in.", host->c_str());
            return ServerResult::SignInRequired;
        }
    }
    if (IsBusyStatus(status)) {
        AUTrace(L"WinHttpQueryHeaders() returned a busy server's status : %d.", static_cast<int>(status));
        return ServerResult::Busy;
    }
    AUTrace(L"WinHttpQueryHeaders() returned an unknown status : %d.", static_cast<int>(status));
    return ServerResult::AnswerUnusable;
}

ServerResult CAUHttpConnection::AskForCredentials(CHttpRequest& request) {
    if (IsExiting()) return ServerResult::ProxyAuthRefused;
    AUTrace(L"Getting Proxy Authentication details from user.");
    if (Session().proxyText != m_strProxyServer) {
        m_strProxyUser.clear();
        m_strProxyPwd.clear();
        m_strProxyServer = Session().proxyText;
    }
    const ServerResult answer = GetProxyAuthDetailsFromUser();
    if (IsExiting()) return ServerResult::ProxyAuthRefused;
    if (answer != ServerResult::Success) {
        AUTrace(L"User cancelled the request for Proxy Authentication.");
        return ServerResult::ProxyAuthRefused;
    }
    // The refusal's own page is only read to its end: it tells the download's progress nothing.
    std::wstring drained;
    ReadAnswer(request, drained, AnswerMode::Text, {}, 0);
    if (OpenRequest(request) != ServerResult::Success) return ServerResult::Failed;
    GiveProxyCredentials(request);
    return ServerResult::Success;
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

bool CAUHttpConnection::StartRequest(CHttpRequest& request) {
    if (!Session().handle || !m_hConnect) return false;
    if (OpenRequest(request) != ServerResult::Success) {
        AUTrace(L"CreateRequest() failed.");
        return false;
    }
    if (MayUseStoredCredentials()) GiveProxyCredentials(request);
    return true;
}

ServerResult CAUHttpConnection::Send(const std::wstring& url, const std::wstring& requestText,
                                     std::wstring& response) {
    scup::TraceScope scope(L"CAUHttpConnection::Send()");
    CHttpRequest request(m_hConnect.get(), url, L"POST");
    if (!StartRequest(request)) return ServerResult::Failed;
    return Exchange(request, requestText, response, AnswerMode::Text, {}, CRetrySchedule());
}

ServerResult CAUHttpConnection::Download(const std::wstring& url, const std::wstring& filePath,
                                         const DownloadProgress& progress, unsigned long long maxBytes) {
    scup::TraceScope scope(L"CAUHttpConnection::Download()");
    CHttpRequest request(m_hConnect.get(), url, L"GET");
    if (!StartRequest(request)) return ServerResult::Failed;
    std::wstring target = filePath;
    m_downloadLimit = maxBytes;
    const ServerResult result = Exchange(request, L"", target, AnswerMode::File, progress, CRetrySchedule());
    m_downloadLimit = 0;
    return result;
}

ServerResult CAUHttpConnection::TestAttempt(CHttpRequest& request, int attempt, bool& tryAgain) {
    tryAgain = false;
    request.SetProbeAttempt(attempt);
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
        if (OpenRequest(request) != ServerResult::Success) return ServerResult::Failed;
        if (request.SetProxyCredentials(L"", L"") && !Session().proxyText.empty())
            request.MarkCredentialsGiven();  // a proxy's 401 to them asks the user, as a 407 does
    }
    std::wstring scratch;
    const ServerResult result = Exchange(request, L"", scratch, AnswerMode::Text, {}, ProbeSchedule());
    if (result == ServerResult::ProxyAuthRefused) {
        scup::ShowLangMessage(nullptr, kProxyRefusedMessage, InterfaceLanguage(), MB_OK | MB_ICONERROR);
        return ServerResult::ProxyAuthRefused;
    }
    // A cancel, or a server whose certificate was refused, is not mended by asking again.
    tryAgain = result != ServerResult::Success && result != ServerResult::Cancelled &&
               result != ServerResult::NotTrusted && result != ServerResult::RedirectRefused &&
               result != ServerResult::SignInRequired;
    return result;
}

ServerResult CAUHttpConnection::TestProxy(const std::wstring& url) {
    scup::TraceScope scope(L"CAUHttpConnection::TestProxy()");
    if (!Session().handle || !m_hConnect) return ServerResult::Failed;
    m_bSaveCredentials = 0;
    CHttpRequest request(m_hConnect.get(), url, L"POST");
    if (OpenRequest(request) != ServerResult::Success) {
        AUTrace(L"CreateRequest() failed.");
        return ServerResult::Failed;
    }
    for (int attempt = 1; attempt <= 2; ++attempt) {
        bool tryAgain = false;
        const ServerResult result = TestAttempt(request, attempt, tryAgain);
        if (!tryAgain) return result;
    }
    return ServerResult::Failed;
}

#include "HttpRequest.h"

#include <wincrypt.h>

#include "HttpSession.h"
#include "common/AnsiText.h"
#include "common/Format.h"
#include "common/Text.h"
#include "common/Trace.h"

using scup::AUTrace;

namespace {

// "%02x " per byte, a line break after every 32nd.
std::wstring HexDump(const std::string& bytes) {
    std::wstring dump;
    dump.reserve(bytes.size() * 3 + bytes.size() / 16);
    for (size_t i = 0; i < bytes.size(); ++i) {
        dump += scup::FormatText(L"%02x ", static_cast<unsigned char>(bytes[i]));
        if ((i + 1) % 32 == 0) dump += L"\r\n";
    }
    return dump;
}

void CloseRequestHandle(void* handle) { WinHttpCloseHandle(handle); }

}  // namespace

namespace scup::http {

void TraceDump(const wchar_t* format, const std::string& bytes) {
    if (TraceEnabled()) AUTrace(format, HexDump(bytes).c_str());
}

// A kept-alive connection that the other end closed meanwhile (a proxy after its refusal, a server
// after its last request on a connection) fails the request sent on it before any answer; so does
// one left in a bad state, where the bytes of an earlier answer longer than its Content-Length
// come first and read as no answer at all. The stack drops such a connection.
bool IsConnectionLost(DWORD error) {
    return error == WSAECONNRESET || error == ERROR_WINHTTP_CONNECTION_ERROR ||
           error == ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
}

bool IsCertificateRefusal(DWORD error) {
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

ServerResult RefuseInsecureRedirect() {
    AUTrace(
        L"Failed: the server sent the request on to an address that is not secure (http); it was not "
        L"followed.");
    return ServerResult::RedirectRefused;
}

bool RedirectsInTheClear(HINTERNET request) {
    const std::optional<std::wstring> location = AnswerHeader(request, L"Location");
    return location && _wcsnicmp(location->c_str(), L"http:", 5) == 0;
}

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

std::optional<std::wstring> AnswerHeader(HINTERNET request, const wchar_t* name) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, WINHTTP_QUERY_CUSTOM, name, WINHTTP_NO_OUTPUT_BUFFER, &size,
                        WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return std::nullopt;
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CUSTOM, name, value.data(), &size,
                             WINHTTP_NO_HEADER_INDEX))
        return std::nullopt;
    value.resize(size / sizeof(wchar_t));
    return value;
}

}  // namespace scup::http

using namespace scup::http;

CHttpRequest::CHttpRequest(HINTERNET connect, std::wstring url, std::wstring verb)
    : m_connect(connect), m_url(std::move(url)), m_verb(std::move(verb)) {}

ServerResult CHttpRequest::Open() {
    UrlParts parts;
    if (!CrackUrl(m_url, parts)) return ServerResult::Failed;
    DWORD flags = WINHTTP_FLAG_REFRESH | (parts.scheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    HINTERNET handle = WinHttpOpenRequest(m_connect, m_verb.c_str(), parts.object.c_str(), nullptr,
                                          WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
    if (!handle) {
        AUTrace(L"WinHttpOpenRequest() failed with Error Code : %u.", GetLastError());
        return ServerResult::Failed;
    }
    m_handle.reset(handle, CloseRequestHandle);
    m_credentialsGiven = false;
    m_announced = false;
    if (m_verb == L"POST") {
        // An exchange follows no redirect: the protocol has none, a 302 would turn it into a GET
        // that the server refuses, and one to another host is a network's sign-in page, told so.
        DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
        WinHttpSetOption(handle, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof(never));
    }
    return ServerResult::Success;
}

bool CHttpRequest::SetProxyCredentials(const std::wstring& user, const std::wstring& password) {
    if (WinHttpSetCredentials(Handle(), WINHTTP_AUTH_TARGET_PROXY, WINHTTP_AUTH_SCHEME_BASIC, user.c_str(),
                              password.c_str(), nullptr))
        return true;
    // Each operation words the failure its own way; the support desk's scripts read these lines.
    const DWORD error = GetLastError();
    if (m_probeAttempt != 0)
        AUTrace(L"WinHttpSetCredentials() failed with Error Code : %u. Attempt No : %d", error,
                m_probeAttempt);
    else if (m_verb == L"GET")
        AUTrace(L"WinHttpSetCredentials() failed with Error Code : %u.", error);
    else
        AUTrace(L"WinHttpSetCredentials() failed with Error Code : %u", error);
    return false;
}

bool CHttpRequest::AnnounceProxyCredentials(const std::wstring& user, const std::wstring& password) {
    const std::string pair = scup::ToUtf8(user + L":" + password);
    constexpr DWORD kUnbrokenBase64 = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    DWORD length = 0;
    const auto* bytes = reinterpret_cast<const BYTE*>(pair.data());
    if (!CryptBinaryToStringW(bytes, static_cast<DWORD>(pair.size()), kUnbrokenBase64, nullptr, &length))
        return false;
    std::wstring encoded(length, L'\0');
    if (!CryptBinaryToStringW(bytes, static_cast<DWORD>(pair.size()), kUnbrokenBase64, encoded.data(),
                              &length))
        return false;
    encoded.resize(wcsnlen(encoded.c_str(), encoded.size()));
    // A redirect would carry the header to wherever it points, inside a tunnel too.
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    if (!WinHttpSetOption(Handle(), WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof(never))) return false;
    const std::wstring header = L"Proxy-Authorization: Basic " + encoded;
    if (WinHttpAddRequestHeaders(Handle(), header.c_str(), static_cast<DWORD>(-1L),
                                 WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
        m_announced = true;
        return true;
    }
    AUTrace(L"WinHttpAddRequestHeaders() failed with Error Code : %u.", GetLastError());
    // The handle keeps its stack's redirect policy only when nothing of the header went with it.
    if (m_verb != L"POST") {
        DWORD usual = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
        WinHttpSetOption(Handle(), WINHTTP_OPTION_REDIRECT_POLICY, &usual, sizeof(usual));
    }
    return false;
}

bool CHttpRequest::AskForTheRest() {
    SDownloadPoint& point = m_downloadPoint;
    point.askedForRest = false;
    if (point.written == 0 || !point.resumable) return false;
    std::wstring headers = scup::FormatText(L"Range: bytes=%llu-", point.written);
    if (!point.validator.empty()) headers += L"\r\nIf-Range: " + point.validator;
    if (!WinHttpAddRequestHeaders(Handle(), headers.c_str(), static_cast<DWORD>(-1L),
                                  WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
        AUTrace(L"WinHttpAddRequestHeaders() failed with Error Code : %u.", GetLastError());
        return false;
    }
    AUTrace(L"The download goes on from byte %llu.", point.written);
    point.askedForRest = true;
    return true;
}

std::optional<DWORD> CHttpRequest::RetryAfter() const {
    const std::optional<std::wstring> text = AnswerHeader(Handle(), L"Retry-After");
    if (!text || text->empty()) return std::nullopt;
    wchar_t* end = nullptr;
    const unsigned long seconds = wcstoul(text->c_str(), &end, 10);
    // A date in place of the seconds is left to the schedule.
    if (end == text->c_str() || *end != L'\0' || seconds > 86400) return std::nullopt;
    return static_cast<DWORD>(seconds * 1000);
}

void CHttpRequest::StartWaiting() {
    m_worker = std::make_unique<CCallWorker>();
    const int limit = ReceiveTimeout();
    // A moment over the limit, so that where the HTTP layer's own time-out applies it speaks first.
    constexpr DWORD kGrace = 1000;
    m_waitLimit = limit > 0 ? static_cast<DWORD>(limit) + kGrace : INFINITE;
    m_waitStarted = GetTickCount64();
}

DWORD CHttpRequest::RemainingWait() const {
    if (m_waitLimit == INFINITE) return INFINITE;
    const ULONGLONG spent = GetTickCount64() - m_waitStarted;
    return spent >= m_waitLimit ? 0 : static_cast<DWORD>(m_waitLimit - spent);
}

CCallWorker::End CHttpRequest::RunBlocking(std::function<BOOL()> call, DWORD& error) {
    if (!m_worker) StartWaiting();
    struct Outcome {
        BOOL ok = FALSE;
        DWORD error = 0;
    };
    auto outcome = std::make_shared<Outcome>();
    const CCallWorker::End end = m_worker->Run(
        [outcome, keep = m_handle, call = std::move(call)] {
            outcome->ok = call();
            outcome->error = outcome->ok ? 0 : GetLastError();
        },
        RemainingWait());
    if (end == CCallWorker::End::Finished) error = outcome->error;
    return end;
}

ServerResult CHttpRequest::ResultOfUnfinished(CCallWorker::End end, const wchar_t* what) {
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

ServerResult CHttpRequest::SendBody(const std::wstring& requestText) {
    std::shared_ptr<const std::string> body;
    if (!requestText.empty()) {
        // The stack may send the body again by itself (authentication), and a send left behind
        // on the worker still reads it: it is shared, never on this stack.
        body = std::make_shared<const std::string>(scup::ToAnsi(requestText));
        m_body = body;
        TraceDump(L"REQUEST IN BINARY FORMAT : \r\n%s", *body);
    }
    DWORD error = 0;
    const HINTERNET request = Handle();
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
    if (error == 0) return ServerResult::Success;
    if (m_probeAttempt != 0)
        AUTrace(L"WinHttpSendRequest() failed with Error Code : %u. Attempt No : %d", error, m_probeAttempt);
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

ServerResult CHttpRequest::ReceiveStatus(DWORD& status) {
    DWORD error = 0;
    const HINTERNET request = Handle();
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
    return ServerResult::Success;
}

#include "AUHttpConnection.h"

#include <wincrypt.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "common/Format.h"
#include "common/Profile.h"
#include "common/Text.h"
#include "common/Trace.h"
#include "ui/LangResources.h"
#include "ui/ProxyUserDlg.h"

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

bool IsEventSet(const wchar_t* name) {
    scup::UniqueHandle event(OpenEventW(SYNCHRONIZE, FALSE, name));
    return event && WaitForSingleObject(event.get(), 0) == WAIT_OBJECT_0;
}

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

std::string ToAnsi(const std::wstring& text) {
    if (text.empty()) return {};
    std::vector<char> buffer(2 * text.size() + 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), buffer.data(),
                        static_cast<int>(buffer.size() - 1), nullptr, nullptr);
    return std::string(buffer.data());
}

std::wstring FromAnsi(const std::string& bytes) {
    if (bytes.empty()) return {};
    int count = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), count);
    return text;
}

std::wstring Base64Of(const std::string& bytes) {
    DWORD length = 0;
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    auto data = reinterpret_cast<const BYTE*>(bytes.data());
    if (!CryptBinaryToStringW(data, static_cast<DWORD>(bytes.size()), flags, nullptr, &length)) return {};
    std::wstring text(length, L'\0');
    if (!CryptBinaryToStringW(data, static_cast<DWORD>(bytes.size()), flags, text.data(), &length)) return {};
    text.resize(length);
    return text;
}

// Basic proxy credentials for the next send of the request, written as the header itself. Wine's
// stack keeps the first credentials given to a request handle and sends them before any later
// ones, so a password the user corrected after a refusal would never reach the proxy.
bool SetBasicProxyCredentials(HINTERNET request, const std::wstring& user, const std::wstring& password) {
    std::wstring header = L"Proxy-Authorization: Basic " + Base64Of(scup::ToUtf8(user + L":" + password));
    return WinHttpAddRequestHeaders(request, header.c_str(), static_cast<DWORD>(-1L),
                                    WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
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

void ConfigureSession(HINTERNET session) {
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
    WinHttpSetOption(session, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));
    std::wstring receive = scup::GetProfileText(L"Settings", L"ReceiveTimeOut", L"300000");
    int receiveTimeout = static_cast<int>(wcstol(receive.c_str(), nullptr, 10));
    WinHttpSetTimeouts(session, 60000, 60000, 30000, receiveTimeout);
    // The wait for the answer's headers is a receive too; not every platform derives it from the above.
    DWORD responseTimeout = static_cast<DWORD>(receiveTimeout);
    WinHttpSetOption(session, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout,
                     sizeof(responseTimeout));
}

bool ShowCredentialsDialog(CAUHttpConnection::Credentials& credentials) {
    scup::CProxyUserDlg dialog(InterfaceLanguage());
    dialog.Preset(credentials.user, credentials.password, credentials.save);
    if (dialog.DoModal() != IDOK) return false;
    credentials.user = dialog.User();
    credentials.password = dialog.Password();
    credentials.save = dialog.SaveCredentials();
    return true;
}

}  // namespace

// --- The process-wide session. ---

int CAUHttpConnection::OpenSharedSession(SessionKind kind, SAUProxyInfo& proxy) {
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
    int result = 1;
    if (!session) {
        AUTrace(L"Failed to create a session handle.");
    } else {
        Session().proxySession = kind == SessionKind::Direct ? 0 : 1;
        ConfigureSession(session);
        result = 0;
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
}

SAUProxyInfo CAUHttpConnection::ProxyInfo() const {
    return {m_strProxyServer, m_strProxyUser, m_strProxyPwd, m_bUseProxy, m_strAutoConfigURL};
}

int CAUHttpConnection::CreateConnection(const std::wstring& url, const SAUProxyInfo& proxy) {
    AUTrace(L"Enter : CAUHttpConnection::CreateConnection()");
    Reset();
    if (!Session().handle) {
        AUTrace(L"Failed to create a session handle.");
        return 1;
    }
    UrlParts parts;
    if (!CrackUrl(url, parts)) return 1;
    // The port the address names is the one the server listens on; without one the parser gives
    // the scheme's own (80 or 443).
    m_hConnect.reset(WinHttpConnect(Session().handle.get(), parts.host.c_str(), parts.port, 0));
    AUTrace(L"Connecting to Server : %s. Handle : %x.", parts.host.c_str(),
            static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_hConnect.get())));
    if (!m_hConnect) {
        AUTrace(L"WinHttpConnect() failed with Error Code : %u.", GetLastError());
        return 1;
    }
    m_strProxyServer = proxy.strProxyServer;
    m_strProxyUser = proxy.strProxyUser;
    m_strProxyPwd = proxy.strProxyPwd;
    m_bUseProxy = proxy.bUseProxy;
    m_strAutoConfigURL = proxy.strAutoConfigURL;
    m_strHostName = parts.host;
    m_bSecure = parts.scheme == INTERNET_SCHEME_HTTPS ? 1 : 0;
    AUTrace(L"Exit : CAUHttpConnection::CreateConnection()");
    return 0;
}

int CAUHttpConnection::CreateRequest(UniqueInternet& request, const std::wstring& url, const wchar_t* verb) {
    scup::TraceScope scope(L"CAUHttpConnection::CreateRequest()");
    UrlParts parts;
    if (!CrackUrl(url, parts)) return 1;
    DWORD flags = WINHTTP_FLAG_REFRESH | (parts.scheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    request.reset(WinHttpOpenRequest(m_hConnect.get(), verb, parts.object.c_str(), nullptr,
                                     WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!request) {
        AUTrace(L"WinHttpOpenRequest() failed with Error Code : %u.", GetLastError());
        return 1;
    }
    if (Session().proxySession == 0 && !Session().autoProxyDone) SearchProxyAutomatically(request.get(), url);
    return 0;
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
    if (found.lpszProxy) GlobalFree(found.lpszProxy);
    if (found.lpszProxyBypass) GlobalFree(found.lpszProxyBypass);
}

bool CAUHttpConnection::MayUseStoredCredentials() const {
    return !m_strProxyUser.empty() && Session().proxyText == m_strProxyServer;
}

bool CAUHttpConnection::SendBody(HINTERNET request, const std::wstring& requestText) {
    if (requestText.empty())
        return WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                                  0);
    // The stack may send the body again by itself (authentication), so it outlives this call.
    m_requestBody = ToAnsi(requestText);
    TraceDump(L"REQUEST IN BINARY FORMAT : \r\n%s", m_requestBody);
    return WinHttpSendRequest(request, L"Content-Type: text/xml", static_cast<DWORD>(-1L),
                              m_requestBody.data(), static_cast<DWORD>(m_requestBody.size()),
                              static_cast<DWORD>(m_requestBody.size()), 0);
}

int CAUHttpConnection::Send(const std::wstring& url, const std::wstring& requestText,
                            std::wstring& response) {
    scup::TraceScope scope(L"CAUHttpConnection::Send()");
    if (!Session().handle || !m_hConnect) return 1;
    UniqueInternet request;
    if (CreateRequest(request, url, L"POST") != 0) {
        AUTrace(L"CreateRequest() failed.");
        return 1;
    }
    if (MayUseStoredCredentials() && !SetBasicProxyCredentials(request.get(), m_strProxyUser, m_strProxyPwd))
        AUTrace(L"WinHttpSetCredentials() failed with Error Code : %u", GetLastError());
    if (!SendBody(request.get(), requestText)) {
        AUTrace(L"WinHttpSendRequest() failed with Error Code : %u.", GetLastError());
        return 1;
    }
    return GetResponse(request.get(), requestText, response, Mode::Text, {});
}

int CAUHttpConnection::Download(const std::wstring& url, const std::wstring& filePath,
                                const DownloadProgress& progress) {
    scup::TraceScope scope(L"CAUHttpConnection::Download()");
    if (!Session().handle || !m_hConnect) return 1;
    UniqueInternet request;
    if (CreateRequest(request, url, L"GET") != 0) {
        AUTrace(L"CreateRequest() failed.");
        return 1;
    }
    if (MayUseStoredCredentials() && !SetBasicProxyCredentials(request.get(), m_strProxyUser, m_strProxyPwd))
        AUTrace(L"WinHttpSetCredentials() failed with Error Code : %u.", GetLastError());
    if (!SendBody(request.get(), L"")) {
        AUTrace(L"WinHttpSendRequest() failed with Error Code : %u.", GetLastError());
        return 1;
    }
    std::wstring target = filePath;
    return GetResponse(request.get(), L"", target, Mode::File, progress);
}

int CAUHttpConnection::GetResponse(HINTERNET request, const std::wstring& requestText, std::wstring& target,
                                   Mode mode, const DownloadProgress& progress) {
    scup::TraceScope scope(L"CAUHttpConnection::GetResponse()");
    if (!WinHttpReceiveResponse(request, nullptr)) {
        DWORD error = GetLastError();
        AUTrace(L"WinHttpReceiveResponse() failed with Error Code : %u.", error);
        // Wine reports the socket's own time-out code instead of the HTTP stack's.
        if (error == ERROR_WINHTTP_TIMEOUT || error == WSAETIMEDOUT)
            AUTrace(L"WinHttpReceiveResponse() failed due to Timeout.");
        return 1;
    }
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        // An answer without a readable status is no answer: nothing of it may pass for success.
        AUTrace(
            L"Failed: the status code could not be read. WinHttpQueryHeaders() failed with Error Code : %u.",
            GetLastError());
        return 1;
    }
    AUTrace(L"WinHttpQueryHeaders() returned Status Code : %d", static_cast<int>(status));
    if (status == HTTP_STATUS_OK) return WriteResponse(request, target, mode, progress);
    if (status == HTTP_STATUS_PROXY_AUTH_REQ)
        return AnswerProxyAuthentication(request, requestText, target, mode, progress);
    AUTrace(L"WinHttpQueryHeaders() returned an unknown status : %d.", static_cast<int>(status));
    return 1;
}

int CAUHttpConnection::AnswerProxyAuthentication(HINTERNET request, const std::wstring& requestText,
                                                 std::wstring& target, Mode mode,
                                                 const DownloadProgress& progress) {
    if (IsEventSet(L"EXIT_EVENT")) return 7;
    AUTrace(L"Getting Proxy Authentication details from user.");
    if (Session().proxyText != m_strProxyServer) {
        m_strProxyUser.clear();
        m_strProxyPwd.clear();
        m_strProxyServer = Session().proxyText;
    }
    int answer = GetProxyAuthDetailsFromUser();
    if (IsEventSet(L"EXIT_EVENT")) return 7;
    if (answer != 0) {
        AUTrace(L"User cancelled the request for Proxy Authentication.");
        return 7;
    }
    std::wstring drained;
    WriteResponse(request, drained, Mode::Text, progress);
    SetBasicProxyCredentials(request, m_strProxyUser, m_strProxyPwd);
    if (!SendBody(request, requestText)) {
        AUTrace(L"WinHttpSendRequest() failed with Error Code : %u.", GetLastError());
        return 1;
    }
    int result = GetResponse(request, requestText, target, mode, progress);
    if (result == 7) AUTrace(L"Proxy Authentication failed.");
    return result;
}

int CAUHttpConnection::WriteResponse(HINTERNET request, std::wstring& target, Mode mode,
                                     const DownloadProgress& progress) {
    scup::TraceScope scope(L"CAUHttpConnection::WriteResponse()");
    scup::UniqueHandle cancel(OpenEventW(SYNCHRONIZE, FALSE, L"CANCEL_EVENT"));
    scup::UniqueFile file;
    if (mode == Mode::Text) {
        target.clear();
    } else {
        file.reset(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            AUTrace(L"Failed: %s could not be created (error %lu).", target.c_str(), GetLastError());
            return 1;
        }
    }
    unsigned long long bytesPerPercent = 0;
    if (progress) {
        wchar_t length[32] = {};
        DWORD size = sizeof(length);
        if (WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, length,
                                &size, WINHTTP_NO_HEADER_INDEX))
            bytesPerPercent = wcstoull(length, nullptr, 10) / 100;
    }

    int result = 0;
    std::string body;
    std::vector<char> chunk;
    unsigned long long total = 0;
    DWORD available = 0;
    do {
        if (!WinHttpQueryDataAvailable(request, &available)) {
            AUTrace(L"WinHttpQueryDataAvailable() failed with Error Code : %u.", GetLastError());
            result = 1;
            break;
        }
        if (available > 0) {
            chunk.resize(available);
            DWORD read = 0;
            if (!WinHttpReadData(request, chunk.data(), available, &read)) {
                AUTrace(L"WinHttpReadData() failed with Error Code : %u.", GetLastError());
            } else {
                AUTrace(L"WinHttpReadData() read %d bytes", static_cast<int>(read));
                if (mode == Mode::File) {
                    DWORD written = 0;
                    if (!WriteFile(file.get(), chunk.data(), read, &written, nullptr) || written != read) {
                        // A full disk must not pass for a complete download.
                        AUTrace(L"Failed: writing %s failed (error %lu).", target.c_str(), GetLastError());
                        result = 1;
                        break;
                    }
                    total += read;
                    if (progress && bytesPerPercent > 0) progress(static_cast<int>(total / bytesPerPercent));
                } else {
                    if (body.size() + read > kMaxResponseBytes) {
                        AUTrace(L"Failed: the answer is larger than %u bytes; it is not read further.",
                                static_cast<unsigned>(kMaxResponseBytes));
                        body.clear();
                        result = 1;
                        break;
                    }
                    body.append(chunk.data(), read);
                }
            }
        }
        if (cancel && WaitForSingleObject(cancel.get(), 0) == WAIT_OBJECT_0) {
            file.reset();
            AUTrace(L"Cancel event occured while reading data.");
            result = 3;
            break;
        }
    } while (available != 0);

    if (progress && result == 0) progress(100);
    if (progress && result == 1) progress(-1);
    TraceDump(L"RESPONSE IN BINARY FORMAT : \r\n%s", body);
    if (mode == Mode::Text) target = FromAnsi(body);
    AUTrace(L"Char count in Response Data: %d", static_cast<int>(body.size()));
    return result;
}

int CAUHttpConnection::GetProxyAuthDetailsFromUser() {
    scup::TraceScope scope(L"CAUHttpConnection::GetProxyAuthDetailsFromUser()");
    Credentials credentials{m_strProxyUser, m_strProxyPwd, 0};
    bool accepted = Prompt() ? Prompt()(credentials) : ShowCredentialsDialog(credentials);
    if (!accepted) return 3;
    m_strProxyUser = credentials.user;
    m_strProxyPwd = credentials.password;
    m_bSaveCredentials = credentials.save;
    AUTrace(L"Save Proxy Authentication status is : %d", m_bSaveCredentials);
    return 0;
}

int CAUHttpConnection::TestAttempt(HINTERNET request, int attempt, bool& tryAgain) {
    tryAgain = false;
    if (attempt == 1) {
        if (MayUseStoredCredentials() && !SetBasicProxyCredentials(request, m_strProxyUser, m_strProxyPwd))
            AUTrace(L"WinHttpSetCredentials() failed with Error Code : %u. Attempt No : %d", GetLastError(),
                    attempt);
    } else {
        if (!m_strProxyUser.empty()) {
            AUTrace(L"Stopping a 2nd attempt to send data with Proxy credentails");
            return 1;
        }
        if (!SetBasicProxyCredentials(request, L"", L""))
            AUTrace(L"WinHttpSetCredentials() failed with Error Code : %u. Attempt No : %d", GetLastError(),
                    attempt);
    }
    if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
        AUTrace(L"WinHttpSendRequest() failed with Error Code : %u. Attempt No : %d", GetLastError(),
                attempt);
        tryAgain = true;
        return 1;
    }
    std::wstring scratch;
    int result = GetResponse(request, L"", scratch, Mode::Text, {});
    if (result == 7) {
        LANGID language = InterfaceLanguage();
        scup::ShowLangMessage(nullptr, kProxyRefusedMessage, language, MB_OK | MB_ICONERROR);
        return 7;
    }
    tryAgain = result != 0;
    return result;
}

int CAUHttpConnection::TestProxy(const std::wstring& url) {
    scup::TraceScope scope(L"CAUHttpConnection::TestProxy()");
    if (!Session().handle || !m_hConnect) return 1;
    m_bSaveCredentials = 0;
    UniqueInternet request;
    if (CreateRequest(request, url, L"POST") != 0) {
        AUTrace(L"CreateRequest() failed.");
        return 1;
    }
    for (int attempt = 1; attempt <= 2; ++attempt) {
        bool tryAgain = false;
        int result = TestAttempt(request.get(), attempt, tryAgain);
        if (!tryAgain) return result;
    }
    return 1;
}

#pragma once
// The update server over WinHTTP. All connections of the process share one session, opened by the
// connection probe with a named proxy, the browser's proxy or the platform's own setting; each
// connection holds the connect handle to one host and a copy of the proxy record.
//
// Results (ServerResult.h): Failed is traced; Cancelled comes through "CANCEL_EVENT" or when the
// program is exiting ("EXIT_EVENT"); ProxyAuthRefused when the user gave no credentials or the
// program is exiting; AnswerUnusable when the server answered with a status other than 200 or 407,
// or with more than the cap.
//
// The blocking calls run on a worker (CCallWorker), so an exchange ends within moments of the
// cancel or exit event, and an answer that is still arriving "ReceiveTimeOut" after the request
// went out fails, however slowly it trickles.
//
// Connections and the session belong to the update thread; a call left on the worker holds only what
// it shares by pointer, and the prompt and language source are set at start, before that thread runs.

#include <windows.h>
#include <winhttp.h>

#include <functional>
#include <memory>
#include <string>

#include "AUConnection.h"
#include "CallWorker.h"
#include "common/Handles.h"

namespace scup {
struct InternetHandleTraits {
    static HINTERNET Invalid() noexcept { return nullptr; }
    static void Close(HINTERNET h) noexcept { ::WinHttpCloseHandle(h); }
};
}  // namespace scup

class CAUHttpConnection : public CAUConnection {
  public:
    enum class SessionKind { Manual, Browser, Direct };

    // Answers held in memory never exceed this: a server that sends more is broken or hostile.
    static constexpr size_t kMaxResponseBytes = 8u << 20;

    CAUHttpConnection() = default;
    ~CAUHttpConnection() override;
    CAUHttpConnection(const CAUHttpConnection&) = delete;
    CAUHttpConnection& operator=(const CAUHttpConnection&) = delete;

    // --- The process-wide session. ---
    // Opens the session of the kind (the browser kind may store the browser's automatic
    // configuration address into the record). Success when a session was opened.
    static ServerResult OpenSharedSession(SessionKind kind, SAUProxyInfo& proxy);
    static void CloseSharedSession();
    static bool HasSharedSession();

    // Asks the user for proxy credentials: user and password preset, all three fields out.
    // True on OK. The application gives the credentials dialog; without a prompt nothing is
    // asked and the credentials count as refused.
    struct Credentials {
        std::wstring user;
        std::wstring password;
        int save = 0;
    };
    using CredentialsPrompt = std::function<bool(Credentials&)>;
    static void SetCredentialsPrompt(CredentialsPrompt prompt);
    // The interface language for the dialog and message 1482.
    static void SetLanguageSource(std::function<LANGID()> source);

    // A download may take as long as it keeps moving: "ReceiveTimeOut" bounds each read, and a
    // download that brings fewer than this many bytes in any such window fails. Fixed for the
    // program; a test may make the window short.
    struct StallRule {
        unsigned long long minimumBytes = 60ull * 1024;
        DWORD windowMs = 60000;
    };
    static void SetStallRule(StallRule rule);

    ServerResult CreateConnection(const std::wstring& url, const SAUProxyInfo& proxy) override;
    ServerResult TestProxy(const std::wstring& url) override;
    ServerResult Send(const std::wstring& url, const std::wstring& request, std::wstring& response) override;
    ServerResult Download(const std::wstring& url, const std::wstring& filePath,
                          const DownloadProgress& progress, unsigned long long maxBytes = 0) override;

    // Closes the connect handle and empties every member.
    void Reset();

    int SaveCredentials() const { return m_bSaveCredentials; }
    SAUProxyInfo ProxyInfo() const;
    const std::wstring& HostName() const { return m_strHostName; }
    int IsSecure() const { return m_bSecure; }
    // The port the connect handle goes to (the address's own, or its scheme's).
    INTERNET_PORT Port() const { return m_nPort; }
    // The port an address names, or its scheme's; 0 when it is no address.
    static INTERNET_PORT PortOf(const std::wstring& url);

  private:
    using UniqueInternet = scup::UniqueResource<HINTERNET, scup::InternetHandleTraits>;
    enum class Mode { Text = 0, File = 1 };

    ServerResult CreateRequest(UniqueInternet& request, const std::wstring& url, const wchar_t* verb);
    // The exchange's request again on a new handle, in place of the one in scope.
    HINTERNET RenewRequest();
    bool GiveProxyCredentials(HINTERNET request);
    void TraceCredentialsFailure(DWORD error) const;
    void SearchProxyAutomatically(HINTERNET request, const std::wstring& url);
    bool MayUseStoredCredentials() const;
    bool IsCertificateRefusal(DWORD error) const;
    static bool IsConnectionLost(DWORD error);
    // A redirect from this https request to a plain http address: never followed, told as such.
    static ServerResult RefuseInsecureRedirect();
    static bool RedirectsInTheClear(HINTERNET request);
    ServerResult SendAndReceive(const std::wstring& requestText, std::wstring& target, Mode mode,
                                const DownloadProgress& progress);
    ServerResult SendBody(HINTERNET request, const std::wstring& requestText);
    ServerResult GetResponse(HINTERNET request, const std::wstring& requestText, std::wstring& target,
                             Mode mode, const DownloadProgress& progress);
    ServerResult AnswerProxyAuthentication(HINTERNET request, const std::wstring& requestText,
                                           std::wstring& target, Mode mode, const DownloadProgress& progress);
    ServerResult WriteResponse(HINTERNET request, std::wstring& target, Mode mode,
                               const DownloadProgress& progress);
    ServerResult GetProxyAuthDetailsFromUser();
    // The waits of one exchange: a fresh worker, and the clock for the whole answer (an exchange)
    // or for the next read (a download, which restarts it).
    void StartWaiting();
    void RestartWaitClock() { m_waitStarted = GetTickCount64(); }
    DWORD RemainingWait() const;
    // Runs one blocking call on the exchange's worker; the end says whether it finished.
    CCallWorker::End RunBlocking(std::function<BOOL()> call, DWORD& error);
    static ServerResult ResultOfUnfinished(CCallWorker::End end, const wchar_t* what);
    ServerResult ReadBody(HINTERNET request, std::wstring& target, Mode mode,
                          const DownloadProgress& progress, HANDLE file, std::string& body,
                          unsigned long long& total);
    ServerResult TestAttempt(int attempt, bool& tryAgain);

    int m_bSaveCredentials = 0;
    UniqueInternet m_hConnect;
    std::wstring m_strProxyServer;
    std::wstring m_strProxyUser;
    std::wstring m_strProxyPwd;
    int m_bUseProxy = 0;
    std::wstring m_strAutoConfigURL;
    std::wstring m_strHostName;
    int m_bSecure = 0;
    INTERNET_PORT m_nPort = 0;
    // The request of the exchange under way. A call left running on the worker shares it, so its
    // handle closes only when both are done with it and is never used once closed.
    std::shared_ptr<void> m_request;
    // What the request in scope asks, for a new handle of the same request.
    std::wstring m_requestUrl;
    std::wstring m_requestVerb;
    // The probe's attempt (1 or 2) while it is under way, 0 in every other exchange.
    int m_probeAttempt = 0;
    // Proxy credentials went with the request in scope: a refusal of them may come back as 401.
    bool m_proxyCredentialsGiven = false;
    class RequestScope {
      public:
        RequestScope(CAUHttpConnection& owner, UniqueInternet& request);
        ~RequestScope() { m_owner.m_request.reset(); }
        RequestScope(const RequestScope&) = delete;
        RequestScope& operator=(const RequestScope&) = delete;
        HINTERNET get() const { return m_owner.m_request.get(); }

      private:
        CAUHttpConnection& m_owner;
    };
    // Shared with a send that may be left running on the worker.
    std::shared_ptr<const std::string> m_requestBody;
    std::unique_ptr<CCallWorker> m_worker;
    ULONGLONG m_waitStarted = 0;
    DWORD m_waitLimit = INFINITE;
    // The most a file download may bring, 0 for no limit; set for the download under way.
    unsigned long long m_downloadLimit = 0;
};

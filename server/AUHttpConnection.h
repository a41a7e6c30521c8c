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
// Each exchange and download is one request (CHttpRequest) taken round one loop: sent, its answer
// classified as done, to be sent again (a lost connection), or asking for proxy credentials, which
// the user is asked for before it goes out again. The blocking calls run on the request's worker
// (CCallWorker), so an exchange ends within moments of the cancel or exit event, and an answer that
// is still arriving "ReceiveTimeOut" after the request went out fails, however slowly it trickles;
// the body is read by HttpAnswerReader.
//
// Connections and the session belong to the update thread; a call left on the worker holds only what
// it shares by pointer, and the prompt and language source are set at start, before that thread runs.

#include <windows.h>
#include <winhttp.h>

#include <functional>
#include <memory>
#include <string>

#include "AUConnection.h"
#include "HttpAnswerReader.h"
#include "HttpSession.h"
#include "RetrySchedule.h"
#include "common/Trace.h"

class CHttpRequest;

class CAUHttpConnection : public CAUConnection {
  public:
    enum class SessionKind { Manual, Browser, Direct };

    // Answers held in memory never exceed this: a server that sends more is broken or hostile.
    static constexpr size_t kMaxResponseBytes = scup::http::kMaxAnswerBytes;

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
    using AnswerMode = scup::http::AnswerMode;

    // A new handle for the request (its first, or one in place of the last).
    ServerResult OpenRequest(CHttpRequest& request);
    // The first handle of an exchange or a download, with the stored credentials where they are
    // this proxy's; false, traced, when there is no session or connection or no handle.
    bool StartRequest(CHttpRequest& request);
    // The user's proxy credentials with the request; false when the stack refused them.
    bool MayAnnounceCredentials(const CHttpRequest& request) const;
    bool GiveProxyCredentials(CHttpRequest& request);
    void SearchProxyAutomatically(const std::wstring& url);
    bool MayUseStoredCredentials() const;
    // The one loop of a request: rounds until one ends it.
    ServerResult Exchange(CHttpRequest& request, const std::wstring& requestText, std::wstring& target,
                          AnswerMode mode, const DownloadProgress& progress, CRetrySchedule schedule);
    // What a request that was tried as often as it may be comes to.
    static ServerResult GiveUp(ServerResult result, const DownloadProgress& progress);
    // The pause before the next try; false when a cancel or the program's end came meanwhile.
    static bool WaitBeforeTryingAgain(ServerResult result, DWORD pauseMs);
    // A 206 answer: Success when it holds the rest of the download from its point on.
    ServerResult TakePartialAnswer(CHttpRequest& request);
    // One round: sent, its answer's status taken, and the body read when it is 200; answer is the
    // answer's scope in the trace, once the request went out.
    ServerResult Round(CHttpRequest& request, const std::wstring& requestText, std::wstring& target,
                       AnswerMode mode, const DownloadProgress& progress,
                       std::unique_ptr<scup::TraceScope>& answer);
    // After a proxy asked for credentials: the user gives them and the request is made anew with
    // them; Success when it may go out again.
    ServerResult AskForCredentials(CHttpRequest& request);
    ServerResult GetProxyAuthDetailsFromUser();
    ServerResult TestAttempt(CHttpRequest& request, int attempt, bool& tryAgain);

    int m_bSaveCredentials = 0;
    scup::UniqueInternet m_hConnect;
    std::wstring m_strProxyServer;
    std::wstring m_strProxyUser;
    std::wstring m_strProxyPwd;
    int m_bUseProxy = 0;
    std::wstring m_strAutoConfigURL;
    std::wstring m_strHostName;
    int m_bSecure = 0;
    INTERNET_PORT m_nPort = 0;
    // The most a file download may bring, 0 for no limit; set for the download under way.
    unsigned long long m_downloadLimit = 0;
};

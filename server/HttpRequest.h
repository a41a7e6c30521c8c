#pragma once
// One request of an exchange or a download: its handle, made anew for each round of proxy
// authentication and after a lost connection (Wine's stack keeps the first credentials given to a
// handle and sends them before any later ones); whether proxy credentials went with it; its body;
// and the worker its blocking calls run on, with the clock that bounds them. It belongs to the
// thread of the exchange. A call left behind on the worker shares the handle and the body, so the
// handle closes only when both are done with it.

#include <windows.h>
#include <winhttp.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "CallWorker.h"
#include "server/ServerResult.h"

// How far a download came on the rounds before, so that the next one asks only for the rest.
struct SDownloadPoint {
    unsigned long long written = 0;  // bytes in the file so far
    // The answer they came from: whether its server serves parts of it, and its version (ETag),
    // which the request for the rest names so that a changed file comes whole.
    bool resumable = false;
    std::wstring validator;
    // The whole file's length as its first answer gave it (0: not given); the rest must end there.
    unsigned long long total = 0;
    // Whether the round now under way asked for the rest.
    bool askedForRest = false;
};

class CHttpRequest {
  public:
    CHttpRequest(HINTERNET connect, std::wstring url, std::wstring verb);
    CHttpRequest(const CHttpRequest&) = delete;
    CHttpRequest& operator=(const CHttpRequest&) = delete;

    // A new handle for the request, in place of any before; no credentials go with it yet.
    ServerResult Open();
    HINTERNET Handle() const { return static_cast<HINTERNET>(m_handle.get()); }
    const std::wstring& Url() const { return m_url; }

    // The connection probe's attempt (1 or 2), whose traces name it; 0 for every other exchange.
    void SetProbeAttempt(int attempt) { m_probeAttempt = attempt; }

    // Basic credentials for the proxy alone: the stack gives them to the proxy that asks, never to
    // the server, and never inside a tunnel. False, traced, when the stack refused them.
    bool SetProxyCredentials(const std::wstring& user, const std::wstring& password);
    // Sends Basic proxy credentials with the request itself, before the proxy asks: a proxy that
    // refuses a request without them and closes at once may reset the connection before its
    // refusal is read, and the stack answers only a refusal it read. The header travels to the
    // proxy alone only on plain http through a proxy for every host, which the caller makes sure
    // of; the request then follows no redirect, since the header would go with it.
    bool AnnounceProxyCredentials(const std::wstring& user, const std::wstring& password);
    bool CredentialsAnnounced() const { return m_announced; }
    // The request was sent elsewhere with the header: from now on, on every handle it gets, only
    // the stack gives the credentials.
    void ForbidAnnouncing() { m_mayAnnounce = false; }
    bool MayAnnounce() const { return m_mayAnnounce; }
    // Proxy credentials went with the request: a refusal of them may come back as 401.
    void MarkCredentialsGiven() { m_credentialsGiven = true; }
    bool CredentialsGiven() const { return m_credentialsGiven; }

    // The waits of one round: a fresh worker, and the clock for the whole answer (an exchange) or
    // for the next read (a download, which restarts it).
    void StartWaiting();
    void RestartWaitClock() { m_waitStarted = GetTickCount64(); }
    // Runs one blocking call on the round's worker; the end says whether it finished.
    CCallWorker::End RunBlocking(std::function<BOOL()> call, DWORD& error);
    // Cancelled when the user or the program ended the wait, Failed when the answer took too long.
    static ServerResult ResultOfUnfinished(CCallWorker::End end, const wchar_t* what);

    // A download's progress over its rounds.
    SDownloadPoint& DownloadPoint() { return m_downloadPoint; }
    // On a download that came partly and may go on: asks the new handle for the rest only.
    bool AskForTheRest();
    // The Retry-After of a busy server's answer, in milliseconds, when it gave one in seconds.
    std::optional<DWORD> RetryAfter() const;

    // Sends the request with the text as its body (none when it is empty).
    ServerResult SendBody(const std::wstring& requestText);
    // Waits for the answer's headers and reads its status.
    ServerResult ReceiveStatus(DWORD& status);

  private:
    DWORD RemainingWait() const;

    HINTERNET m_connect;
    std::wstring m_url;
    std::wstring m_verb;
    std::shared_ptr<void> m_handle;
    std::shared_ptr<const std::string> m_body;
    std::unique_ptr<CCallWorker> m_worker;
    ULONGLONG m_waitStarted = 0;
    DWORD m_waitLimit = INFINITE;
    int m_probeAttempt = 0;
    bool m_credentialsGiven = false;
    bool m_announced = false;
    bool m_mayAnnounce = true;
    SDownloadPoint m_downloadPoint;
};

namespace scup::http {

// A kept-alive connection that the other end closed meanwhile, or one left in a bad state.
bool IsConnectionLost(DWORD error);
// An error of the secure channel that means the server's certificate was refused.
bool IsCertificateRefusal(DWORD error);
// A redirect from an https request to a plain http address: never followed, told as such.
ServerResult RefuseInsecureRedirect();
bool RedirectsInTheClear(HINTERNET request);
// A text header of the answer, or nothing when it has none.
std::optional<std::wstring> AnswerHeader(HINTERNET request, const wchar_t* name);
// The length the answer announces; false when it announces none (a chunked or closing answer).
bool AnnouncedLength(HINTERNET request, unsigned long long& length);
// The bytes as hex into the trace line of the format, when the trace is on.
void TraceDump(const wchar_t* format, const std::string& bytes);

}  // namespace scup::http

#pragma once
// What a conversation with the update server came to. The numbers are the ones the trace, the
// callers' messages and the tests have always used for them.

enum class ServerResult {
    Success = 0,
    // Not reached, refused, or an answer that did not arrive whole.
    Failed = 1,
    // "CANCEL_EVENT" or "EXIT_EVENT" ended the wait, or the user declined to give credentials.
    Cancelled = 3,
    // A file update answer without the file's information.
    NoFileInformation = 6,
    // The proxy refused every credentials it was given, or the user gave none.
    ProxyAuthRefused = 7,
    // The server answered with something other than what was asked for.
    AnswerUnusable = 8,
    // The server's certificate was refused: not trusted, expired or issued for another name.
    NotTrusted = 9,
    // A file arrived but nothing vouches for it: no valid statement of the maker, or a file that is
    // not the one its statement signs.
    NotVerified = 10,
    // A file's body is longer than the most it was allowed to be; nothing past that was read.
    TooLong = 11,
    // The disk the file goes to has not the room for it, or became full while it was written.
    DiskFull = 12,
    // An https request was sent on to a plain http address; the redirect was not followed.
    RedirectRefused = 13,
    // What came back was a network's sign-in page (a hotel's or a guest network's), not the server's
    // answer or file: HTML where XML or a package was expected, or an exchange sent to another host.
    SignInRequired = 14,
    // Within the HTTP connection only: the request met a connection the other end had closed, and
    // goes out again.
    ConnectionLost = -2,
    // Within the HTTP connection only: a proxy asked for credentials, or refused the ones it was
    // given; the user is asked before the request goes out again.
    CredentialsAsked = -3,
    // Within the HTTP connection only: a request that carried the proxy's credentials in a header
    // of its own was sent elsewhere; it goes out again without that header, the stack following.
    RedirectedWithCredentials = -4,
    // Within the HTTP connection only: the server said it is busy (429, 500, 502, 503, 504); asked
    // again after a pause.
    Busy = -5,
    // Within the HTTP connection only: a download's connection broke in the middle of its body; it
    // goes on after a pause from where it stopped, or from the start where the server cannot.
    Interrupted = -6,
};

// The number for the trace.
inline int ResultCode(ServerResult result) { return static_cast<int>(result); }

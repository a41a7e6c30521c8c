#pragma once
// A small HTTP/1.1 server on a loopback socket of the test process. Each request is answered by
// the test's handler, which can also stream a body in timed pieces or never finish, so the HTTP
// client's handling of statuses, proxies (it can play the proxy), slow bodies and time-outs is
// tested over real sockets.

#include <winsock2.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

struct HttpRequestSeen {
    std::string method;
    std::string target;  // as on the request line: a path, or an absolute URL through a proxy
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    std::string Header(const std::string& lowerName) const {
        auto it = headers.find(lowerName);
        return it == headers.end() ? std::string() : it->second;
    }
};

struct HttpAnswer {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    bool announceLength = true;
    // The body goes out in pieces of this size with the pause after each piece (0: all at once).
    size_t pieceSize = 0;
    std::chrono::milliseconds pause{0};
    // Sends nothing at all and keeps the connection open until the server stops.
    bool hang = false;
    // Announces this length instead of the body's own; after such a body the connection is
    // closed (a cut answer) or, with holdOpen, kept open with nothing more sent (a stalled one).
    std::optional<size_t> announcedLength;
    bool holdOpen = false;
    // Bytes sent after the announced body on a connection kept alive for the next request: an
    // answer longer than its Content-Length.
    std::string trailing;
};

class ScriptedHttpServer {
  public:
    using Handler = std::function<HttpAnswer(const HttpRequestSeen&)>;

    // Listens on the address (a port of the system's choice) until destroyed.
    explicit ScriptedHttpServer(Handler handler, const char* address = "127.0.0.2");
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    unsigned short Port() const { return port_; }
    std::string Address() const { return address_; }
    // "http://address:port" followed by the path.
    std::wstring Url(const std::wstring& path) const;
    std::vector<HttpRequestSeen> Requests() const;

  private:
    void AcceptLoop();
    void Serve(SOCKET client);
    bool ReadRequest(SOCKET client, std::string& pending, HttpRequestSeen& request);
    void SendAnswer(SOCKET client, const HttpAnswer& answer);

    Handler handler_;
    std::string address_;
    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::vector<HttpRequestSeen> requests_;
    std::vector<std::thread> clients_;
    std::vector<SOCKET> openClients_;
};

}  // namespace testing_support

#pragma once
// An HTTP/1.1 server in two parts. One thread runs Boost.Asio's reactor (epoll) over every open
// connection: it accepts, reads requests as their bytes come (Boost.Beast parses them) and closes
// connections that stay idle or send too slowly. A request that has fully arrived goes to a pool of
// workers, which run the handler and write the answer; a connection that stays open then goes back
// to the reactor. So an idle connection kept open between requests (a proxy keeps many) costs no
// thread, and a slow client holds no worker while it sends.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "HttpMessage.h"

namespace updateserver {

class HttpServer {
  public:
    struct Settings {
        int workers = 64;               // requests handled at the same time
        std::size_t maxBody = 1 << 20;  // a longer request body gets 413
        int listenQueue = 512;          // connections waiting to be accepted (a burst of clients)
        std::chrono::milliseconds readTimeout{5000};       // a request whose bytes stop coming
        std::chrono::milliseconds keepAliveTimeout{5000};  // an open connection with no request
        std::chrono::milliseconds writeTimeout{5000};      // a client that stops reading its answer
    };
    using Handler = std::function<void(const HttpRequest&, HttpResponse&)>;
    // Called once an answer has gone out (or failed), on the worker that wrote it.
    using Logger = std::function<void(const HttpRequest&, const HttpResponse&)>;
    // Answers a request at once on the reactor's thread, where that costs no waiting (an answer kept
    // in memory); false leaves it to the handler on a worker, which must answer such a request the
    // same way. It must not block, and answers with a text body only.
    using QuickHandler = std::function<bool(const HttpRequest&, HttpResponse&)>;

    HttpServer(Settings settings, Handler handler, Logger logger, QuickHandler quick = nullptr);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds and listens on the address (port 0: any free port). The port, or -1 with a message.
    int Listen(const std::string& address, int port, std::string& error);
    // Serves until Stop. Returns at once when Stop came first.
    void Run();
    // Ends Run from any thread; answers being written end at their next write.
    void Stop();

  private:
    // The reactor, the workers and the connections; Boost.Asio stays out of this header.
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace updateserver

#pragma once
// One keep-alive HTTP/1.1 connection on a non-blocking socket, driven by an event loop: it sends a
// request and reads its response as the socket becomes ready, without ever blocking the loop.

#include <cstdint>
#include <string>

namespace loadgen {

struct HttpResponse {
    int status = 0;
    bool closeAfter = false;  // the server said "Connection: close"
    long long contentLength = -1;
    std::string body;         // kept up to the connection's body limit
    long long bodyBytes = 0;  // all bytes of the body, kept or not
};

class HttpConnection {
  public:
    enum class Progress { kWaiting, kDone, kFailed };

    HttpConnection() = default;
    ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    // Starts a non-blocking connect; false (with Error) when the socket cannot be made.
    bool Open(const std::string& host, int port);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    // Queues a request; bodies beyond keepBodyBytes are counted, not kept.
    void Start(std::string request, std::size_t keepBodyBytes);
    // Called when the socket is ready; sends what is left, then reads.
    Progress OnReady();
    bool WantsWrite() const { return sent_ < request_.size(); }
    const HttpResponse& Response() const { return response_; }
    const std::string& Error() const { return error_; }
    // The request failed because the other end closed or reset the connection (not a bad answer).
    bool ConnectionLost() const { return lost_; }

  private:
    Progress Fail(const std::string& why);
    Progress Lose(const std::string& why);
    Progress Send();
    Progress Receive();
    bool ParseHead(std::size_t headEnd);

    int fd_ = -1;
    std::string request_;
    std::size_t sent_ = 0;
    std::size_t keepBodyBytes_ = 0;
    std::string head_;
    bool headDone_ = false;
    HttpResponse response_;
    std::string error_;
    bool lost_ = false;
};

}  // namespace loadgen

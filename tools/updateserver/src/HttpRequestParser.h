#pragma once
// Finds one HTTP/1.x request in the bytes a connection has received so far: the request line, the
// headers and a body of Content-Length bytes. Called again as more bytes arrive; the headers are read
// once, when their end has come.

#include <cstddef>
#include <string>
#include <string_view>

#include "HttpMessage.h"

namespace updateserver {

class HttpRequestParser {
  public:
    enum class State { NeedMore, Complete, Failed };

    static constexpr std::size_t kMaxHeaderBytes = 16 * 1024;

    explicit HttpRequestParser(std::size_t maxBody) : maxBody_(maxBody) {}

    // buffer starts at the request's first byte and holds everything received since.
    State Parse(std::string_view buffer);

    // Once the headers are read: whether the client waits for "100 Continue" before sending its body.
    bool HeadersRead() const { return headersRead_; }
    bool ExpectsContinue() const { return expectsContinue_; }
    bool BodyStarted(std::string_view buffer) const { return buffer.size() > headerBytes_; }

    // After Complete: the request, and how many bytes of the buffer it took.
    HttpRequest& Request() { return request_; }
    std::size_t Consumed() const { return headerBytes_ + bodyBytes_; }
    // Whether the connection stays open after the answer (HTTP/1.1 unless "Connection: close",
    // HTTP/1.0 only with "Connection: keep-alive").
    bool KeepAlive() const { return keepAlive_; }

    // After Failed: the status to answer with and why. What was read of the request (method, path) is
    // in Request() for the log.
    int FailureStatus() const { return failureStatus_; }
    const std::string& FailureReason() const { return failureReason_; }

  private:
    State Fail(int status, std::string reason);
    State TooLongHead();
    State ReadHead(std::string_view head);
    bool ReadRequestLine(std::string_view line);
    bool ReadHeaderLine(std::string_view line);
    State ReadFraming();

    std::size_t maxBody_;
    std::size_t searchedUpTo_ = 0;
    bool headersRead_ = false;
    bool expectsContinue_ = false;
    bool keepAlive_ = true;
    std::size_t headerBytes_ = 0;
    std::size_t bodyBytes_ = 0;
    HttpRequest request_;
    int failureStatus_ = 0;
    std::string failureReason_;
};

}  // namespace updateserver

#pragma once
// Finds one HTTP/1.x request in the bytes a connection has received so far: the request line, the
// headers and a body of Content-Length bytes. Called again as more bytes arrive. The reading itself
// is Boost.Beast's request parser; this class adds the server's own rules on top (no chunked bodies,
// a body limit with its reason, empty lines before a request) and gives the request in the form the
// handler takes.

#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "HttpMessage.h"

namespace updateserver {

class HttpRequestParser {
  public:
    enum class State { NeedMore, Complete, Failed };

    static constexpr std::size_t kMaxHeaderBytes = 16 * 1024;

    explicit HttpRequestParser(std::size_t maxBody);

    // buffer starts at the request's first byte and holds everything received since; each call
    // passes the same bytes again with what came since.
    State Parse(std::string_view buffer);

    // Once the headers are read: whether the client waits for "100 Continue" before sending its body.
    bool HeadersRead() const { return headersRead_; }
    bool ExpectsContinue() const { return expectsContinue_; }
    bool BodyStarted(std::string_view buffer) const { return buffer.size() > headerBytes_; }

    // After Complete: the request, and how many bytes of the buffer it took.
    HttpRequest& Request() { return request_; }
    std::size_t Consumed() const { return consumed_; }
    // Whether the connection stays open after the answer (HTTP/1.1 unless "Connection: close",
    // HTTP/1.0 only with "Connection: keep-alive").
    bool KeepAlive() const { return keepAlive_; }

    // After Failed: the status to answer with and why. What was read of the request (method, path) is
    // in Request() for the log.
    int FailureStatus() const { return failureStatus_; }
    const std::string& FailureReason() const { return failureReason_; }

  private:
    using BeastParser = boost::beast::http::request_parser<boost::beast::http::string_body>;

    State Fail(int status, std::string reason);
    State Refuse(const boost::beast::error_code& error, std::string_view head);
    State TakeHead();
    bool TakeTarget();

    std::size_t maxBody_;
    std::unique_ptr<BeastParser> parser_;  // held apart so that a parser can be replaced by assignment
    std::size_t blankLines_ = 0;           // bytes of empty lines before the request line
    std::size_t fed_ = 0;                  // bytes the Beast parser has taken, after the empty lines
    bool headersRead_ = false;
    bool expectsContinue_ = false;
    bool keepAlive_ = true;
    std::size_t headerBytes_ = 0;
    std::size_t consumed_ = 0;
    HttpRequest request_;
    int failureStatus_ = 0;
    std::string failureReason_;
};

}  // namespace updateserver

#include "HttpRequestParser.h"

#include <algorithm>
#include <boost/asio/buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <cctype>

#include "Catalog.h"

namespace updateserver {
namespace http = boost::beast::http;

namespace {

bool IsToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
    });
}

bool IsHttpVersion(std::string_view text) {
    return text.size() == 8 && text.substr(0, 5) == "HTTP/" &&
           std::isdigit(static_cast<unsigned char>(text[5])) && text[6] == '.' &&
           std::isdigit(static_cast<unsigned char>(text[7]));
}

// Why the request line cannot be taken, or "" when its form is right (method, target and version
// separated by single spaces). The parser's own error does not say which part was wrong.
std::string RequestLineFault(std::string_view head, int& status) {
    const std::string_view line = head.substr(0, std::min(head.find("\r\n"), head.size()));
    const std::size_t first = line.find(' ');
    const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    status = 400;
    if (second == std::string_view::npos || second == first + 1 ||
        line.find(' ', second + 1) != std::string_view::npos)
        return "malformed request line";
    if (!IsToken(line.substr(0, first))) return "malformed request method";
    const std::string_view version = line.substr(second + 1);
    if (IsHttpVersion(version) && version != "HTTP/1.1" && version != "HTTP/1.0") {
        status = 505;
        return "only HTTP/1.0 and HTTP/1.1 are spoken here";
    }
    if (version != "HTTP/1.1" && version != "HTTP/1.0") return "malformed request line";
    return "";
}

constexpr char kChunked[] = "a request body must come with Content-Length (chunked bodies are not taken)";

}  // namespace

HttpRequestParser::HttpRequestParser(std::size_t maxBody)
    : maxBody_(maxBody), parser_(std::make_unique<BeastParser>()) {
    // The body limit is this class's, so that the refusal can name the length.
    parser_->body_limit(boost::none);
    parser_->header_limit(static_cast<std::uint32_t>(kMaxHeaderBytes));
    parser_->eager(false);  // stop after the headers: the framing is checked before any body is taken
}

HttpRequestParser::State HttpRequestParser::Fail(int status, std::string reason) {
    failureStatus_ = status;
    failureReason_ = std::move(reason);
    keepAlive_ = false;
    return State::Failed;
}

HttpRequestParser::State HttpRequestParser::Parse(std::string_view buffer) {
    if (failureStatus_ != 0) return State::Failed;
    const auto tooLong = [this] {
        return Fail(431,
                    "request line and headers longer than " + std::to_string(kMaxHeaderBytes) + " bytes");
    };
    boost::beast::error_code error;
    if (!headersRead_) {
        if (fed_ == 0) {
            // Empty lines before a request are allowed (a client may end its previous body with one);
            // they count towards the limit, or a stream of them would never end.
            std::size_t start = 0;
            while (start + 1 < buffer.size() && buffer[start] == '\r' && buffer[start + 1] == '\n')
                start += 2;
            blankLines_ = start;
            const std::string_view head = buffer.substr(start);
            if (head.empty() || head == "\r")
                return buffer.size() > kMaxHeaderBytes ? tooLong() : State::NeedMore;
        }
        // The parser takes whole lines as they come and wants only what it has not taken yet.
        const std::string_view rest = buffer.substr(std::min(blankLines_ + fed_, buffer.size()));
        if (rest.empty()) return State::NeedMore;
        fed_ += parser_->put(boost::asio::buffer(rest.data(), rest.size()), error);
        if (error == http::error::need_more || (!error && !parser_->is_header_done()))
            return buffer.size() > kMaxHeaderBytes ? tooLong() : State::NeedMore;
        if (error == http::error::header_limit) return tooLong();
        if (error) return Refuse(error, buffer.substr(blankLines_));
        headerBytes_ = blankLines_ + fed_;
        if (headerBytes_ > kMaxHeaderBytes + 4)
            return tooLong();  // the limit is on what precedes the empty line
        if (TakeHead() == State::Failed) return State::Failed;
        headersRead_ = true;
        parser_->eager(true);
    }
    while (!parser_->is_done()) {
        const std::string_view rest = buffer.substr(std::min(blankLines_ + fed_, buffer.size()));
        if (rest.empty()) return State::NeedMore;
        const std::size_t taken = parser_->put(boost::asio::buffer(rest.data(), rest.size()), error);
        fed_ += taken;
        if (error == http::error::need_more || (!error && taken == 0)) return State::NeedMore;
        if (error) return Refuse(error, buffer.substr(blankLines_));
    }
    request_.body = std::move(parser_->get().body());
    consumed_ = blankLines_ + fed_;
    return State::Complete;
}

HttpRequestParser::State HttpRequestParser::Refuse(const boost::beast::error_code& error,
                                                   std::string_view head) {
    if (error == http::error::bad_transfer_encoding ||
        (error == http::error::bad_content_length &&
         parser_->get().count(http::field::transfer_encoding) > 0))
        return Fail(411, kChunked);
    if (error == http::error::bad_content_length) return Fail(400, "malformed Content-Length");
    if (error == http::error::multiple_content_length)
        return Fail(400, "two different Content-Length headers");
    int status = 400;
    if (std::string reason = RequestLineFault(head, status); !reason.empty())
        return Fail(status, std::move(reason));
    const bool inRequestLine = error == http::error::bad_method || error == http::error::bad_target ||
                               error == http::error::bad_version;
    return Fail(400, inRequestLine ? "malformed request line" : "malformed header line");
}

HttpRequestParser::State HttpRequestParser::TakeHead() {
    const auto& message = parser_->get();
    request_.method = std::string(message.method_string());
    request_.target = std::string(message.target());
    request_.version = message.version() == 10 ? "HTTP/1.0" : "HTTP/1.1";
    for (const auto& field : message)
        request_.headers.emplace(std::string(field.name_string()), std::string(field.value()));
    keepAlive_ = parser_->keep_alive();
    if (!TakeTarget()) return State::Failed;

    if (request_.has_header("Transfer-Encoding")) return Fail(411, kChunked);
    const std::uint64_t length = parser_->content_length().value_or(0);
    if (length > maxBody_)
        return Fail(413, "request body of " + std::to_string(length) + " bytes, more than " +
                             std::to_string(maxBody_));
    expectsContinue_ = length > 0 && request_.version == "HTTP/1.1" &&
                       EqualsIgnoringCase(request_.get_header_value("Expect"), "100-continue");
    return State::NeedMore;
}

bool HttpRequestParser::TakeTarget() {
    std::string_view target = request_.target;
    // The absolute form ("http://host/path") is meant for proxies, but servers take it too.
    if (const std::size_t scheme = target.find("://");
        scheme != std::string_view::npos && target.front() != '/') {
        const std::size_t pathStart = target.find('/', scheme + 3);
        target = pathStart == std::string_view::npos ? std::string_view("/") : target.substr(pathStart);
    }
    if (target.empty() || target.front() != '/') {
        Fail(400, "the request target is not a path");
        return false;
    }
    const std::size_t query = target.find('?');
    request_.path = DecodeUrl(target.substr(0, query), false);
    if (query != std::string_view::npos) request_.params = ParseQuery(target.substr(query + 1));
    return true;
}

}  // namespace updateserver

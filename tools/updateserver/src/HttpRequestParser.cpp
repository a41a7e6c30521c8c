#include "HttpRequestParser.h"

#include <algorithm>
#include <cctype>

#include "Catalog.h"

namespace updateserver {
namespace {

constexpr std::string_view kHeadEnd = "\r\n\r\n";

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool IsToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
    });
}

bool ContainsToken(std::string_view list, std::string_view token) {
    while (!list.empty()) {
        const std::size_t comma = std::min(list.find(','), list.size());
        if (EqualsIgnoringCase(Trim(list.substr(0, comma)), token)) return true;
        list.remove_prefix(std::min(comma + 1, list.size()));
    }
    return false;
}

}  // namespace

HttpRequestParser::State HttpRequestParser::Fail(int status, std::string reason) {
    failureStatus_ = status;
    failureReason_ = std::move(reason);
    keepAlive_ = false;
    return State::Failed;
}

HttpRequestParser::State HttpRequestParser::TooLongHead() {
    return Fail(431, "request line and headers longer than " + std::to_string(kMaxHeaderBytes) + " bytes");
}

HttpRequestParser::State HttpRequestParser::Parse(std::string_view buffer) {
    if (!headersRead_) {
        // Empty lines before a request are allowed (a client may end its previous body with one).
        std::size_t start = 0;
        while (start + 1 < buffer.size() && buffer[start] == '\r' && buffer[start + 1] == '\n') start += 2;
        const std::size_t from = std::max(start, searchedUpTo_ > 3 ? searchedUpTo_ - 3 : 0);
        const std::size_t end = buffer.find(kHeadEnd, from);
        if (end == std::string_view::npos) {
            searchedUpTo_ = buffer.size();
            // Empty lines before the request count too, or a stream of them would never end.
            if (buffer.size() > kMaxHeaderBytes) return TooLongHead();
            return State::NeedMore;
        }
        if (end > kMaxHeaderBytes) return TooLongHead();
        headerBytes_ = end + kHeadEnd.size();
        if (const State state = ReadHead(buffer.substr(start, end - start)); state == State::Failed)
            return state;
        headersRead_ = true;
    }
    if (buffer.size() < headerBytes_ + bodyBytes_) return State::NeedMore;
    request_.body.assign(buffer.substr(headerBytes_, bodyBytes_));
    return State::Complete;
}

HttpRequestParser::State HttpRequestParser::ReadHead(std::string_view head) {
    std::size_t lineEnd = std::min(head.find("\r\n"), head.size());
    if (!ReadRequestLine(head.substr(0, lineEnd))) return State::Failed;
    while (lineEnd < head.size()) {
        head.remove_prefix(lineEnd + 2);
        lineEnd = std::min(head.find("\r\n"), head.size());
        if (!ReadHeaderLine(head.substr(0, lineEnd))) return State::Failed;
    }
    return ReadFraming();
}

bool HttpRequestParser::ReadRequestLine(std::string_view line) {
    const std::size_t first = line.find(' ');
    const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos) {
        Fail(400, "malformed request line");
        return false;
    }
    request_.method = std::string(line.substr(0, first));
    request_.target = std::string(line.substr(first + 1, second - first - 1));
    request_.version = std::string(line.substr(second + 1));
    if (!IsToken(request_.method)) {
        Fail(400, "malformed request method");
        return false;
    }
    if (request_.version != "HTTP/1.1" && request_.version != "HTTP/1.0") {
        Fail(505, "only HTTP/1.0 and HTTP/1.1 are spoken here");
        return false;
    }
    keepAlive_ = request_.version == "HTTP/1.1";

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

bool HttpRequestParser::ReadHeaderLine(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
        Fail(400, "malformed header line");
        return false;
    }
    request_.headers.emplace(std::string(line.substr(0, colon)), std::string(Trim(line.substr(colon + 1))));
    return true;
}

HttpRequestParser::State HttpRequestParser::ReadFraming() {
    const std::string connection = request_.get_header_value("Connection");
    if (ContainsToken(connection, "close")) keepAlive_ = false;
    if (ContainsToken(connection, "keep-alive")) keepAlive_ = true;

    if (request_.has_header("Transfer-Encoding"))
        return Fail(411, "a request body must come with Content-Length (chunked bodies are not taken)");
    const auto [first, last] = request_.headers.equal_range("Content-Length");
    std::string length;
    for (auto it = first; it != last; ++it) {
        const std::string_view value = it->second;
        if (value.empty() || value.size() > 15 ||
            !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return Fail(400, "malformed Content-Length");
        if (!length.empty() && length != value) return Fail(400, "two different Content-Length headers");
        length = value;
    }
    bodyBytes_ = length.empty() ? 0 : static_cast<std::size_t>(std::stoull(length));
    if (bodyBytes_ > maxBody_)
        return Fail(413, "request body of " + length + " bytes, more than " + std::to_string(maxBody_));
    expectsContinue_ = bodyBytes_ > 0 && request_.version == "HTTP/1.1" &&
                       EqualsIgnoringCase(request_.get_header_value("Expect"), "100-continue");
    return State::NeedMore;
}

}  // namespace updateserver

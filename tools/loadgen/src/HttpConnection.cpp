#include "HttpConnection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace loadgen {

HttpConnection::~HttpConnection() { Close(); }

bool HttpConnection::Open(const std::string& host, int port) {
    Close();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        error_ = "not an IPv4 address: " + host;
        return false;
    }
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        error_ = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    int yes = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
        error_ = std::string("connect: ") + std::strerror(errno);
        Close();
        return false;
    }
    return true;
}

void HttpConnection::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void HttpConnection::Start(std::string request, std::size_t keepBodyBytes) {
    request_ = std::move(request);
    sent_ = 0;
    keepBodyBytes_ = keepBodyBytes;
    head_.clear();
    headDone_ = false;
    response_ = HttpResponse{};
    error_.clear();
    lost_ = false;
}

HttpConnection::Progress HttpConnection::Fail(const std::string& why) {
    error_ = why;
    return Progress::kFailed;
}

HttpConnection::Progress HttpConnection::Lose(const std::string& why) {
    lost_ = true;
    return Fail(why);
}

HttpConnection::Progress HttpConnection::OnReady() {
    if (WantsWrite()) {
        const Progress sent = Send();
        if (sent != Progress::kWaiting || WantsWrite()) return sent;
    }
    return Receive();
}

HttpConnection::Progress HttpConnection::Send() {
    while (sent_ < request_.size()) {
        const ssize_t n = ::send(fd_, request_.data() + sent_, request_.size() - sent_, MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EINTR || errno == ENOTCONN)) return Progress::kWaiting;
        if (n < 0 && (errno == ECONNRESET || errno == EPIPE))
            return Lose(std::string("send: ") + std::strerror(errno));
        if (n < 0) return Fail(std::string("send: ") + std::strerror(errno));
        sent_ += static_cast<std::size_t>(n);
    }
    return Progress::kWaiting;
}

HttpConnection::Progress HttpConnection::Receive() {
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return Progress::kWaiting;
        if (n < 0 && errno == ECONNRESET) return Lose(std::string("recv: ") + std::strerror(errno));
        if (n < 0) return Fail(std::string("recv: ") + std::strerror(errno));
        if (n == 0)
            return Lose(headDone_ ? "connection closed in the body" : "connection closed before an answer");
        std::size_t used = 0;
        if (!headDone_) {
            const std::size_t before = head_.size();
            head_.append(buffer, static_cast<std::size_t>(n));
            const std::size_t end = head_.find("\r\n\r\n");
            if (end == std::string::npos) {
                if (head_.size() > 64 * 1024) return Fail("answer head too long");
                continue;
            }
            if (!ParseHead(end)) return Fail("unreadable answer head: " + head_.substr(0, end));
            headDone_ = true;
            used = end + 4 - before;
        }
        const std::size_t rest = static_cast<std::size_t>(n) - used;
        response_.bodyBytes += static_cast<long long>(rest);
        const std::size_t keep =
            std::min(rest, keepBodyBytes_ - std::min(keepBodyBytes_, response_.body.size()));
        response_.body.append(buffer + used, keep);
        if (response_.bodyBytes > response_.contentLength) return Fail("more bytes than Content-Length");
        if (response_.bodyBytes == response_.contentLength) return Progress::kDone;
    }
}

bool HttpConnection::ParseHead(std::size_t headEnd) {
    const std::string head = head_.substr(0, headEnd);
    if (head.rfind("HTTP/1.", 0) != 0 || head.size() < 12) return false;
    response_.status = std::atoi(head.c_str() + 9);
    std::size_t line = head.find("\r\n");
    while (line != std::string::npos) {
        const std::size_t start = line + 2;
        line = head.find("\r\n", start);
        const std::string header =
            head.substr(start, line == std::string::npos ? std::string::npos : line - start);
        const std::size_t colon = header.find(':');
        if (colon == std::string::npos) continue;
        std::string value = header.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        const std::string name = header.substr(0, colon);
        if (strcasecmp(name.c_str(), "Content-Length") == 0)
            response_.contentLength = std::atoll(value.c_str());
        if (strcasecmp(name.c_str(), "Connection") == 0 && strcasecmp(value.c_str(), "close") == 0)
            response_.closeAfter = true;
        // Chunked answers are not read; every answer of the service announces its length.
        if (strcasecmp(name.c_str(), "Transfer-Encoding") == 0) return false;
    }
    return response_.contentLength >= 0;
}

}  // namespace loadgen

#include "RawHttp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace {

class Socket {
  public:
    Socket() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int Get() const { return fd_; }

  private:
    int fd_;
};

void SplitHead(RawResponse& response, const std::string& all) {
    const std::size_t end = all.find("\r\n\r\n");
    if (end == std::string::npos) {
        response.headers = all;
        return;
    }
    response.headers = all.substr(0, end);
    response.body = all.substr(end + 4);
    const std::size_t length = response.headers.find("Content-Length: ");
    if (length != std::string::npos)
        response.contentLength = std::atoll(response.headers.c_str() + length + 16);
}

}  // namespace

RawResponse RawExchange(const std::string& host, int port, const std::string& request,
                        std::chrono::milliseconds timeout) {
    RawResponse response;
    Socket socket;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (socket.Get() < 0 || inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) return response;
    if (::connect(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return response;
    response.connected = true;
    for (std::size_t sent = 0; sent < request.size();) {
        const ssize_t n = ::send(socket.Get(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return response;
        sent += static_cast<std::size_t>(n);
    }
    std::string all;
    char buffer[65536];
    for (;;) {
        pollfd watch{socket.Get(), POLLIN, 0};
        if (::poll(&watch, 1, static_cast<int>(timeout.count())) <= 0) {
            response.timedOut = true;
            break;
        }
        const ssize_t n = ::recv(socket.Get(), buffer, sizeof buffer, 0);
        if (n <= 0) break;
        all.append(buffer, static_cast<std::size_t>(n));
    }
    SplitHead(response, all);
    return response;
}

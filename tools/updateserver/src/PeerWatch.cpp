#include "PeerWatch.h"

#include <dirent.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace updateserver {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

bool AddressIs(const sockaddr_storage& address, socklen_t length, const std::string& host, int port) {
    char hostText[NI_MAXHOST];
    char portText[NI_MAXSERV];
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, hostText, sizeof hostText, portText,
                    sizeof portText, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        return false;
    }
    return host == hostText && port == std::atoi(portText);
}

}  // namespace

PeerWatch::PeerWatch(std::string localAddr, int localPort, std::string remoteAddr, int remotePort)
    : localAddr_(std::move(localAddr)),
      localPort_(localPort),
      remoteAddr_(std::move(remoteAddr)),
      remotePort_(remotePort) {}

int PeerWatch::FindSocket() const {
    std::unique_ptr<DIR, DirCloser> dir(opendir("/proc/self/fd"));
    if (!dir) return -1;
    while (const dirent* entry = readdir(dir.get())) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0') continue;
        struct stat info {};
        if (fstat(static_cast<int>(fd), &info) != 0 || !S_ISSOCK(info.st_mode)) continue;
        sockaddr_storage local{};
        sockaddr_storage remote{};
        socklen_t localLength = sizeof local;
        socklen_t remoteLength = sizeof remote;
        if (getsockname(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&local), &localLength) != 0)
            continue;
        if (getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&remote), &remoteLength) != 0)
            continue;
        // A connection's four addresses are unique among the live sockets, so a match is this request's.
        if (AddressIs(local, localLength, localAddr_, localPort_) &&
            AddressIs(remote, remoteLength, remoteAddr_, remotePort_)) {
            return static_cast<int>(fd);
        }
    }
    return -1;
}

bool PeerWatch::PeerClosed() {
    if (fd_ < 0) fd_ = FindSocket();
    if (fd_ < 0) return false;
    pollfd watch{fd_, POLLIN | POLLRDHUP, 0};
    if (poll(&watch, 1, 0) <= 0) return false;
    if (watch.revents & (POLLRDHUP | POLLHUP | POLLERR)) return true;
    // Readable without a hang-up: the client sent more (a pipelined request); it is still there.
    return false;
}

}  // namespace updateserver

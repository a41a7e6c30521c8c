#include "ScriptedHttpServer.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace testing_support {

namespace {

struct WinsockUser {
    WinsockUser() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockUser() { WSACleanup(); }
};

void EnsureWinsock() { static WinsockUser user; }

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    size_t last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// Waits for data a tenth of a second at a time so that a stopping server is noticed.
int ReceiveSome(SOCKET socket, char* buffer, int size, const std::atomic<bool>& stopping) {
    while (!stopping) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket, &readable);
        timeval wait{0, 100000};
        int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (ready < 0) return -1;
        if (ready > 0) return recv(socket, buffer, size, 0);
    }
    return -1;
}

bool SendAll(SOCKET socket, const char* data, size_t size) {
    while (size > 0) {
        int sent = send(socket, data, static_cast<int>(std::min<size_t>(size, 1 << 20)), 0);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

const char* ReasonOf(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 304:
            return "Not Modified";
        case 407:
            return "Proxy Authentication Required";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

}  // namespace

ScriptedHttpServer::ScriptedHttpServer(Handler handler, const char* address)
    : handler_(std::move(handler)), address_(address) {
    EnsureWinsock();
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    inet_pton(AF_INET, address, &where.sin_addr);
    where.sin_port = 0;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&where), sizeof(where)) != 0 ||
        listen(listener_, 16) != 0)
        return;
    int length = sizeof(where);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&where), &length);
    port_ = ntohs(where.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
    stopping_ = true;
    closesocket(listener_);
    if (acceptor_.joinable()) acceptor_.join();
    {
        std::lock_guard lock(mutex_);
        for (SOCKET client : openClients_) shutdown(client, SD_BOTH);
    }
    for (std::thread& client : clients_)
        if (client.joinable()) client.join();
}

std::wstring ScriptedHttpServer::Url(const std::wstring& path) const {
    return L"http://" + std::wstring(address_.begin(), address_.end()) + L":" + std::to_wstring(port_) + path;
}

std::vector<HttpRequestSeen> ScriptedHttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void ScriptedHttpServer::AcceptLoop() {
    while (!stopping_) {
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) break;
        std::lock_guard lock(mutex_);
        openClients_.push_back(client);
        clients_.emplace_back([this, client] { Serve(client); });
    }
}

void ScriptedHttpServer::Serve(SOCKET client) {
    std::string pending;
    HttpRequestSeen request;
    while (!stopping_ && ReadRequest(client, pending, request)) {
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        HttpAnswer answer = handler_(request);
        if (answer.hang) {
            char sink[256];
            while (ReceiveSome(client, sink, sizeof(sink), stopping_) > 0) {
            }
            break;
        }
        SendAnswer(client, answer);
        if (answer.announcedLength && answer.holdOpen) {
            char sink[256];
            while (ReceiveSome(client, sink, sizeof(sink), stopping_) > 0) {
            }
        }
        if (!answer.announceLength || answer.announcedLength) break;
        request = {};
    }
    {
        std::lock_guard lock(mutex_);
        openClients_.erase(std::remove(openClients_.begin(), openClients_.end(), client), openClients_.end());
    }
    closesocket(client);
}

bool ScriptedHttpServer::ReadRequest(SOCKET client, std::string& pending, HttpRequestSeen& request) {
    char buffer[4096];
    size_t headEnd;
    while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos) {
        int got = ReceiveSome(client, buffer, sizeof(buffer), stopping_);
        if (got <= 0) return false;
        pending.append(buffer, static_cast<size_t>(got));
    }
    std::string head = pending.substr(0, headEnd);
    pending.erase(0, headEnd + 4);
    size_t lineEnd = head.find("\r\n");
    std::string requestLine = head.substr(0, lineEnd);
    size_t firstBlank = requestLine.find(' ');
    size_t secondBlank = requestLine.find(' ', firstBlank + 1);
    request.method = requestLine.substr(0, firstBlank);
    request.target = requestLine.substr(firstBlank + 1, secondBlank - firstBlank - 1);
    size_t at = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (at < head.size()) {
        size_t next = head.find("\r\n", at);
        std::string line = head.substr(at, next == std::string::npos ? std::string::npos : next - at);
        size_t colon = line.find(':');
        if (colon != std::string::npos)
            request.headers[Lower(line.substr(0, colon))] = Trim(line.substr(colon + 1));
        if (next == std::string::npos) break;
        at = next + 2;
    }
    size_t length = static_cast<size_t>(std::atoll(request.Header("content-length").c_str()));
    // A tunnel request has no body, whatever length the client copied onto it (Wine copies the
    // inner request's headers); a proxy answers it at once.
    if (request.method == "CONNECT") length = 0;
    while (pending.size() < length) {
        int got = ReceiveSome(client, buffer, sizeof(buffer), stopping_);
        if (got <= 0) return false;
        pending.append(buffer, static_cast<size_t>(got));
    }
    request.body = pending.substr(0, length);
    pending.erase(0, length);
    return true;
}

void ScriptedHttpServer::SendAnswer(SOCKET client, const HttpAnswer& answer) {
    std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " " + ReasonOf(answer.status) + "\r\n";
    for (const auto& [name, value] : answer.headers) head += name + ": " + value + "\r\n";
    if (answer.announceLength) {
        head += "Content-Length: " + std::to_string(answer.announcedLength.value_or(answer.body.size())) + "\r\n";
    } else {
        head += "Connection: close\r\n";
    }
    head += "\r\n";
    if (!SendAll(client, head.data(), head.size())) return;
    size_t piece = answer.pieceSize ? answer.pieceSize : std::max<size_t>(answer.body.size(), 1);
    for (size_t at = 0; at < answer.body.size() && !stopping_; at += piece) {
        if (!SendAll(client, answer.body.data() + at, std::min(piece, answer.body.size() - at))) return;
        if (answer.pause.count() > 0) std::this_thread::sleep_for(answer.pause);
    }
    if (!answer.trailing.empty()) SendAll(client, answer.trailing.data(), answer.trailing.size());
}

}  // namespace testing_support

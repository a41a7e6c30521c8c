#include "NginxProcess.h"

#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "FileDescriptor.h"
#include "TestCatalog.h"

extern char** environ;

namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

int FreePort() {
    updateserver::FileDescriptor sock(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = Loopback(0);
    socklen_t size = sizeof address;
    if (::bind(sock.Get(), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::getsockname(sock.Get(), reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("no free port");
    return ntohs(address.sin_port);
}

bool Accepts(int port) {
    updateserver::FileDescriptor sock(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = Loopback(port);
    return ::connect(sock.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool NginxProcess::Installed() { return std::system("command -v nginx >/dev/null 2>&1") == 0; }

NginxProcess::NginxProcess(const std::filesystem::path& catalog, const std::vector<int>& instancePorts,
                           const std::map<std::string, std::string>& renderEnvironment)
    : run_(MakeTempDir("nginx-run")), port_(FreePort()), tlsPort_(FreePort()) {
    std::string command = "PLAIN_LISTEN=127.0.0.1:" + std::to_string(port_);
    for (const auto& [name, value] : renderEnvironment) command += " " + name + "=" + Quoted(value);
    command += " bash " + Quoted(RENDER_NGINX_CONF) + " " + Quoted((run_ / "nginx.conf").string()) + " " +
               Quoted(run_.string()) + " 127.0.0.1:" + std::to_string(tlsPort_) + " " +
               Quoted(TEST_CA_DIR "/server.pem") + " " + Quoted(TEST_CA_DIR "/server.key") + " " +
               Quoted(catalog.string());
    for (const int port : instancePorts) command += " 127.0.0.1:" + std::to_string(port);
    if (std::system(command.c_str()) != 0) throw std::runtime_error("cannot render: " + command);

    const std::string conf = (run_ / "nginx.conf").string();
    const std::string prefix = run_.string();
    std::vector<std::string> args = {"nginx", "-c", conf, "-p", prefix, "-g", "daemon off;"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&pid_, "nginx", nullptr, nullptr, argv.data(), environ) != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start nginx");
    }
}

NginxProcess::~NginxProcess() {
    if (pid_ > 0) {
        // SIGTERM ends nginx and its workers at once; SIGKILL would leave the workers behind.
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    std::filesystem::remove_all(run_, ec);
}

bool NginxProcess::WaitUntilAccepting(std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!Accepts(port_) || !Accepts(tlsPort_)) {
        if (std::chrono::steady_clock::now() > deadline || waitpid(pid_, nullptr, WNOHANG) != 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

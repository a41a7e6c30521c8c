#pragma once
// nginx on the deployed configuration (deploy/nginx.conf.in), started and stopped by a test, with a
// plain http listener on a free port so that the load generator needs no TLS, beside the https one.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

class NginxProcess {
  public:
    // Renders the configuration for the catalog folder and the instances' ports, with the extra
    // environment for the render script (e.g. WORKERS), and starts nginx.
    NginxProcess(const std::filesystem::path& catalog, const std::vector<int>& instancePorts,
                 const std::map<std::string, std::string>& renderEnvironment = {});
    ~NginxProcess();
    NginxProcess(const NginxProcess&) = delete;
    NginxProcess& operator=(const NginxProcess&) = delete;

    static bool Installed();
    // True once the plain listener accepts connections.
    bool WaitUntilAccepting(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) const;
    int Port() const { return port_; }
    // The https listener, with the test certificate authority's server.pem.
    int TlsPort() const { return tlsPort_; }
    const std::filesystem::path& RunDir() const { return run_; }

  private:
    std::filesystem::path run_;
    int port_ = 0;
    int tlsPort_ = 0;
    pid_t pid_ = -1;
};

// A port that nothing listens on just now.
int FreePort();
// True when a TCP connection to the loopback port is accepted.
bool Accepts(int port);

// The update server's command-line program: serves a catalog folder until SIGINT or SIGTERM.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <memory>
#include <thread>

#include "RequestLog.h"
#include "ServerOptions.h"
#include "UpdateServer.h"

namespace {

// Signals are taken by one thread with sigwait, so that stopping and reloading run as ordinary code.
sigset_t HandledSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGUSR1);  // sent to ourselves when the server ends for another reason
    return set;
}

void WaitForSignals(updateserver::UpdateServer& server, updateserver::RequestLog& log, const sigset_t& set) {
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0) continue;
        if (signal == SIGHUP) {
            std::string error;
            log.Event(server.Reload(error) ? "catalog reloaded" : "catalog not reloaded: " + error);
            continue;
        }
        if (signal != SIGUSR1)
            log.Event(std::string("stopping on ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
        server.Stop();
        return;
    }
}

}  // namespace

int main(int argc, char** argv) {
    updateserver::ServerOptions options;
    std::string error;
    if (!updateserver::ParseServerOptions(argc, argv, options, error)) {
        std::cerr << "updateserver: " << error << "\n" << updateserver::ServerUsage();
        return 2;
    }
    if (options.help) {
        std::cout << updateserver::ServerUsage();
        return 0;
    }

    std::unique_ptr<updateserver::RequestLog> log =
        options.logFile.empty() ? std::make_unique<updateserver::RequestLog>()
                                : std::make_unique<updateserver::RequestLog>(options.logFile);
    if (!log->IsOpen()) {
        std::cerr << "updateserver: cannot open the log file " << options.logFile << "\n";
        return 1;
    }

    const sigset_t signals = HandledSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // inherited by every thread started from here on

    updateserver::UpdateServer server(options, *log);
    if (!server.Start(error)) {
        std::cerr << "updateserver: " << error << "\n";
        return 1;
    }
    std::atomic<bool> signalsDone{false};
    std::thread signalThread([&] {
        WaitForSignals(server, *log, signals);
        signalsDone = true;
    });

    const std::string address =
        server.Address().find(':') != std::string::npos ? "[" + server.Address() + "]" : server.Address();
    log->Event("serving " + options.catalog + " on " + address + ":" + std::to_string(server.Port()));
    std::cout << "listening on " << address << ":" << server.Port() << std::endl;
    server.Run();

    if (!signalsDone) kill(getpid(), SIGUSR1);
    signalThread.join();
    log->Event("stopped");
    return 0;
}

// Figures for the update server: download throughput and the server's peak memory for a large file,
// and exchanges per second with many clients at once. Prints them; asserts nothing.
//
//   updateserver_bench [--size-mb N] [--clients N] [--seconds N]

#include <httplib.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "RequestDocuments.h"
#include "ServerProcess.h"
#include "TestCatalog.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void MeasureDownload(int port, ServerProcess& server, long long size) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(300);
    const long before = server.PeakMemoryKb();
    long long received = 0;
    const auto start = Clock::now();
    const auto result = client.Get("/scupdater/files/large.pdz", [&](const char*, std::size_t n) {
        received += static_cast<long long>(n);
        return true;
    });
    const double seconds = Seconds(Clock::now() - start);
    const long after = server.PeakMemoryKb();
    std::printf(
        "download: %lld of %lld bytes in %.2f s = %.0f MB/s; server peak memory %ld KiB before, %ld KiB "
        "after%s\n",
        received, size, seconds, static_cast<double>(received) / (1 << 20) / seconds, before, after,
        result ? "" : " (FAILED)");
}

void MeasureExchanges(int port, int clients, int seconds) {
    std::atomic<bool> stop{false};
    std::vector<std::vector<double>> latencies(static_cast<std::size_t>(clients));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    const std::string request = VersionCheckRequest("Corvane SC-200", "ALL_ALL");
    const auto start = Clock::now();
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", port);
            client.set_keep_alive(true);
            client.set_tcp_nodelay(true);
            while (!stop) {
                const auto t0 = Clock::now();
                const auto result = client.Post("/scupdater/versioncheck", request, "text/xml");
                if (!result || result->status != 200) ++failures;
                latencies[static_cast<std::size_t>(c)].push_back(Seconds(Clock::now() - t0) * 1000.0);
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    stop = true;
    for (auto& t : threads) t.join();
    const double elapsed = Seconds(Clock::now() - start);
    std::vector<double> all;
    for (const auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
    std::sort(all.begin(), all.end());
    const auto at = [&all](double q) {
        return all.empty() ? 0.0 : all[static_cast<std::size_t>(q * (all.size() - 1))];
    };
    std::printf(
        "version checks: %zu by %d clients in %.1f s = %.0f per second; latency median %.2f ms, "
        "99th percentile %.2f ms, worst %.2f ms; %d failed\n",
        all.size(), clients, elapsed, static_cast<double>(all.size()) / elapsed, at(0.5), at(0.99), at(1.0),
        failures.load());
}

}  // namespace

int main(int argc, char** argv) {
    long long sizeMb = 512;
    int clients = 32;
    int seconds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--size-mb") sizeMb = std::stoll(argv[i + 1]);
        if (arg == "--clients") clients = std::stoi(argv[i + 1]);
        if (arg == "--seconds") seconds = std::stoi(argv[i + 1]);
    }
    TestCatalog catalog;
    catalog.WriteStandard();
    const long long size = sizeMb << 20;
    {
        // Sparse: the figure is the server's, not the disk's.
        std::ofstream(catalog.Dir() / "large.pdz");
        if (truncate((catalog.Dir() / "large.pdz").c_str(), size) != 0) return 1;
    }
    ServerProcess server({"--catalog", catalog.Dir().string(), "--port", "0", "--log", "/dev/null",
                          "--threads", std::to_string(std::max(clients, 16))});
    const int port = server.WaitUntilListening();
    if (port <= 0) {
        std::fprintf(stderr, "the server did not start: %s\n", server.Errors().c_str());
        return 1;
    }
    MeasureDownload(port, server, size);
    MeasureExchanges(port, clients, seconds);
    server.Signal(SIGTERM);
    return 0;
}

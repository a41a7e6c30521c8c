#pragma once
// Many PCs checking for updates at once, over keep-alive connections driven by one epoll loop. Each
// check is what the updater does: a version check, then per offered entry a file update and the
// download of its description package, then one package download. A check fails when any of its
// requests fails, answers other than 200, or answers other than the catalog says.

#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "CheckExpectations.h"
#include "FileDescriptor.h"
#include "HttpConnection.h"

namespace loadgen {

struct LoadOptions {
    std::string host = "127.0.0.1";
    int port = 0;
    int clients = 1000;       // PCs checking at the same time
    int checksPerClient = 1;  // each further check is another PC on a new connection
    std::chrono::milliseconds requestTimeout{30000};
    std::string answersDir;  // when set, each distinct exchange answer is saved there once
};

struct LoadResult {
    long long checks = 0;
    long long failedChecks = 0;
    long long requests = 0;
    double seconds = 0;
    std::vector<double> latenciesMs;    // one per answered request
    std::vector<std::string> failures;  // the first few, for the report
    long long askedAgain = 0;           // exchanges sent again after a lost connection
};

class LoadRun {
  public:
    LoadRun(LoadOptions options, const CheckExpectations& expectations);
    ~LoadRun();
    LoadRun(const LoadRun&) = delete;
    LoadRun& operator=(const LoadRun&) = delete;

    // Runs every check to its end; call once.
    LoadResult Run();
    // Checks ended so far, successful or not; may be read from another thread while Run goes on.
    long long EndedChecks() const { return endedChecks_; }

  private:
    struct Client;
    enum class Step { kVersionCheck, kFileUpdate, kDescription, kPackage };

    void StartCheck(Client& client);
    void SendStep(Client& client);
    void OnReady(Client& client);
    void OnAnswer(Client& client);
    std::string CheckAnswer(Client& client);
    bool MayAskAgain(const Client& client) const;
    void AskAgain(Client& client);
    void Advance(Client& client);
    void FailCheck(Client& client, const std::string& why);
    void EndCheck(Client& client);
    void Watch(Client& client, bool add);
    void ExpireOverdue();
    void SaveAnswer(const std::string& route, const std::string& caseKey, const std::string& body);

    LoadOptions options_;
    const CheckExpectations& expectations_;
    std::vector<std::string> drivers_;
    std::vector<std::string> regions_;
    std::string hostHeader_;
    updateserver::FileDescriptor epoll_;
    std::vector<std::unique_ptr<Client>> clients_;
    int activeClients_ = 0;
    LoadResult result_;
    std::set<std::string> saved_;
    std::atomic<long long> endedChecks_{0};
};

}  // namespace loadgen

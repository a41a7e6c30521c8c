#include "LoadRun.h"

#include <sys/epoll.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "PcRequests.h"

namespace loadgen {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kKeptBodyBytes = 1 << 20;
constexpr std::size_t kReportedFailures = 10;
constexpr int kExchangeAttempts = 4;
constexpr auto kSweepInterval = std::chrono::milliseconds(200);

}  // namespace

struct LoadRun::Client {
    int index = 0;
    int checksLeft = 0;
    HttpConnection connection;
    std::string region;
    Step step = Step::kVersionCheck;
    std::size_t firm = 0;
    std::vector<OfferedFirm> firms;
    std::vector<FileUpdateFacts> facts;
    Clock::time_point sentAt;
    bool busy = false;  // a request is out
    int attempt = 1;    // of the current request
};

LoadRun::LoadRun(LoadOptions options, const CheckExpectations& expectations)
    : options_(std::move(options)),
      expectations_(expectations),
      drivers_(expectations.Drivers()),
      regions_(expectations.Regions()),
      hostHeader_(options_.host + ":" + std::to_string(options_.port)),
      epoll_(epoll_create1(EPOLL_CLOEXEC)) {
    if (!epoll_.IsOpen()) throw std::runtime_error("epoll_create1 failed");
    if (regions_.empty()) throw std::runtime_error("the catalog offers nothing");
}

LoadRun::~LoadRun() = default;

LoadResult LoadRun::Run() {
    const auto start = Clock::now();
    for (int i = 0; i < options_.clients; ++i) {
        auto client = std::make_unique<Client>();
        client->index = i;
        client->checksLeft = options_.checksPerClient;
        clients_.push_back(std::move(client));
    }
    for (auto& client : clients_) {
        if (client->checksLeft <= 0) continue;
        ++activeClients_;
        StartCheck(*client);
    }
    std::vector<epoll_event> events(256);
    auto lastSweep = Clock::now();
    while (activeClients_ > 0) {
        const int n = epoll_wait(epoll_.Get(), events.data(), static_cast<int>(events.size()),
                                 static_cast<int>(kSweepInterval.count()));
        for (int i = 0; i < n; ++i) OnReady(*clients_[events[static_cast<std::size_t>(i)].data.u32]);
        if (Clock::now() - lastSweep >= kSweepInterval) {
            ExpireOverdue();
            lastSweep = Clock::now();
        }
    }
    result_.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return std::move(result_);
}

void LoadRun::StartCheck(Client& client) {
    // Each check is another PC: a connection of its own, a region of its own.
    client.connection.Close();
    client.region = regions_[static_cast<std::size_t>(client.index + client.checksLeft) % regions_.size()];
    client.step = Step::kVersionCheck;
    client.firm = 0;
    client.firms.clear();
    client.facts.clear();
    client.attempt = 1;
    SendStep(client);
}

void LoadRun::SendStep(Client& client) {
    std::string request;
    std::size_t keep = kKeptBodyBytes;
    switch (client.step) {
        case Step::kVersionCheck:
            request = PostRequest(hostHeader_, "/scupdater/versioncheck", VersionCheckCase(client.region),
                                  VersionCheckDocument(drivers_, client.region));
            break;
        case Step::kFileUpdate: {
            const OfferedFirm& firm = client.firms[client.firm];
            request = PostRequest(hostHeader_, "/scupdater/fileupdate", FileUpdateCase(firm),
                                  FileUpdateDocument(firm));
            break;
        }
        case Step::kDescription:
            request = GetRequest(hostHeader_, client.facts[client.firm].descriptionPath);
            break;
        case Step::kPackage:
            request = GetRequest(hostHeader_, client.facts[client.firm].packagePath);
            keep = 0;
            break;
    }
    const bool reconnect = !client.connection.IsOpen();
    if (reconnect && !client.connection.Open(options_.host, options_.port)) {
        FailCheck(client, client.connection.Error());
        return;
    }
    client.connection.Start(std::move(request), keep);
    client.sentAt = Clock::now();
    client.busy = true;
    Watch(client, reconnect);
}

void LoadRun::Watch(Client& client, bool add) {
    epoll_event event{};
    event.events = EPOLLIN | (client.connection.WantsWrite() ? EPOLLOUT : 0u);
    event.data.u32 = static_cast<std::uint32_t>(client.index);
    epoll_ctl(epoll_.Get(), add ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, client.connection.Fd(), &event);
}

void LoadRun::OnReady(Client& client) {
    if (!client.busy) return;
    const bool wasWriting = client.connection.WantsWrite();
    switch (client.connection.OnReady()) {
        case HttpConnection::Progress::kWaiting:
            if (wasWriting && !client.connection.WantsWrite()) Watch(client, false);
            return;
        case HttpConnection::Progress::kFailed:
            ++result_.requests;
            if (MayAskAgain(client)) {
                AskAgain(client);
                return;
            }
            FailCheck(client, client.connection.Error());
            return;
        case HttpConnection::Progress::kDone:
            OnAnswer(client);
            return;
    }
}

void LoadRun::OnAnswer(Client& client) {
    client.busy = false;
    ++result_.requests;
    result_.latenciesMs.push_back(
        std::chrono::duration<double, std::milli>(Clock::now() - client.sentAt).count());
    const std::string why = CheckAnswer(client);
    if (!why.empty()) {
        FailCheck(client, why);
        return;
    }
    // The next request of the check goes on a new connection when the server closes this one.
    if (client.connection.Response().closeAfter) client.connection.Close();
    Advance(client);
}

std::string LoadRun::CheckAnswer(Client& client) {
    const HttpResponse& response = client.connection.Response();
    if (response.status != 200) return "status " + std::to_string(response.status);
    switch (client.step) {
        case Step::kVersionCheck: {
            std::string why = expectations_.CheckVersionCheck(response.body, client.region, client.firms);
            if (why.empty()) SaveAnswer("versioncheck", VersionCheckCase(client.region), response.body);
            return why;
        }
        case Step::kFileUpdate: {
            client.facts.resize(client.firms.size());
            const OfferedFirm& firm = client.firms[client.firm];
            std::string why = expectations_.CheckFileUpdate(response.body, firm, client.facts[client.firm]);
            if (why.empty()) SaveAnswer("fileupdate", FileUpdateCase(firm), response.body);
            return why;
        }
        case Step::kDescription:
            return expectations_.CheckDescription(response.body, client.facts[client.firm]);
        case Step::kPackage:
            return expectations_.CheckPackage(response.bodyBytes, client.facts[client.firm]);
    }
    return {};
}

// As the updater does: an exchange only asks, so one whose connection was lost before its answer
// arrived whole goes out again on a new connection, up to four times in all. Downloads are not
// asked again: a cut download is a failed one.
bool LoadRun::MayAskAgain(const Client& client) const {
    const bool exchange = client.step == Step::kVersionCheck || client.step == Step::kFileUpdate;
    return exchange && client.connection.ConnectionLost() && client.attempt < kExchangeAttempts;
}

void LoadRun::AskAgain(Client& client) {
    client.busy = false;
    client.connection.Close();
    ++client.attempt;
    ++result_.askedAgain;
    SendStep(client);
}

void LoadRun::Advance(Client& client) {
    client.attempt = 1;
    switch (client.step) {
        case Step::kVersionCheck:
            if (client.firms.empty()) return EndCheck(client);
            client.step = Step::kFileUpdate;
            client.firm = 0;
            break;
        case Step::kFileUpdate:
            client.step = Step::kDescription;
            break;
        case Step::kDescription:
            if (++client.firm < client.firms.size()) {
                client.step = Step::kFileUpdate;
            } else {
                // One package download per check: PCs differ in which update they take.
                client.step = Step::kPackage;
                client.firm = static_cast<std::size_t>(client.index) % client.firms.size();
            }
            break;
        case Step::kPackage:
            return EndCheck(client);
    }
    SendStep(client);
}

void LoadRun::FailCheck(Client& client, const std::string& why) {
    ++result_.failedChecks;
    if (result_.failures.size() < kReportedFailures) {
        result_.failures.push_back("client " + std::to_string(client.index) + ": " + why);
    }
    EndCheck(client);
}

void LoadRun::EndCheck(Client& client) {
    client.busy = false;
    client.connection.Close();
    ++result_.checks;
    ++endedChecks_;
    if (--client.checksLeft > 0) {
        StartCheck(client);
    } else {
        --activeClients_;
    }
}

void LoadRun::ExpireOverdue() {
    const auto now = Clock::now();
    for (auto& client : clients_) {
        if (client->busy && now - client->sentAt > options_.requestTimeout) {
            ++result_.requests;
            FailCheck(*client, "no answer within " + std::to_string(options_.requestTimeout.count()) + " ms");
        }
    }
}

void LoadRun::SaveAnswer(const std::string& route, const std::string& caseKey, const std::string& body) {
    if (options_.answersDir.empty() || !saved_.insert(route + "/" + caseKey).second) return;
    const std::filesystem::path folder = std::filesystem::path(options_.answersDir) / route;
    std::filesystem::create_directories(folder);
    std::ofstream(folder / (caseKey + ".xml"), std::ios::binary) << body;
}

}  // namespace loadgen

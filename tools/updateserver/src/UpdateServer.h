#pragma once
// The update server: answers the updater's three exchanges from the catalog, serves the catalog
// folder's files, and offers a small control endpoint for tests.
//
// Paths (the same as the paths of the updater's default server addresses):
//   POST /scupdater/versioncheck, POST /scupdater/notice, POST /scupdater/fileupdate
//   GET  /scupdater/files/<path below the catalog folder>
//   /_control/...  fault switches, catalog reload and request counts (loopback clients only)

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "AnswerCache.h"
#include "Catalog.h"
#include "ChecksumCache.h"
#include "FaultSwitches.h"
#include "HttpServer.h"
#include "RequestLog.h"
#include "ServerOptions.h"

namespace updateserver {

inline constexpr char kVersionCheckPath[] = "/scupdater/versioncheck";
inline constexpr char kNoticePath[] = "/scupdater/notice";
inline constexpr char kFileUpdatePath[] = "/scupdater/fileupdate";
inline constexpr char kFilesPath[] = "/scupdater/files/";
inline constexpr char kControlPath[] = "/_control/";

class UpdateServer {
  public:
    UpdateServer(ServerOptions options, RequestLog& log);
    ~UpdateServer();
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;

    // Loads the catalog and binds the listening socket; false with a message.
    bool Start(std::string& error);
    int Port() const { return port_; }
    const std::string& Address() const { return options_.bind; }
    // Serves until Stop; call after a successful Start.
    void Run();
    // Ends Run, also from another thread or before Run has begun; ends waiting and hanging answers.
    void Stop();
    // Reads the catalog again; the old one stays in use when the new one has faults.
    bool Reload(std::string& error);

    FaultSwitches& Switches() { return faults_; }

  private:
    struct Body;

    void Handle(const HttpRequest& req, HttpResponse& res);
    bool AnswerFromMemory(const HttpRequest& req, HttpResponse& res);
    void HandleControl(const HttpRequest& req, HttpResponse& res);
    void HandleFault(const HttpRequest& req, HttpResponse& res);
    Body Exchange(const std::string& route, const HttpRequest& req);
    Body File(const HttpRequest& req, HttpResponse& res);
    Body SignInPage(HttpResponse& res, const std::string& kind);
    void Send(HttpResponse& res, Body body, const std::optional<Faults>& faults);
    void SendFaulty(HttpResponse& res, Body body, const Faults& faults);
    void LogRequest(const HttpRequest& req, const HttpResponse& res);
    std::string FilesUrl(const HttpRequest& req) const;
    std::shared_ptr<const Catalog> CurrentCatalog() const;
    void Count(const std::string& route);
    std::string Counts() const;

    ServerOptions options_;
    RequestLog& log_;
    FaultSwitches faults_;
    ChecksumCache checksums_;
    AnswerCache answers_;
    int port_ = 0;

    mutable std::mutex mutex_;  // guards catalog_ and counts_
    std::shared_ptr<const Catalog> catalog_;
    std::map<std::string, long long> counts_;

    HttpServer http_;  // last: its workers use everything above
};

}  // namespace updateserver

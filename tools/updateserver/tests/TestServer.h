#pragma once
// An update server running in the test process on a free port, with its request log in a file.

#include <httplib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "RequestLog.h"
#include "ServerOptions.h"
#include "UpdateServer.h"

class TestServer {
  public:
    // Serves the folder on the given loopback address; options other than catalog, bind, port and log
    // are taken from the template.
    explicit TestServer(const std::filesystem::path& catalog, const std::string& bind = "127.0.0.1",
                        updateserver::ServerOptions options = {});
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    int Port() const { return server_->Port(); }
    const std::string& Host() const { return bind_; }
    std::string BaseUrl() const { return "http://" + bind_ + ":" + std::to_string(Port()); }
    httplib::Client Client() const;
    updateserver::UpdateServer& Server() { return *server_; }
    // Stops serving; waits for every request in progress to end.
    void Stop();
    std::string LogText() const;
    // The log line of a request is written once its response has gone out, so a client that has its
    // answer may look before the line is there: waits a few seconds for a line with the text.
    bool LogShows(const std::string& text) const;

    // POST of an exchange request with the header the updater sends.
    httplib::Result Post(const std::string& path, const std::string& body) const;
    // Sets a fault switch through the control endpoint, e.g. "kind=delay&ms=300".
    void Control(const std::string& query) const;

  private:
    std::string bind_;
    std::filesystem::path logDir_;
    std::unique_ptr<updateserver::RequestLog> log_;
    std::unique_ptr<updateserver::UpdateServer> server_;
    std::thread thread_;
};

#include "TestServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

#include "TestCatalog.h"

namespace fs = std::filesystem;

TestServer::TestServer(const fs::path& catalog, const std::string& bind, updateserver::ServerOptions options)
    : bind_(bind), logDir_(MakeTempDir("updateserver-log")) {
    options.catalog = catalog.string();
    options.bind = bind;
    options.port = 0;
    log_ = std::make_unique<updateserver::RequestLog>((logDir_ / "requests.log").string());
    server_ = std::make_unique<updateserver::UpdateServer>(options, *log_);
    std::string error;
    if (!server_->Start(error)) throw std::runtime_error("server did not start: " + error);
    thread_ = std::thread([this] { server_->Run(); });
}

TestServer::~TestServer() {
    Stop();
    std::error_code ec;
    fs::remove_all(logDir_, ec);
}

void TestServer::Stop() {
    if (!thread_.joinable()) return;
    server_->Stop();
    thread_.join();
}

httplib::Client TestServer::Client() const {
    httplib::Client client(bind_, Port());
    client.set_connection_timeout(5);
    client.set_read_timeout(20);
    return client;
}

std::string TestServer::LogText() const { return ReadWholeFile(logDir_ / "requests.log"); }

bool TestServer::LogShows(const std::string& text) const {
    for (int i = 0; i < 200; ++i) {
        if (LogText().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

httplib::Result TestServer::Post(const std::string& path, const std::string& body) const {
    return Client().Post(path.c_str(), body, "text/xml");
}

void TestServer::Control(const std::string& query) const {
    const auto result = Client().Post(("/_control/fault?" + query).c_str(), "", "text/plain");
    if (!result || result->status != 200) {
        throw std::runtime_error("control " + query + " failed: " + (result ? result->body : "no answer"));
    }
}

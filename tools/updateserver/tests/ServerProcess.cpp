#include "ServerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <stdexcept>
#include <thread>

extern char** environ;

ServerProcess::ServerProcess(const std::vector<std::string>& arguments) {
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> all = {UPDATESERVER_EXE};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, UPDATESERVER_EXE, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    stdout_ = out[0];
    stderr_ = err[0];
    if (spawned != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + std::string(UPDATESERVER_EXE));
    }
}

ServerProcess::~ServerProcess() {
    if (pid_ > 0 && !ended_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) close(stdout_);
    if (stderr_ >= 0) close(stderr_);
}

int ServerProcess::WaitUntilListening(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const std::regex listening("listening on (\\S+):(\\d+)\n");
    std::smatch match;
    while (!std::regex_search(output_, match, listening)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return -1;
        pollfd watch{stdout_, POLLIN, 0};
        if (poll(&watch, 1, static_cast<int>(left.count())) <= 0) return -1;
        char buffer[512];
        const ssize_t n = read(stdout_, buffer, sizeof buffer);
        if (n <= 0) return -1;
        output_.append(buffer, static_cast<std::size_t>(n));
    }
    return std::stoi(match[2]);
}

int ServerProcess::Wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ended_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int ServerProcess::Signal(int signal, std::chrono::milliseconds timeout) {
    kill(pid_, signal);
    return Wait(timeout);
}

std::string ServerProcess::Errors() {
    std::string text;
    char buffer[512];
    pollfd watch{stderr_, POLLIN, 0};
    while (poll(&watch, 1, ended_ ? 1000 : 0) > 0) {
        const ssize_t n = read(stderr_, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

long ServerProcess::PeakMemoryKb() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

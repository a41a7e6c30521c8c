#include "Unzip.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

extern char** environ;

CommandResult RunCommand(const std::vector<std::string>& arguments) {
    CommandResult result;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    std::vector<std::string> copy = arguments;
    std::vector<char*> argv;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned == 0) {
        char buffer[65536];
        ssize_t n = 0;
        while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
            result.output.append(buffer, static_cast<std::size_t>(n));
        int status = 0;
        waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    close(pipeFds[0]);
    return result;
}

std::vector<std::string> UnzipNames(const std::filesystem::path& zip) {
    const CommandResult listed = RunCommand({"unzip", "-Z1", zip.string()});
    std::vector<std::string> names;
    if (listed.exitCode != 0) return names;
    std::istringstream lines(listed.output);
    for (std::string line; std::getline(lines, line);) names.push_back(line);
    return names;
}

bool UnzipTests(const std::filesystem::path& zip) {
    return RunCommand({"unzip", "-tq", zip.string()}).exitCode == 0;
}

std::string UnzipEntry(const std::filesystem::path& zip, const std::string& name) {
    return RunCommand({"unzip", "-p", zip.string(), name}).output;
}

std::vector<std::string> UnzipMethods(const std::filesystem::path& zip) {
    // zipinfo's short listing: permissions, version, system, size, text/binary, method, date, time, name.
    const CommandResult listed = RunCommand({"unzip", "-Zs", zip.string()});
    std::vector<std::string> methods;
    if (listed.exitCode != 0) return methods;
    std::istringstream lines(listed.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] != '-') continue;
        std::istringstream fields(line);
        std::string field;
        for (int i = 0; i < 6; ++i) fields >> field;
        methods.push_back(field);
    }
    return methods;
}

std::filesystem::path MakeTempDir(const std::string& stem) {
    std::string pattern = (std::filesystem::temp_directory_path() / (stem + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

#include "CommandLog.h"

#include <cerrno>
#include <cstring>

namespace printersim {

bool CommandLog::Open(const std::filesystem::path& path, std::string& error) {
    if (path.empty()) return true;
    file_.reset(std::fopen(path.c_str(), "a"));
    if (!file_) {
        error = "cannot open the log " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void CommandLog::Write(const std::string& line) {
    if (!file_) return;
    std::fprintf(file_.get(), "%s\n", line.c_str());
    std::fflush(file_.get());
}

}  // namespace printersim

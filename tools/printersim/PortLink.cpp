#include "PortLink.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace printersim {
namespace {

std::optional<std::string> ReadLink(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) return std::nullopt;
    auto target = std::filesystem::read_symlink(path, ec);
    if (ec) return std::nullopt;
    return target.string();
}

}  // namespace

bool PortLink::PointAt(const std::string& target, std::string& error) {
    if (!remembered_) {
        std::error_code ec;
        auto status = std::filesystem::symlink_status(path_, ec);
        if (std::filesystem::exists(status) || std::filesystem::is_symlink(status)) {
            previous_ = ReadLink(path_);
            if (!previous_) {
                error = path_.string() + " exists and is not a symbolic link";
                return false;
            }
            // A line that an earlier simulator left behind is not worth keeping: its terminal
            // number may belong to someone else by now.
            if (previous_->starts_with("/dev/pts/")) previous_.reset();
        }
        remembered_ = true;
    }
    if (!Replace(target, error)) return false;
    target_ = target;
    return true;
}

bool PortLink::Replace(const std::string& target, std::string& error) {
    auto temp = path_;
    temp += ".printersim-" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(target.c_str(), temp.c_str()) != 0 || ::rename(temp.c_str(), path_.c_str()) != 0) {
        error = "cannot link " + path_.string() + " to " + target + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

PortLink::~PortLink() {
    if (target_.empty()) return;
    // Someone else may have taken the port over since; their link stays.
    if (ReadLink(path_) != target_) return;
    std::string ignored;
    if (previous_)
        Replace(*previous_, ignored);
    else
        ::unlink(path_.c_str());
}

}  // namespace printersim

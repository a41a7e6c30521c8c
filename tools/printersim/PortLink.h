#pragma once
// A symbolic link that makes the line appear where a program looks for its port (for Wine, the
// prefix's dosdevices/comN). A link to a real device that was there before is put back when this
// one goes.

#include <filesystem>
#include <optional>
#include <string>

namespace printersim {

class PortLink {
  public:
    explicit PortLink(std::filesystem::path path) : path_(std::move(path)) {}
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;
    ~PortLink();

    // Points the link at target, replacing it in one step when it exists.
    bool PointAt(const std::string& target, std::string& error);

    const std::filesystem::path& path() const { return path_; }

  private:
    bool Replace(const std::string& target, std::string& error);

    std::filesystem::path path_;
    std::string target_;
    std::optional<std::string> previous_;
    bool remembered_ = false;
};

}  // namespace printersim

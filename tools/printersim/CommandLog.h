#pragma once
// One line for each command the printer receives (and for each step of a download), flushed at
// once so that a test can read it while the simulator runs.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace printersim {

class CommandLog {
  public:
    CommandLog() = default;
    // Appends to path; an empty path writes nothing.
    bool Open(const std::filesystem::path& path, std::string& error);
    void Write(const std::string& line);

  private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
};

}  // namespace printersim

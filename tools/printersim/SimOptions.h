#pragma once
// The simulator's command line.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "PrinterProfile.h"

namespace printersim {

struct SimOptions {
    // Where the line appears: a symbolic link to the pseudo-terminal.
    std::filesystem::path link;
    PrinterProfile profile;
    // Pieces into which each status reply is cut (empty: sent whole), and the pause between them.
    std::vector<std::size_t> split;
    std::chrono::milliseconds splitDelay{40};
    // Line rate in bits per second (10 bits a byte); 0 is as fast as the pseudo-terminal goes.
    unsigned baud = 0;
    std::filesystem::path statePath;
    std::filesystem::path logPath;
};

struct ParsedOptions {
    std::optional<SimOptions> options;
    std::string error;
    bool help = false;
};

ParsedOptions ParseSimOptions(const std::vector<std::string>& args);
extern const char* const kSimUsage;

}  // namespace printersim

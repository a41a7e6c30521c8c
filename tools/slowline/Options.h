#pragma once
// The relay's command line.

#include <optional>
#include <string>
#include <vector>

#include "Relay.h"

namespace slowline {

struct ParsedOptions {
    std::optional<RelayOptions> options;
    std::string error;
    bool help = false;
};

ParsedOptions ParseOptions(const std::vector<std::string>& args);
extern const char* const kUsage;

}  // namespace slowline

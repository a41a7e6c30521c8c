#pragma once
// The pd3tool command line: "make" writes a firmware file, "show" prints one's header.

#include <ostream>
#include <string>
#include <vector>

namespace pd3tool {

int RunPd3Tool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
extern const char* const kPd3ToolUsage;

}  // namespace pd3tool

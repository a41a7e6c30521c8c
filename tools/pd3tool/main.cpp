// pd3tool: makes and shows firmware files in the "pd3" format, for tests and the demo catalog.
#include <iostream>

#include "Pd3Tool.h"

int main(int argc, char** argv) {
    return pd3tool::RunPd3Tool(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}

#pragma once
// Writing and reading whole "pd3" firmware files: the header, then its data.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/Pd3Header.h"

namespace pd3tool {

class Pd3File {
  public:
    // Writes header and data (the header's data length is set from the data); the file appears
    // complete or not at all.
    static bool Write(const std::filesystem::path& path, pd3::Header header,
                      const std::vector<std::uint8_t>& data, std::string& error);
    // Reads the header as the program does: 64 bytes, then the rest that the length byte names.
    static std::optional<pd3::Header> ReadHeader(const std::filesystem::path& path, std::uint64_t& fileSize,
                                                 std::string& error);
    // Data of the given size that a printer's checks will not mistake for anything in particular.
    static std::vector<std::uint8_t> Filler(std::size_t size);
};

}  // namespace pd3tool

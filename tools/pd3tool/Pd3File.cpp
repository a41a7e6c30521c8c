#include "Pd3File.h"

#include "common/AtomicFile.h"

#include <unistd.h>

#include <fstream>

namespace pd3tool {

bool Pd3File::Write(const std::filesystem::path& path, pd3::Header header,
                    const std::vector<std::uint8_t>& data, std::string& error) {
    if (data.size() > UINT32_MAX) {
        error = "the data is larger than a header can say";
        return false;
    }
    header.dataLength = static_cast<std::uint32_t>(data.size());
    if (auto problem = header.Problem(); !problem.empty()) {
        error = problem;
        return false;
    }
    auto block = header.Encode();
    return toolsfile::WriteAtomically(
        path, ".tmp" + std::to_string(::getpid()),
        [&](std::ostream& out) {
            out.write(reinterpret_cast<const char*>(block.data()), header.headerLength);
            out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        },
        error);
}

std::optional<pd3::Header> Pd3File::ReadHeader(const std::filesystem::path& path, std::uint64_t& fileSize,
                                               std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path.string();
        return std::nullopt;
    }
    pd3::Block block{};
    in.read(reinterpret_cast<char*>(block.data()), pd3::kShortHeader);
    if (in.gcount() != static_cast<std::streamsize>(pd3::kShortHeader)) {
        error = path.string() + " is shorter than a header";
        return std::nullopt;
    }
    std::size_t length = block[pd3::kHeaderLengthAt];
    if (length < pd3::kShortHeader || length > pd3::kLongHeader) {
        error = path.string() + ": header length " + std::to_string(length) + " is not 64 to 128";
        return std::nullopt;
    }
    std::size_t rest = length - pd3::kShortHeader;
    in.read(reinterpret_cast<char*>(block.data()) + pd3::kShortHeader, static_cast<std::streamsize>(rest));
    if (in.gcount() != static_cast<std::streamsize>(rest)) {
        error = path.string() + " ends inside its header";
        return std::nullopt;
    }
    std::error_code ec;
    fileSize = std::filesystem::file_size(path, ec);
    return pd3::Header::Decode(std::span<const std::uint8_t>(block.data(), length));
}

std::vector<std::uint8_t> Pd3File::Filler(std::size_t size) {
    std::vector<std::uint8_t> data(size);
    std::uint32_t x = 0x2545F491;
    for (auto& b : data) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x);
    }
    return data;
}

}  // namespace pd3tool

#pragma once
// Byte helpers shared by the simulator's tests: commands and download pieces as a program sends them.

#include <cstdint>
#include <string>
#include <vector>

#include "common/Pd3Header.h"

namespace printersim::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Command(char letter) {
    Bytes b{0x1B, 'i', 'F', static_cast<std::uint8_t>(letter)};
    if (letter == 'L' || letter == 'l') b.push_back(0);
    return b;
}

inline Bytes Le32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

inline std::uint32_t ReadLe32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

inline Bytes HeaderBytes(const pd3::Header& h) {
    auto block = h.Encode();
    return Bytes(block.begin(), block.begin() + h.headerLength);
}

inline pd3::Header Firmware(const std::string& name, std::uint32_t length, std::uint16_t model = 0x2107) {
    pd3::Header h;
    h.model = model;
    h.type = 6;
    h.dataLength = length;
    h.name = name;
    h.version = "1.02";
    h.spec = "ENG_USA";
    return h;
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes Data(std::size_t n, std::uint8_t seed = 7) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 31);
    return b;
}

}  // namespace printersim::test

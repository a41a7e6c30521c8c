#pragma once
// Reads an unsigned number written in decimal or, with "0x", in hexadecimal.

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace printersim {

inline std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t max) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
    return value;
}

}  // namespace printersim

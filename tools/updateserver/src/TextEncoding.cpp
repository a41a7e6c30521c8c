#include "TextEncoding.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace updateserver {
namespace {

// Code points of the bytes 0x80 to 0x9F in Windows-1252.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Length of the UTF-8 sequence that starts at bytes[i] and its code point; 0 when it is not well formed
// (overlong forms, surrogates and values above U+10FFFF included).
std::size_t DecodeUtf8(std::string_view bytes, std::size_t i, char32_t& c) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > bytes.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(bytes[i + k]);
        if ((next & 0xC0) != 0x80) return 0;
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t c = 0;
        const std::size_t length = DecodeUtf8(bytes, i, c);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        if (b >= 0x80 && b < 0xA0) {
            AppendUtf8(out, kHighControls[b - 0x80]);
        } else {
            AppendUtf8(out, b);
        }
    }
    return out;
}

std::string RequestBytesToUtf8(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return Windows1252ToUtf8(bytes);
}

std::string XmlAsAscii(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t c = 0;
        std::size_t length = DecodeUtf8(utf8, i, c);
        if (length == 0) {
            // Not UTF-8 after all: the replacement character is all that can be said about the byte.
            c = 0xFFFD;
            length = 1;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            char reference[16];
            std::snprintf(reference, sizeof reference, "&#x%X;", static_cast<unsigned>(c));
            out += reference;
        }
        i += length;
    }
    return out;
}

}  // namespace updateserver

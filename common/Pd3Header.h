#pragma once
// The header of a "pd3" firmware file, which is also the layout of the records in which a printer
// reports the files it holds. One definition for every tool that writes or reads either.
// Integers are little-endian; texts are single-byte and not necessarily terminated.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace pd3 {

inline constexpr std::size_t kShortHeader = 64;
inline constexpr std::size_t kLongHeader = 128;

inline constexpr std::size_t kFormatAt = 0;
inline constexpr std::size_t kHeaderLengthAt = 1;
inline constexpr std::size_t kModelAt = 2;
inline constexpr std::size_t kTypeAt = 7;
inline constexpr std::size_t kDataLengthAt = 16;
inline constexpr std::size_t kNameAt = 32;
inline constexpr std::size_t kNameSize = 16;
// Version and specification exist only in headers longer than 64 bytes.
inline constexpr std::size_t kVersionAt = 64;
inline constexpr std::size_t kVersionSize = 5;
inline constexpr std::size_t kSpecAt = 69;
inline constexpr std::size_t kSpecSize = 7;

using Block = std::array<std::uint8_t, kLongHeader>;

struct Header {
    std::uint8_t format = 1;
    std::uint8_t headerLength = kLongHeader;
    std::uint16_t model = 0;
    std::uint8_t type = 0;
    std::uint32_t dataLength = 0;
    std::string name;
    std::string version;
    std::string spec;

    bool IsLong() const { return headerLength > kShortHeader; }

    // Why the fields cannot be written as a header, or empty when they can.
    std::string Problem() const {
        if (headerLength < kShortHeader || headerLength > kLongHeader)
            return "header length must be 64 to 128 bytes";
        if (name.size() > kNameSize) return "name is longer than 16 bytes";
        if (version.size() > kVersionSize) return "version is longer than 5 bytes";
        if (spec.size() > kSpecSize) return "specification is longer than 7 bytes";
        if (!IsLong() && (!version.empty() || !spec.empty()))
            return "a 64-byte header has no room for version and specification";
        return {};
    }

    // The header as a 128-byte block; only its first headerLength bytes belong to a file.
    Block Encode() const {
        Block b{};
        b[kFormatAt] = format;
        b[kHeaderLengthAt] = headerLength;
        b[kModelAt] = static_cast<std::uint8_t>(model & 0xFF);
        b[kModelAt + 1] = static_cast<std::uint8_t>(model >> 8);
        b[kTypeAt] = type;
        for (std::size_t i = 0; i < 4; ++i)
            b[kDataLengthAt + i] = static_cast<std::uint8_t>(dataLength >> (8 * i));
        PutText(b, kNameAt, kNameSize, name);
        if (IsLong()) {
            PutText(b, kVersionAt, kVersionSize, version);
            PutText(b, kSpecAt, kSpecSize, spec);
        }
        return b;
    }

    // Reads a header or stored-file record of 64 to 128 bytes. Version and specification are
    // read only when the block is longer than 64 bytes, whatever its length byte says.
    static std::optional<Header> Decode(std::span<const std::uint8_t> bytes) {
        if (bytes.size() < kShortHeader) return std::nullopt;
        Header h;
        h.format = bytes[kFormatAt];
        h.headerLength = bytes[kHeaderLengthAt];
        h.model = static_cast<std::uint16_t>(bytes[kModelAt] | (bytes[kModelAt + 1] << 8));
        h.type = bytes[kTypeAt];
        h.dataLength = 0;
        for (std::size_t i = 0; i < 4; ++i)
            h.dataLength |= static_cast<std::uint32_t>(bytes[kDataLengthAt + i]) << (8 * i);
        h.name = GetText(bytes, kNameAt, kNameSize);
        if (bytes.size() >= kSpecAt + kSpecSize) {
            h.version = GetText(bytes, kVersionAt, kVersionSize);
            h.spec = GetText(bytes, kSpecAt, kSpecSize);
        }
        return h;
    }

  private:
    static void PutText(Block& b, std::size_t at, std::size_t size, const std::string& text) {
        std::copy_n(text.begin(), std::min(size, text.size()), b.begin() + at);
    }
    static std::string GetText(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t size) {
        auto field = bytes.subspan(at, size);
        auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
        return std::string(field.begin(), end);
    }
};

}  // namespace pd3

#pragma once
// The reading of a firmware file ("pd3") from its bytes, for CPd3File, which takes them from disk,
// and for bytes already in memory. The header is kept in a 128-byte buffer; what a shorter header
// lacks reads as zero.
//
// A header whose length byte is below 64 or above 128, or whose data would run past the end of
// the file, makes the file unusable.

#include <array>
#include <cstdint>
#include <span>
#include <string>

class CPd3HeaderBuffer {
  public:
    static constexpr std::size_t kSize = 128;

    void Clear() { m_bytes.fill(0); }
    // Takes the first 64 bytes (fewer: false); false too when the length byte is not 64 to 128.
    bool TakeStart(std::span<const std::uint8_t> start);
    // Takes the rest of the header, the HeaderLength() - 64 bytes after the first 64.
    void TakeRest(std::span<const std::uint8_t> rest);
    // A length byte of 64 to 128 and header and data within a file of this size.
    bool FitsFile(std::uint64_t fileSize) const;

    std::uint8_t HeaderLength() const { return m_bytes[1]; }
    std::uint16_t ModelId() const;
    std::uint8_t FileType() const { return m_bytes[7]; }
    std::uint32_t DataLength() const;
    const std::uint8_t* Bytes() const { return m_bytes.data(); }

    // The texts of the header (single-byte, not necessarily terminated in the file).
    std::string Name() const;
    std::string Version() const;
    std::string Spec() const;
    // A header longer than 64 bytes whose spec code is not empty.
    bool HasSpec() const;
    // Name, "_" and spec code: what an install name must equal.
    std::string Key() const;

  private:
    bool LengthIsValid() const;
    std::string Text(std::size_t at, std::size_t size) const;

    std::array<std::uint8_t, kSize> m_bytes{};
};

// Reads a whole file held in memory into header and data (a part of file); false when the file is
// unusable.
bool ReadPd3(std::span<const std::uint8_t> file, CPd3HeaderBuffer& header,
             std::span<const std::uint8_t>& data);

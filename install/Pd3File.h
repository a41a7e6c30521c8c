#pragma once
// A firmware file ("pd3"): a header of 64 to 128 bytes followed by the data. The header is kept
// in a 128-byte buffer; what a shorter header lacks reads as zero.
//
// A header whose length byte is below 64 or above 128, or whose data would run past the end of
// the file, makes the file unusable: ReadHeader fails and nothing is read beyond the file.

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/Handles.h"

class CPd3File {
  public:
    static constexpr std::size_t kHeaderBuffer = 128;

    bool Open(const std::wstring& path);
    void Close() { m_file.reset(); }
    bool IsOpen() const { return static_cast<bool>(m_file); }

    // Reads the header: 64 bytes, then the rest that its length byte names.
    bool ReadHeader();
    // Reads the data (data length bytes after the header).
    bool ReadData(std::vector<BYTE>& data);

    std::uint8_t HeaderLength() const { return m_header[1]; }
    std::uint16_t ModelId() const;
    std::uint8_t FileType() const { return m_header[7]; }
    std::uint32_t DataLength() const;
    const BYTE* HeaderBytes() const { return m_header.data(); }

    // The texts of the header (single-byte, not necessarily terminated in the file).
    std::string Name() const;
    std::string Version() const;
    std::string Spec() const;
    // A header longer than 64 bytes whose spec code is not empty.
    bool HasSpec() const;
    // Name, "_" and spec code: what an install name must equal.
    std::string Key() const;

    // The file name without folder and extension, as a name to show for a file without a row.
    static std::wstring NameFromPath(const std::wstring& path);

  private:
    std::string Text(std::size_t at, std::size_t size) const;

    scup::UniqueFile m_file;
    std::array<BYTE, kHeaderBuffer> m_header{};
    ULONGLONG m_fileSize = 0;
};

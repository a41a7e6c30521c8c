#pragma once
// A firmware file ("pd3") on disk: a header of 64 to 128 bytes followed by the data, read as
// Pd3Reading.h reads it. An unusable header makes ReadHeader fail, and nothing is read beyond the
// file.

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Pd3Reading.h"
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

    std::uint8_t HeaderLength() const { return m_header.HeaderLength(); }
    std::uint16_t ModelId() const { return m_header.ModelId(); }
    std::uint8_t FileType() const { return m_header.FileType(); }
    std::uint32_t DataLength() const { return m_header.DataLength(); }
    const BYTE* HeaderBytes() const { return m_header.Bytes(); }

    // The texts of the header (single-byte, not necessarily terminated in the file).
    std::string Name() const { return m_header.Name(); }
    std::string Version() const { return m_header.Version(); }
    std::string Spec() const { return m_header.Spec(); }
    // A header longer than 64 bytes whose spec code is not empty.
    bool HasSpec() const { return m_header.HasSpec(); }
    // Name, "_" and spec code: what an install name must equal.
    std::string Key() const { return m_header.Key(); }

    // The file name without folder and extension, as a name to show for a file without a row.
    static std::wstring NameFromPath(const std::wstring& path);

  private:
    scup::UniqueFile m_file;
    CPd3HeaderBuffer m_header;
    ULONGLONG m_fileSize = 0;
};

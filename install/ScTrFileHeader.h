#pragma once
// One file that a printer reports it holds, in the layout of a firmware file's header: type at 7,
// name at 32 (16 bytes), version at 64 (5 bytes), spec code at 69 (7 bytes). Records of 64
// bytes are kept zero-padded to 128.

#include <windows.h>

#include <array>
#include <cstdint>
#include <span>
#include <string>

struct tagScTrFileHeader {
    static constexpr std::size_t kSize = 128;

    std::array<BYTE, kSize> bytes{};

    // Takes a record of up to 128 bytes; the rest stays zero.
    static tagScTrFileHeader From(std::span<const BYTE> record);

    std::uint8_t FileType() const { return bytes[7]; }
    std::string Name() const;
    std::string Version() const;
    std::string Spec() const;
    // The same as wide text, widened with the system code page.
    std::wstring NameText() const;
    std::wstring VersionText() const;
    std::wstring SpecText() const;

    // A name that fills its 16 bytes may end in the first byte of a double-byte character whose
    // second byte did not fit: that byte is no character and is cleared.
    void DropCutLeadByte(UINT codePage = CP_ACP);
};

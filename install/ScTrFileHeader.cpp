#include "ScTrFileHeader.h"

#include <algorithm>

#include "common/AnsiText.h"
#include "common/Pd3Header.h"

namespace {

std::string Field(const std::array<BYTE, tagScTrFileHeader::kSize>& bytes, std::size_t at, std::size_t size) {
    auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(at);
    auto end = std::find(begin, begin + static_cast<std::ptrdiff_t>(size), BYTE{0});
    return std::string(begin, end);
}

}  // namespace

tagScTrFileHeader tagScTrFileHeader::From(std::span<const BYTE> record) {
    tagScTrFileHeader header;
    std::copy_n(record.begin(), std::min(record.size(), kSize), header.bytes.begin());
    return header;
}

std::string tagScTrFileHeader::Name() const { return Field(bytes, pd3::kNameAt, pd3::kNameSize); }
std::string tagScTrFileHeader::Version() const { return Field(bytes, pd3::kVersionAt, pd3::kVersionSize); }
std::string tagScTrFileHeader::Spec() const { return Field(bytes, pd3::kSpecAt, pd3::kSpecSize); }
std::wstring tagScTrFileHeader::NameText() const { return scup::FromAnsi(Name()); }
std::wstring tagScTrFileHeader::VersionText() const { return scup::FromAnsi(Version()); }
std::wstring tagScTrFileHeader::SpecText() const { return scup::FromAnsi(Spec()); }

void tagScTrFileHeader::DropCutLeadByte(UINT codePage) {
    const std::size_t length = Name().size();
    for (std::size_t i = 0; i < length; ++i) {
        if (!IsDBCSLeadByteEx(codePage, bytes[pd3::kNameAt + i])) continue;
        if (i + 1 == length) {
            bytes[pd3::kNameAt + i] = 0;
            return;
        }
        ++i;  // its trail byte
    }
}

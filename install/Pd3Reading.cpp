#include "Pd3Reading.h"

#include <algorithm>

#include "common/Pd3Header.h"

bool CPd3HeaderBuffer::TakeStart(std::span<const std::uint8_t> start) {
    if (start.size() < pd3::kShortHeader) return false;
    std::copy_n(start.begin(), pd3::kShortHeader, m_bytes.begin());
    return LengthIsValid();
}

void CPd3HeaderBuffer::TakeRest(std::span<const std::uint8_t> rest) {
    const std::size_t size = std::min(rest.size(), kSize - pd3::kShortHeader);
    std::copy_n(rest.begin(), size, m_bytes.begin() + pd3::kShortHeader);
}

bool CPd3HeaderBuffer::LengthIsValid() const {
    return HeaderLength() >= pd3::kShortHeader && HeaderLength() <= pd3::kLongHeader;
}

bool CPd3HeaderBuffer::FitsFile(std::uint64_t fileSize) const {
    return LengthIsValid() && static_cast<std::uint64_t>(HeaderLength()) + DataLength() <= fileSize;
}

std::uint16_t CPd3HeaderBuffer::ModelId() const {
    return static_cast<std::uint16_t>(m_bytes[pd3::kModelAt] | (m_bytes[pd3::kModelAt + 1] << 8));
}

std::uint32_t CPd3HeaderBuffer::DataLength() const {
    std::uint32_t length = 0;
    for (std::size_t i = 0; i < 4; ++i)
        length |= static_cast<std::uint32_t>(m_bytes[pd3::kDataLengthAt + i]) << (8 * i);
    return length;
}

std::string CPd3HeaderBuffer::Text(std::size_t at, std::size_t size) const {
    auto begin = m_bytes.begin() + static_cast<std::ptrdiff_t>(at);
    auto end = std::find(begin, begin + static_cast<std::ptrdiff_t>(size), std::uint8_t{0});
    return std::string(begin, end);
}

std::string CPd3HeaderBuffer::Name() const { return Text(pd3::kNameAt, pd3::kNameSize); }

std::string CPd3HeaderBuffer::Version() const {
    return HeaderLength() > pd3::kShortHeader ? Text(pd3::kVersionAt, pd3::kVersionSize) : std::string();
}

std::string CPd3HeaderBuffer::Spec() const {
    return HeaderLength() > pd3::kShortHeader ? Text(pd3::kSpecAt, pd3::kSpecSize) : std::string();
}

bool CPd3HeaderBuffer::HasSpec() const {
    return HeaderLength() > pd3::kShortHeader && m_bytes[pd3::kSpecAt] != 0;
}

std::string CPd3HeaderBuffer::Key() const { return Name() + "_" + Spec(); }

bool ReadPd3(std::span<const std::uint8_t> file, CPd3HeaderBuffer& header,
             std::span<const std::uint8_t>& data) {
    header.Clear();
    data = {};
    if (!header.TakeStart(file)) return false;
    const std::size_t length = header.HeaderLength();
    if (file.size() < length) return false;
    header.TakeRest(file.subspan(pd3::kShortHeader, length - pd3::kShortHeader));
    if (!header.FitsFile(file.size())) return false;
    data = file.subspan(length, header.DataLength());
    return true;
}

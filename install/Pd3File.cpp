#include "Pd3File.h"

#include <algorithm>

#include "common/Pd3Header.h"

namespace {

bool ReadExactly(HANDLE file, BYTE* buffer, std::size_t size) {
    while (size > 0) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
        DWORD read = 0;
        if (!ReadFile(file, buffer, piece, &read, nullptr) || read == 0) return false;
        buffer += read;
        size -= read;
    }
    return true;
}

bool SeekTo(HANDLE file, ULONGLONG offset) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != FALSE;
}

}  // namespace

bool CPd3File::Open(const std::wstring& path) {
    m_header.fill(0);
    m_fileSize = 0;
    m_file.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(m_file.get(), &size)) {
        m_file.reset();
        return false;
    }
    m_fileSize = static_cast<ULONGLONG>(size.QuadPart);
    return true;
}

bool CPd3File::ReadHeader() {
    m_header.fill(0);
    if (!m_file || !SeekTo(m_file.get(), 0)) return false;
    if (!ReadExactly(m_file.get(), m_header.data(), pd3::kShortHeader)) return false;
    const std::size_t length = HeaderLength();
    if (length < pd3::kShortHeader || length > pd3::kLongHeader) return false;
    if (length > pd3::kShortHeader &&
        !ReadExactly(m_file.get(), m_header.data() + pd3::kShortHeader, length - pd3::kShortHeader))
        return false;
    return static_cast<ULONGLONG>(length) + DataLength() <= m_fileSize;
}

bool CPd3File::ReadData(std::vector<BYTE>& data) {
    data.clear();
    const std::size_t length = HeaderLength();
    if (!m_file || length < pd3::kShortHeader || length > pd3::kLongHeader ||
        static_cast<ULONGLONG>(length) + DataLength() > m_fileSize || !SeekTo(m_file.get(), length))
        return false;
    data.resize(DataLength());
    if (!ReadExactly(m_file.get(), data.data(), data.size())) {
        data.clear();
        return false;
    }
    return true;
}

std::uint16_t CPd3File::ModelId() const {
    return static_cast<std::uint16_t>(m_header[pd3::kModelAt] | (m_header[pd3::kModelAt + 1] << 8));
}

std::uint32_t CPd3File::DataLength() const {
    std::uint32_t length = 0;
    for (std::size_t i = 0; i < 4; ++i)
        length |= static_cast<std::uint32_t>(m_header[pd3::kDataLengthAt + i]) << (8 * i);
    return length;
}

std::string CPd3File::Text(std::size_t at, std::size_t size) const {
    auto begin = m_header.begin() + static_cast<std::ptrdiff_t>(at);
    auto end = std::find(begin, begin + static_cast<std::ptrdiff_t>(size), BYTE{0});
    return std::string(begin, end);
}

std::string CPd3File::Name() const { return Text(pd3::kNameAt, pd3::kNameSize); }

std::string CPd3File::Version() const {
    return HeaderLength() > pd3::kShortHeader ? Text(pd3::kVersionAt, pd3::kVersionSize) : std::string();
}

std::string CPd3File::Spec() const {
    return HeaderLength() > pd3::kShortHeader ? Text(pd3::kSpecAt, pd3::kSpecSize) : std::string();
}

bool CPd3File::HasSpec() const { return HeaderLength() > pd3::kShortHeader && m_header[pd3::kSpecAt] != 0; }

std::string CPd3File::Key() const { return Name() + "_" + Spec(); }

std::wstring CPd3File::NameFromPath(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0) name.resize(dot);
    return name;
}

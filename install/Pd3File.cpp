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
    m_header.Clear();
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
    m_header.Clear();
    if (!m_file || !SeekTo(m_file.get(), 0)) return false;
    std::array<BYTE, CPd3HeaderBuffer::kSize> bytes{};
    if (!ReadExactly(m_file.get(), bytes.data(), pd3::kShortHeader)) return false;
    if (!m_header.TakeStart(std::span(bytes).first(pd3::kShortHeader))) return false;
    const std::size_t rest = HeaderLength() - pd3::kShortHeader;
    if (rest > 0 && !ReadExactly(m_file.get(), bytes.data() + pd3::kShortHeader, rest)) return false;
    m_header.TakeRest(std::span(bytes).subspan(pd3::kShortHeader, rest));
    return m_header.FitsFile(m_fileSize);
}

bool CPd3File::ReadData(std::vector<BYTE>& data) {
    data.clear();
    if (!m_file || !m_header.FitsFile(m_fileSize) || !SeekTo(m_file.get(), HeaderLength())) return false;
    data.resize(DataLength());
    if (!ReadExactly(m_file.get(), data.data(), data.size())) {
        data.clear();
        return false;
    }
    return true;
}

std::wstring CPd3File::NameFromPath(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0) name.resize(dot);
    return name;
}

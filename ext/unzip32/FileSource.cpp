#include "FileSource.h"

#include <algorithm>

namespace unzip32 {

bool FileSource::Open(const std::wstring& path) {
    size_ = 0;
    file_.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_.get(), &size)) return false;
    size_ = static_cast<uint64_t>(size.QuadPart);
    return true;
}

bool FileSource::ReadAt(uint64_t offset, void* buffer, size_t length) const {
    auto* out = static_cast<uint8_t*>(buffer);
    while (length > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(length, 1u << 20));
        DWORD read = 0;
        if (!ReadFile(file_.get(), out, piece, &read, &at) || read == 0) return false;
        out += read;
        offset += read;
        length -= read;
    }
    return true;
}

}  // namespace unzip32

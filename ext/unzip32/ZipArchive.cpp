#include "ZipArchive.h"

#include <algorithm>
#include <numeric>

#include "unzip32.h"

namespace unzip32 {
namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kCentralRecordSize = 46;
constexpr size_t kLocalRecordSize = 30;
constexpr size_t kMaxCommentSize = 0xFFFF;
// Far above what the entry limit allows for real names; only a crafted size comes near it.
constexpr uint32_t kMaxCentralDirectorySize = 64u << 20;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) { return Get16(p) | (static_cast<uint32_t>(Get16(p + 2)) << 16); }

}  // namespace

bool ZipArchive::ReadAt(uint64_t offset, void* buffer, size_t length) const {
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

int ZipArchive::Open(const std::wstring& path, unsigned long maxEntries) {
    entries_.clear();
    file_.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) return PK_NOZIP;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_.get(), &size)) return PK_NOZIP;
    fileSize_ = static_cast<uint64_t>(size.QuadPart);
    if (fileSize_ < kEndRecordSize) return PK_NOZIP;

    uint64_t endOffset = 0;
    std::vector<uint8_t> end;
    if (int rc = FindEndRecord(endOffset, end); rc != PK_OK) return rc;
    const uint16_t disk = Get16(&end[4]);
    const uint16_t centralDisk = Get16(&end[6]);
    const uint16_t entriesHere = Get16(&end[8]);
    const uint16_t entryCount = Get16(&end[10]);
    const uint32_t centralSize = Get32(&end[12]);
    const uint32_t centralOffset = Get32(&end[16]);
    commentLength_ = Get16(&end[20]);

    uint8_t locator[4];
    if (endOffset >= 20 && ReadAt(endOffset - 20, locator, 4) && Get32(locator) == kZip64LocatorSignature)
        return IZ_UNSUP;
    if (entryCount == 0xFFFF || centralSize == 0xFFFFFFFF || centralOffset == 0xFFFFFFFF) return IZ_UNSUP;
    if (disk != 0 || centralDisk != 0 || entriesHere != entryCount) return IZ_UNSUP;
    if (entryCount > maxEntries) return UZ_LIMIT;
    if (centralSize > endOffset) return PK_BADERR;
    centralStart_ = endOffset - centralSize;
    // The directory records its own offset; any difference is a stub in front of the archive.
    if (centralStart_ < centralOffset) return PK_BADERR;
    shift_ = centralStart_ - centralOffset;
    return ReadCentralDirectory(centralStart_, centralSize, entryCount);
}

int ZipArchive::FindEndRecord(uint64_t& endOffset, std::vector<uint8_t>& record) {
    const size_t tailSize =
        static_cast<size_t>(std::min<uint64_t>(fileSize_, kEndRecordSize + kMaxCommentSize));
    std::vector<uint8_t> tail(tailSize);
    const uint64_t tailStart = fileSize_ - tailSize;
    if (!ReadAt(tailStart, tail.data(), tailSize)) return PK_NOZIP;
    for (size_t pos = tailSize - kEndRecordSize + 1; pos-- > 0;) {
        if (Get32(&tail[pos]) != kEndSignature) continue;
        if (pos + kEndRecordSize + Get16(&tail[pos + 20]) > tailSize) continue;
        endOffset = tailStart + pos;
        record.assign(tail.begin() + pos, tail.begin() + pos + kEndRecordSize);
        return PK_OK;
    }
    return PK_NOZIP;
}

int ZipArchive::ReadCentralDirectory(uint64_t start, uint32_t size, uint16_t count) {
    if (size > kMaxCentralDirectorySize) return UZ_LIMIT;
    std::vector<uint8_t> directory(size);
    if (size > 0 && !ReadAt(start, directory.data(), size)) return PK_EOF;
    entries_.reserve(count);
    size_t pos = 0;
    for (uint16_t i = 0; i < count; ++i) {
        if (pos + kCentralRecordSize > size) return PK_BADERR;
        const uint8_t* record = &directory[pos];
        if (Get32(record) != kCentralSignature) return PK_BADERR;
        const size_t nameLength = Get16(record + 28);
        const size_t extraLength = Get16(record + 30);
        const size_t commentLength = Get16(record + 32);
        const size_t recordSize = kCentralRecordSize + nameLength + extraLength + commentLength;
        if (pos + recordSize > size) return PK_BADERR;
        if (Get16(record + 34) != 0) return IZ_UNSUP;  // spanned over several disks

        ZipEntry entry;
        entry.flags = Get16(record + 8);
        entry.utf8 = (entry.flags & 0x0800) != 0;
        entry.method = Get16(record + 10);
        entry.dosTime = Get16(record + 12);
        entry.dosDate = Get16(record + 14);
        entry.crc = Get32(record + 16);
        entry.compressedSize = Get32(record + 20);
        entry.size = Get32(record + 24);
        entry.localHeaderOffset = Get32(record + 42);
        if (entry.compressedSize == 0xFFFFFFFF || entry.size == 0xFFFFFFFF ||
            entry.localHeaderOffset == 0xFFFFFFFF)
            return IZ_UNSUP;
        entry.rawName.assign(reinterpret_cast<const char*>(record + kCentralRecordSize), nameLength);
        entries_.push_back(std::move(entry));
        pos += recordSize;
    }
    return PK_OK;
}

uint64_t ZipArchive::CompressedTotal() const {
    return std::accumulate(entries_.begin(), entries_.end(), uint64_t{0},
                           [](uint64_t sum, const ZipEntry& e) { return sum + e.compressedSize; });
}

int ZipArchive::LocateOne(ZipEntry& entry) const {
    const uint64_t header = shift_ + entry.localHeaderOffset;
    if (header + kLocalRecordSize > centralStart_) return PK_BADERR;
    uint8_t local[kLocalRecordSize];
    if (!ReadAt(header, local, sizeof local)) return PK_EOF;
    if (Get32(local) != kLocalSignature) return PK_BADERR;
    entry.dataOffset = header + kLocalRecordSize + Get16(local + 26) + Get16(local + 28);
    if (entry.dataOffset + entry.compressedSize > centralStart_) return PK_BADERR;
    return PK_OK;
}

int ZipArchive::LocateData() {
    for (ZipEntry& entry : entries_)
        if (int rc = LocateOne(entry); rc != PK_OK) return rc;
    // Entries that share data are the way to a small archive that unpacks to a huge size.
    std::vector<const ZipEntry*> byOffset;
    for (const ZipEntry& entry : entries_) byOffset.push_back(&entry);
    std::sort(byOffset.begin(), byOffset.end(), [](const ZipEntry* a, const ZipEntry* b) {
        return a->localHeaderOffset < b->localHeaderOffset;
    });
    for (size_t i = 1; i < byOffset.size(); ++i) {
        const ZipEntry& previous = *byOffset[i - 1];
        if (shift_ + byOffset[i]->localHeaderOffset < previous.dataOffset + previous.compressedSize)
            return PK_BADERR;
    }
    return PK_OK;
}

}  // namespace unzip32

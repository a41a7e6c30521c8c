#pragma once
// Reads a zip archive through its central directory: the entries with their sizes, CRC-32 and
// where each one's data lies. Sizes, offsets and counts are 64-bit wherever the archive has Zip64
// records for them. Every offset and length is checked against the file, so a damaged or crafted
// archive gives an error code instead of reads outside it. The bytes come from a ByteSource, which
// must outlive the archive.

#include <cstdint>
#include <string>
#include <vector>

#include "ByteSource.h"

namespace unzip32 {

struct ZipEntry {
    std::string rawName;  // as stored: UTF-8 when utf8 is set, else code page 437
    bool utf8 = false;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t size = 0;
    uint64_t localHeaderOffset = 0;  // from the start of the file
    uint64_t dataOffset = 0;         // set by ZipArchive::LocateData

    bool IsEncrypted() const { return (flags & 0x0001) != 0 || (flags & 0x0040) != 0; }
    bool IsDirectory() const { return !rawName.empty() && (rawName.back() == '/' || rawName.back() == '\\'); }
};

// Sums of sizes that a crafted archive sets near 2^64 must not wrap around to something small.
inline uint64_t AddCapped(uint64_t a, uint64_t b) { return b > UINT64_MAX - a ? UINT64_MAX : a + b; }

// What the end records say about the central directory.
struct DirectoryEnd {
    uint32_t disk = 0;
    uint32_t centralDisk = 0;
    uint64_t entriesHere = 0;
    uint64_t entryCount = 0;
    uint64_t centralSize = 0;
    uint64_t centralOffset = 0;
    uint64_t directoryEnd = 0;  // in the file: the record that follows the central directory
};

class ZipArchive {
  public:
    // PK_OK, or PK_NOZIP, PK_BADERR, PK_EOF, IZ_UNSUP, UZ_LIMIT, PK_MEM.
    int Open(const ByteSource& source, unsigned long maxEntries);

    std::vector<ZipEntry>& Entries() { return entries_; }
    uint64_t CompressedTotal() const;
    uint16_t CommentLength() const { return commentLength_; }

    // Finds where every entry's data starts through its local header and checks that the data
    // lies before the central directory and that no two entries share bytes.
    int LocateData();

    // Reads exactly length bytes at offset; false at the end of the file or on a read error.
    bool ReadAt(uint64_t offset, void* buffer, size_t length) const {
        return source_ && source_->ReadAt(offset, buffer, length);
    }

  private:
    int FindEndRecord(uint64_t& endOffset, std::vector<uint8_t>& record);
    int ReadZip64End(uint64_t endOffset, DirectoryEnd& end) const;
    bool FindZip64EndRecord(uint64_t recordedOffset, uint64_t locatorOffset, uint64_t& recordOffset,
                            std::vector<uint8_t>& record) const;
    int ReadCentralDirectory(uint64_t start, uint64_t size, uint64_t count);
    int LocateOne(ZipEntry& entry) const;
    int CheckLocalZip64Field(const uint8_t* local, uint64_t extraOffset, uint16_t extraLength) const;

    const ByteSource* source_ = nullptr;
    uint64_t fileSize_ = 0;
    uint64_t centralStart_ = 0;  // where the central directory really starts
    uint64_t shift_ = 0;         // bytes in front of the archive (a self-extractor's stub)
    uint16_t commentLength_ = 0;
    std::vector<ZipEntry> entries_;
};

}  // namespace unzip32

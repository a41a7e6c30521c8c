#include "ZipArchive.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <span>

#include "UnzipResults.h"

namespace unzip32 {
namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kZip64EndRecordSize = 56;  // without extensible data
constexpr size_t kZip64EndLeadSize = 12;    // signature and size, which the recorded size leaves out
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kCentralRecordSize = 46;
constexpr size_t kLocalRecordSize = 30;
constexpr size_t kMaxCommentSize = 0xFFFF;
// Far above what the entry limit allows for real names; only a crafted size comes near it.
constexpr uint64_t kMaxCentralDirectorySize = 64u << 20;
constexpr uint16_t kZip64ExtraId = 0x0001;
// A 32-bit (16-bit) field that holds this says its value is in a Zip64 record.
constexpr uint32_t kFull32 = 0xFFFFFFFF;
constexpr uint16_t kFull16 = 0xFFFF;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) { return Get16(p) | (static_cast<uint32_t>(Get16(p + 2)) << 16); }
uint64_t Get64(const uint8_t* p) { return Get32(p) | (static_cast<uint64_t>(Get32(p + 4)) << 32); }

// Whether length bytes from start end at limit or before, without start + length wrapping around.
bool FitsBefore(uint64_t start, uint64_t length, uint64_t limit) {
    return start <= limit && length <= limit - start;
}

// The data of the first extra field with this id that lies wholly inside the extra area. Tools pad
// the area with bytes that are no field, so a field that runs past its end ends the search instead
// of failing it; a Zip64 field cut short that way is missed, and missing when needed is an error.
std::optional<std::span<const uint8_t>> FindExtraField(std::span<const uint8_t> extra, uint16_t id) {
    size_t pos = 0;
    while (pos + 4 <= extra.size()) {
        const size_t length = Get16(&extra[pos + 2]);
        if (pos + 4 + length > extra.size()) break;
        if (Get16(&extra[pos]) == id) return extra.subspan(pos + 4, length);
        pos += 4 + length;
    }
    return std::nullopt;
}

// Each full 32-bit value is replaced by the next 64-bit value of the Zip64 field, in the order the
// values are given; false when the field is missing or too short for them.
bool ReadZip64Values(std::span<const uint8_t> extra, std::initializer_list<uint64_t*> values) {
    if (std::none_of(values.begin(), values.end(), [](const uint64_t* v) { return *v == kFull32; }))
        return true;
    const auto field = FindExtraField(extra, kZip64ExtraId);
    if (!field) return false;
    size_t pos = 0;
    for (uint64_t* value : values) {
        if (*value != kFull32) continue;
        if (pos + 8 > field->size()) return false;
        *value = Get64(field->data() + pos);
        pos += 8;
    }
    return true;
}

DirectoryEnd ReadClassicEnd(const std::vector<uint8_t>& record, uint64_t endOffset) {
    DirectoryEnd end;
    end.disk = Get16(&record[4]);
    end.centralDisk = Get16(&record[6]);
    end.entriesHere = Get16(&record[8]);
    end.entryCount = Get16(&record[10]);
    end.centralSize = Get32(&record[12]);
    end.centralOffset = Get32(&record[16]);
    end.directoryEnd = endOffset;
    return end;
}

DirectoryEnd ReadZip64EndRecord(const std::vector<uint8_t>& record, uint64_t recordOffset) {
    DirectoryEnd end;
    end.disk = Get32(&record[16]);
    end.centralDisk = Get32(&record[20]);
    end.entriesHere = Get64(&record[24]);
    end.entryCount = Get64(&record[32]);
    end.centralSize = Get64(&record[40]);
    end.centralOffset = Get64(&record[48]);
    end.directoryEnd = recordOffset;
    return end;
}

// The end record keeps a value that fits it or marks it full; a value that differs from the Zip64
// record's leaves it open which of the two directories is meant.
bool ClassicEndAgrees(const DirectoryEnd& classic, const DirectoryEnd& zip64) {
    auto agrees = [](uint64_t value, uint64_t full, uint64_t wide) { return value == full || value == wide; };
    return agrees(classic.disk, kFull16, zip64.disk) &&
           agrees(classic.centralDisk, kFull16, zip64.centralDisk) &&
           agrees(classic.entriesHere, kFull16, zip64.entriesHere) &&
           agrees(classic.entryCount, kFull16, zip64.entryCount) &&
           agrees(classic.centralSize, kFull32, zip64.centralSize) &&
           agrees(classic.centralOffset, kFull32, zip64.centralOffset);
}

}  // namespace

int ZipArchive::Open(const ByteSource& source, unsigned long maxEntries) {
    entries_.clear();
    source_ = &source;
    fileSize_ = source.Size();
    if (fileSize_ < kEndRecordSize) return PK_NOZIP;

    uint64_t endOffset = 0;
    std::vector<uint8_t> record;
    if (int rc = FindEndRecord(endOffset, record); rc != PK_OK) return rc;
    commentLength_ = Get16(&record[20]);
    DirectoryEnd end = ReadClassicEnd(record, endOffset);
    if (int rc = ReadZip64End(endOffset, end); rc != PK_OK) return rc;

    if (end.disk != 0 || end.centralDisk != 0 || end.entriesHere != end.entryCount) return IZ_UNSUP;
    if (end.entryCount > maxEntries) return UZ_LIMIT;
    if (end.centralSize > end.directoryEnd) return PK_BADERR;
    centralStart_ = end.directoryEnd - end.centralSize;
    // The directory records its own offset; any difference is a stub in front of the archive.
    if (centralStart_ < end.centralOffset) return PK_BADERR;
    shift_ = centralStart_ - end.centralOffset;
    return ReadCentralDirectory(centralStart_, end.centralSize, end.entryCount);
}

// A locator right before the end record points to the Zip64 end record, whose values then stand
// for the end record's. Without a locator the end record's values are taken as they are.
int ZipArchive::ReadZip64End(uint64_t endOffset, DirectoryEnd& end) const {
    if (endOffset < kZip64LocatorSize) return PK_OK;
    const uint64_t locatorOffset = endOffset - kZip64LocatorSize;
    uint8_t locator[kZip64LocatorSize];
    if (!ReadAt(locatorOffset, locator, sizeof locator) || Get32(locator) != kZip64LocatorSignature)
        return PK_OK;
    if (Get32(locator + 4) != 0 || Get32(locator + 16) > 1) return IZ_UNSUP;  // spanned over several disks
    const uint64_t recordedOffset = Get64(locator + 8);
    uint64_t recordOffset = 0;
    std::vector<uint8_t> record;
    if (!FindZip64EndRecord(recordedOffset, locatorOffset, recordOffset, record)) return PK_BADERR;
    const DirectoryEnd zip64 = ReadZip64EndRecord(record, recordOffset);
    if (!ClassicEndAgrees(end, zip64)) return PK_BADERR;
    // By the archive's own offsets, too, the directory must end where the record starts.
    if (!FitsBefore(zip64.centralOffset, zip64.centralSize, recordedOffset) ||
        zip64.centralOffset + zip64.centralSize != recordedOffset)
        return PK_BADERR;
    end = zip64;
    return PK_OK;
}

// Where the locator says, or, behind a stub that the recorded offsets leave out, right before the
// locator. Either way the record must lie wholly before the locator.
bool ZipArchive::FindZip64EndRecord(uint64_t recordedOffset, uint64_t locatorOffset, uint64_t& recordOffset,
                                    std::vector<uint8_t>& record) const {
    record.resize(kZip64EndRecordSize);
    for (const uint64_t candidate : {recordedOffset, locatorOffset - kZip64EndRecordSize}) {
        if (!FitsBefore(candidate, kZip64EndRecordSize, locatorOffset)) continue;
        if (!ReadAt(candidate, record.data(), record.size()) || Get32(record.data()) != kZip64EndSignature)
            continue;
        const uint64_t size = Get64(&record[4]);
        if (size < kZip64EndRecordSize - kZip64EndLeadSize ||
            !FitsBefore(candidate + kZip64EndLeadSize, size, locatorOffset))
            continue;
        recordOffset = candidate;
        return true;
    }
    return false;
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

int ZipArchive::ReadCentralDirectory(uint64_t start, uint64_t size, uint64_t count) {
    if (size > kMaxCentralDirectorySize) return UZ_LIMIT;
    if (count > size / kCentralRecordSize) return PK_BADERR;  // more entries than records fit
    std::vector<uint8_t> directory(static_cast<size_t>(size));
    if (size > 0 && !ReadAt(start, directory.data(), directory.size())) return PK_EOF;
    entries_.reserve(static_cast<size_t>(count));
    size_t pos = 0;
    for (uint64_t i = 0; i < count; ++i) {
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
        const std::span<const uint8_t> extra(record + kCentralRecordSize + nameLength, extraLength);
        if (!ReadZip64Values(extra, {&entry.size, &entry.compressedSize, &entry.localHeaderOffset}))
            return PK_BADERR;
        entry.rawName.assign(reinterpret_cast<const char*>(record + kCentralRecordSize), nameLength);
        entries_.push_back(std::move(entry));
        pos += recordSize;
    }
    return PK_OK;
}

uint64_t ZipArchive::CompressedTotal() const {
    return std::accumulate(entries_.begin(), entries_.end(), uint64_t{0},
                           [](uint64_t sum, const ZipEntry& e) { return AddCapped(sum, e.compressedSize); });
}

int ZipArchive::LocateOne(ZipEntry& entry) const {
    if (!FitsBefore(entry.localHeaderOffset, kLocalRecordSize, centralStart_ - shift_)) return PK_BADERR;
    const uint64_t header = shift_ + entry.localHeaderOffset;
    uint8_t local[kLocalRecordSize];
    if (!ReadAt(header, local, sizeof local)) return PK_EOF;
    if (Get32(local) != kLocalSignature) return PK_BADERR;
    const uint16_t extraLength = Get16(local + 28);
    const uint64_t extraOffset = header + kLocalRecordSize + Get16(local + 26);
    entry.dataOffset = extraOffset + extraLength;
    if (!FitsBefore(entry.dataOffset, entry.compressedSize, centralStart_)) return PK_BADERR;
    return CheckLocalZip64Field(local, extraOffset, extraLength);
}

// The central directory's sizes are the ones that count, for every entry; of the local header's
// Zip64 field only its form is checked, as a damaged one means a damaged archive.
int ZipArchive::CheckLocalZip64Field(const uint8_t* local, uint64_t extraOffset, uint16_t extraLength) const {
    uint64_t compressedSize = Get32(local + 18);
    uint64_t size = Get32(local + 22);
    if (compressedSize != kFull32 && size != kFull32) return PK_OK;
    std::vector<uint8_t> extra(extraLength);
    if (!ReadAt(extraOffset, extra.data(), extra.size())) return PK_EOF;
    return ReadZip64Values(extra, {&size, &compressedSize}) ? PK_OK : PK_BADERR;
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

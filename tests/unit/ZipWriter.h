#pragma once
// A small zip writer for the tests: stored and deflated entries (deflated through zlib), Zip64
// records on request, with every recorded field open to being falsified so that damaged and
// hostile archives can be made.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// Which values of an entry's directory record are full (0xFFFFFFFF) and given in its Zip64 field.
enum Zip64Fields : unsigned {
    kZip64None = 0,
    kZip64Size = 1,
    kZip64CompressedSize = 2,
    kZip64Offset = 4,
    kZip64All = 7,
};

struct ZipSpec {
    explicit ZipSpec(std::string entryName, std::string content = {})
        : name(std::move(entryName)), data(std::move(content)) {}

    ZipSpec& Deflate(bool on = true) { return Set(deflate, on); }
    ZipSpec& InUtf8(bool on = true) { return Set(utf8, on); }
    ZipSpec& WithFlags(uint16_t flags) { return Set(extraFlags, flags); }
    ZipSpec& WithDescriptor() { return Set(dataDescriptor, true); }
    // The local header gives both sizes in its Zip64 field whenever the directory record gives one.
    ZipSpec& InZip64(unsigned fields = kZip64All) { return Set(zip64Fields, fields); }
    // Falsified records: what the headers say instead of the truth.
    ZipSpec& WithMethod(uint16_t value) { return Set(method, value); }
    // A 32-bit field keeps the low 32 bits of a size or offset that is not in the Zip64 field.
    ZipSpec& WithSize(uint64_t value) { return Set(recordedSize, value); }
    ZipSpec& WithCompressedSize(uint64_t value) { return Set(recordedCompressedSize, value); }
    ZipSpec& WithCrc(uint32_t value) { return Set(recordedCrc, value); }
    ZipSpec& WithOffset(uint64_t value) { return Set(recordedOffset, value); }
    // The raw extra area of the directory record or of the local header, instead of the Zip64 field.
    ZipSpec& WithCentralExtra(std::string bytes) { return Set(centralExtra, std::move(bytes)); }
    ZipSpec& WithLocalExtra(std::string bytes) { return Set(localExtra, std::move(bytes)); }
    // The bytes stored instead of the packed data.
    ZipSpec& WithPayload(std::string bytes) { return Set(payload, std::move(bytes)); }
    // A second directory record for the local entry of an earlier entry (its index).
    ZipSpec& SharingDataOf(size_t index) { return Set(sharesDataOf, index); }

    std::string name;  // the stored bytes of the name
    std::string data;  // what the entry unpacks to
    bool deflate = false;
    bool utf8 = false;
    uint16_t extraFlags = 0;  // e.g. 1: encrypted
    bool dataDescriptor = false;
    unsigned zip64Fields = 0;
    std::optional<uint16_t> method;
    std::optional<uint64_t> recordedSize;
    std::optional<uint64_t> recordedCompressedSize;
    std::optional<uint32_t> recordedCrc;
    std::optional<uint64_t> recordedOffset;
    std::optional<std::string> centralExtra;
    std::optional<std::string> localExtra;
    std::optional<std::string> payload;
    std::optional<size_t> sharesDataOf;

  private:
    template <typename Field, typename Value>
    ZipSpec& Set(Field& field, Value&& value) {
        field = std::forward<Value>(value);
        return *this;
    }
};

// The Zip64 end record and its locator after the central directory.
struct Zip64End {
    // The end record keeps the values that fit it instead of marking them all full.
    Zip64End& KeepingClassicValues() { return Set(classicValuesFull, false); }
    // Falsified records: what the Zip64 end record and the locator say instead of the truth.
    Zip64End& WithEntryCount(uint64_t value) { return Set(entryCount, value); }
    Zip64End& WithCentralSize(uint64_t value) { return Set(centralSize, value); }
    Zip64End& WithRecordOffset(uint64_t value) { return Set(recordOffset, value); }
    Zip64End& WithTotalDisks(uint32_t value) { return Set(totalDisks, value); }

    bool classicValuesFull = true;
    std::optional<uint64_t> entryCount;
    std::optional<uint64_t> centralSize;
    std::optional<uint64_t> recordOffset;  // the locator's
    uint32_t totalDisks = 1;               // the locator's

  private:
    template <typename Field, typename Value>
    Zip64End& Set(Field& field, Value value) {
        field = value;
        return *this;
    }
};

class ZipWriter {
  public:
    ZipWriter& Add(ZipSpec spec);
    ZipWriter& Stored(const std::string& name, const std::string& data);
    ZipWriter& Deflated(const std::string& name, const std::string& data);
    ZipWriter& Folder(const std::string& name);
    // Bytes in front of the archive (as a self-extractor's program), not counted in its offsets.
    ZipWriter& Stub(const std::string& bytes);
    ZipWriter& WithZip64End(Zip64End end = {});

    std::string Bytes() const;
    void WriteTo(const std::wstring& path) const;

  private:
    std::string EndRecords(uint64_t entryCount, uint64_t centralSize, uint64_t centralOffset) const;

    std::vector<ZipSpec> specs_;
    std::string stub_;
    std::optional<Zip64End> zip64End_;
};

// One extra field (id, length, data), and a value in the little-endian form the records use.
std::string ExtraField(uint16_t id, const std::string& data);
std::string Le64(uint64_t value);
// Raw deflate data (no zlib header), as zip entries hold it.
std::string DeflateRaw(const std::string& data);
uint32_t Crc32(const std::string& data);
void WriteBinaryFile(const std::wstring& path, const std::string& content);

}  // namespace testing_support

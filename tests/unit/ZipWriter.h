#pragma once
// A small zip writer for the tests: stored and deflated entries (deflated through zlib), with
// every recorded field open to being falsified so that damaged and hostile archives can be made.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

struct ZipSpec {
    explicit ZipSpec(std::string entryName, std::string content = {})
        : name(std::move(entryName)), data(std::move(content)) {}

    ZipSpec& Deflate(bool on = true) { return Set(deflate, on); }
    ZipSpec& InUtf8(bool on = true) { return Set(utf8, on); }
    ZipSpec& WithFlags(uint16_t flags) { return Set(extraFlags, flags); }
    ZipSpec& WithDescriptor() { return Set(dataDescriptor, true); }
    // Falsified records: what the headers say instead of the truth.
    ZipSpec& WithMethod(uint16_t value) { return Set(method, value); }
    ZipSpec& WithSize(uint32_t value) { return Set(recordedSize, value); }
    ZipSpec& WithCompressedSize(uint32_t value) { return Set(recordedCompressedSize, value); }
    ZipSpec& WithCrc(uint32_t value) { return Set(recordedCrc, value); }
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
    std::optional<uint16_t> method;
    std::optional<uint32_t> recordedSize;
    std::optional<uint32_t> recordedCompressedSize;
    std::optional<uint32_t> recordedCrc;
    std::optional<std::string> payload;
    std::optional<size_t> sharesDataOf;

  private:
    template <typename Field, typename Value>
    ZipSpec& Set(Field& field, Value&& value) {
        field = std::forward<Value>(value);
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

    std::string Bytes() const;
    void WriteTo(const std::wstring& path) const;

  private:
    std::vector<ZipSpec> specs_;
    std::string stub_;
};

// Raw deflate data (no zlib header), as zip entries hold it.
std::string DeflateRaw(const std::string& data);
uint32_t Crc32(const std::string& data);
void WriteBinaryFile(const std::wstring& path, const std::string& content);

}  // namespace testing_support

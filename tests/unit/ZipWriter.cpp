#include "ZipWriter.h"

#include <zlib.h>

#include <cstdio>
#include <stdexcept>

namespace testing_support {
namespace {

void Put16(std::string& out, uint32_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void Put64(std::string& out, uint64_t value) {
    Put32(out, static_cast<uint32_t>(value));
    Put32(out, static_cast<uint32_t>(value >> 32));
}

constexpr uint32_t kFull32 = 0xFFFFFFFF;
constexpr uint16_t kZip64ExtraId = 0x0001;

// 2024-05-17 10:30:00 in MS-DOS form.
constexpr uint16_t kDosTime = (10 << 11) | (30 << 5);
constexpr uint16_t kDosDate = ((2024 - 1980) << 9) | (5 << 5) | 17;

struct Recorded {
    uint16_t flags, method, version;
    uint32_t crc;
    uint64_t compressedSize, size;
    std::string payload;
};

Recorded Record(const ZipSpec& spec) {
    Recorded r;
    r.payload = spec.payload ? *spec.payload : (spec.deflate ? DeflateRaw(spec.data) : spec.data);
    r.flags = static_cast<uint16_t>(spec.extraFlags | (spec.utf8 ? 0x0800 : 0) |
                                    (spec.dataDescriptor ? 0x0008 : 0));
    r.method = spec.method.value_or(spec.deflate ? 8 : 0);
    r.version = spec.zip64Fields ? 45 : 20;
    r.crc = spec.recordedCrc.value_or(Crc32(spec.data));
    r.compressedSize = spec.recordedCompressedSize.value_or(r.payload.size());
    r.size = spec.recordedSize.value_or(spec.data.size());
    return r;
}

std::string Zip64Field(const std::vector<uint64_t>& values) {
    std::string data;
    for (uint64_t value : values) data += Le64(value);
    return ExtraField(kZip64ExtraId, data);
}

void PutCommonFields(std::string& out, const Recorded& r, uint32_t crc, uint32_t compressedSize,
                     uint32_t size) {
    Put16(out, r.version);
    Put16(out, r.flags);
    Put16(out, r.method);
    Put16(out, kDosTime);
    Put16(out, kDosDate);
    Put32(out, crc);
    Put32(out, compressedSize);
    Put32(out, size);
}

// With a descriptor the sizes and CRC-32 follow the data, and the header leaves them zero (or full,
// with zeros in its Zip64 field).
std::string LocalEntry(const ZipSpec& spec, const Recorded& r) {
    const bool zip64 = (spec.zip64Fields & (kZip64Size | kZip64CompressedSize)) != 0;
    const bool later = spec.dataDescriptor;
    std::string extra;
    if (zip64) extra = Zip64Field({later ? 0 : r.size, later ? 0 : r.compressedSize});
    if (spec.localExtra) extra = *spec.localExtra;
    std::string out;
    Put32(out, 0x04034b50);
    if (zip64)
        PutCommonFields(out, r, later ? 0 : r.crc, kFull32, kFull32);
    else if (later)
        PutCommonFields(out, r, 0, 0, 0);
    else
        PutCommonFields(out, r, r.crc, static_cast<uint32_t>(r.compressedSize),
                        static_cast<uint32_t>(r.size));
    Put16(out, static_cast<uint32_t>(spec.name.size()));
    Put16(out, static_cast<uint32_t>(extra.size()));
    out += spec.name;
    out += extra;
    out += r.payload;
    if (later) {
        Put32(out, 0x08074b50);
        Put32(out, r.crc);
        if (zip64) {
            Put64(out, r.compressedSize);
            Put64(out, r.size);
        } else {
            Put32(out, static_cast<uint32_t>(r.compressedSize));
            Put32(out, static_cast<uint32_t>(r.size));
        }
    }
    return out;
}

std::string CentralRecord(const ZipSpec& spec, const Recorded& r, uint64_t offset) {
    std::vector<uint64_t> wide;
    auto narrow = [&](unsigned field, uint64_t value) {
        if (!(spec.zip64Fields & field)) return static_cast<uint32_t>(value);
        wide.push_back(value);
        return kFull32;
    };
    const uint32_t size = narrow(kZip64Size, r.size);
    const uint32_t compressedSize = narrow(kZip64CompressedSize, r.compressedSize);
    const uint32_t localOffset = narrow(kZip64Offset, offset);
    std::string extra = wide.empty() ? std::string() : Zip64Field(wide);
    if (spec.centralExtra) extra = *spec.centralExtra;
    std::string out;
    Put32(out, 0x02014b50);
    Put16(out, r.version);  // made by MS-DOS
    PutCommonFields(out, r, r.crc, compressedSize, size);
    Put16(out, static_cast<uint32_t>(spec.name.size()));
    Put16(out, static_cast<uint32_t>(extra.size()));
    Put16(out, 0);  // comment
    Put16(out, 0);  // disk
    Put16(out, 0);  // internal attributes
    Put32(out, 0);  // external attributes
    Put32(out, localOffset);
    out += spec.name;
    out += extra;
    return out;
}

}  // namespace

std::string ExtraField(uint16_t id, const std::string& data) {
    std::string field;
    Put16(field, id);
    Put16(field, static_cast<uint32_t>(data.size()));
    return field + data;
}

std::string Le64(uint64_t value) {
    std::string out;
    Put64(out, value);
    return out;
}

std::string DeflateRaw(const std::string& data) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
    return out;
}

uint32_t Crc32(const std::string& data) {
    return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(data.data()),
                                       static_cast<uInt>(data.size())));
}

void WriteBinaryFile(const std::wstring& path, const std::string& content) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) throw std::runtime_error("cannot write a test file");
    fwrite(content.data(), 1, content.size(), file);
    fclose(file);
}

ZipWriter& ZipWriter::Add(ZipSpec spec) {
    specs_.push_back(std::move(spec));
    return *this;
}

ZipWriter& ZipWriter::Stored(const std::string& name, const std::string& data) {
    return Add(ZipSpec(name, data));
}

ZipWriter& ZipWriter::Deflated(const std::string& name, const std::string& data) {
    return Add(ZipSpec(name, data).Deflate());
}

ZipWriter& ZipWriter::Folder(const std::string& name) { return Add(ZipSpec(name)); }

ZipWriter& ZipWriter::Stub(const std::string& bytes) {
    stub_ = bytes;
    return *this;
}

ZipWriter& ZipWriter::WithZip64End(Zip64End end) {
    zip64End_ = end;
    return *this;
}

std::string ZipWriter::Bytes() const {
    std::string body, directory;
    std::vector<uint64_t> offsets;
    for (const ZipSpec& spec : specs_) {
        const Recorded r = Record(spec);
        const uint64_t offset = spec.sharesDataOf ? offsets.at(*spec.sharesDataOf) : body.size();
        offsets.push_back(offset);
        if (!spec.sharesDataOf) body += LocalEntry(spec, r);
        directory += CentralRecord(spec, r, spec.recordedOffset.value_or(offset));
    }
    return stub_ + body + directory + EndRecords(specs_.size(), directory.size(), body.size());
}

std::string ZipWriter::EndRecords(uint64_t entryCount, uint64_t centralSize, uint64_t centralOffset) const {
    std::string out;
    const bool full = zip64End_ && zip64End_->classicValuesFull;
    if (zip64End_) {
        const uint64_t recordOffset = centralOffset + centralSize;
        const uint64_t count = zip64End_->entryCount.value_or(entryCount);
        Put32(out, 0x06064b50);
        Put64(out, 44);  // the record's size after this field
        Put16(out, 45);
        Put16(out, 45);
        Put32(out, 0);  // this disk
        Put32(out, 0);  // the directory's disk
        Put64(out, count);
        Put64(out, count);
        Put64(out, zip64End_->centralSize.value_or(centralSize));
        Put64(out, centralOffset);
        Put32(out, 0x07064b50);
        Put32(out, 0);  // the record's disk
        Put64(out, zip64End_->recordOffset.value_or(recordOffset));
        Put32(out, zip64End_->totalDisks);
    }
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, full ? 0xFFFF : static_cast<uint32_t>(entryCount));
    Put16(out, full ? 0xFFFF : static_cast<uint32_t>(entryCount));
    Put32(out, full ? kFull32 : static_cast<uint32_t>(centralSize));
    Put32(out, full ? kFull32 : static_cast<uint32_t>(centralOffset));
    Put16(out, 0);
    return out;
}

void ZipWriter::WriteTo(const std::wstring& path) const { WriteBinaryFile(path, Bytes()); }

}  // namespace testing_support

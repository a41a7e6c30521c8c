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

// 2024-05-17 10:30:00 in MS-DOS form.
constexpr uint16_t kDosTime = (10 << 11) | (30 << 5);
constexpr uint16_t kDosDate = ((2024 - 1980) << 9) | (5 << 5) | 17;

struct Recorded {
    uint16_t flags, method;
    uint32_t crc, compressedSize, size;
    std::string payload;
};

Recorded Record(const ZipSpec& spec) {
    Recorded r;
    r.payload = spec.payload ? *spec.payload : (spec.deflate ? DeflateRaw(spec.data) : spec.data);
    r.flags = static_cast<uint16_t>(spec.extraFlags | (spec.utf8 ? 0x0800 : 0) |
                                    (spec.dataDescriptor ? 0x0008 : 0));
    r.method = spec.method.value_or(spec.deflate ? 8 : 0);
    r.crc = spec.recordedCrc.value_or(Crc32(spec.data));
    r.compressedSize = spec.recordedCompressedSize.value_or(static_cast<uint32_t>(r.payload.size()));
    r.size = spec.recordedSize.value_or(static_cast<uint32_t>(spec.data.size()));
    return r;
}

void PutCommonFields(std::string& out, const Recorded& r, bool zeroSizes) {
    Put16(out, r.flags);
    Put16(out, r.method);
    Put16(out, kDosTime);
    Put16(out, kDosDate);
    Put32(out, zeroSizes ? 0 : r.crc);
    Put32(out, zeroSizes ? 0 : r.compressedSize);
    Put32(out, zeroSizes ? 0 : r.size);
}

}  // namespace

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

std::string ZipWriter::Bytes() const {
    std::string body, directory;
    std::vector<uint32_t> offsets;
    for (const ZipSpec& spec : specs_) {
        const Recorded r = Record(spec);
        const uint32_t offset =
            spec.sharesDataOf ? offsets.at(*spec.sharesDataOf) : static_cast<uint32_t>(body.size());
        offsets.push_back(offset);
        if (!spec.sharesDataOf) {
            Put32(body, 0x04034b50);
            Put16(body, 20);
            PutCommonFields(body, r, spec.dataDescriptor);
            Put16(body, static_cast<uint32_t>(spec.name.size()));
            Put16(body, 0);
            body += spec.name;
            body += r.payload;
            if (spec.dataDescriptor) {
                Put32(body, 0x08074b50);
                Put32(body, r.crc);
                Put32(body, r.compressedSize);
                Put32(body, r.size);
            }
        }
        Put32(directory, 0x02014b50);
        Put16(directory, 20);  // made by MS-DOS
        Put16(directory, 20);
        PutCommonFields(directory, r, false);
        Put16(directory, static_cast<uint32_t>(spec.name.size()));
        Put16(directory, 0);  // extra
        Put16(directory, 0);  // comment
        Put16(directory, 0);  // disk
        Put16(directory, 0);  // internal attributes
        Put32(directory, 0);  // external attributes
        Put32(directory, offset);
        directory += spec.name;
    }
    std::string end;
    Put32(end, 0x06054b50);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, static_cast<uint32_t>(specs_.size()));
    Put16(end, static_cast<uint32_t>(specs_.size()));
    Put32(end, static_cast<uint32_t>(directory.size()));
    Put32(end, static_cast<uint32_t>(body.size()));
    Put16(end, 0);
    return stub_ + body + directory + end;
}

void ZipWriter::WriteTo(const std::wstring& path) const { WriteBinaryFile(path, Bytes()); }

}  // namespace testing_support

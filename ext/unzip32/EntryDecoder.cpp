#include "EntryDecoder.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "UnzipResults.h"

namespace unzip32 {
namespace {

constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
constexpr size_t kChunk = 64 * 1024;

// Runs over the output: its running CRC-32 and length, and the recorded size as a ceiling.
class CheckedOutput {
  public:
    CheckedOutput(const ZipEntry& entry, const OutputSink& sink) : entry_(entry), sink_(sink) {}

    int Take(const uint8_t* data, size_t length) {
        if (length == 0) return PK_OK;
        if (produced_ + length > entry_.size) return PK_ERR;
        crc_ = crc32(crc_, data, static_cast<uInt>(length));
        produced_ += length;
        return sink_(data, length) ? PK_OK : PK_DISK;
    }
    int Finish() const { return (produced_ == entry_.size && crc_ == entry_.crc) ? PK_OK : PK_ERR; }

  private:
    const ZipEntry& entry_;
    const OutputSink& sink_;
    uint64_t produced_ = 0;
    uLong crc_ = crc32(0, nullptr, 0);
};

int CopyStored(const ZipArchive& archive, const ZipEntry& entry, CheckedOutput& output) {
    if (entry.compressedSize != entry.size) return PK_ERR;
    std::vector<uint8_t> buffer(kChunk);
    uint64_t offset = entry.dataOffset;
    for (uint64_t left = entry.size; left > 0;) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
        if (!archive.ReadAt(offset, buffer.data(), piece)) return PK_EOF;
        if (int rc = output.Take(buffer.data(), piece); rc != PK_OK) return rc;
        offset += piece;
        left -= piece;
    }
    return output.Finish();
}

class Inflater {
  public:
    Inflater() { ok_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
    ~Inflater() {
        if (ok_) inflateEnd(&stream_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    bool ok() const { return ok_; }
    z_stream& stream() { return stream_; }

  private:
    z_stream stream_{};
    bool ok_ = false;
};

int Inflate(const ZipArchive& archive, const ZipEntry& entry, CheckedOutput& output) {
    Inflater inflater;
    if (!inflater.ok()) return PK_MEM;
    z_stream& z = inflater.stream();
    std::vector<uint8_t> in(kChunk), out(kChunk);
    uint64_t offset = entry.dataOffset;
    uint64_t left = entry.compressedSize;
    bool outputFull = false;
    for (int zrc = Z_OK; zrc != Z_STREAM_END;) {
        // A full output buffer may leave output pending inside zlib with no input left.
        if (z.avail_in == 0 && !outputFull) {
            // The recorded data ends before the deflate stream does.
            if (left == 0) return PK_ERR;
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
            if (!archive.ReadAt(offset, in.data(), piece)) return PK_EOF;
            offset += piece;
            left -= piece;
            z.next_in = in.data();
            z.avail_in = static_cast<uInt>(piece);
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        zrc = inflate(&z, Z_NO_FLUSH);
        if (zrc == Z_MEM_ERROR) return PK_MEM;
        if (zrc != Z_OK && zrc != Z_STREAM_END && !(zrc == Z_BUF_ERROR && z.avail_in == 0)) return PK_ERR;
        outputFull = z.avail_out == 0;
        if (int rc = output.Take(out.data(), out.size() - z.avail_out); rc != PK_OK) return rc;
    }
    return output.Finish();
}

}  // namespace

bool IsSupportedEntry(const ZipEntry& entry) {
    return !entry.IsEncrypted() && (entry.method == kStored || entry.method == kDeflated);
}

int DecodeEntry(const ZipArchive& archive, const ZipEntry& entry, const OutputSink& sink) {
    if (!IsSupportedEntry(entry)) return IZ_UNSUP;
    CheckedOutput output(entry, sink);
    return entry.method == kStored ? CopyStored(archive, entry, output) : Inflate(archive, entry, output);
}

}  // namespace unzip32

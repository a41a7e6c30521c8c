#include "ZipWriter.h"

#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <limits>

namespace mkcatalog {
namespace {

constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::uint32_t kCentralHeader = 0x02014b50;
constexpr std::uint32_t kEndOfCentralDirectory = 0x06054b50;
constexpr std::uint16_t kVersion = 20;  // 2.0: deflate
// Made on Unix (3) by 3.0, with plain files' permissions: the form Info-ZIP's own tools write here, which
// makes unzip take the names as they are instead of converting them from an MS-DOS code page.
constexpr std::uint16_t kMadeBy = (3 << 8) | 30;
constexpr std::uint32_t kRegularFileAttributes = 0100644u << 16;
constexpr std::uint16_t kDeflate = 8;
constexpr std::uint16_t kUtf8Names = 1u << 11;
constexpr std::size_t kChunk = 64 * 1024;

void Put16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void Put32(std::string& out, std::uint32_t value) {
    Put16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    Put16(out, static_cast<std::uint16_t>(value >> 16));
}

bool IsAscii(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

class Deflater {
  public:
    Deflater() {
        ok_ =
            deflateInit2(&stream_, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Deflater() {
        if (ok_) deflateEnd(&stream_);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    bool Ok() const { return ok_; }
    z_stream& Stream() { return stream_; }

  private:
    z_stream stream_{};
    bool ok_ = false;
};

}  // namespace

ZipWriter::ZipWriter(const std::filesystem::path& path) : file_(std::fopen(path.c_str(), "wb")), path_(path) {
    if (!file_) Fail("cannot create " + path.string());
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    dosTime_ = static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    dosDate_ =
        static_cast<std::uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
}

ZipWriter::~ZipWriter() = default;

bool ZipWriter::Fail(const std::string& error) {
    if (error_.empty()) error_ = error;
    return false;
}

bool ZipWriter::Write(const void* data, std::size_t size) {
    if (!file_ || std::fwrite(data, 1, size, file_.get()) != size)
        return Fail("cannot write " + path_.string());
    return true;
}

void ZipWriter::WriteLocalHeader(const Entry& entry) {
    std::string header;
    Put32(header, kLocalHeader);
    Put16(header, kVersion);
    Put16(header, IsAscii(entry.name) ? 0 : kUtf8Names);
    Put16(header, kDeflate);
    Put16(header, dosTime_);
    Put16(header, dosDate_);
    Put32(header, entry.crc);
    Put32(header, entry.compressedSize);
    Put32(header, entry.size);
    Put16(header, static_cast<std::uint16_t>(entry.name.size()));
    Put16(header, 0);
    header += entry.name;
    Write(header.data(), header.size());
}

bool ZipWriter::Add(const std::string& name, std::string_view bytes) {
    std::size_t at = 0;
    return AddStream(name, [&](char* buffer, std::size_t n) -> long long {
        const std::size_t take = std::min(n, bytes.size() - at);
        std::copy_n(bytes.data() + at, take, buffer);
        at += take;
        return static_cast<long long>(take);
    });
}

bool ZipWriter::AddFile(const std::string& name, const std::filesystem::path& source) {
    std::ifstream in(source, std::ios::binary);
    if (!in) return Fail("cannot read " + source.string());
    return AddStream(name, [&](char* buffer, std::size_t n) -> long long {
        in.read(buffer, static_cast<std::streamsize>(n));
        if (in.bad()) return -1;
        return static_cast<long long>(in.gcount());
    });
}

bool ZipWriter::AddStream(const std::string& name, const Reader& read) {
    if (!error_.empty() || finished_) return false;
    if (name.empty() || name.size() > 0xFFFF || entries_.size() >= 0xFFFF)
        return Fail("bad entry name " + name);
    const long long start = ftello(file_.get());
    if (start < 0 || start > std::numeric_limits<std::uint32_t>::max())
        return Fail(path_.string() + " grows beyond 4 GB");

    Entry entry;
    entry.name = name;
    entry.offset = static_cast<std::uint32_t>(start);
    WriteLocalHeader(entry);  // sizes and checksum follow once the data is written

    Deflater deflater;
    if (!deflater.Ok()) return Fail("zlib cannot start");
    z_stream& z = deflater.Stream();
    std::vector<char> input(kChunk);
    std::vector<unsigned char> output(kChunk);
    std::uint64_t total = 0;
    std::uint64_t compressed = 0;
    uLong crc = crc32(0, nullptr, 0);
    int flush = Z_NO_FLUSH;
    while (flush != Z_FINISH) {
        const long long got = read(input.data(), input.size());
        if (got < 0) return Fail("cannot read the data of " + name);
        flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
        crc = crc32(crc, reinterpret_cast<const Bytef*>(input.data()), static_cast<uInt>(got));
        total += static_cast<std::uint64_t>(got);
        z.next_in = reinterpret_cast<Bytef*>(input.data());
        z.avail_in = static_cast<uInt>(got);
        do {
            z.next_out = output.data();
            z.avail_out = static_cast<uInt>(output.size());
            if (deflate(&z, flush) == Z_STREAM_ERROR) return Fail("zlib failed on " + name);
            const std::size_t produced = output.size() - z.avail_out;
            if (!Write(output.data(), produced)) return false;
            compressed += produced;
        } while (z.avail_out == 0);
    }
    if (total > std::numeric_limits<std::uint32_t>::max() ||
        compressed > std::numeric_limits<std::uint32_t>::max())
        return Fail(name + " is 4 GB or larger");

    entry.crc = static_cast<std::uint32_t>(crc);
    entry.size = static_cast<std::uint32_t>(total);
    entry.compressedSize = static_cast<std::uint32_t>(compressed);
    const long long end = ftello(file_.get());
    if (fseeko(file_.get(), start, SEEK_SET) != 0) return Fail("cannot seek in " + path_.string());
    WriteLocalHeader(entry);
    if (fseeko(file_.get(), end, SEEK_SET) != 0) return Fail("cannot seek in " + path_.string());
    entries_.push_back(entry);
    return error_.empty();
}

bool ZipWriter::Finish() {
    if (finished_) return error_.empty();
    finished_ = true;
    if (!error_.empty()) return false;
    const long long start = ftello(file_.get());
    std::string directory;
    for (const Entry& entry : entries_) {
        Put32(directory, kCentralHeader);
        Put16(directory, kMadeBy);
        Put16(directory, kVersion);
        Put16(directory, IsAscii(entry.name) ? 0 : kUtf8Names);
        Put16(directory, kDeflate);
        Put16(directory, dosTime_);
        Put16(directory, dosDate_);
        Put32(directory, entry.crc);
        Put32(directory, entry.compressedSize);
        Put32(directory, entry.size);
        Put16(directory, static_cast<std::uint16_t>(entry.name.size()));
        Put16(directory, 0);  // extra field
        Put16(directory, 0);  // comment
        Put16(directory, 0);  // disk
        Put16(directory, 0);  // internal attributes
        Put32(directory, kRegularFileAttributes);
        Put32(directory, entry.offset);
        directory += entry.name;
    }
    if (start < 0 ||
        start + static_cast<long long>(directory.size()) > std::numeric_limits<std::uint32_t>::max())
        return Fail(path_.string() + " grows beyond 4 GB");
    std::string end;
    Put32(end, kEndOfCentralDirectory);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, static_cast<std::uint16_t>(entries_.size()));
    Put16(end, static_cast<std::uint16_t>(entries_.size()));
    Put32(end, static_cast<std::uint32_t>(directory.size()));
    Put32(end, static_cast<std::uint32_t>(start));
    Put16(end, 0);
    if (!Write(directory.data(), directory.size()) || !Write(end.data(), end.size())) return false;
    if (std::fclose(file_.release()) != 0) return Fail("cannot write " + path_.string());
    return true;
}

}  // namespace mkcatalog

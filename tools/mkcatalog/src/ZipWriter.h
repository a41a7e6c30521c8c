#pragma once
// Writes a zip archive of flat entries, each compressed with deflate and streamed, so that large
// files never sit in memory whole. Archives stay below 4 GB (no zip64).

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mkcatalog {

class ZipWriter {
  public:
    explicit ZipWriter(const std::filesystem::path& path);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    bool Add(const std::string& name, std::string_view bytes);
    bool AddFile(const std::string& name, const std::filesystem::path& source);
    // Writes the central directory and closes the file; false when anything failed on the way.
    bool Finish();
    const std::string& Error() const { return error_; }

  private:
    struct Entry {
        std::string name;
        std::uint32_t crc = 0;
        std::uint32_t compressedSize = 0;
        std::uint32_t size = 0;
        std::uint32_t offset = 0;
    };
    // Reads up to n bytes into the buffer; 0 at the end, -1 on an error.
    using Reader = std::function<long long(char* buffer, std::size_t n)>;

    bool AddStream(const std::string& name, const Reader& read);
    bool Fail(const std::string& error);
    bool Write(const void* data, std::size_t size);
    void WriteLocalHeader(const Entry& entry);

    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::filesystem::path path_;
    std::vector<Entry> entries_;
    std::uint16_t dosTime_ = 0;
    std::uint16_t dosDate_ = 0;
    std::string error_;
    bool finished_ = false;
};

}  // namespace mkcatalog

#pragma once
// Writes a zip archive of flat entries through libzip, each compressed with deflate. Files are streamed
// into the archive when it is written at Finish, so large files never sit in memory whole; the archive
// appears at its path only then, whole, and a failed or unfinished archive leaves nothing behind.

#include <zip.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace mkcatalog {

class ZipWriter {
  public:
    explicit ZipWriter(const std::filesystem::path& path);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // Names are UTF-8. A file's bytes are read at Finish, so it must stay in place until then.
    bool Add(const std::string& name, std::string_view bytes);
    bool AddFile(const std::string& name, const std::filesystem::path& source);
    // Compresses the entries and writes the archive; false when anything failed on the way, or when
    // there was nothing to put in it.
    bool Finish();
    const std::string& Error() const { return error_; }

  private:
    struct Discard {
        void operator()(zip_t* archive) const { zip_discard(archive); }
    };
    struct SourceFree {
        void operator()(zip_source_t* source) const { zip_source_free(source); }
    };
    using Source = std::unique_ptr<zip_source_t, SourceFree>;

    bool CanAdd(const std::string& name);
    bool AddSource(const std::string& name, Source data, zip_error_t& error);
    bool Fail(const std::string& error);

    // The bytes given to Add, which libzip reads only when the archive is written; declared before the
    // archive so that they outlive it.
    std::deque<std::string> held_;
    std::unique_ptr<zip_t, Discard> archive_;
    std::filesystem::path path_;
    std::string error_;
    bool finished_ = false;
};

}  // namespace mkcatalog

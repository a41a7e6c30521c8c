#include "ZipWriter.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace mkcatalog {
namespace {

constexpr zip_uint32_t kBestCompression = 9;
// A plain file readable by all: what unzip gives the extracted file.
constexpr zip_uint32_t kRegularFileAttributes = 0100644u << 16;

// Frees a zip_error_t however the function that filled it returns.
class ErrorText {
  public:
    ErrorText() { zip_error_init(&error_); }
    ~ErrorText() { zip_error_fini(&error_); }
    ErrorText(const ErrorText&) = delete;
    ErrorText& operator=(const ErrorText&) = delete;

    zip_error_t& Get() { return error_; }
    std::string Text() { return zip_error_strerror(&error_); }

  private:
    zip_error_t error_;
};

}  // namespace

ZipWriter::ZipWriter(const std::filesystem::path& path) : path_(path) {
    // libzip writes the archive beside its path only at Finish; a folder that cannot take it is told now.
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        Fail("cannot create " + path.string() + ": " + std::strerror(errno));
        return;
    }
    int code = ZIP_ER_OK;
    archive_.reset(zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code));
    if (!archive_) {
        ErrorText error;
        zip_error_init_with_code(&error.Get(), code);
        Fail("cannot create " + path.string() + ": " + error.Text());
    }
}

ZipWriter::~ZipWriter() = default;

bool ZipWriter::Fail(const std::string& error) {
    if (error_.empty()) error_ = error;
    return false;
}

bool ZipWriter::CanAdd(const std::string& name) {
    if (!error_.empty() || finished_) return false;
    if (name.empty() || name.size() > 0xFFFF || name.find('\0') != std::string::npos)
        return Fail("bad entry name " + name);
    return true;
}

bool ZipWriter::Add(const std::string& name, std::string_view bytes) {
    if (!CanAdd(name)) return false;
    const std::string& held = held_.emplace_back(bytes);
    ErrorText error;
    Source data(zip_source_buffer_create(held.data(), held.size(), 0, &error.Get()));
    return AddSource(name, std::move(data), error.Get());
}

bool ZipWriter::AddFile(const std::string& name, const std::filesystem::path& source) {
    if (!CanAdd(name)) return false;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(source, ec) || !std::ifstream(source, std::ios::binary))
        return Fail("cannot read " + source.string());
    ErrorText error;
    Source data(zip_source_file_create(source.c_str(), 0, -1, &error.Get()));
    if (!data) return Fail("cannot read " + source.string() + ": " + error.Text());
    return AddSource(name, std::move(data), error.Get());
}

bool ZipWriter::AddSource(const std::string& name, Source data, zip_error_t& error) {
    if (!data) return Fail("cannot add " + name + ": " + zip_error_strerror(&error));
    const zip_int64_t index = zip_file_add(archive_.get(), name.c_str(), data.get(), ZIP_FL_ENC_UTF_8);
    if (index < 0) return Fail("cannot add " + name + ": " + zip_strerror(archive_.get()));
    data.release();  // the archive owns it now
    const auto at = static_cast<zip_uint64_t>(index);
    if (zip_set_file_compression(archive_.get(), at, ZIP_CM_DEFLATE, kBestCompression) != 0 ||
        zip_file_set_external_attributes(archive_.get(), at, 0, ZIP_OPSYS_UNIX, kRegularFileAttributes) != 0)
        return Fail("cannot add " + name + ": " + zip_strerror(archive_.get()));
    return true;
}

bool ZipWriter::Finish() {
    if (finished_) return error_.empty();
    finished_ = true;
    if (error_.empty() && zip_get_num_entries(archive_.get(), 0) == 0)
        Fail(path_.string() + " would hold no entry");
    if (error_.empty() && zip_close(archive_.get()) != 0)
        Fail("cannot write " + path_.string() + ": " + zip_strerror(archive_.get()));
    if (error_.empty()) {
        archive_.release();  // zip_close freed it
    } else {
        archive_.reset();
    }
    held_.clear();
    return error_.empty();
}

}  // namespace mkcatalog

#pragma once
// Answers of the three XML exchanges of the updater: version check, notice and file update. Each takes
// the request body as received (the "<?xml version='1.0' ?>" declaration and the request document, in
// the PC's ANSI code page) and gives the HTTP answer.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "Catalog.h"
#include "ChecksumCache.h"

namespace updateserver {

// A file an answer names the size and checksum of, as it was when the answer was made.
struct FileStamp {
    std::filesystem::path path;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type changed;
};

struct Answer {
    int status = 200;
    std::string contentType = "text/xml";
    std::string body;
    std::string note;              // what was asked and what was answered, for the request log
    std::vector<FileStamp> files;  // the answer holds while these are unchanged
};

class ExchangeResponder {
  public:
    // filesUrl is the address under which the catalog folder's files are served, ending in "/".
    ExchangeResponder(const Catalog& catalog, ChecksumCache& checksums, std::string filesUrl);

    Answer VersionCheck(std::string_view body) const;
    Answer Notice(std::string_view body) const;
    Answer FileUpdate(std::string_view body) const;

    // The updater probes the connection with a POST without body to the version check address and
    // only needs status 200; the other addresses answer such a probe the same way.
    static bool IsProbe(std::string_view body);
    Answer Probe() const;

  private:
    std::string FileUrl(const std::string& relativePath) const;

    const Catalog& catalog_;
    ChecksumCache& checksums_;
    std::string filesUrl_;
};

// A path as it may appear in a URL: every byte but the unreserved characters and "/" percent-encoded.
std::string UrlEncodePath(std::string_view path);

}  // namespace updateserver

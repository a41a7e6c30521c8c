#pragma once
// The checksum that the updater compares with its own hash of a downloaded file: the SHA-256 digest of
// the file's bytes in Base64. The updater trims white space from both ends before its exact,
// case-sensitive comparison, and a 32-byte digest is one Base64 line, so the 44 characters are sent
// without the line break that its own encoder adds.

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

namespace updateserver {

std::string ChecksumText(const std::uint8_t* digest, std::size_t size);

class ChecksumCache {
  public:
    struct Facts {
        std::uintmax_t size = 0;
        std::string checksum;
        std::filesystem::file_time_type changed;  // when the file hashed was last written
    };

    // Size and checksum of the file as it is now. A file replaced on disk is hashed again, so the
    // answer never goes stale while the server runs. False when the file cannot be read.
    bool Get(const std::filesystem::path& file, Facts& facts);

  private:
    struct Entry {
        std::uintmax_t size = 0;
        std::filesystem::file_time_type changed;
        std::string checksum;
    };

    std::mutex mutex_;
    std::map<std::string, Entry> entries_;
};

}  // namespace updateserver

#pragma once
// SHA-256 (FIPS 180-4), fed in pieces so that large files never sit in memory whole.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace updateserver {

class Sha256 {
  public:
    using Digest = std::array<std::uint8_t, 32>;

    Sha256();
    void Update(const void* data, std::size_t size);
    void Update(std::string_view text) { Update(text.data(), text.size()); }
    // Ends the hash; the object must not be fed afterwards.
    Digest Finish();

    // Digest of a file's bytes as stored and how many there were; false when the file cannot be read
    // to its end.
    static bool OfFile(const std::string& path, Digest& digest, std::uint64_t& bytes);

  private:
    void Compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> block_{};
    std::size_t blockUsed_ = 0;
    std::uint64_t totalBytes_ = 0;
};

}  // namespace updateserver

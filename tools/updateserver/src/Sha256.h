#pragma once
// SHA-256 (FIPS 180-4) through OpenSSL's libcrypto, fed in pieces so that large files never sit in
// memory whole.

#include <openssl/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace updateserver {

class Sha256 {
  public:
    using Digest = std::array<std::uint8_t, 32>;

    // Throws std::runtime_error when libcrypto cannot start or feed the hash.
    Sha256();
    void Update(const void* data, std::size_t size);
    void Update(std::string_view text) { Update(text.data(), text.size()); }
    // Ends the hash; the object must not be fed afterwards.
    Digest Finish();

    // Digest of a file's bytes as stored and how many there were; false when the file cannot be read
    // to its end.
    static bool OfFile(const std::string& path, Digest& digest, std::uint64_t& bytes);

  private:
    struct ContextFree {
        void operator()(EVP_MD_CTX* context) const;
    };
    std::unique_ptr<EVP_MD_CTX, ContextFree> context_;
};

}  // namespace updateserver

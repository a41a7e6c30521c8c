#include "Base64.h"

#include <openssl/evp.h>

#include <algorithm>

namespace updateserver {

std::string Base64Encode(const std::uint8_t* data, std::size_t size) {
    // EVP_EncodeBlock takes an int length and writes no line breaks; pieces of whole 3-byte groups keep
    // the output one unbroken line whatever the size.
    constexpr std::size_t kPiece = 3 * 16384;
    std::string text((size + 2) / 3 * 4 + 1, '\0');  // room for the terminating NUL it writes
    std::size_t written = 0;
    for (std::size_t at = 0; at < size; at += kPiece) {
        const std::size_t take = std::min(kPiece, size - at);
        written += static_cast<std::size_t>(EVP_EncodeBlock(
            reinterpret_cast<unsigned char*>(text.data() + written), data + at, static_cast<int>(take)));
    }
    text.resize(written);
    return text;
}

}  // namespace updateserver

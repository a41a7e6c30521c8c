#include "Sha256.h"

#include <openssl/evp.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

namespace updateserver {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

void Sha256::ContextFree::operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
    if (!context_ || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("libcrypto cannot start SHA-256");
}

void Sha256::Update(const void* data, std::size_t size) {
    if (EVP_DigestUpdate(context_.get(), data, size) != 1) throw std::runtime_error("SHA-256 update failed");
}

Sha256::Digest Sha256::Finish() {
    Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_.get(), digest.data(), &length) != 1 || length != digest.size())
        throw std::runtime_error("SHA-256 cannot finish");
    return digest;
}

bool Sha256::OfFile(const std::string& path, Digest& digest, std::uint64_t& bytes) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    try {
        Sha256 hash;
        std::uint64_t total = 0;
        std::vector<char> buffer(1 << 16);
        std::size_t got = 0;
        while ((got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) {
            hash.Update(buffer.data(), got);
            total += got;
        }
        if (std::ferror(file.get())) return false;
        digest = hash.Finish();
        bytes = total;
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

}  // namespace updateserver

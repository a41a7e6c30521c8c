#include "Sha256.h"

#include <algorithm>
#include <vector>

namespace scup {
namespace {

class CHasher {
  public:
    CHasher() {
        if (!BCRYPT_SUCCESS(
                BCryptOpenAlgorithmProvider(m_algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
            return;
        if (!BCRYPT_SUCCESS(BCryptCreateHash(m_algorithm.get(), m_hash.put(), nullptr, 0, nullptr, 0, 0)))
            m_hash.reset();
    }
    bool Add(const void* data, size_t size) {
        if (!m_hash) return false;
        auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
        // BCryptHashData takes at most a ULONG at a time.
        while (size > 0) {
            const ULONG piece = static_cast<ULONG>(std::min<size_t>(size, 1u << 30));
            if (!BCRYPT_SUCCESS(BCryptHashData(m_hash.get(), bytes, piece, 0))) return false;
            bytes += piece;
            size -= piece;
        }
        return true;
    }
    std::optional<Sha256Digest> Finish() {
        Sha256Digest digest{};
        if (!m_hash || !BCRYPT_SUCCESS(BCryptFinishHash(m_hash.get(), digest.data(), digest.size(), 0)))
            return std::nullopt;
        m_hash.reset();
        return digest;
    }

  private:
    UniqueCngAlgorithm m_algorithm;
    UniqueCngHash m_hash;
};

}  // namespace

std::optional<Sha256Digest> Sha256Of(const void* data, size_t size) {
    CHasher hasher;
    if (!hasher.Add(data, size)) return std::nullopt;
    return hasher.Finish();
}

std::optional<Sha256Digest> Sha256OfFile(const std::wstring& path, unsigned long long& size) {
    size = 0;
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return std::nullopt;
    CHasher hasher;
    std::vector<BYTE> buffer(1 << 20);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
            return std::nullopt;
        if (read == 0) break;
        if (!hasher.Add(buffer.data(), read)) return std::nullopt;
        size += read;
    }
    return hasher.Finish();
}

}  // namespace scup

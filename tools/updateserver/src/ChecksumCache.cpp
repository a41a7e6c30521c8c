#include "ChecksumCache.h"

#include <system_error>

#include "Base64.h"
#include "Sha256.h"

namespace updateserver {

std::string ChecksumText(const std::uint8_t* digest, std::size_t size) { return Base64Encode(digest, size); }

bool ChecksumCache::Get(const std::filesystem::path& file, Facts& facts) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec) return false;
    const auto changed = std::filesystem::last_write_time(file, ec);
    if (ec) return false;
    {
        std::lock_guard lock(mutex_);
        const auto it = entries_.find(file.string());
        if (it != entries_.end() && it->second.size == size && it->second.changed == changed) {
            facts = {size, it->second.checksum, changed};
            return true;
        }
    }
    // Hashing runs outside the lock: a large file must not hold up the other answers.
    Sha256::Digest digest{};
    std::uint64_t hashed = 0;
    if (!Sha256::OfFile(file.string(), digest, hashed)) return false;
    // The size is that of the bytes hashed, in case the file was being replaced just now.
    facts = {hashed, ChecksumText(digest.data(), digest.size()), changed};
    std::lock_guard lock(mutex_);
    entries_[file.string()] = {hashed, changed, facts.checksum};
    return true;
}

}  // namespace updateserver

#pragma once
// SHA-256 through the platform's CNG provider, of bytes in memory or of a file read in pieces, and
// the owners of the CNG handles the signature check uses too.

#include <windows.h>

// After windows.h, whose types it needs.
#include <bcrypt.h>

#include <array>
#include <optional>
#include <string>

#include "common/Handles.h"

namespace scup {

struct CngAlgorithmTraits {
    static BCRYPT_ALG_HANDLE Invalid() noexcept { return nullptr; }
    static void Close(BCRYPT_ALG_HANDLE h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct CngKeyTraits {
    static BCRYPT_KEY_HANDLE Invalid() noexcept { return nullptr; }
    static void Close(BCRYPT_KEY_HANDLE h) noexcept { ::BCryptDestroyKey(h); }
};
struct CngHashTraits {
    static BCRYPT_HASH_HANDLE Invalid() noexcept { return nullptr; }
    static void Close(BCRYPT_HASH_HANDLE h) noexcept { ::BCryptDestroyHash(h); }
};
using UniqueCngAlgorithm = UniqueResource<BCRYPT_ALG_HANDLE, CngAlgorithmTraits>;
using UniqueCngKey = UniqueResource<BCRYPT_KEY_HANDLE, CngKeyTraits>;
using UniqueCngHash = UniqueResource<BCRYPT_HASH_HANDLE, CngHashTraits>;

using Sha256Digest = std::array<BYTE, 32>;

std::optional<Sha256Digest> Sha256Of(const void* data, size_t size);
// The digest and the size of the whole file; nullopt when it cannot be read to its end.
std::optional<Sha256Digest> Sha256OfFile(const std::wstring& path, unsigned long long& size);

}  // namespace scup

#pragma once
// Hashing and the password cipher, both on CryptoAPI: the SHA-256 check of a downloaded file
// against the checksum the update server sent, and the reversible cipher that keeps the proxy
// password out of the configuration file in clear text.
//
// The class keeps no state: every call acquires and releases its own provider handles. Results
// are 0 for success and 1 for failure; texts are empty on failure. Nothing is thrown.

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "common/Handles.h"

namespace scup {

struct CryptProvTraits {
    static HCRYPTPROV Invalid() noexcept { return 0; }
    static void Close(HCRYPTPROV p) noexcept { ::CryptReleaseContext(p, 0); }
};
struct CryptHashTraits {
    static HCRYPTHASH Invalid() noexcept { return 0; }
    static void Close(HCRYPTHASH h) noexcept { ::CryptDestroyHash(h); }
};
struct CryptKeyTraits {
    static HCRYPTKEY Invalid() noexcept { return 0; }
    static void Close(HCRYPTKEY k) noexcept { ::CryptDestroyKey(k); }
};

// The three handle types are the same integer type; the traits keep the owners apart.
using UniqueCryptProv = UniqueResource<HCRYPTPROV, CryptProvTraits>;
using UniqueCryptHash = UniqueResource<HCRYPTHASH, CryptHashTraits>;
using UniqueCryptKey = UniqueResource<HCRYPTKEY, CryptKeyTraits>;

}  // namespace scup

class CAUCrypt {
public:
    // 0 when the SHA-256 of the file, in Base64, equals the expected checksum once white space is
    // trimmed from both ends of both texts (exact, case-sensitive); 1 on a mismatch, a missing,
    // empty or unreadable file, or any CryptoAPI failure.
    static int IsFileIntact(const std::wstring& filePath, const std::wstring& expectedChecksum);

    // Without a buffer: stores the file's size in byteCount. With a buffer: byteCount is the
    // buffer's capacity on entry; the whole file is read into it and byteCount becomes its size.
    // 1 when the file can't be opened, is 4 GiB or larger, no longer fits the buffer, or can't be
    // read in full (an empty file counts as unreadable when a buffer is given).
    static int GetFileinBuffer(const std::wstring& filePath, BYTE* buffer, DWORD& byteCount);

    // SHA-256 of the bytes as Base64 text (one line of 44 characters plus CR LF).
    static int GetBase64EncodedHash(const BYTE* data, DWORD byteCount, std::wstring& base64);

    // The bytes as Base64 with line breaks: lines of 64 characters, each ended by CR LF.
    static std::wstring ConvertHashToBase64(const BYTE* data, DWORD byteCount);

    // Decodes Base64 (line breaks and white space are skipped). On success bytes holds the
    // byteCount decoded bytes followed by one zero byte. False when the text is not Base64.
    static bool DecodeBase64(const std::wstring& text, std::vector<BYTE>& bytes, DWORD& byteCount);

    // Sets up the password cipher: the base provider in the default key container (created when
    // the user has none), the MD5 hash of the pass phrase and the RC4 key derived from it. The
    // owners release whatever was acquired, also when the set-up fails part way; the caller
    // declares them in the order provider, key, hash so that they go in the reverse order.
    static int GetSessionHandles(scup::UniqueCryptProv& provider, scup::UniqueCryptKey& key,
                                 scup::UniqueCryptHash& hash);

    // The stored form of a password: Base64 of the RC4 output over its UTF-16LE bytes.
    static std::wstring EncryptData(const std::wstring& clearText);
    // The password back from its stored form; empty when the text can't be deciphered.
    static std::wstring DecryptData(const std::wstring& storedForm);
};

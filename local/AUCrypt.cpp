#include "AUCrypt.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "common/AnsiText.h"
#include "common/Trace.h"

using scup::AUTrace;

namespace {

// Stored passwords were enciphered with a key hashed from the pass phrase's character count used
// as a byte count, i.e. the first 7 of its 14 UTF-16LE bytes. Changing that would make every
// password already in a configuration file unreadable.
constexpr wchar_t kPassPhrase[] = L"Halvern";
constexpr DWORD kPassPhraseHashedBytes = 7;
static_assert(kPassPhraseHashedBytes == std::size(kPassPhrase) - 1);

// Logs a fixed exit line however the function leaves (its entry line is not the usual pair).
class ExitTrace {
public:
    explicit ExitTrace(const wchar_t* line) : line_(line) {}
    ~ExitTrace() { AUTrace(L"%s", line_); }
    ExitTrace(const ExitTrace&) = delete;
    ExitTrace& operator=(const ExitTrace&) = delete;

private:
    const wchar_t* line_;
};

// File sizes and hash sizes come from outside; running out of memory for them is a failed check,
// not a reason to end the update thread.
bool TryAllocate(std::vector<BYTE>& buffer, size_t size) {
    try {
        buffer.assign(size, 0);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::wstring TrimWhiteSpace(const std::wstring& text) {
    auto isSpace = [](wchar_t c) { return std::iswspace(c) != 0; };
    auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    auto last = std::find_if_not(text.rbegin(), text.rend(), isSpace).base();
    return first < last ? std::wstring(first, last) : std::wstring();
}

// Reads until the count is reached or the file has nothing more to give; returns what was read.
DWORD ReadUpTo(HANDLE file, BYTE* buffer, DWORD count) {
    DWORD total = 0;
    while (total < count) {
        DWORD got = 0;
        if (!ReadFile(file, buffer + total, count - total, &got, nullptr) || got == 0) break;
        total += got;
    }
    return total;
}

// The file's size when the whole file can be held in one buffer of a DWORD count. Larger files
// are refused rather than cut to their low 32 bits, which would hash only part of them.
bool HashableFileSize(HANDLE file, DWORD& size) {
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(file, &length)) {
        AUTrace(L"Failed to get file size.");
        return false;
    }
    if (length.QuadPart > static_cast<LONGLONG>(MAXDWORD)) {
        AUTrace(L"File is too large to be hashed.");
        return false;
    }
    size = static_cast<DWORD>(length.QuadPart);
    return true;
}

struct HashParamMessages {
    const wchar_t* sizeFailed;
    const wchar_t* readFailed;
};

// Reads one hash parameter the CryptoAPI way: its size first, then its bytes.
bool ReadHashParam(HCRYPTHASH hash, DWORD param, const HashParamMessages& messages, std::vector<BYTE>& value) {
    DWORD size = 0;
    if (!CryptGetHashParam(hash, param, nullptr, &size, 0)) {
        AUTrace(L"%s", messages.sizeFailed);
        return false;
    }
    if (!TryAllocate(value, size)) {
        AUTrace(L"Error Allocating %d bytes of memory.", static_cast<int>(size));
        return false;
    }
    if (!CryptGetHashParam(hash, param, value.data(), &size, 0)) {
        AUTrace(L"%s", messages.readFailed);
        return false;
    }
    value.resize(size);
    return true;
}

// Lines of 64 characters, each one, the last included, ended by CR LF. The platform encoder is
// asked for one unbroken line and the breaks are put in here, because Wine's encoder leaves out
// the break before a padded last group that starts a new line (50 bytes came out as one line of 68).
std::string BreakIntoLines(const std::string& base64) {
    constexpr size_t kLineLength = 64;
    std::string lines;
    for (size_t start = 0; start < base64.size(); start += kLineLength) {
        lines.append(base64, start, kLineLength);
        lines.append("\r\n");
    }
    return lines;
}

// The base provider in the user's default key container, which is created on first use.
bool AcquireCipherProvider(scup::UniqueCryptProv& provider) {
    HCRYPTPROV raw = 0;
    const bool acquired =
        CryptAcquireContextW(&raw, nullptr, MS_DEF_PROV_W, PROV_RSA_FULL, 0) ||
        (GetLastError() == static_cast<DWORD>(NTE_BAD_KEYSET) &&
         CryptAcquireContextW(&raw, nullptr, MS_DEF_PROV_W, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    if (acquired) provider.reset(raw);
    return acquired;
}

}  // namespace

int CAUCrypt::IsFileIntact(const std::wstring& filePath, const std::wstring& expectedChecksum) {
    AUTrace(L"Enter : CAUCrypt::IsFileIntact().");
    ExitTrace exitTrace(L"Exit : CAUCrypt::IsFileIntact()");
    AUTrace(L"File to be hashed: %s", filePath.c_str());

    DWORD size = 0;
    if (GetFileinBuffer(filePath, nullptr, size) != 0) {
        AUTrace(L"Failed to get file size for allocating buffer.");
        return 1;
    }
    // Never a null buffer, even for an empty file: the read must be attempted so that an empty
    // file is refused as unreadable instead of being taken for a size query.
    std::vector<BYTE> contents;
    if (!TryAllocate(contents, std::max<size_t>(size, 1)) || GetFileinBuffer(filePath, contents.data(), size) != 0) {
        AUTrace(L"Failed to get file contents into buffer.");
        return 1;
    }
    std::wstring computed;
    if (GetBase64EncodedHash(contents.data(), size, computed) != 0) {
        AUTrace(L"Failed to create Hash of buffer.");
        return 1;
    }
    AUTrace(L"Base64 Encoded hash of file : %s", computed.c_str());

    if (TrimWhiteSpace(computed) == TrimWhiteSpace(expectedChecksum)) {
        AUTrace(L"Hash values are same.");
        return 0;
    }
    AUTrace(L"Hash values are different.");
    return 1;
}

int CAUCrypt::GetFileinBuffer(const std::wstring& filePath, BYTE* buffer, DWORD& byteCount) {
    scup::TraceScope scope(L"CAUCrypt::GetFileinBuffer()");
    scup::UniqueFile file(CreateFileW(filePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        AUTrace(L"Failed to open file.");
        return 1;
    }
    DWORD size = 0;
    if (!HashableFileSize(file.get(), size)) return 1;
    AUTrace(L"File Size is : %d", static_cast<int>(size));
    if (!buffer) {
        byteCount = size;
        return 0;
    }
    // The file may have grown since the caller asked for its size.
    if (size > byteCount) {
        AUTrace(L"File does not fit the buffer.");
        return 1;
    }
    // A short read (the file shrank meanwhile) would leave the buffer's tail unread and hashed.
    const DWORD read = ReadUpTo(file.get(), buffer, size);
    if (read == 0 || read != size) {
        AUTrace(L"Failed to read file.");
        return 1;
    }
    byteCount = read;
    return 0;
}

int CAUCrypt::GetBase64EncodedHash(const BYTE* data, DWORD byteCount, std::wstring& base64) {
    scup::TraceScope scope(L"CAUCrypt::GetBase64EncodedHash()");
    scup::UniqueCryptProv provider;
    HCRYPTPROV rawProvider = 0;
    if (!CryptAcquireContextW(&rawProvider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        AUTrace(L"Error during CryptAcquireContext.");
        return 1;
    }
    provider.reset(rawProvider);

    scup::UniqueCryptHash hash;
    HCRYPTHASH rawHash = 0;
    if (!CryptCreateHash(provider.get(), CALG_SHA_256, 0, 0, &rawHash)) {
        AUTrace(L"Error during CryptCreateHash.");
        return 1;
    }
    hash.reset(rawHash);
    if (!CryptHashData(hash.get(), data, byteCount, 0)) {
        AUTrace(L"Error during CryptHashData.");
        return 1;
    }

    std::vector<BYTE> hashSize;
    if (!ReadHashParam(hash.get(), HP_HASHSIZE,
                       {L"CryptGetHashParam failed to get Hash Value buffer size.",
                        L"CryptGetHashParam failed to get Hash Value size."},
                       hashSize))
        return 1;
    std::vector<BYTE> digest;
    if (!ReadHashParam(hash.get(), HP_HASHVAL,
                       {L"CryptGetHashParam failed to get Hash data buffer size.",
                        L"CryptGetHashParam failed to get Hash data buffer."},
                       digest))
        return 1;

    base64 = ConvertHashToBase64(digest.data(), static_cast<DWORD>(digest.size()));
    return 0;
}

std::wstring CAUCrypt::ConvertHashToBase64(const BYTE* data, DWORD byteCount) {
    scup::TraceScope scope(L"CAUCrypt::ConvertHashToBase64()");
    constexpr DWORD kUnbrokenBase64 = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    DWORD length = 0;
    if (!CryptBinaryToStringA(data, byteCount, kUnbrokenBase64, nullptr, &length)) {
        AUTrace(L"CryptBinaryToString() failed to get buffer length.");
        return {};
    }
    std::string text(length, '\0');
    if (!CryptBinaryToStringA(data, byteCount, kUnbrokenBase64, text.data(), &length)) {
        AUTrace(L"CryptBinaryToString() failed to get buffer.");
        return {};
    }
    text.resize(strnlen(text.data(), text.size()));
    // The encoder's output is plain ASCII in the thread's code page.
    return scup::FromAnsi(BreakIntoLines(text), CP_THREAD_ACP);
}

bool CAUCrypt::DecodeBase64(const std::wstring& text, std::vector<BYTE>& bytes, DWORD& byteCount) {
    // The decoder has always traced under the encoder's name; trace readers know these lines.
    scup::TraceScope scope(L"CAUCrypt::ConvertHashToBase64()");
    const DWORD length = static_cast<DWORD>(text.size());
    DWORD count = 0;
    if (!CryptStringToBinaryW(text.c_str(), length, CRYPT_STRING_BASE64, nullptr, &count, nullptr, nullptr)) {
        AUTrace(L"CryptBinaryToString() failed to get buffer length.");
        return false;
    }
    std::vector<BYTE> decoded(static_cast<size_t>(count) + 1, 0);
    if (!CryptStringToBinaryW(text.c_str(), length, CRYPT_STRING_BASE64, decoded.data(), &count, nullptr, nullptr)) {
        AUTrace(L"CryptBinaryToString() failed to get buffer.");
        return false;
    }
    decoded.resize(static_cast<size_t>(count) + 1);
    bytes = std::move(decoded);
    byteCount = count;
    return true;
}

int CAUCrypt::GetSessionHandles(scup::UniqueCryptProv& provider, scup::UniqueCryptKey& key,
                                scup::UniqueCryptHash& hash) {
    scup::TraceScope scope(L"CAUCrypt::GetSessionHandles()");
    if (!AcquireCipherProvider(provider)) {
        AUTrace(L"CryptAcquireContext() failed");
        return 1;
    }
    HCRYPTHASH rawHash = 0;
    if (!CryptCreateHash(provider.get(), CALG_MD5, 0, 0, &rawHash)) {
        AUTrace(L"CryptCreateHash() failed");
        return 1;
    }
    hash.reset(rawHash);
    if (!CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(kPassPhrase), kPassPhraseHashedBytes, 0)) {
        AUTrace(L"CryptHashData() failed");
        return 1;
    }
    // No key length given: the base provider's default 40-bit RC4 key is what stored passwords use.
    HCRYPTKEY rawKey = 0;
    if (!CryptDeriveKey(provider.get(), CALG_RC4, hash.get(), CRYPT_EXPORTABLE, &rawKey)) {
        AUTrace(L"CryptDeriveKey() failed");
        return 1;
    }
    key.reset(rawKey);
    return 0;
}

std::wstring CAUCrypt::EncryptData(const std::wstring& clearText) {
    scup::TraceScope scope(L"CAUCrypt::EncryptData()");
    scup::UniqueCryptProv provider;
    scup::UniqueCryptKey key;
    scup::UniqueCryptHash hash;
    if (GetSessionHandles(provider, key, hash) != 0) {
        AUTrace(L"GetSessionHandles() failed");
        return {};
    }
    const DWORD byteCount = static_cast<DWORD>(clearText.size() * sizeof(wchar_t));
    std::vector<BYTE> buffer(static_cast<size_t>(byteCount) + 1, 0);
    std::memcpy(buffer.data(), clearText.data(), byteCount);
    DWORD dataLength = byteCount;
    if (!CryptEncrypt(key.get(), 0, TRUE, 0, buffer.data(), &dataLength, static_cast<DWORD>(buffer.size()))) {
        AUTrace(L"CryptEncrypt() failed.");
        return {};
    }
    return ConvertHashToBase64(buffer.data(), dataLength);
}

std::wstring CAUCrypt::DecryptData(const std::wstring& storedForm) {
    scup::TraceScope scope(L"CAUCrypt::DecryptData()");
    scup::UniqueCryptProv provider;
    scup::UniqueCryptKey key;
    scup::UniqueCryptHash hash;
    if (GetSessionHandles(provider, key, hash) != 0) {
        AUTrace(L"GetSessionHandles() failed");
        return {};
    }
    std::vector<BYTE> bytes;
    DWORD byteCount = 0;
    if (!DecodeBase64(storedForm, bytes, byteCount)) return {};
    DWORD dataLength = byteCount;
    if (!CryptDecrypt(key.get(), 0, TRUE, 0, bytes.data(), &dataLength)) {
        AUTrace(L"DecryptData() failed.");
        return {};
    }
    std::wstring clearText(dataLength / sizeof(wchar_t), L'\0');
    std::memcpy(clearText.data(), bytes.data(), clearText.size() * sizeof(wchar_t));
    return clearText;
}

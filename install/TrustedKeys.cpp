#include "TrustedKeys.h"

#include <bcrypt.h>

#include <cstring>

#include "Sha256.h"
#include "SignedStatement.h"
#include "common/Format.h"
#include "common/Text.h"
#include "common/Trace.h"

using scup::AUTrace;

namespace {

std::wstring KeyIdOf(const std::array<BYTE, 64>& point) {
    const auto digest = scup::Sha256Of(point.data(), point.size());
    if (!digest) return {};
    std::wstring id;
    for (size_t i = 0; i < 8; ++i) id += scup::FormatText(L"%02x", (*digest)[i]);
    return id;
}

}  // namespace

std::optional<STrustedKey> CTrustedKeys::FromBase64(const std::wstring& text) {
    std::vector<BYTE> bytes;
    if (!scup::DecodeStrictBase64(scup::ToUtf8(scup::TrimBlanks(text)), bytes) || bytes.size() != 64)
        return std::nullopt;
    STrustedKey key;
    std::memcpy(key.point.data(), bytes.data(), bytes.size());
    key.id = KeyIdOf(key.point);
    if (key.id.empty()) return std::nullopt;
    return key;
}

void CTrustedKeys::Add(const STrustedKey& key) {
    if (!Find(key.id)) m_keys.push_back(key);
}

bool CTrustedKeys::AddList(const std::wstring& list) {
    bool allKeys = true;
    for (const std::wstring& item : scup::SplitList(list, L';')) {
        if (const auto key = FromBase64(item))
            Add(*key);
        else
            allKeys = false;
    }
    return allKeys;
}

const STrustedKey* CTrustedKeys::Find(const std::wstring& id) const {
    for (const STrustedKey& key : m_keys)
        if (key.id == id) return &key;
    return nullptr;
}

bool CTrustedKeys::Verify(const std::wstring& keyId, const std::string& message,
                          const std::array<BYTE, 64>& signature) const {
    const STrustedKey* key = Find(keyId);
    if (!key) return false;
    scup::UniqueCngAlgorithm algorithm;
    NTSTATUS status = BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
    if (!BCRYPT_SUCCESS(status)) {
        AUTrace(L"Failed: the ECDSA P-256 provider cannot be opened (0x%08lx).",
                static_cast<unsigned long>(status));
        return false;
    }
    std::array<BYTE, sizeof(BCRYPT_ECCKEY_BLOB) + 64> blob{};
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob.data(), &header, sizeof(header));
    std::memcpy(blob.data() + sizeof(header), key->point.data(), key->point.size());
    scup::UniqueCngKey publicKey;
    status = BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, publicKey.put(),
                                 blob.data(), static_cast<ULONG>(blob.size()), 0);
    if (!BCRYPT_SUCCESS(status)) {
        AUTrace(L"Failed: the key %s cannot be used (0x%08lx).", keyId.c_str(),
                static_cast<unsigned long>(status));
        return false;
    }
    auto digest = scup::Sha256Of(message.data(), message.size());
    if (!digest) return false;
    std::array<BYTE, 64> rs = signature;
    status =
        BCryptVerifySignature(publicKey.get(), nullptr, digest->data(), static_cast<ULONG>(digest->size()),
                              rs.data(), static_cast<ULONG>(rs.size()), 0);
    return status == 0;
}

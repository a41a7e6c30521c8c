#include "TestSigner.h"

#include <wincrypt.h>

#include <vector>

#include "common/Profile.h"
#include "common/Text.h"

namespace testing_support {

std::string Base64(const std::string& bytes) {
    DWORD size = 0;
    const auto* data = reinterpret_cast<const BYTE*>(bytes.data());
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    CryptBinaryToStringA(data, static_cast<DWORD>(bytes.size()), flags, nullptr, &size);
    std::string text(size, '\0');
    CryptBinaryToStringA(data, static_cast<DWORD>(bytes.size()), flags, text.data(), &size);
    text.resize(size);
    return text;
}

std::string HexOf(const BYTE* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

TestSigner::TestSigner() {
    if (!BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(algorithm_.put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0)))
        return;
    if (!BCRYPT_SUCCESS(BCryptGenerateKeyPair(algorithm_.get(), key_.put(), 256, 0)) ||
        !BCRYPT_SUCCESS(BCryptFinalizeKeyPair(key_.get(), 0))) {
        key_.reset();
        return;
    }
    std::vector<BYTE> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 64);
    ULONG size = 0;
    if (!BCRYPT_SUCCESS(BCryptExportKey(key_.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, blob.data(),
                                        static_cast<ULONG>(blob.size()), &size, 0)) ||
        size != blob.size()) {
        key_.reset();
        return;
    }
    const std::string point(reinterpret_cast<const char*>(blob.data() + sizeof(BCRYPT_ECCKEY_BLOB)), 64);
    publicKey_ = Base64(point);
    const auto digest = scup::Sha256Of(point.data(), point.size());
    keyId_ = HexOf(digest->data(), 8);
}

std::string TestSigner::Unsigned(const std::string& keyId, const StatementFields& fields) {
    const auto digest = scup::Sha256Of(fields.body.data(), fields.body.size());
    const std::string sha = fields.sha256.empty() ? HexOf(digest->data(), digest->size()) : fields.sha256;
    const long long size = fields.size >= 0 ? fields.size : static_cast<long long>(fields.body.size());
    return "ScUpdater statement 1\nkey: " + keyId + "\npackage: " + fields.package +
           "\nspec: " + fields.spec + "\nversion: " + fields.version + "\nmodel: " + fields.model +
           "\nfile: " + fields.file + "\nsize: " + std::to_string(size) + "\nsha256: " + sha +
           "\nexpires: " + fields.expires + "\nreplaces: " + fields.replaces + "\n";
}

std::string TestSigner::Sign(const std::string& message) const {
    const auto digest = scup::Sha256Of(message.data(), message.size());
    std::string signature(64, '\0');
    ULONG size = 0;
    if (!key_ || !digest ||
        !BCRYPT_SUCCESS(BCryptSignHash(key_.get(), nullptr, const_cast<BYTE*>(digest->data()),
                                       static_cast<ULONG>(digest->size()),
                                       reinterpret_cast<BYTE*>(signature.data()), 64, &size, 0)))
        return {};
    return Base64(signature);
}

std::string TestSigner::Statement(const StatementFields& fields) const {
    const std::string message = Unsigned(keyId_, fields);
    return message + "signature: " + Sign(message) + "\n";
}

std::string TestSigner::StatementFor(const std::string& url, const std::string& body,
                                     const std::string& version, const std::string& model) const {
    StatementFields fields;
    const size_t slash = url.find_last_of('/');
    fields.file = slash == std::string::npos ? url : url.substr(slash + 1);
    const std::string stem = fields.file.substr(0, fields.file.find('.'));
    if (fields.file.rfind("ScUpdater-", 0) == 0) {
        fields.package = "SCUPDATER";
        fields.spec = "ALL_ALL";
    } else {
        const size_t first = stem.find('_');
        const size_t second = first == std::string::npos ? first : stem.find('_', first + 1);
        const size_t third = second == std::string::npos ? second : stem.find('_', second + 1);
        fields.package = stem.substr(0, first);
        fields.spec = second == std::string::npos ? "ALL_ALL" : stem.substr(first + 1, third - first - 1);
    }
    fields.version = version;
    fields.model = model;
    fields.body = body;
    return Statement(fields);
}

TrustedForTest::TrustedForTest(const TestSigner& signer, const wchar_t* signatureCheck)
    : keys_(scup::ReadMachineSettingText(L"SigningKeys")),
      check_(scup::ReadMachineSettingText(L"SignatureCheck")) {
    scup::WriteMachineSettingText(L"SigningKeys", scup::FromUtf8(signer.PublicKey()));
    scup::WriteMachineSettingText(L"SignatureCheck", signatureCheck ? signatureCheck : L"");
}

TrustedForTest::~TrustedForTest() {
    scup::WriteMachineSettingText(L"SigningKeys", keys_);
    scup::WriteMachineSettingText(L"SignatureCheck", check_);
}

}  // namespace testing_support

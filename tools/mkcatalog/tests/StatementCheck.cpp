#include "StatementCheck.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <cctype>
#include <memory>

#include "Unzip.h"

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct KeyContextFree {
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
struct ParamBuildFree {
    void operator()(OSSL_PARAM_BLD* build) const { OSSL_PARAM_BLD_free(build); }
};
struct ParamFree {
    void operator()(OSSL_PARAM* params) const { OSSL_PARAM_free(params); }
};
struct SignatureFree {
    void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};
struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct OpensslFree {
    void operator()(unsigned char* bytes) const { OPENSSL_free(bytes); }
};

const char* const kNames[] = {"key",  "package", "spec",    "version",  "model",    "file",
                              "size", "sha256",  "expires", "replaces", "signature"};

std::string Hex(const unsigned char* bytes, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

std::unique_ptr<EVP_PKEY, KeyFree> KeyFromPoint(const std::vector<std::uint8_t>& point) {
    if (point.size() != 64) return nullptr;
    std::vector<unsigned char> encoded{0x04};
    encoded.insert(encoded.end(), point.begin(), point.end());
    const std::unique_ptr<OSSL_PARAM_BLD, ParamBuildFree> build(OSSL_PARAM_BLD_new());
    if (!build ||
        OSSL_PARAM_BLD_push_utf8_string(build.get(), OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0) != 1 ||
        OSSL_PARAM_BLD_push_octet_string(build.get(), OSSL_PKEY_PARAM_PUB_KEY, encoded.data(),
                                         encoded.size()) != 1)
        return nullptr;
    const std::unique_ptr<OSSL_PARAM, ParamFree> params(OSSL_PARAM_BLD_to_param(build.get()));
    const std::unique_ptr<EVP_PKEY_CTX, KeyContextFree> context(
        EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* key = nullptr;
    if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) != 1)
        return nullptr;
    return std::unique_ptr<EVP_PKEY, KeyFree>(key);
}

}  // namespace

std::optional<ReadStatement> ParseStatement(const std::string& text, std::string& why) {
    const std::string first = "ScUpdater statement 1\n";
    if (text.compare(0, first.size(), first) != 0) {
        why = "the first line is not \"ScUpdater statement 1\"";
        return std::nullopt;
    }
    ReadStatement statement;
    std::size_t at = first.size();
    for (const char* name : kNames) {
        const std::string prefix = std::string(name) + ": ";
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos || text.compare(at, prefix.size(), prefix) != 0) {
            why = "no line \"" + prefix + "...\" at byte " + std::to_string(at);
            return std::nullopt;
        }
        const std::string value = text.substr(at + prefix.size(), end - at - prefix.size());
        if (value.find('\r') != std::string::npos) {
            why = std::string("a carriage return in ") + name;
            return std::nullopt;
        }
        statement.fields[name] = value;
        at = end + 1;
        if (std::string(name) == "replaces") statement.message = text.substr(0, at);
    }
    if (at != text.size()) {
        why = "bytes after the signature line";
        return std::nullopt;
    }
    const auto signature = DecodeBase64(statement.fields["signature"]);
    if (!signature || signature->size() != 64) {
        why = "the signature is not 64 bytes in Base64";
        return std::nullopt;
    }
    statement.signature = *signature;
    return statement;
}

std::optional<std::vector<std::uint8_t>> DecodeBase64(const std::string& text) {
    if (text.empty() || text.size() % 4 != 0) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool padding = c == '=' && i + 2 >= text.size() && (i + 1 == text.size() || text[i + 1] == '=');
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '/' && !padding)
            return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(text.size() / 4 * 3);
    const int length = EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                       static_cast<int>(text.size()));
    if (length < 0) return std::nullopt;
    const std::size_t pad = text.ends_with("==") ? 2 : text.ends_with("=") ? 1 : 0;
    bytes.resize(static_cast<std::size_t>(length) - pad);
    return bytes;
}

std::vector<std::uint8_t> ReadPublicPoint(const std::filesystem::path& file) {
    std::string text = ReadWholeFile(file);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const auto point = DecodeBase64(text);
    return point && point->size() == 64 ? *point : std::vector<std::uint8_t>();
}

std::string KeyIdOf(const std::vector<std::uint8_t>& point) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(point.data(), point.size(), digest, &length, EVP_sha256(), nullptr) != 1) return "";
    return Hex(digest, 8);
}

std::string Sha256Hex(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) return "";
    return Hex(digest, length);
}

bool VerifySignature(const std::string& message, const std::vector<std::uint8_t>& signature,
                     const std::vector<std::uint8_t>& point) {
    const auto key = KeyFromPoint(point);
    if (!key || signature.size() != 64) return false;
    const std::unique_ptr<ECDSA_SIG, SignatureFree> sig(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
    BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
    if (!sig || !r || !s || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return false;
    }
    unsigned char* raw = nullptr;
    const int length = i2d_ECDSA_SIG(sig.get(), &raw);
    const std::unique_ptr<unsigned char, OpensslFree> der(raw);
    const std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
    return length > 0 && context &&
           EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
           EVP_DigestVerify(context.get(), der.get(), static_cast<std::size_t>(length),
                            reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
}

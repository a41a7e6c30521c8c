#include "StatementSigner.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <vector>

#include "Base64.h"
#include "Sha256.h"

namespace mkcatalog {
namespace {

namespace fs = std::filesystem;
using updateserver::Base64Encode;
using updateserver::Sha256;

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct BignumFree {
    void operator()(BIGNUM* number) const { BN_free(number); }
};
struct SignatureFree {
    void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};
struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// libcrypto's reasons for the last failure, emptying its queue.
std::string CryptoErrors() {
    std::string text;
    while (const unsigned long code = ERR_get_error()) {
        char line[256];
        ERR_error_string_n(code, line, sizeof line);
        text += (text.empty() ? "" : "; ") + std::string(line);
    }
    return text;
}

// Keys are read without asking for a passphrase: an encrypted key fails instead of waiting on a terminal.
int NoPassphrase(char*, int, int, void*) { return -1; }

std::string Hex(const std::uint8_t* bytes, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0f];
    }
    return text;
}

bool IsP256(EVP_PKEY* key) {
    char name[80] = {};
    std::size_t length = 0;
    if (EVP_PKEY_get_base_id(key) != EVP_PKEY_EC ||
        EVP_PKEY_get_group_name(key, name, sizeof name, &length) != 1)
        return false;
    int nid = OBJ_sn2nid(name);
    if (nid == NID_undef) nid = EC_curve_nist2nid(name);
    return nid == NID_X9_62_prime256v1;
}

bool Coordinate(EVP_PKEY* key, const char* param, std::uint8_t* out) {
    BIGNUM* raw = nullptr;
    if (EVP_PKEY_get_bn_param(key, param, &raw) != 1) return false;
    const std::unique_ptr<BIGNUM, BignumFree> number(raw);
    return BN_bn2binpad(number.get(), out, 32) == 32;
}

// Line values hold no line breaks or other control characters, so that each field stays one line.
bool IsLineValue(std::string_view value) {
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) return false;
    }
    return true;
}

bool TwoDigits(std::string_view text, std::size_t at, int& value) {
    if (text[at] < '0' || text[at] > '9' || text[at + 1] < '0' || text[at + 1] > '9') return false;
    value = (text[at] - '0') * 10 + (text[at + 1] - '0');
    return true;
}

}  // namespace

std::optional<std::int64_t> ParseStatementTime(std::string_view text) {
    // YYYY-MM-DDTHH:MM:SSZ
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != 'Z')
        return std::nullopt;
    int century = 0, yearInCentury = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!TwoDigits(text, 0, century) || !TwoDigits(text, 2, yearInCentury) || !TwoDigits(text, 5, month) ||
        !TwoDigits(text, 8, day) || !TwoDigits(text, 11, hour) || !TwoDigits(text, 14, minute) ||
        !TwoDigits(text, 17, second))
        return std::nullopt;
    using namespace std::chrono;
    const year_month_day date{year(century * 100 + yearInCentury), std::chrono::month(month),
                              std::chrono::day(day)};
    if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    const auto at = sys_days(date) + hours(hour) + minutes(minute) + seconds(second);
    return at.time_since_epoch().count();
}

std::string FormatStatementTime(std::int64_t secondsSince1970) {
    using namespace std::chrono;
    const sys_seconds at{seconds(secondsSince1970)};
    const sys_days day = floor<days>(at);
    const year_month_day date(day);
    const hh_mm_ss time(at - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

std::string StatementTimeInDays(int days) {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    return FormatStatementTime((now + hours(24) * days).time_since_epoch().count());
}

void StatementSigner::KeyFree::operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }

std::unique_ptr<StatementSigner> StatementSigner::Load(const fs::path& keyFile, std::string& error) {
    ERR_clear_error();
    const std::unique_ptr<BIO, BioFree> bio(BIO_new_file(keyFile.c_str(), "r"));
    if (!bio) {
        error = "cannot open the signing key " + keyFile.string() + ": " + CryptoErrors();
        return nullptr;
    }
    std::unique_ptr<StatementSigner> signer(new StatementSigner);
    signer->key_.reset(PEM_read_bio_PrivateKey(bio.get(), nullptr, NoPassphrase, nullptr));
    if (!signer->key_) {
        error = "cannot read a private key from " + keyFile.string() +
                " (it must be PEM and not encrypted): " + CryptoErrors();
        return nullptr;
    }
    if (!IsP256(signer->key_.get())) {
        error = "the signing key " + keyFile.string() + " is not an ECDSA P-256 (prime256v1) key";
        return nullptr;
    }
    std::uint8_t* point = signer->point_.data();
    if (!Coordinate(signer->key_.get(), OSSL_PKEY_PARAM_EC_PUB_X, point) ||
        !Coordinate(signer->key_.get(), OSSL_PKEY_PARAM_EC_PUB_Y, point + 32)) {
        error = "the signing key " + keyFile.string() + " holds no usable public point: " + CryptoErrors();
        return nullptr;
    }
    Sha256 hash;
    hash.Update(point, 64);
    const Sha256::Digest digest = hash.Finish();
    signer->keyId_ = Hex(digest.data(), 8);
    return signer;
}

bool StatementSigner::Sign(std::string_view message, std::array<std::uint8_t, 64>& signature,
                           std::string& error) const {
    ERR_clear_error();
    const std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
    std::vector<unsigned char> der(static_cast<std::size_t>(EVP_PKEY_get_size(key_.get())));
    std::size_t length = der.size();
    const auto* data = reinterpret_cast<const unsigned char*>(message.data());
    if (!context || der.empty() ||
        EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key_.get()) != 1 ||
        EVP_DigestSign(context.get(), der.data(), &length, data, message.size()) != 1) {
        error = "cannot sign: " + CryptoErrors();
        return false;
    }
    const unsigned char* read = der.data();
    const std::unique_ptr<ECDSA_SIG, SignatureFree> parsed(
        d2i_ECDSA_SIG(nullptr, &read, static_cast<long>(length)));
    if (!parsed || BN_bn2binpad(ECDSA_SIG_get0_r(parsed.get()), signature.data(), 32) != 32 ||
        BN_bn2binpad(ECDSA_SIG_get0_s(parsed.get()), signature.data() + 32, 32) != 32) {
        error = "cannot convert the signature to r||s: " + CryptoErrors();
        return false;
    }

    // The r||s form is read back as the updater reads it and checked before it goes into a statement.
    const std::unique_ptr<ECDSA_SIG, SignatureFree> back(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
    BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
    if (!back || !r || !s || ECDSA_SIG_set0(back.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        error = "cannot check the signature: " + CryptoErrors();
        return false;
    }
    unsigned char* encoded = nullptr;
    const int encodedLength = i2d_ECDSA_SIG(back.get(), &encoded);
    const std::unique_ptr<unsigned char, void (*)(unsigned char*)> encodedHolder(
        encoded, [](unsigned char* p) { OPENSSL_free(p); });
    const std::unique_ptr<EVP_MD_CTX, DigestContextFree> verify(EVP_MD_CTX_new());
    if (encodedLength <= 0 || !verify ||
        EVP_DigestVerifyInit(verify.get(), nullptr, EVP_sha256(), nullptr, key_.get()) != 1 ||
        EVP_DigestVerify(verify.get(), encoded, static_cast<std::size_t>(encodedLength), data,
                         message.size()) != 1) {
        error = "the signature does not verify with the key's own public point: " + CryptoErrors();
        return false;
    }
    return true;
}

bool StatementSigner::Statement(const fs::path& file, const StatementFields& fields, std::string& text,
                                std::string& error) const {
    const std::string name = file.filename().string();
    const std::pair<const char*, const std::string*> values[] = {
        {"package", &fields.package},  {"spec", &fields.spec}, {"version", &fields.version},
        {"model", &fields.model},      {"file", &name},        {"expires", &fields.expires},
        {"replaces", &fields.replaces}};
    for (const auto& [field, value] : values) {
        if (!IsLineValue(*value)) {
            error = std::string("the ") + field + " of " + file.string() +
                    " holds a line break or another control character";
            return false;
        }
    }
    if (name.empty()) {
        error = file.string() + " names no file";
        return false;
    }
    if (!ParseStatementTime(fields.expires)) {
        error = "the expiry time \"" + fields.expires + "\" is not a UTC time YYYY-MM-DDTHH:MM:SSZ";
        return false;
    }
    Sha256::Digest digest{};
    std::uint64_t size = 0;
    std::error_code ec;
    if (!fs::is_regular_file(file, ec) || !Sha256::OfFile(file.string(), digest, size)) {
        error = "cannot read " + file.string() + " to sign it";
        return false;
    }
    std::string message = std::string(kStatementFirstLine) + "\n";
    message += "key: " + keyId_ + "\n";
    message += "package: " + fields.package + "\n";
    message += "spec: " + fields.spec + "\n";
    message += "version: " + fields.version + "\n";
    message += "model: " + fields.model + "\n";
    message += "file: " + name + "\n";
    message += "size: " + std::to_string(size) + "\n";
    message += "sha256: " + Hex(digest.data(), digest.size()) + "\n";
    message += "expires: " + fields.expires + "\n";
    message += "replaces: " + fields.replaces + "\n";
    std::array<std::uint8_t, 64> signature{};
    if (!Sign(message, signature, error)) {
        error = file.string() + ": " + error;
        return false;
    }
    text = message + "signature: " + Base64Encode(signature.data(), signature.size()) + "\n";
    return true;
}

bool StatementSigner::WriteStatement(const fs::path& file, const StatementFields& fields,
                                     std::string& error) const {
    std::string text;
    if (!Statement(file, fields, text, error)) return false;
    const fs::path target = fs::path(file.string() + kStatementSuffix);
    std::string hidden(".");
    hidden += target.filename().string();
    hidden += ".tmp-" + std::to_string(getpid());
    const fs::path temporary = target.parent_path() / hidden;
    std::error_code ec;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            fs::remove(temporary, ec);
            error = "cannot write " + target.string();
            return false;
        }
    }
    fs::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        error = "cannot put " + target.string() + " in place: " + ec.message();
        return false;
    }
    return true;
}

}  // namespace mkcatalog

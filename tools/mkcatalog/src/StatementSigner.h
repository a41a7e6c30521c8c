#pragma once
// Signed statements: beside every file X that the updater fetches lies "X.sig", a short text that says
// what X is (package, language-region, version, model, file name, size and SHA-256), until when that
// holds and which withdrawn version it may replace, signed with the maker's ECDSA P-256 key. The
// updater refuses a file without a valid statement. The format is described in
// tools/updateserver/README.md, "Signed statements"; the updater parses exactly that format.

#include <openssl/types.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace mkcatalog {

inline constexpr char kStatementSuffix[] = ".sig";
inline constexpr char kStatementFirstLine[] = "ScUpdater statement 1";
// The fields of the updater's own package.
inline constexpr char kUpdaterPackageCode[] = "SCUPDATER";
inline constexpr char kUpdaterSpec[] = "ALL_ALL";
// How long statements hold when no expiry time is given.
inline constexpr int kDefaultValidDays = 90;

// What a statement says about its file, apart from the file's name, size and SHA-256, which are read
// from the file itself.
struct StatementFields {
    std::string package;   // package code, e.g. "FP-MAIN"
    std::string spec;      // language-region, e.g. "ALL_ALL"
    std::string version;   // the package's version
    std::string model;     // the model of a firmware package; empty for software and the updater
    std::string expires;   // UTC time, YYYY-MM-DDTHH:MM:SSZ
    std::string replaces;  // empty, or a withdrawn version that this package may replace
};

// A time exactly as statements write it, "YYYY-MM-DDTHH:MM:SSZ", as seconds since 1970 (UTC); nullopt
// for any other text or an impossible date.
std::optional<std::int64_t> ParseStatementTime(std::string_view text);
// The statement time of seconds since 1970 (UTC).
std::string FormatStatementTime(std::int64_t seconds);
// Now plus the days, as a statement time.
std::string StatementTimeInDays(int days);

class StatementSigner {
  public:
    // Reads a PEM private key (SEC 1 "EC PRIVATE KEY" or PKCS #8, without passphrase). Fails, with the
    // reason, for a key that cannot be read or that is not on P-256.
    static std::unique_ptr<StatementSigner> Load(const std::filesystem::path& keyFile, std::string& error);

    // The key id: the first 8 bytes of SHA-256 over the public point X||Y, in lowercase hex.
    const std::string& KeyId() const { return keyId_; }
    // The public point X||Y, 32 bytes each, big-endian.
    const std::array<std::uint8_t, 64>& PublicPoint() const { return point_; }

    // The whole signed statement for the file as it is now. Fails for values that the format cannot
    // carry (line breaks and other control characters), a time not in the statement form, or a file
    // that cannot be read.
    bool Statement(const std::filesystem::path& file, const StatementFields& fields, std::string& text,
                   std::string& error) const;
    // Writes the statement to file + ".sig", replacing any there, whole or not at all.
    bool WriteStatement(const std::filesystem::path& file, const StatementFields& fields,
                        std::string& error) const;

  private:
    struct KeyFree {
        void operator()(EVP_PKEY* key) const;
    };

    StatementSigner() = default;
    // ECDSA over SHA-256 of the message, as r||s; checked against the public key before it is given.
    bool Sign(std::string_view message, std::array<std::uint8_t, 64>& signature, std::string& error) const;

    std::unique_ptr<EVP_PKEY, KeyFree> key_;
    std::array<std::uint8_t, 64> point_{};
    std::string keyId_;
};

}  // namespace mkcatalog

#pragma once
// Signs statements in the test process as the catalog maker does natively: a P-256 key pair made
// afresh through CNG, statements of the program's one form over given bytes, and the key trusted
// machine-wide the way an IT department adds its own ("SigningKeys" in the machine settings).

#include <windows.h>

#include <string>

#include "install/Sha256.h"

namespace testing_support {

struct StatementFields {
    std::string package = "PP-SCEDIT52";
    std::string spec = "ENU_ALL";
    std::string version = "5.2.1";
    std::string model;
    std::string file = "package.exe";
    std::string expires = "2099-01-01T00:00:00Z";
    std::string replaces;
    // Size and SHA-256 of this body unless set below.
    std::string body;
    long long size = -1;
    std::string sha256;
};

class TestSigner {
  public:
    TestSigner();
    bool Ready() const { return static_cast<bool>(key_); }
    // Base64 of X||Y, as the settings hold it, and the key's name.
    const std::string& PublicKey() const { return publicKey_; }
    const std::string& KeyId() const { return keyId_; }
    // The whole statement.
    std::string Statement(const StatementFields& fields) const;
    // The statement a catalog would lie beside the file at the address: its name from the address,
    // the package code and region from a name "<code>_<language>_<region>[_...].<ext>" (the
    // updater's own package "SCUPDATER" for "ScUpdater-<version>.zip").
    std::string StatementFor(const std::string& url, const std::string& body,
                             const std::string& version = "1.0", const std::string& model = "") const;
    // The statement's lines before the signature, and a signature of any message.
    static std::string Unsigned(const std::string& keyId, const StatementFields& fields);
    std::string Sign(const std::string& message) const;

  private:
    scup::UniqueCngAlgorithm algorithm_;
    scup::UniqueCngKey key_;
    std::string publicKey_;
    std::string keyId_;
};

std::string Base64(const std::string& bytes);
std::string HexOf(const BYTE* bytes, size_t size);

// Trusts the signer's key machine-wide while it lives (keeps what was there before).
class TrustedForTest {
  public:
    explicit TrustedForTest(const TestSigner& signer, const wchar_t* signatureCheck = nullptr);
    ~TrustedForTest();
    TrustedForTest(const TrustedForTest&) = delete;
    TrustedForTest& operator=(const TrustedForTest&) = delete;

  private:
    std::wstring keys_;
    std::wstring check_;
};

}  // namespace testing_support

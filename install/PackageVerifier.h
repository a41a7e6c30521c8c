#pragma once
// The checks a fetched file passes before anything uses it: its statement is of the one form, signed
// by a trusted key, for this very package (code, region, version, model, file name) and still valid;
// and the file has the size and SHA-256 the statement gives. Whatever fails is named, so that the
// user's message and the IT report can say why nothing was installed.

#include <windows.h>

#include <string>

#include "install/SignedStatement.h"
#include "install/TrustPolicy.h"

// What the program asks for when it fetches a file.
struct SExpectedFile {
    std::wstring package;
    std::wstring spec;
    // The printer model for firmware; empty for the PC's packages and the updater.
    std::wstring model;
    std::wstring file;
    // The version the statement must give; empty where the statement is the first word on it (a
    // description package's statement names the version that the installer's must give again).
    std::wstring version;
};

enum class VerifyFailure {
    None = 0,
    NoStatement,
    Unreadable,
    UnknownKey,
    BadSignature,
    OtherPackage,
    Expired,
    SizeDiffers,
    DigestDiffers,
    NotNewer,
    WrongKind,
    NotHttps,
    NotPublisherSigned,
};

class CPackageVerifier {
  public:
    // now: UTC in FILETIME units.
    CPackageVerifier(const CTrustedKeys& keys, ULONGLONG now) : m_keys(keys), m_now(now) {}

    // The statement's bytes as fetched; detail says what was wrong.
    VerifyFailure CheckStatement(const std::string& bytes, const SExpectedFile& expected,
                                 SSignedStatement& statement, std::wstring& detail) const;
    // The file against its statement: size, then SHA-256.
    static VerifyFailure CheckFile(const std::wstring& path, const SSignedStatement& statement);

    // The reason in English for the trace and the IT report, with what was wrong where it is known.
    static std::wstring Reason(VerifyFailure failure);
    static std::wstring Reason(VerifyFailure failure, const std::wstring& detail);
    // UTC now, in FILETIME units.
    static ULONGLONG Now();

  private:
    const CTrustedKeys& m_keys;
    ULONGLONG m_now;
};

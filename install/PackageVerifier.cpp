#include "PackageVerifier.h"

#include "Sha256.h"
#include "common/Format.h"

VerifyFailure CPackageVerifier::CheckStatement(const std::string& bytes, const SExpectedFile& expected,
                                               SSignedStatement& statement, std::wstring& detail) const {
    detail.clear();
    if (!ParseSignedStatement(bytes, statement, detail)) return VerifyFailure::Unreadable;
    if (!m_keys.Find(statement.keyId)) {
        detail = L"key " + statement.keyId;
        return VerifyFailure::UnknownKey;
    }
    if (!m_keys.Verify(statement.keyId, statement.signedPart, statement.signature))
        return VerifyFailure::BadSignature;
    // Only a signed statement's fields mean anything: they are compared once the signature holds.
    const struct {
        const wchar_t* name;
        const std::wstring& signedValue;
        const std::wstring& wanted;
        bool compared;
    } fields[] = {
        {L"package", statement.package, expected.package, true},
        {L"spec", statement.spec, expected.spec, true},
        {L"model", statement.model, expected.model, true},
        {L"file", statement.file, expected.file, true},
        {L"version", statement.version, expected.version, !expected.version.empty()},
    };
    for (const auto& field : fields) {
        if (!field.compared || field.signedValue == field.wanted) continue;
        detail = scup::FormatText(L"%s \"%s\" where \"%s\" was asked for", field.name,
                                  field.signedValue.c_str(), field.wanted.c_str());
        return VerifyFailure::OtherPackage;
    }
    if (statement.expires <= m_now) return VerifyFailure::Expired;
    return VerifyFailure::None;
}

VerifyFailure CPackageVerifier::CheckFile(const std::wstring& path, const SSignedStatement& statement) {
    unsigned long long size = 0;
    const auto digest = scup::Sha256OfFile(path, size);
    if (!digest) return VerifyFailure::DigestDiffers;
    if (size != statement.size) return VerifyFailure::SizeDiffers;
    return *digest == statement.sha256 ? VerifyFailure::None : VerifyFailure::DigestDiffers;
}

std::wstring CPackageVerifier::Reason(VerifyFailure failure) {
    switch (failure) {
        case VerifyFailure::None:
            return L"verified";
        case VerifyFailure::NoStatement:
            return L"no signed statement of the maker";
        case VerifyFailure::Unreadable:
            return L"the signed statement cannot be read";
        case VerifyFailure::UnknownKey:
            return L"signed by a key this PC does not trust";
        case VerifyFailure::BadSignature:
            return L"the signature does not match the statement";
        case VerifyFailure::OtherPackage:
            return L"the signed statement is for another package";
        case VerifyFailure::Expired:
            return L"the signed statement has expired";
        case VerifyFailure::SizeDiffers:
            return L"the file's size differs from the signed size";
        case VerifyFailure::DigestDiffers:
            return L"the file differs from the signed file";
        case VerifyFailure::NotNewer:
            return L"not newer than the installed version";
        case VerifyFailure::WrongKind:
            return L"not of the kind of installer its package allows";
        case VerifyFailure::NotHttps:
            return L"its address is not https while the server is reached over https";
        case VerifyFailure::NotPublisherSigned:
            return L"not Authenticode-signed by the maker's publisher";
    }
    return L"not verified";
}

std::wstring CPackageVerifier::Reason(VerifyFailure failure, const std::wstring& detail) {
    return detail.empty() ? Reason(failure) : Reason(failure) + L" (" + detail + L")";
}

ULONGLONG CPackageVerifier::Now() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

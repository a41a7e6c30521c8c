#include "PublisherCheck.h"

#include <windows.h>
// After windows.h, which they build on.
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <memory>

#include "common/Format.h"

namespace {

// WinVerifyTrust's state lives until it is closed with the same data.
class CTrustState {
  public:
    explicit CTrustState(const std::wstring& path) {
        m_file.cbStruct = sizeof(m_file);
        m_file.pcwszFilePath = path.c_str();
        m_data.cbStruct = sizeof(m_data);
        m_data.dwUIChoice = WTD_UI_NONE;
        // Revocation lists would be fetched from the network on every install; the signed
        // statement, which expires, is what bounds how long a package is trusted.
        m_data.fdwRevocationChecks = WTD_REVOKE_NONE;
        m_data.dwUnionChoice = WTD_CHOICE_FILE;
        m_data.pFile = &m_file;
        m_data.dwStateAction = WTD_STATEACTION_VERIFY;
        m_data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        m_status = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &m_data);
    }
    ~CTrustState() {
        m_data.dwStateAction = WTD_STATEACTION_CLOSE;
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &m_data);
    }
    CTrustState(const CTrustState&) = delete;
    CTrustState& operator=(const CTrustState&) = delete;

    LONG Status() const { return m_status; }
    // The signer's certificate, owned by the state; null when there is none.
    PCCERT_CONTEXT SignerCertificate() const {
        CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(m_data.hWVTStateData);
        if (!provider) return nullptr;
        CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
        if (!signer) return nullptr;
        CRYPT_PROVIDER_CERT* certificate = WTHelperGetProvCertFromChain(signer, 0);
        return certificate ? certificate->pCert : nullptr;
    }

  private:
    WINTRUST_FILE_INFO m_file{};
    WINTRUST_DATA m_data{};
    LONG m_status = TRUST_E_NOSIGNATURE;
};

struct ChainFreer {
    void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};

SPublisherCheck Verdict(PublisherVerdict verdict, std::wstring detail, std::wstring signer = {}) {
    return {verdict, std::move(signer), std::move(detail)};
}

SPublisherCheck FromTrustStatus(LONG status) {
    const std::wstring code = scup::FormatText(L"0x%08lX", static_cast<unsigned long>(status));
    switch (status) {
        case TRUST_E_NOSIGNATURE:
        case TRUST_E_SUBJECT_FORM_UNKNOWN:
        case TRUST_E_PROVIDER_UNKNOWN:
            return Verdict(PublisherVerdict::NoSignature, L"no Authenticode signature");
        case TRUST_E_BAD_DIGEST:
        case CRYPT_E_HASH_VALUE:
            return Verdict(PublisherVerdict::BadDigest,
                           L"the Authenticode signature does not match the file");
        case CERT_E_UNTRUSTEDROOT:
        case CERT_E_CHAINING:
        case CERT_E_UNTRUSTEDTESTROOT:
        case TRUST_E_EXPLICIT_DISTRUST:
            return Verdict(PublisherVerdict::UntrustedChain,
                           L"the Authenticode signer chains to no authority this PC trusts (" + code + L")");
        default:
            return Verdict(PublisherVerdict::Unreadable,
                           L"the Authenticode signature is not valid (" + code + L")");
    }
}

// The signer's chain, built anew with code signing asked for, must end in a trusted root.
bool ChainsToTrustedRoot(PCCERT_CONTEXT signer, std::wstring& detail) {
    LPSTR usage[] = {const_cast<LPSTR>(szOID_PKIX_KP_CODE_SIGNING)};
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof(para);
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usage;
    PCCERT_CHAIN_CONTEXT built = nullptr;
    if (!CertGetCertificateChain(nullptr, signer, nullptr, signer->hCertStore, &para, 0, nullptr, &built)) {
        detail =
            scup::FormatText(L"the Authenticode signer's chain cannot be built (error %lu)", GetLastError());
        return false;
    }
    std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFreer> chain(built);
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof(policy);
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof(status);
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_BASE, chain.get(), &policy, &status) ||
        status.dwError != 0) {
        detail = scup::FormatText(L"the Authenticode signer chains to no authority this PC trusts (0x%08lX)",
                                  static_cast<unsigned long>(status.dwError));
        return false;
    }
    // Asked of the chain itself as well: every error the chain engine found refuses, whatever the
    // policy made of it.
    const DWORD errors = chain->TrustStatus.dwErrorStatus;
    if (errors & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) {
        detail = L"the Authenticode signer's certificate is not for code signing";
        return false;
    }
    if (errors != CERT_TRUST_NO_ERROR) {
        detail = scup::FormatText(
            L"the Authenticode signer chains to no authority this PC trusts (chain status 0x%08lX)",
            static_cast<unsigned long>(errors));
        return false;
    }
    return true;
}

std::wstring CommonNameOf(PCCERT_CONTEXT certificate) {
    wchar_t name[256] = {};
    CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), name, 256);
    return name;
}

}  // namespace

SPublisherCheck CheckPublisher(const std::wstring& path, const std::vector<std::wstring>& publishers) {
    CTrustState state(path);
    if (state.Status() != ERROR_SUCCESS) return FromTrustStatus(state.Status());
    PCCERT_CONTEXT signer = state.SignerCertificate();
    if (!signer) return Verdict(PublisherVerdict::Unreadable, L"the Authenticode signer cannot be read");
    const std::wstring name = CommonNameOf(signer);
    std::wstring detail;
    if (!ChainsToTrustedRoot(signer, detail)) return Verdict(PublisherVerdict::UntrustedChain, detail, name);
    for (const std::wstring& publisher : publishers)
        if (!publisher.empty() && publisher == name) return Verdict(PublisherVerdict::Trusted, L"", name);
    return Verdict(PublisherVerdict::OtherPublisher,
                   L"Authenticode-signed by \"" + name + L"\", no publisher this PC trusts", name);
}

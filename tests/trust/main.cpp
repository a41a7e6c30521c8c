// trustca CERT_FILE: adds a certificate (PEM or DER) to the local machine's Root store, so that the
// HTTP stack trusts the servers it signed. Prints the subject; exit 1 when it could not be added.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

struct StoreCloser {
    void operator()(void* store) const { CertCloseStore(static_cast<HCERTSTORE>(store), 0); }
};
struct ContextFreer {
    void operator()(const CERT_CONTEXT* context) const { CertFreeCertificateContext(context); }
};

std::vector<BYTE> ReadFileBytes(const wchar_t* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A PEM file is turned into its DER bytes; anything else is taken as DER already.
std::vector<BYTE> DerOf(const std::vector<BYTE>& file) {
    DWORD size = 0;
    const auto* text = reinterpret_cast<const char*>(file.data());
    const auto length = static_cast<DWORD>(file.size());
    if (!CryptStringToBinaryA(text, length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
        return file;
    std::vector<BYTE> der(size);
    if (!CryptStringToBinaryA(text, length, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr))
        return file;
    der.resize(size);
    return der;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: trustca CERT_FILE\n");
        return 2;
    }
    const std::vector<BYTE> file = ReadFileBytes(argv[1]);
    if (file.empty()) {
        std::fprintf(stderr, "trustca: %ls cannot be read\n", argv[1]);
        return 1;
    }
    const std::vector<BYTE> der = DerOf(file);
    std::unique_ptr<void, StoreCloser> store(
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
    if (!store) {
        std::fprintf(stderr, "trustca: the machine's Root store cannot be opened (error %lu)\n", GetLastError());
        return 1;
    }
    PCCERT_CONTEXT added = nullptr;
    if (!CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, der.data(),
                                          static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                          &added)) {
        std::fprintf(stderr, "trustca: %ls is not a certificate that can be added (error %lu)\n", argv[1],
                     GetLastError());
        return 1;
    }
    std::unique_ptr<const CERT_CONTEXT, ContextFreer> context(added);
    wchar_t subject[256] = {};
    CertGetNameStringW(context.get(), CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, subject, 256);
    std::printf("trusted: %ls\n", subject);
    return 0;
}

#include "TestSupport.h"

#include <wincrypt.h>

#include <cstdio>
#include <memory>

#include "common/AppFiles.h"
#include "common/LangResources.h"
#include "common/Trace.h"

namespace testing_support {

std::wstring BinFolder() { return scup::ModuleFolder(); }

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (condition()) return true;
        if (GetTickCount64() > deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms) {
    const ULONGLONG until = GetTickCount64() + ms;
    PumpUntil([&] { return GetTickCount64() >= until; }, ms + 1000);
}

std::wstring MakeScratchFolder(const std::wstring& name) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    // Tests run as parallel processes: each gets folders of its own.
    std::wstring folder = std::wstring(temp) + L"scup-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name;
    if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) scup::RemoveFolder(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void WriteTextFile(const std::wstring& path, const std::string& content) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) return;
    fwrite(content.data(), 1, content.size(), file);
    fclose(file);
}

std::string ReadTextFile(const std::wstring& path) {
    std::string content;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return content;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, n);
    fclose(file);
    return content;
}

bool TrustTestAuthority() {
    const std::string pem = ReadTextFile(SCUP_TEST_CA_PEM);
    DWORD size = 0;
    if (pem.empty() || !CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()),
                                             CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
        return false;
    std::string der(size, '\0');
    if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                              reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr))
        return false;
    auto closeStore = [](HCERTSTORE store) { CertCloseStore(store, 0); };
    std::unique_ptr<void, decltype(closeStore)> store(
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"), closeStore);
    return store && CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING,
                                                     reinterpret_cast<const BYTE*>(der.data()), size,
                                                     CERT_STORE_ADD_USE_EXISTING, nullptr);
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

TraceCapture::TraceCapture() {
    scup::SetTraceSink([this](const std::wstring& line) {
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
    });
}

TraceCapture::~TraceCapture() { scup::SetTraceSink({}); }

std::vector<std::wstring> TraceCapture::Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

int TraceCapture::Count(const std::wstring& text) const {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const auto& line : lines_)
        if (line == text) ++n;
    return n;
}

MessageBoxCapture::MessageBoxCapture(int answer) {
    scup::SetMessageBoxHandler([this, answer](HWND owner, const std::wstring& text, const std::wstring& caption,
                                              UINT style) {
        std::lock_guard lock(mutex_);
        messages_.push_back({owner, text, caption, style});
        return answer;
    });
}

MessageBoxCapture::~MessageBoxCapture() { scup::SetMessageBoxHandler({}); }

std::vector<CapturedMessage> MessageBoxCapture::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

}  // namespace testing_support

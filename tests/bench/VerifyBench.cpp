// What the signature check adds to a check of 40 entries: for each entry a statement is read,
// its P-256 signature checked and its description package's SHA-256 computed, as the check does
// after each download. Prints the time per entry and for all 40, the fastest of five rounds.
// Usage: wine verify_bench.exe [DESCRIPTION_BYTES]   (default 65536, a description package with a
// thumbnail)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/Text.h"
#include "install/PackageVerifier.h"
#include "unit/TestSigner.h"

namespace {

constexpr int kEntries = 40;
constexpr int kRounds = 5;

void WriteFile(const std::wstring& path, const std::string& bytes) {
    scup::UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const size_t bytes = argc > 1 ? static_cast<size_t>(_wtoi(argv[1])) : 65536;
    testing_support::TestSigner signer;
    if (!signer.Ready()) {
        std::printf("no P-256 key pair could be made\n");
        return 1;
    }
    CTrustedKeys keys;
    keys.Add(*CTrustedKeys::FromBase64(scup::FromUtf8(signer.PublicKey())));
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::vector<std::string> statements;
    std::vector<std::wstring> files;
    std::vector<SExpectedFile> expected;
    for (int i = 0; i < kEntries; ++i) {
        testing_support::StatementFields fields;
        fields.package = "PP-BENCH" + std::to_string(i);
        fields.spec = "ENU_ALL";
        fields.file = fields.package + "_ENU_ALL_1.0.zip";
        fields.body = std::string(bytes, static_cast<char>('a' + i % 26));
        statements.push_back(signer.Statement(fields));
        files.push_back(std::wstring(temp) + scup::FromUtf8(fields.file));
        WriteFile(files.back(), fields.body);
        expected.push_back(
            {scup::FromUtf8(fields.package), L"ENU_ALL", L"", scup::FromUtf8(fields.file), L""});
    }
    double best = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        const CPackageVerifier verifier(keys, CPackageVerifier::Now());
        for (int i = 0; i < kEntries; ++i) {
            SSignedStatement statement;
            std::wstring detail;
            if (verifier.CheckStatement(statements[i], expected[i], statement, detail) !=
                    VerifyFailure::None ||
                CPackageVerifier::CheckFile(files[i], statement) != VerifyFailure::None) {
                std::printf("entry %d did not verify\n", i);
                return 1;
            }
        }
        best = std::min(
            best,
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    for (const std::wstring& file : files) DeleteFileW(file.c_str());
    std::printf(
        "signature check of %d entries (%zu-byte description packages): %.2f ms in all, %.3f ms per entry\n",
        kEntries, bytes, best, best / kEntries);
    return 0;
}

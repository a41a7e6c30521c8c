#include "VerifiedFetch.h"

#include <windows.h>

#include "DownloadName.h"
#include "common/Format.h"
#include "common/Handles.h"
#include "common/Trace.h"
#include "server/AUServerData.h"

using scup::AUTrace;

namespace {

// Downloads are written under a name of this prefix and get their own name once complete.
constexpr wchar_t kPartialPrefix[] = L"dl";

std::wstring PartialFile(const std::wstring& folder) {
    wchar_t partial[MAX_PATH] = {};
    if (!GetTempFileNameW(folder.c_str(), kPartialPrefix, 0, partial)) {
        AUTrace(L"Failed: no file could be made in %s (error %lu).", folder.c_str(), GetLastError());
        return {};
    }
    return partial;
}

bool ReadSmallFile(const std::wstring& path, std::string& bytes) {
    scup::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > static_cast<LONGLONG>(kMaxStatementBytes))
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return bytes.empty() ||
           (ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
            read == bytes.size());
}

// Whether the folder's disk has room for the file and a little more, so that a download is never
// started that can only fill the disk.
bool HasRoomFor(const std::wstring& folder, unsigned long long bytes) {
    constexpr unsigned long long kSpare = 1ull << 20;
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return true;
    if (available.QuadPart >= bytes + kSpare) return true;
    AUTrace(L"Failed: %s has %llu bytes free, too few for the %llu bytes of the download.", folder.c_str(),
            available.QuadPart, bytes);
    return false;
}

}  // namespace

std::wstring SFetchResult::Reason() const { return CPackageVerifier::Reason(failure, detail); }

ServerResult CVerifiedFetch::Download(const std::wstring& url, const std::wstring& partial,
                                      const DownloadProgress& progress, unsigned long long limit) {
    const ServerResult rc = m_server.Download(url, partial, progress, limit);
    if (rc != ServerResult::Success) DeleteFileW(partial.c_str());
    return rc;
}

ServerResult CVerifiedFetch::FetchStatement(const std::wstring& url, const std::wstring& folder,
                                            std::string& bytes) {
    const std::wstring partial = PartialFile(folder);
    if (partial.empty()) return ServerResult::Failed;
    ServerResult rc = Download(url + L".sig", partial, nullptr, kMaxStatementBytes);
    if (rc == ServerResult::Success && !ReadSmallFile(partial, bytes)) rc = ServerResult::Failed;
    DeleteFileW(partial.c_str());
    return rc;
}

SFetchResult CVerifiedFetch::Fetch(const std::wstring& url, SExpectedFile expected,
                                   const std::wstring& folder, unsigned long long unverifiedLimit,
                                   const DownloadProgress& progress) {
    SFetchResult result;
    const std::wstring name = scup::SafeDownloadName(url);
    if (name.empty()) {
        AUTrace(L"Failed: the address \"%s\" gives no usable file name; it is not downloaded.", url.c_str());
        result.server = ServerResult::Failed;
        return result;
    }
    if (expected.file.empty()) expected.file = name;
    if (!m_server.MayFetch(url)) {
        result.failure = VerifyFailure::NotHttps;
        result.server = ServerResult::NotVerified;
        AUTrace(L"Failed: %s is refused: %s.", url.c_str(), result.Reason().c_str());
        return result;
    }

    unsigned long long limit = unverifiedLimit;
    if (m_policy.signaturesRequired) {
        std::string bytes;
        const ServerResult fetched = FetchStatement(url, folder, bytes);
        if (fetched == ServerResult::Cancelled || fetched == ServerResult::ProxyAuthRefused ||
            fetched == ServerResult::Failed || fetched == ServerResult::NotTrusted ||
            fetched == ServerResult::SignInRequired) {
            // The way to the server failed, not the file's signature.
            result.server = fetched;
            return result;
        }
        if (fetched == ServerResult::TooLong) {
            result.failure = VerifyFailure::Unreadable;
            result.detail = L"longer than a statement can be";
        } else if (fetched != ServerResult::Success) {
            result.failure = VerifyFailure::NoStatement;
        } else {
            const CPackageVerifier verifier(m_policy.keys, CPackageVerifier::Now());
            result.failure = verifier.CheckStatement(bytes, expected, result.statement, result.detail);
        }
        if (result.failure != VerifyFailure::None) {
            AUTrace(L"Failed: %s is refused: %s.", url.c_str(), result.Reason().c_str());
            result.server = ServerResult::NotVerified;
            return result;
        }
        limit = result.statement.size;
        result.statementBytes = bytes;
    }

    if (limit > 0 && !HasRoomFor(folder, limit)) {
        result.server = ServerResult::DiskFull;
        return result;
    }
    const std::wstring partial = PartialFile(folder);
    if (partial.empty()) {
        result.server = ServerResult::Failed;
        return result;
    }
    result.server = Download(url, partial, progress, limit);
    if (!result.Succeeded()) {
        // A body longer than its signed size is no file of the maker.
        if (result.server == ServerResult::TooLong && m_policy.signaturesRequired) {
            result.failure = VerifyFailure::SizeDiffers;
            result.server = ServerResult::NotVerified;
        }
        return result;
    }
    if (m_policy.signaturesRequired) {
        result.failure = CPackageVerifier::CheckFile(partial, result.statement);
        if (result.failure != VerifyFailure::None) {
            AUTrace(L"Failed: %s is refused: %s.", url.c_str(), result.Reason().c_str());
            DeleteFileW(partial.c_str());
            result.server = ServerResult::NotVerified;
            return result;
        }
        result.verified = true;
    }
    result.localPath = scup::FormatText(L"%s\\%s", folder.c_str(), name.c_str());
    if (!MoveFileExW(partial.c_str(), result.localPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        AUTrace(L"Failed: the download could not be named %s (error %lu).", result.localPath.c_str(),
                GetLastError());
        DeleteFileW(partial.c_str());
        result.localPath.clear();
        result.server = ServerResult::Failed;
    }
    return result;
}

#pragma once
// Shared by the self-upgrade tests: a server data that answers the notice exchange and the
// package download as the test sets them.

#include <string>
#include <vector>

#include "TestSigner.h"
#include "ZipWriter.h"
#include "common/Text.h"
#include "server/AUServerData.h"

namespace testing_support {

// Answers as CAUServerData does: DoNoticeAction fills the upgrader information or gives the
// exchange's result; Download writes what it received to the path, also when it then reports a
// failure (a connection that broke off leaves a partial file). Beside the package lies its
// statement, signed by a key this PC trusts while the server lives, for the version the version
// check announced.
class PackageServer : public CAUServerData {
  public:
    ServerResult DoNoticeAction(SAUUpgraderInfo& info, const PrinterMap&, const std::wstring&) override {
        ++notices;
        if (noticeResult != ServerResult::Success) return noticeResult;
        info = notice;
        return ServerResult::Success;
    }
    ServerResult Download(const std::wstring& url, const std::wstring& filePath, const DownloadProgress&,
                          unsigned long long) override {
        downloads.push_back(url);
        if (url.size() > 4 && url.compare(url.size() - 4, 4, L".sig") == 0) {
            if (!signPackage) return ServerResult::AnswerUnusable;
            WriteBinaryFile(
                filePath, signer.StatementFor(
                              scup::ToUtf8(url.substr(0, url.size() - 4)), body,
                              statementVersion.empty() ? scup::ToUtf8(UpdaterVersion()) : statementVersion));
            return downloadResult;
        }
        WriteBinaryFile(filePath, body);
        return downloadResult;
    }
    // What a version check would have left.
    void AnnounceUpdaterVersion(const std::wstring& version) { SetUpdaterVersion(version); }

    SAUUpgraderInfo notice;
    std::string body;
    ServerResult noticeResult = ServerResult::Success;
    ServerResult downloadResult = ServerResult::Success;
    int notices = 0;
    std::vector<std::wstring> downloads;
    TestSigner signer;
    TrustedForTest trusted{signer};
    // False: no statement lies beside the package.
    bool signPackage = true;
    // The version the statement gives; empty: the one the version check announced.
    std::string statementVersion;
};

}  // namespace testing_support

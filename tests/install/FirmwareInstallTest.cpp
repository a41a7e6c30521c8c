// The firmware branch of an install run: ticked firmware packages are downloaded from a scripted
// update server, unpacked, and sent to the simulated printer over the real serial path (run by
// tests/port/run_with_printer.sh), with the user answering the transfer's dialogs.

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>

#include "FakeListView.h"
#include "ScriptedHttpServer.h"
#include "TestSigner.h"
#include "ZipWriter.h"
#include "app/ScUpdaterApp.h"
#include "common/AppFiles.h"
#include "common/Format.h"
#include "common/Profile.h"
#include "common/Text.h"
#include "install/AUFileUpdater.h"
#include "install/PackageFiles.h"
#include "local/AUHistoryLog.h"
#include "local/AULocalData.h"
#include "port/FirmwareTestSupport.h"
#include "res/firmware_ids.h"
#include "res/install_ids.h"
#include "server/AUHttpConnection.h"
#include "server/AUServerData.h"

namespace firmware_test {
namespace {

using testing_support::FakeListView;
using testing_support::HttpAnswer;
using testing_support::HttpRequestSeen;
using testing_support::ScriptedHttpServer;
using testing_support::ZipWriter;

std::string ReadAll(const std::wstring& path) {
    scup::UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string content;
    char buffer[4096];
    DWORD read = 0;
    while (file && ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        content.append(buffer, read);
    return content;
}

// Made when asked for: a firmware's model is the simulated printer's, read from the environment.
SFirmware MainFirmware() {
    return {.name = "FP-MAIN", .spec = "ENG_USA", .version = "2.00", .type = 4, .dataLength = 2000};
}
SFirmware Fonts() {
    return {
        .name = "FP-FONTS", .spec = "ENG_USA", .version = "2.10", .type = 3, .dataLength = 1300, .seed = 2};
}

class FirmwareInstall : public CTransferTest {
  protected:
    void SetUp() override {
        CTransferTest::SetUp();
        server_ = std::make_unique<ScriptedHttpServer>([this](const HttpRequestSeen& request) {
            HttpAnswer answer;
            if (const auto statement = StatementFor(request.target)) {
                answer.body = *statement;
                return answer;
            }
            for (const auto& [suffix, body] : files_)
                if (request.method == "GET" && request.target.size() >= suffix.size() &&
                    request.target.compare(request.target.size() - suffix.size(), suffix.size(), suffix) ==
                        0) {
                    answer.body = body;
                    // A cut package: announced whole, the connection closed halfway.
                    if (cut_.count(suffix)) answer.announcedLength = body.size() * 2;
                    return answer;
                }
            if (request.method == "GET") answer.status = 404;
            return answer;
        });
        scup::WriteProfileText(L"Settings", L"FileUpdateURL", server_->Url(L"/scupdater/fileupdate"));
        scup::WriteProfileText(L"Settings", L"VersionCheckURL", server_->Url(L"/scupdater/versioncheck"));
        scup::WriteProfileText(L"Settings", L"NoticeURL", server_->Url(L"/scupdater/notice"));
        localData_.Initialize();
        serverData_.SetConfiguration(&localData_);
        ASSERT_EQ(serverData_.Initialize(), ServerResult::Success);
        unzip_ = std::make_unique<CUnzipHolder>(testing_support::BinFolder());
        owner_.pServerData = &serverData_;
        owner_.pLocalData = &localData_;
        owner_.nLCID = 1041;
        owner_.strDownloadFolder = scratch_ + L"\\DownloadedFiles";
        const CUnzipHolder* unzip = unzip_.get();
        owner_.unzip = [unzip](const std::wstring& archive, std::vector<std::wstring>& names,
                               const std::wstring& folder) {
            return scup::UnzipPackage(unzip, archive, names, folder);
        };
        view_.firmwareView = true;
    }
    void TearDown() override {
        server_.reset();
        for (const wchar_t* name : {L"VersionCheckURL", L"NoticeURL", L"FileUpdateURL"})
            scup::WriteProfileText(L"Settings", name, L"");
        CAUHttpConnection::CloseSharedSession();
        CTransferTest::TearDown();
    }
    // Beside each package lies its statement, signed by a key the PC trusts during the test: for the
    // package and region its name gives, for the printer's model; a cut package's gives its whole size.
    std::optional<std::string> StatementFor(const std::string& target) const {
        const std::string suffix = ".sig";
        if (target.size() <= suffix.size() ||
            target.compare(target.size() - suffix.size(), suffix.size(), suffix) != 0)
            return std::nullopt;
        const std::string file = target.substr(0, target.size() - suffix.size());
        for (const auto& [name, body] : files_) {
            if (file.size() < name.size() || file.compare(file.size() - name.size(), name.size(), name) != 0)
                continue;
            testing_support::StatementFields fields;
            const std::string stem = name.substr(1, name.find('.') - 1);
            const size_t at = stem.find('_');
            fields.package = stem.substr(0, at);
            fields.spec = stem.substr(at + 1);
            fields.version = "2.00";
            fields.model = scup::ToUtf8(kDriver);
            fields.file = name.substr(1);
            fields.body = body;
            if (cut_.count(name)) fields.size = static_cast<long long>(body.size() * 2);
            if (huge_.count(name)) fields.size = 1ll << 50;
            return signer_.Statement(fields);
        }
        return std::nullopt;
    }
    // A firmware package on the server: its description package (type pdz) and the archive
    // holding the firmware file; the entry as a check leaves it.
    SAUExtFirmInfo Offer(int sequence, const SFirmware& firmware, const std::wstring& title) {
        const std::wstring code(firmware.name.begin(), firmware.name.end());
        const std::wstring spec(firmware.spec.begin(), firmware.spec.end());
        const std::string stem = firmware.name + "_" + firmware.spec;
        const std::string description =
            ZipWriter().Stored("data.xml", "<ScriboUpdater><Type>pdz</Type></ScriboUpdater>").Bytes();
        files_["/" + stem + ".pdz"] =
            ZipWriter().Stored(firmware.name + ".pd3", ReadAll(Firmware(firmware))).Bytes();
        SAUExtFirmInfo entry;
        entry.nSequence = sequence;
        entry.strName = kDriver;
        entry.strId = code;
        entry.strSpec = spec;
        entry.strCategory = L"FIRM";
        entry.strInstalledVersion = L"1.00";
        CreateDirectoryW(owner_.strDownloadFolder.c_str(), nullptr);
        entry.strFilePath = owner_.strDownloadFolder + L"\\" + code + L"_" + spec + L".zip";
        testing_support::WriteBinaryFile(entry.strFilePath, description);
        entry.strURL = server_->Url(L"/files/" + code + L"_" + spec + L".zip");
        list_[kDriver][code + L"_" + spec] = entry;
        view_.Tick(entry, title);
        return entry;
    }
    // A set of two: the font data goes first, the main firmware last.
    void OfferMainFirmwareAndFonts() {
        Offer(1, MainFirmware(), L"SC-200 main firmware 2.00");
        Offer(2, Fonts(), L"SC-200 font data 2.10");
    }
    InstallResult Install() {
        CUserAtScreen user(GetCurrentThreadId(), SUserPlan{});
        CAUFileUpdater updater(&owner_);
        // The keep-awake request stands while the firmware is sent, watched from aside.
        std::atomic<bool> installing{true};
        keptAwake_ = false;
        std::thread watcher([&] {
            while (installing && !updater.m_bKeepAwake) Sleep(1);
            keptAwake_ = updater.m_bKeepAwake.load();
        });
        const InstallResult result = updater.InstallUpdates(&list_, kDriver, &view_);
        installing = false;
        watcher.join();
        EXPECT_FALSE(updater.m_bKeepAwake) << "the system is back to its normal power state";
        saw_ = user.Stop();
        return result;
    }
    bool keptAwake_ = false;

    testing_support::TestSigner signer_;
    testing_support::TrustedForTest trusted_{signer_};
    std::unique_ptr<ScriptedHttpServer> server_;
    std::map<std::string, std::string> files_;
    std::set<std::string> cut_;
    std::set<std::string> huge_;
    CAULocalData localData_;
    CAUServerData serverData_;
    std::unique_ptr<CUnzipHolder> unzip_;
    SAUUpdaterOwner owner_;
    FakeListView view_;
    RefinedList list_;
};

TEST_F(FirmwareInstall, TickedFirmwareIsUnpackedAndSentOtherFirmwareFirstThenTheMainFirmware) {
    OfferMainFirmwareAndFonts();

    EXPECT_EQ(Install(), InstallResult::Done);

    EXPECT_TRUE(keptAwake_) << "the system was not asked to stay awake during the transfer";
    EXPECT_EQ(saw_.confirmations, 1);
    const std::vector<std::string> log = NewLog();
    const size_t fontsAt = FindLine(log, "header name=FP-FONTS");
    const size_t mainAt = FindLine(log, "header name=FP-MAIN");
    ASSERT_NE(fontsAt, std::string::npos);
    ASSERT_NE(mainAt, std::string::npos);
    EXPECT_LT(fontsAt, mainAt) << "the main firmware goes last";
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_FIRMWARE_UPDATED));
    std::vector<std::wstring> titles, versions, dates, printers, languages;
    ReadHistory(L"FIRM", titles, versions, dates, printers, languages);
    EXPECT_EQ(titles, (std::vector<std::wstring>{L"SC-200 font data 2.10", L"SC-200 main firmware 2.00"}));
    EXPECT_EQ(view_.shown, (std::vector<bool>{false, true}));
}

// A printer gets the files of its update together or none of them: a package that arrives cut short
// holds back the ticked firmware that did arrive, and the user is told which one failed.
TEST_F(FirmwareInstall, AFirmwarePackageThatArrivesCutSendsNoneOfTheTickedFirmware) {
    OfferMainFirmwareAndFonts();
    cut_.insert("/FP-MAIN_ENG_USA.pdz");

    EXPECT_EQ(Install(), InstallResult::Failed);

    const std::vector<std::string> log = NewLog();
    EXPECT_EQ(FindLine(log, "header name=FP-FONTS"), std::string::npos)
        << "the fonts went without the main firmware";
    EXPECT_EQ(FindLine(log, "header name=FP-MAIN"), std::string::npos) << "a part went to the printer";
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, scup::ReplaceEvery(Text(IDS_MSG_FIRMWARE_NOT_ALL_DOWNLOADED), L"%s",
                                                     L"SC-200 main firmware 2.00"));
    std::vector<std::wstring> titles, versions, dates, printers, languages;
    ReadHistory(L"FIRM", titles, versions, dates, printers, languages);
    EXPECT_TRUE(titles.empty());
    WIN32_FIND_DATAW found{};
    scup::UniqueFind search(FindFirstFileW(
        (owner_.strDownloadFolder + L"\\FP-MAIN_ENG_USA\\*FP-MAIN_ENG_USA.pdz").c_str(), &found));
    EXPECT_FALSE(search) << "a part was kept";
    EXPECT_EQ(view_.shown, (std::vector<bool>{false, true})) << "the main dialog comes back";
}

// A package that arrived whole and signed but cannot be unpacked holds back the rest of the set too.
TEST_F(FirmwareInstall, AFirmwarePackageThatCannotBeUnpackedSendsNoneOfTheTickedFirmware) {
    OfferMainFirmwareAndFonts();
    files_["/FP-MAIN_ENG_USA.pdz"] = "signed, but not an archive";

    EXPECT_EQ(Install(), InstallResult::NothingDone);

    const std::vector<std::string> log = NewLog();
    EXPECT_EQ(FindLine(log, "header name=FP-FONTS"), std::string::npos)
        << "the fonts went without the main firmware";
    EXPECT_EQ(FindLine(log, "header name=FP-MAIN"), std::string::npos);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text,
              scup::ReplaceEvery(Text(IDS_MSG_UNZIP_FAILED), L"%s", L"FP-MAIN_ENG_USA.pdz"));
    std::vector<std::wstring> titles, versions, dates, printers, languages;
    ReadHistory(L"FIRM", titles, versions, dates, printers, languages);
    EXPECT_TRUE(titles.empty());
    EXPECT_EQ(view_.shown, (std::vector<bool>{false, true})) << "the main dialog comes back";
}

// A package signed for more bytes than the download folder's disk has free is never started: the
// user reads that the disk is full, in which folder, and is not sent to check the network.
TEST_F(FirmwareInstall, APackageLargerThanTheFreeDiskSpaceIsNotFetchedAndTheFullDiskIsTold) {
    Offer(1, MainFirmware(), L"SC-200 main firmware 2.00");
    huge_.insert("/FP-MAIN_ENG_USA.pdz");

    EXPECT_EQ(Install(), InstallResult::Failed);

    EXPECT_EQ(FindLine(NewLog(), "header name=FP-MAIN"), std::string::npos);
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_EQ(Messages()[0].text,
              scup::ReplaceEvery(Text(IDS_MSG_DISK_FULL), L"%s", owner_.strDownloadFolder));
    EXPECT_EQ(Messages()[1].text, scup::ReplaceEvery(Text(IDS_MSG_FIRMWARE_NOT_ALL_DOWNLOADED), L"%s",
                                                     L"SC-200 main firmware 2.00"));
    for (const HttpRequestSeen& request : server_->Requests())
        EXPECT_EQ(request.target.find(".pdz", request.target.size() - 4), std::string::npos)
            << "the package was asked for: " << request.target;
}

}  // namespace
}  // namespace firmware_test

// Fetching description packages at check time and the ticked packages at install time, over
// real HTTP from a scripted update server, into a download folder of the test's own.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <thread>

#include "InstallFixture.h"
#include "ZipWriter.h"
#include "common/AppFiles.h"
#include "common/Format.h"
#include "common/LangResources.h"
#include "common/Text.h"
#include "install/DownloadName.h"
#include "res/install_ids.h"

namespace testing_support {
namespace {

constexpr wchar_t kPrinter[] = L"Corvane SC-200";

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The server's side of the tests: a file update answer per package code (empty: no file
// information; "500": a server failure) and the files it serves by the end of their path.
struct SCatalog {
    std::map<std::string, std::string> answers;
    std::map<std::string, HttpAnswer> files;

    HttpAnswer operator()(const HttpRequestSeen& request) const {
        HttpAnswer answer;
        if (request.method == "POST") {
            if (request.body.empty()) return answer;
            auto found = answers.find(RequestedId(request));
            if (found == answers.end() || found->second.empty()) {
                answer.body = EmptyFileUpdateAnswer();
            } else if (found->second == "500") {
                answer.status = 500;
            } else {
                answer.body = found->second;
            }
            return answer;
        }
        for (const auto& [suffix, file] : files)
            if (request.target.size() >= suffix.size() &&
                request.target.compare(request.target.size() - suffix.size(), suffix.size(), suffix) == 0)
                return file;
        answer.status = 404;
        return answer;
    }
};

HttpAnswer FileAnswer(std::string body) {
    HttpAnswer answer;
    answer.body = std::move(body);
    return answer;
}

class FileDownloadTest : public InstallFixture {
  protected:
    void Serve() {
        StartServer([this](const HttpRequestSeen& request) { return (*catalog_)(request); });
    }
    std::string Url(const std::wstring& path) const { return Narrow(server_->Url(path)); }
    int GetsFor(const std::string& suffix) const {
        int count = 0;
        for (const HttpRequestSeen& request : server_->Requests())
            if (request.method == "GET" && request.target.find(suffix) != std::string::npos &&
                request.target.compare(request.target.size() - 4, 4, ".sig") != 0)
                ++count;
        return count;
    }
    // An entry whose description package lies in the download folder as after a check.
    SAUExtFirmInfo Described(int sequence, const std::wstring& id, const std::wstring& spec,
                             const std::string& name, const std::string& type) {
        SAUExtFirmInfo entry = Entry(sequence, id, spec, L"0", id.rfind(L"FP-", 0) == 0 ? L"FIRM" : L"PCS");
        CreateDirectoryW(dataFolder_.c_str(), nullptr);
        CreateDirectoryW(downloadFolder_.c_str(), nullptr);
        entry.strFilePath = downloadFolder_ + L"\\" + std::wstring(name.begin(), name.end()) + L".zip";
        WriteBinaryFile(entry.strFilePath, DescriptionPackage(type, Narrow(id)));
        entry.strURL = server_->Url(L"/files/software/" + std::wstring(name.begin(), name.end()) + L".zip");
        return entry;
    }

    std::shared_ptr<SCatalog> catalog_ = std::make_shared<SCatalog>();
};

TEST_F(FileDownloadTest, EntriesWithoutFileInformationOrWithNothingNewerLeaveAndTheRestIsFetched) {
    Serve();
    // Packages whose code names none of the maker's applications are installer packages (.msi).
    const std::string description = DescriptionPackage("msi", "Editor");
    catalog_->answers["PP-AAA"] = "";
    catalog_->answers["PP-BBB"] = FileUpdateAnswer("PP-BBB", Url(L"/files/software/PP-BBB_ENU_ALL.zip"));
    catalog_->answers["PP-CCC"] = FileUpdateAnswer("PP-CCC", Url(L"/files/software/PP-CCC_ENU_ALL.zip"), 1);
    catalog_->files["/PP-BBB_ENU_ALL.zip"] = FileAnswer(description);
    RefinedList list;
    for (const SAUExtFirmInfo& entry :
         {Entry(1, L"PP-AAA", L"ENU_ALL"), Entry(2, L"PP-BBB", L"ENU_ALL"), Entry(3, L"PP-CCC", L"ENU_ALL")})
        list[kPrinter][EntryKey(entry)] = entry;
    TraceCapture trace;

    EXPECT_EQ(MakeUpdater()->GetUpdates(kPrinter, list, &view_), ServerResult::Success);

    ASSERT_EQ(list[kPrinter].size(), 1u);
    const SAUExtFirmInfo& kept = list[kPrinter].begin()->second;
    EXPECT_EQ(kept.strId, L"PP-BBB");
    EXPECT_EQ(kept.strFilePath, EntryFolder(L"PP-BBB", L"ENU_ALL") + L"\\PP-BBB_ENU_ALL.zip");
    EXPECT_EQ(kept.strURL, server_->Url(L"/files/software/PP-BBB_ENU_ALL.zip"));
    EXPECT_EQ(ReadBinaryFile(kept.strFilePath), description);
    EXPECT_TRUE(trace.Contains(L"Removing Firmware : PP-CCC_ENU_ALL"));
    EXPECT_EQ(GetsFor("PP-CCC"), 0);
    ASSERT_EQ(view_.handedOver.size(), 1u);
    EXPECT_EQ(view_.handedOver[0].at(kPrinter).size(), 1u);
    EXPECT_EQ(view_.progressModes, (std::vector<ProgressMode>{ProgressMode::Checking, ProgressMode::Hidden}));
    ASSERT_FALSE(view_.readyChanges.empty());
    EXPECT_EQ(view_.readyChanges.front(), 0);
    EXPECT_EQ(view_.readyChanges.back(), 1);
}

TEST_F(FileDownloadTest,
       DescriptionsNothingVouchesForOrOfAKindTheCodeDoesNotAllowLeaveTheListAndTheUserIsTold) {
    Serve();
    catalog_->answers["PP-SCEDIT52"] =
        FileUpdateAnswer("PP-SCEDIT52", Url(L"/files/software/PP-SCEDIT52_ENU_ALL.zip"));
    catalog_->answers["PP-CONTACT13"] =
        FileUpdateAnswer("PP-CONTACT13", Url(L"/files/software/PP-CONTACT13_ENU_ALL.zip"));
    catalog_->files["/PP-SCEDIT52_ENU_ALL.zip"] = FileAnswer(DescriptionPackage("bat", "Editor"));
    catalog_->files["/PP-CONTACT13_ENU_ALL.zip"] = FileAnswer(DescriptionPackage("exe", "Address book"));
    RefinedList list;
    for (const SAUExtFirmInfo& entry :
         {Entry(1, L"PP-SCEDIT52", L"ENU_ALL"), Entry(2, L"PP-CONTACT13", L"ENU_ALL")})
        list[kPrinter][EntryKey(entry)] = entry;

    std::unique_ptr<CAUFileUpdater> updater = MakeUpdater();
    EXPECT_EQ(updater->GetUpdates(kPrinter, list, &view_), ServerResult::Success);
    ASSERT_EQ(list[kPrinter].size(), 1u) << "the editor's package would be a batch file";
    EXPECT_EQ(list[kPrinter].begin()->first, L"PP-CONTACT13_ENU_ALL");
    ASSERT_EQ(updater->Refusals().size(), 1u);
    EXPECT_EQ(updater->Refusals()[0].failure, VerifyFailure::WrongKind);
    EXPECT_EQ(GetsFor(".bat"), 0);

    // Without statements nothing is offered, and the user reads which packages were left out.
    signFiles_ = false;
    for (const SAUExtFirmInfo& entry :
         {Entry(1, L"PP-SCEDIT52", L"ENU_ALL"), Entry(2, L"PP-CONTACT13", L"ENU_ALL")})
        list[kPrinter][EntryKey(entry)] = entry;
    const size_t shownBefore = messages_->Messages().size();
    EXPECT_EQ(updater->GetUpdates(kPrinter, list, &view_), ServerResult::Success);
    EXPECT_TRUE(list[kPrinter].empty());
    ASSERT_EQ(updater->Refusals().size(), 2u) << "the first check's refusal is not told again";
    EXPECT_EQ(updater->Refusals()[1].failure, VerifyFailure::NoStatement);
    ASSERT_EQ(messages_->Messages().size(), shownBefore + 1);
    EXPECT_EQ(messages_->Messages().back().text,
              scup::ReplaceEvery(scup::LoadLangString(IDS_MSG_CHECK_NOT_SIGNED, 1033), L"%s",
                                 L"PP-CONTACT13, PP-SCEDIT52"));
    EXPECT_EQ(GetsFor("PP-CONTACT13_ENU_ALL.zip"), 1) << "a description without its statement is not fetched";
}

TEST_F(FileDownloadTest, AFailedExchangeStopsTheWalkAndTheDialogKeepsItsList) {
    Serve();
    catalog_->answers["PP-AAA"] = FileUpdateAnswer("PP-AAA", Url(L"/files/software/PP-AAA_ENU_ALL.zip"));
    catalog_->answers["PP-BBB"] = "500";
    catalog_->answers["PP-CCC"] = FileUpdateAnswer("PP-CCC", Url(L"/files/software/PP-CCC_ENU_ALL.zip"));
    catalog_->files["/PP-AAA_ENU_ALL.zip"] = FileAnswer(DescriptionPackage("msi"));
    catalog_->files["/PP-CCC_ENU_ALL.zip"] = FileAnswer(DescriptionPackage("msi"));
    RefinedList list;
    for (const SAUExtFirmInfo& entry :
         {Entry(1, L"PP-AAA", L"ENU_ALL"), Entry(2, L"PP-BBB", L"ENU_ALL"), Entry(3, L"PP-CCC", L"ENU_ALL")})
        list[kPrinter][EntryKey(entry)] = entry;

    EXPECT_NE(MakeUpdater()->GetUpdates(kPrinter, list, &view_), ServerResult::Success);

    const ComponentList& left = list[kPrinter];
    ASSERT_EQ(left.size(), 2u);
    EXPECT_FALSE(left.at(L"PP-AAA_ENU_ALL").strFilePath.empty());
    EXPECT_TRUE(left.at(L"PP-CCC_ENU_ALL").strFilePath.empty());
    EXPECT_EQ(GetsFor("PP-CCC"), 0);
    EXPECT_TRUE(view_.handedOver.empty());
    EXPECT_EQ(view_.readyChanges.back(), 1);
}

TEST_F(FileDownloadTest, TheRealPackageAddressTakesTheTypeOfTheFirstDataFileFoundIgnoringCase) {
    Serve();
    std::unique_ptr<CAUFileUpdater> owned = MakeUpdater();
    CAUFileUpdater& updater = *owned;
    CreateDirectoryW(dataFolder_.c_str(), nullptr);
    auto entryFor = [&](const std::string& zip) {
        SAUExtFirmInfo entry = Entry(1, L"PP-SCEDIT52", L"ENU_ALL");
        entry.strFilePath = scratch_ + L"\\PKG.zip";
        WriteBinaryFile(entry.strFilePath, zip);
        entry.strURL = L"http://updates.example/files/software/PKG.zip";
        return entry;
    };
    const std::string data = "<ScriboUpdater><Type>%</Type></ScriboUpdater>";
    auto typed = [&](const std::string& type) {
        std::string text = data;
        return text.replace(text.find('%'), 1, type);
    };

    EXPECT_EQ(updater.GetDownloadURL(entryFor(DescriptionPackage("exe"))),
              L"http://updates.example/files/software/PKG.exe");
    EXPECT_EQ(updater.GetDownloadURL(entryFor(ZipWriter().Stored("DATA.XML", typed("msi")).Bytes())),
              L"http://updates.example/files/software/PKG.msi");
    EXPECT_EQ(updater.GetDownloadURL(entryFor(ZipWriter()
                                                  .Stored("data_JPN.xml", typed("pdz"))
                                                  .Stored("data_eng.XML", typed("exe"))
                                                  .Stored("data_ARA.xml", typed("msi"))
                                                  .Bytes())),
              L"http://updates.example/files/software/PKG.exe");
    EXPECT_EQ(updater.GetDownloadURL(entryFor(ZipWriter().Stored("data_JPN.xml", typed("exe")).Bytes())),
              L"");
}

TEST_F(FileDownloadTest, TickedPackagesComeOutApplicationsThenOtherFirmwareThenMainFirmware) {
    Serve();
    for (const char* name : {"FP-MAIN1_ALL_ALL.pdz", "FP-SUB1_ALL_ALL.pdz"})
        catalog_->files[std::string("/") + name] = FileAnswer(std::string("bytes of ") + name);
    // An installer carries the publisher's Authenticode signature, as the recording stand-in does.
    const std::string installer = ReadBinaryFile(BinFolder() + L"record_args.exe");
    for (const char* name : {"PP-SCEDIT52_ENU_ALL.exe", "PP-UNTICKED_ENU_ALL.exe"})
        catalog_->files[std::string("/") + name] = FileAnswer(installer);
    ComponentList entries;
    const SAUExtFirmInfo main = Described(1, L"FP-MAIN1", L"ALL_ALL", "FP-MAIN1_ALL_ALL", "pdz");
    const SAUExtFirmInfo sub = Described(2, L"FP-SUB1", L"ALL_ALL", "FP-SUB1_ALL_ALL", "pdz");
    const SAUExtFirmInfo editor = Described(3, L"PP-SCEDIT52", L"ENU_ALL", "PP-SCEDIT52_ENU_ALL", "exe");
    const SAUExtFirmInfo unticked = Described(4, L"PP-UNTICKED", L"ENU_ALL", "PP-UNTICKED_ENU_ALL", "exe");
    for (const SAUExtFirmInfo& entry : {main, sub, editor, unticked}) entries[EntryKey(entry)] = entry;
    view_.Tick(main, L"Main firmware");
    view_.Tick(Entry(99, L"PP-NOWHERE", L"ENU_ALL"), L"Not in the list");
    view_.Tick(editor, L"Editor");
    view_.Tick(sub, L"Sub firmware");

    CAUFileUpdater::SInstallLists lists;
    ASSERT_EQ(MakeUpdater()->DownloadTickedPackages(entries, &view_, lists), ServerResult::Success);

    EXPECT_EQ(lists.installNames,
              (std::vector<std::wstring>{L"PP-SCEDIT52_ENU_ALL", L"FP-SUB1_ALL_ALL", L"FP-MAIN1_ALL_ALL"}));
    ASSERT_EQ(lists.paths.size(), 3u);
    EXPECT_EQ(lists.paths[0], EntryFolder(L"PP-SCEDIT52", L"ENU_ALL") + L"\\PP-SCEDIT52_ENU_ALL.exe");
    EXPECT_EQ(ReadBinaryFile(lists.paths[0]), installer);
    EXPECT_EQ(ReadBinaryFile(lists.paths[2]), "bytes of FP-MAIN1_ALL_ALL.pdz");
    ASSERT_EQ(lists.items.size(), 3u);
    EXPECT_EQ(lists.items[1].strTitle, L"Sub firmware");
    EXPECT_EQ(GetsFor("PP-UNTICKED"), 0);
    EXPECT_EQ(GetsFor("PP-NOWHERE"), 0);
    EXPECT_EQ(view_.progressItems, (std::vector<std::wstring>{L"Main firmware", L"Sub firmware", L"Editor"}));
    EXPECT_EQ(view_.lastPercent.load(), 100);
}

TEST(DownloadNameTest, TheServersAddressIsCutToAPlainFileNameOrRefused) {
    using scup::SafeDownloadName;
    EXPECT_EQ(SafeDownloadName(L"http://h/files/software/PKG.zip"), L"PKG.zip");
    EXPECT_EQ(SafeDownloadName(L"PKG.zip"), L"PKG.zip");
    EXPECT_EQ(SafeDownloadName(L"http://h/files/..\\..\\evil.exe"), L"evil.exe");
    EXPECT_EQ(SafeDownloadName(L"http://h/files/C:\\Windows\\evil.exe"), L"evil.exe");
    EXPECT_EQ(SafeDownloadName(L"http://h/files/evil.exe. . "), L"evil.exe");
    EXPECT_EQ(SafeDownloadName(L"http://h/files/..%5C..%5Cpct.zip"), L"..%5C..%5Cpct.zip");
    for (const wchar_t* refused :
         {L"http://h/files/", L"http://h/files/..", L"http://h/files/.", L"http://h/files/sub\\",
          L"C:evil.exe", L"http://h/files/pkg.exe:stream", L"http://h/files/CON", L"http://h/files/con.zip",
          L"http://h/files/NUL.txt", L"http://h/files/com1.exe", L"http://h/files/LPT9",
          L"http://h/files/AUX .exe", L"http://h/files/a?b.zip", L"http://h/files/a*.zip",
          L"http://h/files/a\"b.zip", L"http://h/files/a|b.zip", L"http://h/files/a\tb.zip", L""})
        EXPECT_EQ(SafeDownloadName(refused), L"") << std::wstring(refused).c_str();
    EXPECT_EQ(SafeDownloadName(L"http://h/files/CONSOLE.zip"), L"CONSOLE.zip");
    EXPECT_EQ(SafeDownloadName(L"http://h/files/" + std::wstring(201, L'a')), L"");
}

TEST_F(FileDownloadTest, HostileAddressesNeverWriteOutsideTheDownloadFolder) {
    // The names come from the addresses alone, whatever vouches for the files: without the
    // signature check (as a legacy server is used) they are fetched, and still land only in the
    // download folder.
    TurnSignaturesOff();
    Serve();
    catalog_->answers["PP-A1"] = FileUpdateAnswer("PP-A1", Url(L"/files/sub\\..\\..\\..\\escaped1.zip"));
    catalog_->answers["PP-A2"] = FileUpdateAnswer("PP-A2", Url(L"/files/..%5C..%5Cescaped2.zip"));
    catalog_->answers["PP-Z9"] = FileUpdateAnswer("PP-Z9", Url(L"/files/NUL"));
    for (const char* name : {"escaped1.zip", "escaped2.zip", "NUL"})
        catalog_->files[name] = FileAnswer(DescriptionPackage("msi"));
    RefinedList list;
    for (const wchar_t* id : {L"PP-A1", L"PP-A2", L"PP-Z9"}) {
        const SAUExtFirmInfo entry = Entry(1, id, L"ENU_ALL");
        list[kPrinter][EntryKey(entry)] = entry;
    }
    TraceCapture trace;

    EXPECT_EQ(MakeUpdater()->GetUpdates(kPrinter, list, &view_), ServerResult::Failed);

    EXPECT_EQ(list[kPrinter].count(L"PP-Z9_ENU_ALL"), 0u);
    EXPECT_EQ(list[kPrinter].at(L"PP-A1_ENU_ALL").strFilePath,
              EntryFolder(L"PP-A1", L"ENU_ALL") + L"\\escaped1.zip");
    EXPECT_EQ(list[kPrinter].at(L"PP-A2_ENU_ALL").strFilePath,
              EntryFolder(L"PP-A2", L"ENU_ALL") + L"\\..%5C..%5Cescaped2.zip");
    bool refusedTraced = false;
    for (const std::wstring& line : trace.Lines())
        if (line.find(L"gives no usable file name") != std::wstring::npos &&
            line.find(L"/files/NUL") != std::wstring::npos)
            refusedTraced = true;
    EXPECT_TRUE(refusedTraced);
    for (const std::wstring& path : FilesBelow(scratch_)) {
        // In the download folder, or in an entry's own folder there.
        const size_t inner = path.find(L'\\', wcslen(L"data\\DownloadedFiles\\"));
        const bool inDownloads =
            path.rfind(L"data\\DownloadedFiles\\", 0) == 0 &&
            (inner == std::wstring::npos || path.find(L'\\', inner + 1) == std::wstring::npos);
        EXPECT_TRUE(inDownloads || path.find(L".zip") == std::wstring::npos) << Narrow(path);
    }
    // What the program removes when it ends goes whole, whatever the names in it.
    EXPECT_EQ(scup::RemoveFolder(downloadFolder_), 1);
    EXPECT_FALSE(FileExists(downloadFolder_));
}

TEST_F(FileDownloadTest, ACancelledOrFailedDownloadLeavesNoFileThatPassesForTheDownload) {
    Serve();
    HttpAnswer slow = FileAnswer(std::string(4 * 1024 * 1024, 'x'));
    slow.pieceSize = 64 * 1024;
    slow.pause = std::chrono::milliseconds(40);
    catalog_->files["/PP-CONTACT13_ENU_ALL.exe"] = slow;
    const std::string installer = ReadBinaryFile(BinFolder() + L"record_args.exe");
    catalog_->files["/PP-CONTACT11_ENU_ALL.exe"] = FileAnswer(installer);
    ComponentList entries;
    const SAUExtFirmInfo first = Described(1, L"PP-CONTACT11", L"ENU_ALL", "PP-CONTACT11_ENU_ALL", "exe");
    const SAUExtFirmInfo missing = Described(2, L"PC-MISSING", L"ENU_ALL", "PC-MISSING_ENU_ALL", "msi");
    const SAUExtFirmInfo slowEntry = Described(3, L"PP-CONTACT13", L"ENU_ALL", "PP-CONTACT13_ENU_ALL", "exe");
    RefinedList list;
    list[kPrinter][EntryKey(slowEntry)] = slowEntry;
    view_.Tick(slowEntry, L"Slow");

    std::thread canceller([this] {
        while (GetsFor("PP-CONTACT13_ENU_ALL.exe") == 0) Sleep(10);
        Sleep(200);
        HANDLE cancel = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"CANCEL_EVENT");
        SetEvent(cancel);
        CloseHandle(cancel);
    });
    const InstallResult cancelled = MakeUpdater()->InstallUpdates(&list, kPrinter, &view_);
    canceller.join();
    EXPECT_EQ(cancelled, InstallResult::NothingDone);
    EXPECT_TRUE(messages_->Messages().empty());

    list[kPrinter].clear();
    list[kPrinter][EntryKey(first)] = first;
    list[kPrinter][EntryKey(missing)] = missing;
    view_.tickedRows.clear();
    view_.Tick(first, L"First");
    view_.Tick(missing, L"Missing");
    EXPECT_EQ(MakeUpdater()->InstallUpdates(&list, kPrinter, &view_), InstallResult::PartlyDone);
    // The missing download leaves out its own update only: the other is still run (and, being no
    // program, fails in its turn). Nothing vouches for a file that is not there: its statement is
    // missing too.
    ASSERT_EQ(messages_->Messages().size(), 3u);
    EXPECT_NE(messages_->Messages()[0].text.find(L"Missing was not installed"), std::wstring::npos)
        << Narrow(messages_->Messages()[0].text);
    EXPECT_NE(messages_->Messages()[1].text.find(L"First"), std::wstring::npos)
        << Narrow(messages_->Messages()[1].text);
    EXPECT_EQ(messages_->Messages()[2].text, scup::LoadLangString(IDS_MSG_SOME_UPDATES_FAILED, 1033));

    std::vector<std::wstring> files = FilesBelow(downloadFolder_);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::wstring>{L"PC-MISSING_ENU_ALL.zip", L"PP-CONTACT11_ENU_ALL.zip",
                                                L"PP-CONTACT11_ENU_ALL\\PP-CONTACT11_ENU_ALL.exe",
                                                L"PP-CONTACT13_ENU_ALL.zip"}));
    EXPECT_EQ(ReadBinaryFile(EntryFolder(L"PP-CONTACT11", L"ENU_ALL") + L"\\PP-CONTACT11_ENU_ALL.exe"),
              installer);
    EXPECT_EQ(view_.shown.back(), true);
    EXPECT_EQ(view_.readyChanges.back(), 1);
}

// Nothing of the run is installed, and the run counts as over (0), so that the list is fetched again.
TEST_F(FileDownloadTest, ACancelBetweenEntriesEndsTheRunWithNothingDownloadedOrInstalled) {
    Serve();
    catalog_->files["/PC-FIRST_ENU_ALL.msi"] = FileAnswer("complete installer");
    const SAUExtFirmInfo first = Described(1, L"PC-FIRST", L"ENU_ALL", "PC-FIRST_ENU_ALL", "msi");
    RefinedList list;
    list[kPrinter][EntryKey(first)] = first;
    view_.Tick(first, L"First");
    HANDLE cancel = CreateEventW(nullptr, FALSE, FALSE, L"CANCEL_EVENT");
    SetEvent(cancel);
    TraceCapture trace;

    EXPECT_EQ(MakeUpdater()->InstallUpdates(&list, kPrinter, &view_), InstallResult::Done);
    CloseHandle(cancel);

    EXPECT_TRUE(trace.Contains(L"Firmware update cancelled by user."));
    EXPECT_EQ(GetsFor("PC-FIRST_ENU_ALL.msi"), 0);
    EXPECT_EQ(view_.shown, (std::vector<bool>{false, true}));
    EXPECT_EQ(view_.progressModes.front(), ProgressMode::Installing);
    EXPECT_TRUE(messages_->Messages().empty());
}

}  // namespace
}  // namespace testing_support

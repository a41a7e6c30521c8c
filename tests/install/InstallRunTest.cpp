// Whole install runs: a check fetches the description packages from a scripted update server,
// the user's ticked rows are downloaded, and the downloaded stand-in installers (and a real
// .msi through the installer service) run under Wine; the registry, the history and the
// messages show what came of it.

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <thread>

#include "InstallFixture.h"
#include "common/LangResources.h"
#include "local/AUHistoryLog.h"
#include "local/AULocalData.h"
#include "res/install_ids.h"

namespace testing_support {
namespace {

constexpr wchar_t kPrinter[] = L"Corvane SC-200";

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::wstring Filled(UINT id, const std::wstring& value) {
    std::wstring text = scup::LoadLangString(id, 1033);
    for (size_t at; (at = text.find(L"%s")) != std::wstring::npos;) text.replace(at, 2, value);
    return text;
}

std::wstring MachineText(const std::wstring& key, const wchar_t* name) {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
            continue;
        wchar_t value[520] = {};
        DWORD size = sizeof(value) - sizeof(wchar_t);
        const LONG rc =
            RegQueryValueExW(opened, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
        RegCloseKey(opened);
        if (rc == ERROR_SUCCESS) return value;
    }
    return {};
}

struct SPackage {
    std::wstring code;
    std::wstring spec;
    std::wstring installed;
    std::wstring installer;  // file in the installers folder
    std::string type;
    std::wstring title;
    // The version offered; empty: the title's last word.
    std::string version = {};
};

// Serves each package's file update answer, its description package and its installer.
class InstallRunTest : public InstallFixture {
  protected:
    void Offer(const std::vector<SPackage>& packages) {
        for (const SPackage& package : packages) {
            const std::string stem = Narrow(package.code + L"_" + package.spec);
            std::string installer =
                ReadBinaryFile(std::wstring(SCUP_INSTALLERS_DIR L"/") + package.installer);
            ASSERT_FALSE(installer.empty()) << Narrow(package.installer);
            answers_[Narrow(package.code)] = FileUpdateAnswer(
                Narrow(package.code), Narrow(server_->Url(L"/files/software/")) + stem + ".zip");
            const std::string version = package.version.empty()
                                            ? Narrow(package.title.substr(package.title.rfind(L' ') + 1))
                                            : package.version;
            OfferVersion(Narrow(package.code), version);
            files_["/" + stem + ".zip"] =
                DescriptionPackage(package.type, Narrow(package.title), "data.xml", version);
            files_["/" + stem + "." + package.type] = installer;
            SAUExtFirmInfo entry = Entry(++sequence_, package.code, package.spec, package.installed);
            list_[kPrinter][EntryKey(entry)] = entry;
            titles_[entry.nSequence] = package.title;
        }
    }
    void Serve() {
        StartServer([this](const HttpRequestSeen& request) {
            HttpAnswer answer;
            if (request.method == "POST") {
                if (request.body.empty()) return answer;
                auto found = answers_.find(RequestedId(request));
                answer.body = found == answers_.end() ? EmptyFileUpdateAnswer() : found->second;
                return answer;
            }
            for (const auto& [suffix, body] : files_)
                if (request.target.size() >= suffix.size() &&
                    request.target.compare(request.target.size() - suffix.size(), suffix.size(), suffix) ==
                        0) {
                    answer.body = body;
                    return answer;
                }
            answer.status = 404;
            return answer;
        });
    }
    // Checks, ticks every row the check left and installs.
    InstallResult CheckAndInstall() {
        EXPECT_EQ(MakeUpdater()->GetUpdates(kPrinter, list_, &view_), ServerResult::Success);
        view_.tickedRows.clear();
        for (const auto& [key, entry] : list_[kPrinter]) view_.Tick(entry, titles_[entry.nSequence]);
        return MakeUpdater()->InstallUpdates(&list_, kPrinter, &view_);
    }
    std::string Arguments(const std::wstring& code, const std::wstring& spec, const std::string& type) const {
        return ReadBinaryFile(EntryFolder(code, spec) + L"\\" + code + L"_" + spec + L"." +
                              std::wstring(type.begin(), type.end()) + L".args");
    }
    std::vector<std::wstring> MessageTexts() const {
        std::vector<std::wstring> texts;
        for (const CapturedMessage& message : messages_->Messages()) texts.push_back(message.text);
        return texts;
    }
    std::vector<std::wstring> HistoryTitles() const {
        std::vector<std::wstring> titles, versions, dates, printers, languages;
        ReadHistory(L"PCS", titles, versions, dates, printers, languages);
        return titles;
    }

    std::map<std::string, std::string> answers_;
    std::map<std::string, std::string> files_;
    std::map<int, std::wstring> titles_;
    RefinedList list_;
    int sequence_ = 0;
};

TEST_F(InstallRunTest, EveryApplicationsInstallerTakesItsSwitchesAndTheNewVersionsAreRecorded) {
    Serve();
    Offer({{L"PP-SCEDIT50", L"ENU_ALL", L"0", L"scedit50_setup.exe", "exe", L"Scribo Editor 5.0.3"},
           {L"PP-SCEDIT51", L"ENU_ALL", L"0", L"scedit51_setup.exe", "exe", L"Scribo Editor 5.1.4"},
           {L"PP-CONTACT11", L"ENU_ALL", L"0", L"contact11_setup.exe", "exe", L"Scribo Address Book 1.1.2"},
           {L"PP-CONTACT12", L"ENU_ALL", L"0", L"contact12_setup.exe", "exe", L"Scribo Address Book 1.2.2"},
           {L"PP-DEVSETUP", L"ALL_ALL", L"0", L"devsetup_setup.exe", "exe", L"Device Setup Tool 2.0.1"},
           {L"PP-WIREMARK", L"ALL_ALL", L"0", L"wiremark_setup.exe", "exe", L"Wire Marker Tool 1.0.5"}});
    CreateMachineKey(L"Software\\Microsoft\\Office\\Excel\\Addins\\ScriboAddin50.ComAddinExcel");

    EXPECT_EQ(CheckAndInstall(), InstallResult::Done);

    EXPECT_TRUE(MessageTexts().empty());
    EXPECT_EQ(Arguments(L"PP-SCEDIT50", L"ENU_ALL", "exe"), "ACCEPTED /s /a /silent /addin'e' /qn\n");
    EXPECT_EQ(Arguments(L"PP-SCEDIT51", L"ENU_ALL", "exe"),
              "ACCEPTED /s /a /silent /eula /usage /addin'e' /qn\n");
    EXPECT_EQ(Arguments(L"PP-CONTACT11", L"ENU_ALL", "exe"), "ACCEPTED /s /a /silent /qn\n");
    EXPECT_EQ(Arguments(L"PP-DEVSETUP", L"ALL_ALL", "exe"), "ACCEPTED /s /a /silent /qn\n");
    EXPECT_EQ(Arguments(L"PP-WIREMARK", L"ALL_ALL", "exe"), "ACCEPTED /s /a /silent /usage /qn\n");
    std::wstring version;
    EXPECT_TRUE(CAULocalData::GetInstalledPackageVersion(L"PP-SCEDIT51", version));
    EXPECT_EQ(version, L"5.1.4.0");
    EXPECT_EQ(CAULocalData::GetApplicationLanguage(L"PP-CONTACT12"), 0x0409);
    EXPECT_EQ(HistoryTitles().size(), 6u);
    EXPECT_EQ(view_.shown, (std::vector<bool>{false, true}));
    EXPECT_EQ(view_.readyChanges.back(), 1);
}

// A hostile server that holds the signing key but not the publisher's code-signing certificate: the
// statement passes, the installer's Authenticode signature does not, and the installer never runs.
TEST_F(InstallRunTest, AnInstallerWithoutThePublishersAuthenticodeSignatureNeverRuns) {
    Serve();
    const std::pair<const wchar_t*, const wchar_t*> hostile[] = {
        {L"hostile/scedit52_unsigned.exe", L"no Authenticode signature"},
        {L"hostile/scedit52_othersigner.exe", L"Authenticode-signed by \"Someone Else Software\""},
        {L"hostile/scedit52_strangesigner.exe", L"chains to no authority this PC trusts"}};
    for (const auto& [installer, reason] : hostile) {
        SCOPED_TRACE(Narrow(installer));
        list_.clear();
        const size_t told = MessageTexts().size();
        Offer({{L"PP-SCEDIT52", L"ENU_ALL", L"5.2.0.0", installer, "exe", L"Scribo Editor 5.2.1"}});
        auto updater = MakeUpdater();
        ASSERT_EQ(updater->GetUpdates(kPrinter, list_, &view_), ServerResult::Success);
        view_.tickedRows.clear();
        for (const auto& [key, entry] : list_[kPrinter]) view_.Tick(entry, titles_[entry.nSequence]);
        updater->InstallUpdates(&list_, kPrinter, &view_);

        ASSERT_EQ(updater->Refusals().size(), 1u);
        EXPECT_EQ(updater->Refusals()[0].failure, VerifyFailure::NotPublisherSigned);
        EXPECT_NE(updater->Refusals()[0].reason.find(reason), std::wstring::npos)
            << Narrow(updater->Refusals()[0].reason);
        EXPECT_EQ(Arguments(L"PP-SCEDIT52", L"ENU_ALL", "exe"), "") << "the installer ran";
        EXPECT_FALSE(FileExists(EntryFolder(L"PP-SCEDIT52", L"ENU_ALL") + L"\\PP-SCEDIT52_ENU_ALL.exe"));
        ASSERT_GT(MessageTexts().size(), told);
        EXPECT_EQ(MessageTexts()[told], Filled(IDS_MSG_NOT_SIGNED, L"Scribo Editor 5.2.1"));
        EXPECT_TRUE(HistoryTitles().empty());
    }
    // Where IT turned signatures off for a legacy server, the publisher's signature is not asked for
    // either.
    TurnSignaturesOff();
    list_.clear();
    Offer({{L"PP-SCEDIT52", L"ENU_ALL", L"5.2.0.0", L"hostile/scedit52_unsigned.exe", "exe",
            L"Scribo Editor 5.2.1"}});
    CheckAndInstall();
    EXPECT_EQ(Arguments(L"PP-SCEDIT52", L"ENU_ALL", "exe").rfind("ACCEPTED", 0), 0u);
}

TEST_F(InstallRunTest, AnInstallThatBringsNoNewerVersionFailsWithItsTitleAndTheSummary) {
    Serve();
    Offer({{L"PP-SCEDIT52", L"ENU_ALL", L"0", L"scedit52_setup.exe", "exe", L"Scribo Editor 5.2.1"}});
    ASSERT_EQ(CheckAndInstall(), InstallResult::Done);
    ASSERT_EQ(Arguments(L"PP-SCEDIT52", L"ENU_ALL", "exe"), "ACCEPTED /s /a /silent /eula /usage /qn\n");
    const std::wstring installedAt =
        MachineText(L"SOFTWARE\\Corvane Industries, Ltd.\\Scribo Editor\\5.2\\Settings", L"ApplicationPath");
    ASSERT_FALSE(installedAt.empty());
    const std::wstring root = installedAt.substr(0, installedAt.rfind(L"\\Scedit52\\"));

    // Offered again as 5.2.2 while its installer brings the version now installed: the installer
    // runs, the version stays.
    list_.clear();
    Offer({{L"PP-SCEDIT52", L"ENU_ALL", L"5.2.1.0", L"scedit52_setup.exe", "exe", L"Scribo Editor 5.2.1",
            "5.2.2"}});
    DeleteFileW((EntryFolder(L"PP-SCEDIT52", L"ENU_ALL") + L"\\PP-SCEDIT52_ENU_ALL.exe.args").c_str());
    EXPECT_EQ(CheckAndInstall(), InstallResult::Done);

    EXPECT_EQ(Arguments(L"PP-SCEDIT52", L"ENU_ALL", "exe"),
              "ACCEPTED /s /a /silent /cmpy' ' /ipath'" + Narrow(root) + "' /shct' ' /usage /qn\n");
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::wstring>{Filled(IDS_MSG_INSTALL_FAILED, L"Scribo Editor 5.2.1"),
                                         scup::LoadLangString(IDS_MSG_SOME_UPDATES_FAILED, 1033)}));
    EXPECT_EQ(HistoryTitles().size(), 1u);
}

// Watches, while it lives, for the installers' progress window showing a text that holds the needle.
class ProgressTextWatcher {
  public:
    explicit ProgressTextWatcher(std::wstring needle)
        : needle_(std::move(needle)), thread_([this] { Watch(); }) {}
    ~ProgressTextWatcher() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    bool Seen() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        return seen_.load();
    }

  private:
    static constexpr int kProgressText = 1311;
    void Watch() {
        while (!stop_) {
            EnumWindows(
                [](HWND window, LPARAM param) -> BOOL {
                    auto* self = reinterpret_cast<ProgressTextWatcher*>(param);
                    wchar_t text[256] = {};
                    if (IsWindowVisible(window) && GetDlgItemTextW(window, kProgressText, text, 256) > 0 &&
                        std::wstring(text).find(self->needle_) != std::wstring::npos)
                        self->seen_ = true;
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(this));
            Sleep(100);
        }
    }

    std::wstring needle_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> seen_{false};
    std::thread thread_;
};

TEST_F(InstallRunTest, AFailingInstallerIsReportedWhileASlowOneShowsTheProgressDialogAndSucceeds) {
    Serve();
    Offer({{L"PP-CONTACT13", L"ENU_ALL", L"1.3.0.0", L"contact13_slow.exe", "exe",
            L"Scribo Address Book 1.3.2"},
           {L"PP-SCEDIT52", L"ENU_ALL", L"0", L"scedit52_failing.exe", "exe", L"Scribo Editor 5.2.1"}});
    ProgressTextWatcher watcher(L"Scribo Address Book 1.3.2");

    const InstallResult result = CheckAndInstall();

    EXPECT_EQ(result, InstallResult::Done);
    EXPECT_TRUE(watcher.Seen());
    EXPECT_EQ(Arguments(L"PP-SCEDIT52", L"ENU_ALL", "exe"), "ACCEPTED /s /a /silent /eula /usage /qn\n");
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::wstring>{Filled(IDS_MSG_INSTALL_FAILED, L"Scribo Editor 5.2.1"),
                                         scup::LoadLangString(IDS_MSG_SOME_UPDATES_FAILED, 1033)}));
    EXPECT_EQ(HistoryTitles(), (std::vector<std::wstring>{L"Scribo Address Book 1.3.2"}));
}

// The title comes from the server: a "%s" in it is text, filled in once, never filled again.
TEST_F(InstallRunTest, ATitleHoldingAPlaceholderShowsAsItIsWhileItsInstallerRuns) {
    Serve();
    const std::wstring title = L"Scribo Address Book %s 1.3.2";
    Offer({{L"PP-CONTACT13", L"ENU_ALL", L"1.3.0.0", L"contact13_slow.exe", "exe", title}});
    ProgressTextWatcher watcher(title);

    const InstallResult result = CheckAndInstall();

    EXPECT_EQ(result, InstallResult::Done);
    EXPECT_TRUE(watcher.Seen());
    EXPECT_EQ(HistoryTitles(), (std::vector<std::wstring>{title}));
}

TEST_F(InstallRunTest, ARunningAddressBookIsNotUpdatedAndTheRunEndsWithTheSummary) {
    Serve();
    Offer({{L"PP-CONTACT11", L"ENU_ALL", L"1.1.0.0", L"contact11_setup.exe", "exe",
            L"Scribo Address Book 1.1.2"}});
    const std::wstring program = scratch_ + L"\\Contactbk.exe";
    ASSERT_TRUE(CopyFileW(SCUP_INSTALLERS_DIR L"/scup_sleeper.exe", program.c_str(), FALSE));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + program + L"\"";
    ASSERT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
    ASSERT_TRUE(PumpUntil([] { return CAUFileUpdater::IsProgramRunning(L"Contactbk.exe"); }, 10000));

    const InstallResult result = CheckAndInstall();
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    EXPECT_EQ(result, InstallResult::Done);
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::wstring>{Filled(IDS_MSG_APP_RUNNING, L"Scribo AddressBook"),
                                         scup::LoadLangString(IDS_MSG_SOME_UPDATES_FAILED, 1033)}));
    EXPECT_FALSE(FileExists(EntryFolder(L"PP-CONTACT11", L"ENU_ALL") + L"\\PP-CONTACT11_ENU_ALL.exe.args"));
    EXPECT_TRUE(HistoryTitles().empty());
}

TEST_F(InstallRunTest, ATemplatePackageIsInstalledByTheInstallerServiceAndVerifiedByItsTemplateEntry) {
    Serve();
    Offer({{L"PC-TMPLBIZ", L"ENU_ALL", L"1.0.0.0", L"templates_setup_ENU.msi", "msi",
            L"Business label templates", "1.0.0.1"}});

    EXPECT_EQ(CheckAndInstall(), InstallResult::Done);

    EXPECT_TRUE(MessageTexts().empty());
    EXPECT_EQ(
        MachineText(L"SOFTWARE\\Corvane Industries, Ltd.\\Scribo Editor Template\\Templates\\PC-TMPLBIZ_ENU",
                    L"PackageVersion"),
        L"1.0.0.1");
    EXPECT_EQ(HistoryTitles(), (std::vector<std::wstring>{L"Business label templates"}));
}

TEST_F(InstallRunTest, AFirmwarePackageThatCannotBeUnpackedIsLeftOutAndNothingIsSent) {
    Serve();
    view_.firmwareView = true;
    answers_["FP-MAIN"] =
        FileUpdateAnswer("FP-MAIN", Narrow(server_->Url(L"/files/SC-200/")) + "FP-MAIN_ALL_ALL.zip");
    OfferVersion("FP-MAIN", "1.05");
    files_["/FP-MAIN_ALL_ALL.zip"] = DescriptionPackage("pdz", "SC-200 main firmware", "data.xml", "1.05");
    files_["/FP-MAIN_ALL_ALL.pdz"] = "this is not a zip archive";
    SAUExtFirmInfo entry = Entry(1, L"FP-MAIN", L"ALL_ALL", L"1.00", L"FIRM");
    list_[kPrinter][EntryKey(entry)] = entry;
    titles_[1] = L"SC-200 main firmware";

    EXPECT_EQ(CheckAndInstall(), InstallResult::NothingDone);

    const std::vector<std::wstring> texts = MessageTexts();
    ASSERT_GE(texts.size(), 1u);
    EXPECT_EQ(texts[0], Filled(IDS_MSG_UNZIP_FAILED, L"FP-MAIN_ALL_ALL.pdz"));
    EXPECT_TRUE(HistoryTitles().empty());
}

}  // namespace
}  // namespace testing_support

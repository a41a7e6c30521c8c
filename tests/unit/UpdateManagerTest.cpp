// The update thread against server and local data that the test controls, with real dialogs.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <map>
#include <memory>
#include <mutex>

#include "TestSigner.h"
#include "TestSupport.h"
#include "ZipWriter.h"
#include "app/ScUpdaterApp.h"
#include "app/StartDialog.h"
#include "common/LangResources.h"
#include "common/Text.h"
#include "install/PackageFiles.h"
#include "res/firmware_ids.h"
#include "res/resource_ids.h"
#include "ui/UpdaterDialog.h"

namespace {

using namespace testing_support;

constexpr wchar_t kWaiting[] = L"Waiting for update events.";
constexpr wchar_t kThreadEnded[] = L"Exit : CAUManager::RunUpdate()";
constexpr wchar_t kPrinter[] = L"Corvane SC-200";

// What the server side was asked; a closed gate holds the thread inside Initialize or a query.
struct ServerLog {
    std::mutex mutex;
    std::vector<std::wstring> keys;
    int initialisations = 0;
    int closes = 0;
    int resets = 0;
    std::atomic<int> fileUpdates{0};
    std::atomic<ServerResult> fileUpdateResult{ServerResult::Success};  // what the file updates give
    std::atomic<ServerResult> versionResult{ServerResult::Success};     // what the version checks give
    std::map<std::wstring, ServerResult> keyResults;  // what the check of one key gives instead
    ServerResult initResult = ServerResult::Success;
    scup::UniqueHandle gate{CreateEventW(nullptr, TRUE, TRUE, nullptr)};

    size_t KeyCount() {
        std::lock_guard lock(mutex);
        return keys.size();
    }
    std::vector<std::wstring> Keys() {
        std::lock_guard lock(mutex);
        return keys;
    }
};

class FakeServerData : public CAUServerData {
    // One key for the process, trusted from the first server on.
    static const testing_support::TestSigner& Signer() {
        static const testing_support::TestSigner signer;
        static const testing_support::TrustedForTest trusted(signer);
        return signer;
    }

  public:
    explicit FakeServerData(std::shared_ptr<ServerLog> log) : log_(std::move(log)), signer_(Signer()) {}
    ServerResult Initialize() override {
        WaitForSingleObject(log_->gate.get(), 30000);
        std::lock_guard lock(log_->mutex);
        ++log_->initialisations;
        m_bConnected = log_->initResult == ServerResult::Success;
        return log_->initResult;
    }
    ServerResult DoVersionCheck(ComponentList& result, const std::wstring& key,
                                const std::wstring&) override {
        {
            std::lock_guard lock(log_->mutex);
            log_->keys.push_back(key);
        }
        WaitForSingleObject(log_->gate.get(), 30000);
        // As the real exchange does, a signalled cancel ends the request.
        scup::UniqueHandle cancel(OpenEventW(SYNCHRONIZE, FALSE, L"CANCEL_EVENT"));
        if (cancel && WaitForSingleObject(cancel.get(), 0) == WAIT_OBJECT_0) return ServerResult::Cancelled;
        result.clear();
        if (log_->versionResult != ServerResult::Success) return log_->versionResult;
        {
            std::lock_guard lock(log_->mutex);
            if (const auto given = log_->keyResults.find(key); given != log_->keyResults.end())
                return given->second;
        }
        SAUExtFirmInfo app;
        app.strId = L"PP-SCEDIT52";
        app.strSpec = key;
        app.strCategory = L"PCS";
        result[app.strId + L"_" + key] = app;
        return ServerResult::Success;
    }
    // Every offered package has a description package, which downloads as a small good one.
    ServerResult DoFileUpdateAction(const SAUExtFirmInfo& package, SAUFileUpdateInfo& info) override {
        ++log_->fileUpdates;
        if (log_->fileUpdateResult != ServerResult::Success) return log_->fileUpdateResult;
        info.nVersionCheck = 0;
        info.strId = package.strId;
        info.strPath = L"http://updates.example/files/" + package.strId + L"_" + package.strSpec + L".zip";
        return ServerResult::Success;
    }
    // Beside it lies its statement, signed by a key this PC trusts for the rest of the process.
    ServerResult Download(const std::wstring& url, const std::wstring& filePath, const DownloadProgress&,
                          unsigned long long) override {
        std::string package =
            testing_support::ZipWriter()
                .Stored("data.xml",
                        "<ScriboUpdater><Title>Label editor</Title><Version>9.9</Version></ScriboUpdater>")
                .Bytes();
        if (url.size() > 4 && url.compare(url.size() - 4, 4, L".sig") == 0)
            package = signer_.StatementFor(scup::ToUtf8(url.substr(0, url.size() - 4)), package, "9.9");
        scup::UniqueFile file(CreateFileW(filePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        return file && WriteFile(file.get(), package.data(), static_cast<DWORD>(package.size()), &written,
                                 nullptr)
                   ? ServerResult::Success
                   : ServerResult::Failed;
    }
    void CloseConnections() override {
        std::lock_guard lock(log_->mutex);
        ++log_->closes;
    }
    void ResetServer() override {
        std::lock_guard lock(log_->mutex);
        ++log_->resets;
        m_bConnected = false;
    }

  private:
    std::shared_ptr<ServerLog> log_;
    const testing_support::TestSigner& signer_;
};

class FakeLocalData : public CAULocalData {
  public:
    FakeLocalData(bool withPrinter, std::wstring language) : language_(std::move(language)) {
        if (withPrinter) m_mapPrinters[kPrinter];
    }
    bool Initialize() override { return true; }
    int GetDefaultSelection(std::wstring& printer, std::wstring& locale, std::wstring& language) override {
        printer.clear();
        locale = L"1033";
        language = language_;
        return 0;
    }
    int SetDefaultSelection(const std::wstring& printer, const std::wstring& locale,
                            const std::wstring& language) override {
        saved = printer + L"|" + locale + L"|" + language;
        return 0;
    }
    std::wstring saved;

  private:
    std::wstring language_;
};

// What the user could see of a run: each change of the dialog's ready flag and each message, in
// their order.
class StepLog {
  public:
    void Add(std::wstring step) {
        std::lock_guard lock(mutex_);
        if (steps_.empty() || steps_.back() != step) steps_.push_back(std::move(step));
    }
    std::vector<std::wstring> Steps() {
        std::lock_guard lock(mutex_);
        return steps_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        steps_.clear();
    }

  private:
    std::mutex mutex_;
    std::vector<std::wstring> steps_;
};

class ReadyRecordingDialog : public CUpdaterDialog {
  public:
    ReadyRecordingDialog(StepLog& log, LCID locale) : CUpdaterDialog(1033, kPrinter, locale), log_(log) {}
    void SetReady(int ready) override {
        log_.Add(ready ? L"ready" : L"busy");
        CUpdaterDialog::SetReady(ready);
    }

  private:
    StepLog& log_;
};

class UpdateThreadTest : public ::testing::Test {
  protected:
    void MakeApp(bool withPrinter = true, std::wstring language = L"1033") {
        AUServices services;
        auto log = log_;
        services.createServerData = [log] { return std::make_unique<FakeServerData>(log); };
        services.runUpgrader = [] { return UpgradeResult::NotNeeded; };
        // Label editor 5.2 is installed, so every edition of it the server offers may be installed.
        services.isPackageInstalled = [](const std::wstring& code) { return code == L"PP-SCEDIT52"; };
        app_ = std::make_unique<CScUpdaterApp>(services);
        auto local = std::make_unique<FakeLocalData>(withPrinter, std::move(language));
        local_ = local.get();
        app_->SetLocalData(std::move(local));
        for (int i = 0; i < 6; ++i)
            events_[i].reset(CreateEventW(nullptr, i == 0 || i == 3, FALSE, kAUEventNames[i]));
    }

    void ShowUpdaterDialog(LCID locale = 1033) {
        updater_ = std::make_shared<ReadyRecordingDialog>(steps_, locale);
        // As the program's own: the list reads the description packages with the unzip library.
        if (!unzip_) unzip_ = std::make_unique<CUnzipHolder>(testing_support::BinFolder());
        updater_->SetUnzip(unzip_.get());
        ASSERT_TRUE(updater_->CreateModeless());
        ShowWindow(updater_->GetSafeHwnd(), SW_SHOW);
        app_->SetUpdaterDialog(updater_);
    }

    void ShowStartDialog() {
        start_ = std::make_shared<CStartDialog>(1033);
        ASSERT_TRUE(start_->CreateModeless());
        ShowWindow(start_->GetSafeHwnd(), SW_SHOW);
        app_->SetStartDialog(start_);
    }

    // Starts the thread and waits until it waits for events.
    void StartAndSettle() {
        app_->StartUpdateThread();
        ASSERT_TRUE(PumpUntil([&] { return trace_.Count(kWaiting) >= 1; }))
            << "the thread never reached its loop";
    }

    bool WaitForWaits(int count) {
        return PumpUntil([&] { return trace_.Count(kWaiting) >= count; });
    }

    void Signal(AUEventIndex index) { SetEvent(events_[index].get()); }

    // Signals a check and holds the thread inside its first query (the gate stays closed); false
    // when that query never came. atStart: how many queries were made before.
    bool HoldCheckInFirstQuery(size_t& atStart) {
        atStart = log_->KeyCount();
        ResetEvent(log_->gate.get());
        Signal(kCheckEvent);
        return PumpUntil([&] { return log_->KeyCount() == atStart + 1; });
    }

    void TearDown() override {
        if (app_) {
            Signal(kExitEvent);
            EXPECT_TRUE(PumpUntil([&] { return trace_.Contains(kThreadEnded); }, 15000))
                << "the thread did not end";
            app_->WaitForUpdateThread();
            app_->SetUpdaterDialog(nullptr);
            app_->SetStartDialog(nullptr);
        }
        updater_.reset();
        start_.reset();
        app_.reset();
    }

    TraceCapture trace_;
    StepLog steps_;
    MessageBoxCapture messages_;
    std::shared_ptr<ServerLog> log_ = std::make_shared<ServerLog>();
    std::unique_ptr<CScUpdaterApp> app_;
    FakeLocalData* local_ = nullptr;
    std::unique_ptr<CUnzipHolder> unzip_;  // outlives the dialog that reads with it
    std::shared_ptr<CUpdaterDialog> updater_;
    std::shared_ptr<CStartDialog> start_;
    scup::UniqueHandle events_[6];
};

TEST_F(UpdateThreadTest, CheckQueriesTheLocaleRegionsAndHandsTheListToTheDialog) {
    MakeApp();
    ShowUpdaterDialog();
    StartAndSettle();
    const size_t atStart = log_->KeyCount();
    EXPECT_EQ(atStart, 1u);  // the start-up version check

    Signal(kCheckEvent);
    ASSERT_TRUE(WaitForWaits(2));
    std::vector<std::wstring> keys = log_->Keys();
    ASSERT_EQ(keys.size(), atStart + 3);
    EXPECT_EQ(keys[atStart], L"ENU_ALL");
    EXPECT_EQ(keys[atStart + 1], L"ENU_NAS");
    EXPECT_EQ(keys[atStart + 2], L"ENU_USA");
    EXPECT_TRUE(PumpUntil([&] { return updater_->m_bIdle.load() == 1; }));
    EXPECT_TRUE(PumpUntil([&] {
        return SendDlgItemMessageW(updater_->GetSafeHwnd(), IDC_UPD_LIST, LVM_GETITEMCOUNT, 0, 0) == 3;
    }));
}

TEST_F(UpdateThreadTest, ACancelLeftOverFromTheLastOperationDoesNotBreakTheNextCheck) {
    MakeApp();
    ShowUpdaterDialog();
    StartAndSettle();
    const size_t atStart = log_->KeyCount();

    // Cancel pressed just as the last operation ended: nothing took it.
    Signal(kCancelEvent);
    Signal(kCheckEvent);
    ASSERT_TRUE(WaitForWaits(2));
    EXPECT_EQ(log_->KeyCount(), atStart + 3);
    EXPECT_TRUE(PumpUntil([&] {
        return SendDlgItemMessageW(updater_->GetSafeHwnd(), IDC_UPD_LIST, LVM_GETITEMCOUNT, 0, 0) == 3;
    })) << "the check was taken for cancelled";
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(UpdateThreadTest, RefreshAndCheckSetTogetherAreHandledOnce) {
    MakeApp();
    ShowUpdaterDialog();
    StartAndSettle();
    size_t atStart = 0;
    ASSERT_TRUE(HoldCheckInFirstQuery(atStart));
    Signal(kRefreshEvent);
    Signal(kCheckEvent);
    SetEvent(log_->gate.get());

    ASSERT_TRUE(WaitForWaits(3));
    PumpFor(400);
    EXPECT_EQ(trace_.Count(kWaiting), 3) << "one check, then one refresh-and-check";
    EXPECT_EQ(log_->closes, 1);
    EXPECT_EQ(log_->KeyCount(), atStart + 6);
}

TEST_F(UpdateThreadTest, ADialogClosedDuringACheckLivesUntilTheThreadLetsItGo) {
    MakeApp();
    ShowUpdaterDialog();
    StartAndSettle();
    size_t atStart = 0;
    ASSERT_TRUE(HoldCheckInFirstQuery(atStart));
    // The window goes and the main sequence lets the dialog go, as when the user closes it; the
    // main thread keeps its own reference, as it does until the thread has let go.
    const std::shared_ptr<CUpdaterDialog> closed = updater_;
    DestroyWindow(updater_->GetSafeHwnd());
    app_->SetUpdaterDialog(nullptr);
    updater_.reset();
    EXPECT_EQ(closed.use_count(), 2) << "the thread goes on with the dialog without holding it";

    SetEvent(log_->gate.get());
    ASSERT_TRUE(WaitForWaits(2)) << "the check without its dialog never ended";
    EXPECT_EQ(log_->KeyCount(), atStart + 3);
    EXPECT_EQ(closed.use_count(), 1) << "the thread kept the closed dialog after the check";
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(UpdateThreadTest, CachedLocaleMakesNoRequestUntilThePrinterChanges) {
    MakeApp();
    ShowUpdaterDialog();
    StartAndSettle();
    Signal(kCheckEvent);
    ASSERT_TRUE(WaitForWaits(2));
    const size_t afterFirst = log_->KeyCount();

    Signal(kCheckEvent);
    ASSERT_TRUE(WaitForWaits(3));
    EXPECT_EQ(log_->KeyCount(), afterFirst);
    EXPECT_TRUE(PumpUntil([&] { return updater_->m_bIdle.load() == 1; }));

    updater_->m_printer.Set(L"Corvane SC-300");
    Signal(kCheckEvent);
    ASSERT_TRUE(WaitForWaits(4));
    EXPECT_EQ(log_->KeyCount(), afterFirst + 3);
}

// An install run with nothing ticked is over like any other: the offer is fetched again.
TEST_F(UpdateThreadTest, AnInstallWithNothingTickedFetchesTheOfferAgain) {
    MakeApp();
    ShowUpdaterDialog();
    StartAndSettle();
    Signal(kCheckEvent);
    ASSERT_TRUE(WaitForWaits(2));
    const size_t afterCheck = log_->KeyCount();
    const int describedAfterCheck = log_->fileUpdates;
    ASSERT_GT(describedAfterCheck, 0) << "the check fetched the descriptions";
    // Nothing is ticked: the start installs nothing.
    Signal(kStartEvent);
    ASSERT_TRUE(WaitForWaits(3));
    EXPECT_EQ(log_->fileUpdates, 2 * describedAfterCheck) << "the offer was not fetched again";
    EXPECT_EQ(log_->KeyCount(), afterCheck);
}

TEST_F(UpdateThreadTest, ResetServerIsFollowedByOneRefreshAndCheck) {
    MakeApp();
    ShowUpdaterDialog();
    StartAndSettle();
    const size_t atStart = log_->KeyCount();
    const int initialisations = log_->initialisations;
    Signal(kResetServerEvent);
    ASSERT_TRUE(WaitForWaits(3));
    PumpFor(300);
    EXPECT_EQ(trace_.Count(kWaiting), 3);
    EXPECT_EQ(log_->resets, 1);
    EXPECT_EQ(log_->closes, 1);
    EXPECT_EQ(log_->initialisations, initialisations + 1);  // the reset server is connected again
    EXPECT_EQ(log_->KeyCount(), atStart + 3);
}

TEST_F(UpdateThreadTest, LocaleWithoutRegionalListMakesNoRegionalQueries) {
    MakeApp();
    ShowUpdaterDialog();
    // The region box offers only the listed locales: a locale from elsewhere (the label editor's
    // command line) reaches the thread through the dialog's field.
    updater_->m_nLocale = 1032;
    StartAndSettle();
    const size_t atStart = log_->KeyCount();
    Signal(kCheckEvent);
    ASSERT_TRUE(WaitForWaits(2));
    EXPECT_EQ(log_->KeyCount(), atStart);
    EXPECT_TRUE(PumpUntil([&] { return updater_->m_bIdle.load() == 1; }));
}

// The communication-failure dialog of the update thread, when it is on the screen.
HWND FindCantCommDialog() {
    HWND found = nullptr;
    EnumWindows(
        [](HWND hwnd, LPARAM data) {
            if (IsWindowVisible(hwnd) && GetDlgItem(hwnd, IDC_CANT_COMM_TEXT)) {
                *reinterpret_cast<HWND*>(data) = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

TEST_F(UpdateThreadTest, SilentPrinterInFirmwareViewOffersRetryAndAsksTheServerNothing) {
    MakeApp();
    ShowUpdaterDialog();
    updater_->SetView(UpdateView::Firmware);
    StartAndSettle();
    const size_t atStart = log_->KeyCount();
    Signal(kCheckEvent);
    // No printer of the driver answers: the user is asked to switch it on and retry.
    HWND failure = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (failure = FindCantCommDialog()) != nullptr; }));
    PostMessageW(failure, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(failure); }));
    ASSERT_TRUE(PumpUntil([&] { return (failure = FindCantCommDialog()) != nullptr; })) << "retry asks again";
    PostMessageW(failure, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitForWaits(2));
    EXPECT_EQ(log_->KeyCount(), atStart);
    EXPECT_TRUE(PumpUntil([&] { return updater_->m_bIdle.load() == 1; }));
    EXPECT_EQ(updater_->m_progressMode.load(), ProgressMode::Hidden);
}

TEST_F(UpdateThreadTest, ExitArrivingWithALowerEventStillEndsTheThread) {
    MakeApp();
    ShowUpdaterDialog();
    StartAndSettle();
    const size_t atStart = log_->KeyCount();
    ResetEvent(log_->gate.get());
    Signal(kCheckEvent);
    ASSERT_TRUE(PumpUntil([&] { return log_->KeyCount() == atStart + 1; }));
    Signal(kCheckEvent);
    Signal(kExitEvent);
    SetEvent(log_->gate.get());
    EXPECT_TRUE(PumpUntil([&] { return trace_.Contains(kThreadEnded); }));
    EXPECT_EQ(log_->KeyCount(), atStart + 3);
    EXPECT_EQ(local_->saved, std::wstring(kPrinter) + L"|1033|1033");
}

TEST_F(UpdateThreadTest, ExitDuringStartUpEndsWithoutServerQueriesOrClosingDialogs) {
    MakeApp();
    ShowStartDialog();
    ResetEvent(log_->gate.get());
    app_->StartUpdateThread();
    ASSERT_TRUE(PumpUntil([&] { return app_->Language() != 0; }));
    Sleep(200);  // the thread is now held while connecting
    Signal(kExitEvent);
    SetEvent(log_->gate.get());
    ASSERT_TRUE(PumpUntil([&] { return trace_.Contains(kThreadEnded); }));
    PumpFor(300);
    EXPECT_EQ(log_->KeyCount(), 0u);
    EXPECT_TRUE(IsWindow(start_->GetSafeHwnd()));
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(UpdateThreadTest, NoPrinterDriverWarnsAndClosesTheStartDialog) {
    MakeApp(false);
    ShowStartDialog();
    HWND startWindow = start_->GetSafeHwnd();
    app_->StartUpdateThread();
    ASSERT_TRUE(PumpUntil([&] { return trace_.Contains(kThreadEnded); }));
    EXPECT_TRUE(trace_.Contains(L"No Printer Driver"));
    ASSERT_EQ(messages_.Messages().size(), 1u);
    const CapturedMessage message = messages_.Messages()[0];
    EXPECT_EQ(message.text, scup::LoadLangString(IDS_MSG_NO_PRINTER_DRIVER, 1033));
    EXPECT_EQ(message.owner, startWindow);
    EXPECT_EQ(message.style, static_cast<UINT>(MB_ICONEXCLAMATION | MB_TOPMOST | MB_SETFOREGROUND));
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(startWindow); })) << "the start dialog was not closed";
}

// A server that answered with nothing to use is not called unreachable; a cancelled wait says
// nothing at all.
TEST_F(UpdateThreadTest, AFailedCheckSaysWhatHappened) {
    MakeApp();
    ShowUpdaterDialog();
    StartAndSettle();
    int waits = 1;
    const std::pair<ServerResult, UINT> cases[] = {
        {ServerResult::AnswerUnusable, IDS_MSG_SERVER_ANSWER_UNUSABLE},
        {ServerResult::Failed, IDS_MSG_SERVER_UNREACHABLE},
        {ServerResult::Cancelled, 0}};
    for (const auto& [result, message] : cases) {
        SCOPED_TRACE(ResultCode(result));
        log_->versionResult = result;
        const size_t shown = messages_.Messages().size();
        Signal(kCheckEvent);
        ASSERT_TRUE(WaitForWaits(++waits));
        ASSERT_TRUE(PumpUntil([&] { return updater_->m_bIdle.load() == 1; }));
        if (message == 0) {
            EXPECT_EQ(messages_.Messages().size(), shown);
        } else {
            ASSERT_EQ(messages_.Messages().size(), shown + 1);
            EXPECT_EQ(messages_.Messages().back().text, scup::LoadLangString(message, 1033));
        }
    }
}

// The language's wide and group keys may have nothing on a server that answers them with no
// document; a query of them that was never answered leaves the offer unknown, which is no "up to date".
TEST_F(UpdateThreadTest, AWideOrGroupQueryThatWasNeverAnsweredFailsTheCheck) {
    MakeApp();
    ShowUpdaterDialog();
    StartAndSettle();
    int waits = 1;
    auto rows = [&] {
        return static_cast<int>(
            SendDlgItemMessageW(updater_->GetSafeHwnd(), IDC_UPD_LIST, LVM_GETITEMCOUNT, 0, 0));
    };
    struct Case {
        const wchar_t* key;
        ServerResult result;
        UINT message;  // 0: the check goes on and lists the other keys' entries
        size_t queries;
    };
    const Case cases[] = {{L"ENU_ALL", ServerResult::Failed, IDS_MSG_SERVER_UNREACHABLE, 1},
                          {L"ENU_NAS", ServerResult::Failed, IDS_MSG_SERVER_UNREACHABLE, 2},
                          {L"ENU_NAS", ServerResult::Cancelled, 0, 2},
                          {L"ENU_ALL", ServerResult::AnswerUnusable, 0, 3},
                          {L"ENU_NAS", ServerResult::AnswerUnusable, 0, 3}};
    // A check after a whole one for the same printer is answered from what that one fetched.
    const wchar_t* printers[] = {kPrinter, L"Corvane SC-300"};
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.key)) + " " +
                     std::to_string(ResultCode(c.result)));
        updater_->m_printer.Set(printers[round++ % 2]);
        {
            std::lock_guard lock(log_->mutex);
            log_->keyResults = {{c.key, c.result}};
        }
        const size_t shown = messages_.Messages().size();
        const size_t asked = log_->KeyCount();
        Signal(kCheckEvent);
        ASSERT_TRUE(WaitForWaits(++waits));
        ASSERT_TRUE(PumpUntil([&] { return updater_->m_bIdle.load() == 1; }));
        EXPECT_EQ(log_->KeyCount(), asked + c.queries);
        if (c.message != 0) {
            ASSERT_EQ(messages_.Messages().size(), shown + 1);
            EXPECT_EQ(messages_.Messages().back().text, scup::LoadLangString(c.message, 1033));
            EXPECT_EQ(rows(), 0) << "nothing is listed as if it were the whole offer";
        } else if (c.result == ServerResult::Cancelled) {
            EXPECT_EQ(messages_.Messages().size(), shown);
            EXPECT_EQ(rows(), 0);
        } else {
            EXPECT_EQ(messages_.Messages().size(), shown);
            EXPECT_TRUE(PumpUntil([&] { return rows() == 2; })) << "the other two keys' entries";
        }
    }
}

// The commands come back once, when the check is over: never in its middle, nor while its
// failure is still being told.
TEST_F(UpdateThreadTest, AFailedCheckGivesTheCommandsBackOnlyAfterItsMessage) {
    MakeApp();
    ShowUpdaterDialog();
    StartAndSettle();
    const auto previous =
        scup::SetMessageBoxHandler([this](HWND, const std::wstring& text, const std::wstring&, UINT) {
            steps_.Add(L"message: " + text);
            return IDOK;
        });
    const std::wstring unreachable = L"message: " + scup::LoadLangString(IDS_MSG_SERVER_UNREACHABLE, 1033);
    const std::pair<const char*, std::function<void()>> failures[] = {
        {"a description that could not be fetched", [&] { log_->fileUpdateResult = ServerResult::Failed; }},
        {"an offer that could not be fetched", [&] {
             log_->fileUpdateResult = ServerResult::Success;
             log_->versionResult = ServerResult::Failed;
         }}};
    int waits = 1;
    for (const auto& [what, fail] : failures) {
        SCOPED_TRACE(what);
        fail();
        ASSERT_TRUE(PumpUntil([&] { return updater_->m_bIdle.load() == 1; }));
        steps_.Clear();
        Signal(kCheckEvent);
        ASSERT_TRUE(WaitForWaits(++waits));
        EXPECT_EQ(steps_.Steps(), (std::vector<std::wstring>{L"busy", unreachable, L"ready"}));
    }
    scup::SetMessageBoxHandler(previous);
}

TEST_F(UpdateThreadTest, UnreachableServerAtStartWarnsRightToLeftForArabic) {
    log_->initResult = ServerResult::Failed;
    MakeApp(true, L"1025");
    ShowStartDialog();
    StartAndSettle();
    EXPECT_EQ(app_->Language(), 1025);
    EXPECT_EQ(log_->KeyCount(), 0u);  // no version check without a server
    ASSERT_EQ(messages_.Messages().size(), 1u);
    const CapturedMessage message = messages_.Messages()[0];
    EXPECT_EQ(message.text, scup::LoadLangString(IDS_MSG_SERVER_UNREACHABLE, 1025));
    EXPECT_EQ(message.style, static_cast<UINT>(MB_ICONEXCLAMATION) | 0x1d0000u);
    EXPECT_EQ(message.owner, start_->GetSafeHwnd());
    EXPECT_EQ(start_->m_bIdle.load(), 1);
}

TEST_F(UpdateThreadTest, CheckWithoutServerWarnsAndIsReadyAgain) {
    log_->initResult = ServerResult::Failed;
    MakeApp();
    ShowUpdaterDialog();
    StartAndSettle();
    Signal(kCheckEvent);
    ASSERT_TRUE(WaitForWaits(2));
    // At start-up there is no start dialog to own the warning: a plain box. The check's belongs to the
    // dialog.
    ASSERT_EQ(messages_.Messages().size(), 2u);
    EXPECT_EQ(messages_.Messages()[0].owner, nullptr);
    EXPECT_EQ(messages_.Messages()[0].style, static_cast<UINT>(MB_TOPMOST | MB_SETFOREGROUND));
    EXPECT_EQ(messages_.Messages()[1].owner, updater_->GetSafeHwnd());
    EXPECT_EQ(messages_.Messages()[1].style,
              static_cast<UINT>(MB_ICONEXCLAMATION | MB_TOPMOST | MB_SETFOREGROUND));
    EXPECT_EQ(messages_.Messages()[1].text, scup::LoadLangString(IDS_MSG_SERVER_UNREACHABLE, 1033));
    EXPECT_TRUE(PumpUntil([&] { return updater_->m_bIdle.load() == 1; }));
}

}  // namespace

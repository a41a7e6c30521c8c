// Firmware transfers to the simulated printer over the real serial path, as the program makes
// them: the confirmation and progress dialogs are real windows that a user answers from another
// thread, the messages are kept, and the printer's command log shows what went over the line.
// run_with_printer.sh seeds the printer with FIRMWAREA (type 6, 1.00, ENG_USA) and FONTS (type 3,
// 2.10, JPN_JPN).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <regex>
#include <set>
#include <thread>

#include "FirmwareTestSupport.h"
#include "common/Handles.h"
#include "common/LangResources.h"
#include "common/MainThreadCalls.h"
#include "common/Profile.h"
#include "common/Text.h"
#include "install/FirmTransfer.h"
#include "install/InstallDialogs.h"
#include "install/PowerCheck.h"
#include "install/PrintQueue.h"
#include "install/StoredFileQuery.h"
#include "local/PrinterDriver.h"
#include "res/firmware_ids.h"
#include "ui/TrProgressDlg.h"

namespace firmware_test {
namespace {

using port_test::Fnv1a;

std::string FnvText(const Bytes& data) {
    char text[16];
    std::snprintf(text, sizeof text, "fnv=0x%08X", Fnv1a(data));
    return text;
}

bool Stored(const std::vector<std::string>& log, const std::string& name, const Bytes& data) {
    for (const std::string& line : log)
        if (line.rfind("stored name=" + name + " ", 0) == 0 && line.find(FnvText(data)) != std::string::npos)
            return true;
    return false;
}

// The whole road of a transfer of two files with their rows, for the printers with 128-byte and
// 64-byte records and for the printer that answers in pieces.
class CTwoRowTransfer : public CTransferTest {
  protected:
    void TransferTwoRowsAndCheck(const std::wstring& firstPath, const Bytes& firstData,
                                 const std::wstring& secondPath, const Bytes& secondData) {
        SAUItemRecord main = RowFor(L"Main firmware", L"2.00", L"SC-200");
        SAUItemRecord fonts = RowFor(L"Fonts{cl} Japanese", L"2.20", L"SC-200");
        const std::vector<const SAUItemRecord*> rows{&main, &fonts};

        EXPECT_EQ(Transfer({firstPath, secondPath}, {L"FIRMWAREA_ENG_USA", L""}, &rows), kFirmTransferSent);

        ASSERT_EQ(Messages().size(), 1u);
        EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_FIRMWARE_UPDATED));
        EXPECT_EQ(Messages()[0].style, MB_OK | MB_ICONINFORMATION | kTopMost);
        EXPECT_EQ(saw_.confirmations, 1);
        // What the worker gave the progress dialog last: the second row, its whole share, the 100 % at
        // which the dialog hands over to the device dialog.
        const scup::STrProgressState& state = scup::CTrProgressDlg::State();
        EXPECT_EQ(state.CurrentName(), L"Fonts{cl} Japanese");
        EXPECT_EQ(state.lastPercentage.load(), 100);
        EXPECT_EQ(state.doneWeight.load(), state.totalWeight.load());
        EXPECT_EQ(state.cancelEnabled.load(), 1) << "small files below the cancel limit may be cancelled";

        const std::vector<std::string> log = NewLog();
        EXPECT_TRUE(Stored(log, "FIRMWAREA", firstData));
        EXPECT_TRUE(Stored(log, "FONTS", secondData));
        EXPECT_LT(FindLine(log, "command I"), FindLine(log, "command D")) << "the worker announces itself";

        // One record per file, in order: the row's texts, the header's firmware texts.
        const std::wregex record(
            L"Info\\(Category=FIRM,Title=([^,]*),Version=([^,]*),Date=[^,]*,Printer=([^,]*),Language=1041,"
            L"FirmName=([^,]*),FirmSpec=([^,]*),FirmVersion=([^)]*)\\)");
        const std::wstring shape = HistoryShape();
        std::vector<std::vector<std::wstring>> records;
        for (std::wsregex_iterator it(shape.begin(), shape.end(), record), end; it != end; ++it)
            records.push_back({(*it)[1], (*it)[2], (*it)[3], (*it)[4], (*it)[5], (*it)[6]});
        ASSERT_EQ(records.size(), 2u) << scup::ToUtf8(shape);
        EXPECT_EQ(records[0], (std::vector<std::wstring>{L"Main firmware", L"2.00", L"SC-200", L"FIRMWAREA",
                                                         L"ENG_USA", L"2.00"}));
        EXPECT_EQ(records[1][0], L"Fonts{cl} Japanese") << "the history keeps the row's title as it came";
        EXPECT_EQ(records[1][3], L"FONTS");
    }
};

class Transfer128 : public CTwoRowTransfer {};
class Transfer64 : public CTwoRowTransfer {};
class SplitStatusTransfer : public CTwoRowTransfer {};
class VaryingPrinter : public CTwoRowTransfer {};
class FileChecks : public CTransferTest {};

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

TEST_F(Transfer128, TwoFilesWithTheirRowsAreStoredAndRecorded) {
    const SFirmware main{
        .name = "FIRMWAREA", .spec = "ENG_USA", .version = "2.00", .type = 6, .dataLength = 3000};
    const SFirmware fonts{
        .name = "FONTS", .spec = "JPN_JPN", .version = "2.20", .type = 3, .dataLength = 1300, .seed = 2};
    TransferTwoRowsAndCheck(Firmware(main), FirmwareData(main), Firmware(fonts), FirmwareData(fonts));

    // A type 6 file with a spec code is checked against what the printer holds first.
    const std::vector<std::string> log = NewLog();
    EXPECT_LT(FindLine(log, "command l"), FindLine(log, "command D"));

    // The printer now lists the new version.
    std::vector<tagScTrFileHeader> stored;
    ASSERT_TRUE(QueryStoredFiles(Wide(port_test::PrinterName()), stored));
    ASSERT_GE(stored.size(), 2u);
    EXPECT_EQ(stored[0].Name(), "FIRMWAREA");
    EXPECT_EQ(stored[0].Version(), "2.00");
    EXPECT_EQ(stored[1].Version(), "2.20");
}

TEST_F(Transfer128, ACreditOf1300GoesAs512And512And276EachAfterItsLength) {
    const SFirmware file{.name = "CREDITS", .spec = "", .type = 4, .dataLength = 3000, .seed = 3};
    EXPECT_EQ(Transfer({Firmware(file)}), kFirmTransferSent);
    const std::vector<std::string> log = NewLog();
    const std::size_t header = FindLine(log, "header name=CREDITS");
    ASSERT_NE(header, std::string::npos);
    EXPECT_NE(log[header].find("accepted credit=1300"), std::string::npos);
    std::vector<std::string> pieces;
    for (std::size_t i = header + 1; i < log.size() && log[i].rfind("piece ", 0) == 0; ++i)
        pieces.push_back(log[i]);
    EXPECT_EQ(pieces, (std::vector<std::string>{"piece 512", "piece 512", "piece 276", "piece 512",
                                                "piece 512", "piece 276", "piece 400"}));
    EXPECT_TRUE(Stored(log, "CREDITS", FirmwareData(file)));
    EXPECT_EQ(HistoryShape(), L"") << "a file without a row leaves no history entry";
}

TEST_F(Transfer128, WithoutRowsTheFileIsNamedAfterItsPath) {
    const SFirmware file{.name = "PATHNAME", .type = 4, .dataLength = 600, .seed = 4};
    EXPECT_EQ(Transfer({Firmware(file)}), kFirmTransferSent);
    EXPECT_EQ(scup::CTrProgressDlg::State().CurrentName(), L"PATHNAME-4");
    EXPECT_EQ(scup::CTrProgressDlg::State().rightToLeft.load(), 0);
}

TEST_F(Transfer128, ThePrinterAsksForTheModeCheckWhenItsDriverSaysSo) {
    testing_support::SimulatedPC pc;
    pc.SetDriverValue(kDriver, L"TransferChangeCmd", 1);
    const SFirmware file{.name = "MODECHK", .type = 4, .dataLength = 700, .seed = 5};
    EXPECT_EQ(Transfer({Firmware(file)}), kFirmTransferSent);
    EXPECT_TRUE(LastTransferUsedModeCheck());
    const std::vector<std::string> log = NewLog();
    ASSERT_NE(FindLine(log, "command M"), std::string::npos);
    EXPECT_LT(FindLine(log, "command M"), FindLine(log, "command D"));
}

TEST_F(Transfer128, DecliningTheConfirmationSendsNothing) {
    const SFirmware file{.name = "DECLINED", .type = 4, .dataLength = 700};
    EXPECT_EQ(Transfer({Firmware(file)}, {}, nullptr, SUserPlan{.confirm = false}), kFirmTransferNothingSent);
    EXPECT_EQ(saw_.confirmations, 1);
    EXPECT_TRUE(Messages().empty());
    EXPECT_TRUE(NewLog().empty()) << "nothing may reach the printer";
}

// A portable PC on its battery below the threshold is plugged in before anything is asked or sent.
class LowBattery : public Transfer128 {
  protected:
    void SetUp() override {
        Transfer128::SetUp();
        scup::SetPowerStatusSource([this](SYSTEM_POWER_STATUS& status) {
            status = {};
            status.ACLineStatus = looks_++ < onBatteryLooks_ ? 0 : 1;
            status.BatteryLifePercent = 10;
            return true;
        });
    }
    void TearDown() override {
        scup::SetPowerStatusSource({});
        scup::WriteMachineSettingText(L"BatteryThreshold", L"");
        Transfer128::TearDown();
    }
    std::atomic<int> looks_{0};
    int onBatteryLooks_ = 1000;
};

TEST_F(LowBattery, ThePCIsPluggedInOnRetryAndThenTheTransferIsConfirmedAndSent) {
    onBatteryLooks_ = 1;
    const SFirmware file{.name = "PLUGGED", .type = 4, .dataLength = 700};
    testing_support::MessageBoxCapture retry(IDRETRY);
    EXPECT_EQ(Transfer({Firmware(file)}), kFirmTransferSent);
    const auto boxes = retry.Messages();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, Text(IDS_MSG_BATTERY_LOW));
    EXPECT_EQ(boxes[0].style, MB_RETRYCANCEL | MB_ICONWARNING | kTopMost);
    EXPECT_EQ(boxes[1].text, Text(IDS_MSG_FIRMWARE_UPDATED));
    EXPECT_EQ(saw_.confirmations, 1);
}

TEST_F(LowBattery, GivingUpAsksNothingMoreAndSendsNothing) {
    const SFirmware file{.name = "UNPLUGGED", .type = 4, .dataLength = 700};
    EXPECT_EQ(Transfer({Firmware(file)}), kFirmTransferNothingSent);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_BATTERY_LOW));
    EXPECT_EQ(saw_.confirmations, 0);
    EXPECT_TRUE(NewLog().empty()) << "nothing may reach the printer";
}

TEST_F(LowBattery, TheMachineWideThresholdDecidesAndZeroTurnsTheCheckOff) {
    EXPECT_EQ(scup::BatteryThreshold(), 25);
    EXPECT_FALSE(scup::PowerEnoughForTransfer()) << "10 % is below the default 25 %";
    ASSERT_TRUE(scup::WriteMachineSettingText(L"BatteryThreshold", L"10"));
    EXPECT_TRUE(scup::PowerEnoughForTransfer()) << "at the threshold";
    ASSERT_TRUE(scup::WriteMachineSettingText(L"BatteryThreshold", L"0"));
    EXPECT_TRUE(scup::PowerEnoughForTransfer());
    for (const wchar_t* unusable : {L"ten", L"101", L"-5", L"12.5"}) {
        ASSERT_TRUE(scup::WriteMachineSettingText(L"BatteryThreshold", unusable));
        EXPECT_EQ(scup::BatteryThreshold(), 25) << unusable;
    }
    // A PC that cannot tell its charge, or says it runs on mains, is not held back.
    scup::SetPowerStatusSource([](SYSTEM_POWER_STATUS& status) {
        status = {};
        status.BatteryLifePercent = 255;
        return true;
    });
    EXPECT_TRUE(scup::PowerEnoughForTransfer());
    scup::SetPowerStatusSource([](SYSTEM_POWER_STATUS&) { return false; });
    EXPECT_TRUE(scup::PowerEnoughForTransfer());
}

// The printer's queue as the spooler shows it: its jobs, whether it prints, and every pause and
// resume asked of it, with the simulator's log mark at each (what had reached the printer by then).
// Wine's spooler counts no jobs and refuses to pause a queue (SetPrinter with level 0 gives
// ERROR_INVALID_LEVEL), so the queue is this stand-in, written from the winspool contract.
struct SQueueScript {
    std::mutex mutex;
    int busyLooks = 0;  // looks at the queue that find a job in it, before it empties
    bool printing = false;
    bool paused = false;
    // Looks at the paused queue that find a job printing still (one sent before the pause).
    int printingLooksWhilePaused = 0;
    bool pauseRefused = false;
    bool resumeRefused = false;
    std::vector<std::pair<std::string, std::size_t>> calls;
    std::wstring printer;
};

class CScriptedQueue : public scup::IPrintQueue {
  public:
    CScriptedQueue(SQueueScript& script, std::wstring printer) : m_script(script) {
        std::lock_guard lock(m_script.mutex);
        m_script.printer = std::move(printer);
    }
    scup::SPrintQueueState State() override {
        std::lock_guard lock(m_script.mutex);
        scup::SPrintQueueState state;
        state.known = true;
        state.jobs = m_script.busyLooks > 0 ? 1 : 0;
        if (m_script.busyLooks > 0) --m_script.busyLooks;
        state.printing = m_script.printing;
        state.paused = m_script.paused;
        if (m_script.paused && m_script.printingLooksWhilePaused > 0) {
            state.printing = true;
            --m_script.printingLooksWhilePaused;
        }
        return state;
    }
    bool Pause() override { return Record("pause", !m_script.pauseRefused, true); }
    bool Resume() override { return Record("resume", !m_script.resumeRefused, false); }

  private:
    bool Record(const char* what, bool done, bool pausedAfter) {
        std::lock_guard lock(m_script.mutex);
        m_script.calls.emplace_back(what, LogMark());
        if (done) m_script.paused = pausedAfter;
        return done;
    }
    SQueueScript& m_script;
};

class BusyPrinter : public Transfer128 {
  protected:
    void SetUp() override {
        Transfer128::SetUp();
        scup::SetPrintQueueSource([this](const std::wstring& printer) {
            return std::make_unique<CScriptedQueue>(queue_, printer);
        });
    }
    void TearDown() override {
        scup::SetPrintQueueSource({});
        scup::WriteProfileText(scup::kSettingsSection, L"PausedQueue", L"");
        Transfer128::TearDown();
    }
    std::vector<std::string> Calls() {
        std::lock_guard lock(queue_.mutex);
        std::vector<std::string> names;
        for (const auto& call : queue_.calls) names.push_back(call.first);
        return names;
    }
    static std::wstring PauseMark() {
        return scup::GetProfileText(scup::kSettingsSection, L"PausedQueue", L"");
    }
    // The simulated printer's queue, the one the firmware goes to.
    static std::wstring Printer() {
        const std::string name = port_test::PrinterName();
        return std::wstring(name.begin(), name.end());
    }
    SQueueScript queue_;
};

// A job waiting in the queue, or one sent to the printer just before its queue was held and still
// printing: the transfer waits for the user's Retry, and the queue stays paused while it runs.
TEST_F(BusyPrinter, AJobInTheQueueOrStillPrintingOnceItIsHeldHoldsTheTransferBackUntilRetry) {
    for (const bool stillPrinting : {false, true}) {
        SCOPED_TRACE(stillPrinting ? "still printing once held" : "waiting in the queue");
        queue_.calls.clear();
        queue_.busyLooks = stillPrinting ? 0 : 1;
        queue_.printingLooksWhilePaused = stillPrinting ? 1 : 0;
        const SFirmware file{.name = stillPrinting ? "LATEJOB" : "QUEUED", .type = 4, .dataLength = 700};
        testing_support::MessageBoxCapture retry(IDRETRY);
        const std::size_t before = LogMark();
        EXPECT_EQ(Transfer({Firmware(file)}), kFirmTransferSent);
        const auto boxes = retry.Messages();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].text, Text(IDS_MSG_PRINTER_BUSY));
        EXPECT_EQ(boxes[0].style, MB_RETRYCANCEL | MB_ICONWARNING | kTopMost);
        EXPECT_EQ(boxes[1].text, Text(IDS_MSG_FIRMWARE_UPDATED));
        ASSERT_EQ(Calls(), (std::vector<std::string>{"pause", "resume"}));
        EXPECT_EQ(queue_.printer, Printer()) << "the queue of the printer the firmware went to";
        // Nothing had reached the printer at the pause; everything had by the resume.
        EXPECT_EQ(queue_.calls[0].second, before);
        EXPECT_EQ(queue_.calls[1].second, LogMark());
        EXPECT_GT(queue_.calls[1].second, before);
        EXPECT_EQ(PauseMark(), L"");
    }
}

// A queue that whoever manages the printer has paused holds its documents back already: the
// transfer goes, and the queue stays as it was found.
TEST_F(BusyPrinter, AQueuePausedAlreadyIsNeitherPausedNorResumed) {
    queue_.paused = true;
    queue_.busyLooks = 100;
    const SFirmware file{.name = "HELDBACK", .type = 4, .dataLength = 700};
    EXPECT_EQ(Transfer({Firmware(file)}), kFirmTransferSent);
    EXPECT_TRUE(Calls().empty());
    EXPECT_TRUE(queue_.paused);
    EXPECT_EQ(PauseMark(), L"");
}

TEST_F(BusyPrinter, GivingUpOnAPrinterThatPrintsSendsNothingAndPausesNothing) {
    queue_.printing = true;
    const SFirmware file{.name = "PRINTING", .type = 4, .dataLength = 700};
    EXPECT_EQ(Transfer({Firmware(file)}), kFirmTransferNothingSent);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_PRINTER_BUSY));
    EXPECT_TRUE(Calls().empty());
    EXPECT_TRUE(NewLog().empty()) << "nothing may reach the printer";
}

TEST_F(BusyPrinter, TheQueueIsResumedWhenTheTransferFailsAndAQueueThatCannotPauseStillGetsIt) {
    // Refused once the printer is open: its region is another.
    const SFirmware file{.name = "FIRMWAREA", .spec = "ENG_GBR", .type = 6, .dataLength = 700};
    EXPECT_EQ(Transfer({Firmware(file)}), kFirmTransferFailed);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_NE(Messages()[0].text.find(Text(IDS_MSG_SPEC_MISMATCH).substr(0, 20)), std::wstring::npos);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"pause", "resume"}));
    EXPECT_EQ(PauseMark(), L"");

    // A user without the right to manage the printer: the empty queue was the guard.
    queue_.calls.clear();
    queue_.pauseRefused = true;
    const SFirmware second{.name = "UNPAUSED", .type = 4, .dataLength = 700};
    EXPECT_EQ(Transfer({Firmware(second)}), kFirmTransferSent);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"pause"}));
    EXPECT_EQ(PauseMark(), L"");
}

TEST_F(BusyPrinter, APauseLeftBehindIsResumedAtTheNextStartAndRemembersUntilItIs) {
    // A queue that could not be resumed keeps its mark, as does a run that never got to resume.
    queue_.resumeRefused = true;
    const SFirmware file{.name = "STUCK", .type = 4, .dataLength = 700};
    EXPECT_EQ(Transfer({Firmware(file)}), kFirmTransferSent);
    EXPECT_EQ(PauseMark(), Printer());

    queue_.calls.clear();
    scup::ResumeQueueLeftPaused();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"resume"}));
    EXPECT_EQ(PauseMark(), Printer()) << "refused again: tried at the start after";

    queue_.calls.clear();
    queue_.resumeRefused = false;
    scup::ResumeQueueLeftPaused();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"resume"}));
    EXPECT_EQ(queue_.printer, Printer());
    EXPECT_EQ(PauseMark(), L"");
    queue_.calls.clear();
    scup::ResumeQueueLeftPaused();
    EXPECT_TRUE(Calls().empty()) << "nothing is left to resume";

    // Another queue still left paused keeps its mark through a transfer to this one.
    scup::WriteProfileText(scup::kSettingsSection, L"PausedQueue", L"Corvane SC-300 Office");
    const SFirmware second{.name = "BESIDE", .type = 4, .dataLength = 700};
    EXPECT_EQ(Transfer({Firmware(second)}), kFirmTransferSent);
    EXPECT_EQ(PauseMark(), L"Corvane SC-300 Office");
    queue_.calls.clear();
    scup::ResumeQueueLeftPaused();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"resume"}));
    EXPECT_EQ(queue_.printer, L"Corvane SC-300 Office");
    EXPECT_EQ(PauseMark(), L"");
}

// An install run on the update thread: the confirmation opens on the main thread, owned by the
// main window there, which therefore takes no input while it is open.
TEST_F(Transfer128, FromAnotherThreadTheConfirmationOpensOnTheMainThreadOwnedByTheMainWindow) {
    scup::CMainThreadCalls windowsHere;
    HWND main = CreateWindowExW(0, L"STATIC", L"ScUpdater", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(main);
    const SInstallDialogs standard = InstallDialogs();
    std::atomic<HWND> owner{nullptr};
    std::atomic<DWORD> askedOn{0};
    SInstallDialogs dialogs = standard;
    dialogs.mainWindow = [main] { return main; };
    dialogs.confirmTransfer = [&](LANGID, HWND given) {
        owner = given;
        askedOn = GetCurrentThreadId();
        return false;
    };
    SetInstallDialogs(OpenedOnMainThread(dialogs));

    const std::wstring file = Firmware({.name = "OWNED", .type = 4, .dataLength = 700});
    scup::UniqueHandle ended(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<int> result{-1};
    std::thread install([&] {
        result = TransferFirmware(kDriver, {}, {file}, nullptr);
        SetEvent(ended.get());
    });
    EXPECT_TRUE(scup::WaitTakingCalls(ended.get(), 60000)) << "the transfer ended";
    install.join();
    SetInstallDialogs(standard);
    DestroyWindow(main);

    EXPECT_EQ(result.load(), kFirmTransferNothingSent);
    EXPECT_EQ(askedOn.load(), GetCurrentThreadId());
    EXPECT_EQ(owner.load(), main);
    EXPECT_TRUE(NewLog().empty()) << "nothing may reach the printer";
}

TEST_F(Transfer128, AFileForARegionThePrinterIsNotSetUpForIsRefusedWith1462) {
    const SFirmware file{.name = "FIRMWAREA", .spec = "ENG_GBR", .type = 6, .dataLength = 700};
    EXPECT_EQ(Transfer({Firmware(file)}), kFirmTransferFailed);
    ASSERT_EQ(Messages().size(), 1u);
    std::wstring expected = Text(IDS_MSG_SPEC_MISMATCH);
    expected.replace(expected.find(L"%s"), 2, L"GBR");
    expected.replace(expected.find(L"%s"), 2, L"USA");
    EXPECT_EQ(Messages()[0].text, expected);
    EXPECT_EQ(Messages()[0].style, MB_OK | MB_ICONERROR | kTopMost);
    const std::vector<std::string> log = NewLog();
    EXPECT_NE(FindLine(log, "command l"), std::string::npos);
    EXPECT_EQ(FindLine(log, "command D"), std::string::npos);
}

TEST_F(Transfer128, AFileThePrinterRefusesEndsWith7AndTheFailureMessage) {
    const SFirmware empty{.name = "NODATA", .type = 4, .dataLength = 0};
    EXPECT_EQ(Transfer({Firmware(empty)}), kFirmTransferFailed);
    EXPECT_EQ(LastTransferResult(), 7);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_TRANSFER_FAILED));
    EXPECT_EQ(Messages()[0].style, MB_OK | kTopMost);
    EXPECT_NE(FindLine(NewLog(), "header name=NODATA"), std::string::npos);
}

TEST_F(Transfer128, NoOnlinePrinterOffersRetryUntilTheUserGivesUp) {
    testing_support::SimulatedPC pc;
    pc.AddFamilyPrinter(L"ScFilo Offline", L"Corvane QL-OFFLINE", port_test::PrinterModel(),
                        kPrinterWorkOffline);
    const SFirmware file{.name = "OFFLINE", .type = 4, .dataLength = 700};
    CUserAtScreen user(GetCurrentThreadId(), SUserPlan{.retries = 1});
    EXPECT_EQ(TransferFirmware(L"Corvane QL-OFFLINE", {}, {Firmware(file)}, nullptr),
              kFirmTransferNothingSent);
    const SUserSaw saw = user.Stop();
    EXPECT_EQ(saw.confirmations, 1);
    EXPECT_EQ(saw.communicationFailures, 2);
    EXPECT_TRUE(NewLog().empty());
}

TEST_F(FileChecks, AFileForAnotherModelIsLeftOutQuietly) {
    const SFirmware other{.name = "OTHER", .type = 4, .dataLength = 700, .model = 0x1234};
    const SFirmware ours{.name = "OURS", .type = 4, .dataLength = 700, .seed = 6};
    EXPECT_EQ(Transfer({Firmware(other), Firmware(ours)}), kFirmTransferSent);
    ASSERT_EQ(Messages().size(), 1u) << "only the outcome is told";
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_FIRMWARE_UPDATED));
    const std::vector<std::string> log = NewLog();
    EXPECT_EQ(FindLine(log, "header name=OTHER"), std::string::npos);
    EXPECT_TRUE(Stored(log, "OURS", FirmwareData(ours)));
}

TEST_F(FileChecks, WhenNoFileIsLeftMessage1466EndsTheRunBeforeAnythingIsAsked) {
    const SFirmware other{.name = "OTHER", .type = 4, .dataLength = 700, .model = 0x1234};
    EXPECT_EQ(Transfer({Firmware(other)}), kFirmTransferNothingSent);
    EXPECT_EQ(saw_.confirmations, 0);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_NO_FIRMWARE_FILE));
    EXPECT_EQ(Messages()[0].style, MB_OK | MB_ICONERROR | kTopMost);
    EXPECT_TRUE(NewLog().empty());
}

// Broken headers are bad files: dropped like a file of another model, never read past their end.
TEST_F(FileChecks, BadHeadersAreLeftOutLikeAFileOfAnotherModel) {
    const SFirmware shortLength{.name = "SHORT", .type = 4, .dataLength = 100, .headerLength = 63};
    const SFirmware longLength{.name = "LONG", .type = 4, .dataLength = 100, .headerLength = 129};
    const SFirmware truncated{.name = "CUT", .type = 4, .dataLength = 5000};
    const std::vector<std::wstring> bad{Firmware(shortLength), Firmware(longLength), Firmware(truncated, 100),
                                        WriteFile(scratch_, L"TINY.pd3", Bytes(20, 0x40))};
    EXPECT_EQ(Transfer(bad), kFirmTransferNothingSent);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_NO_FIRMWARE_FILE));
    EXPECT_TRUE(NewLog().empty());

    std::vector<std::wstring> mixed = bad;
    const SFirmware good{.name = "GOOD", .type = 4, .dataLength = 100, .headerLength = 64, .seed = 7};
    mixed.push_back(Firmware(good));
    EXPECT_EQ(Transfer(mixed), kFirmTransferSent);
    const std::vector<std::string> log = NewLog();
    EXPECT_EQ(CountLines(log, "header name="), 1);
    EXPECT_TRUE(Stored(log, "GOOD", FirmwareData(good)));
}

TEST_F(FileChecks, AnInstallNameMustBeTheFilesNameAndRegion) {
    const SFirmware main{.name = "FIRMWAREA", .spec = "ENG_USA", .type = 4, .dataLength = 700, .seed = 8};
    const std::wstring path = Firmware(main);
    EXPECT_EQ(Transfer({path}, {L"FIRMWAREA_ENG_GBR"}), kFirmTransferNothingSent);
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_FILE_NOT_FOR_UPDATE));
    EXPECT_EQ(Messages()[0].style, static_cast<UINT>(MB_OK)) << "a plain box: no icon, not top-most";
    EXPECT_EQ(Messages()[1].text, Text(IDS_MSG_NO_FIRMWARE_FILE));
    EXPECT_EQ(saw_.confirmations, 0);

    EXPECT_EQ(Transfer({path}, {L"FIRMWAREA_ENG_USA"}), kFirmTransferSent);
    EXPECT_EQ(Transfer({path}, {L""}), kFirmTransferSent) << "an empty install name is accepted";
    // Without a spec code there is nothing to compare.
    const SFirmware plain{.name = "PLAIN", .type = 4, .dataLength = 100, .headerLength = 64, .seed = 9};
    EXPECT_EQ(Transfer({Firmware(plain)}, {L"SOMETHING_ELSE"}), kFirmTransferSent);
    EXPECT_EQ(Messages().size(), 5u);
}

// A row whose file the transfer left out was not updated, though the rest of the set went through.
TEST_F(FileChecks, OnlyTheRowsWhoseFilesWentAndWereListedCountAsConfirmed) {
    const SFirmware sent{.name = "FIRMWAREA", .spec = "ENG_USA", .version = "2.00", .type = 6, .seed = 10};
    const SFirmware left{.name = "FONTS", .spec = "JPN_JPN", .version = "2.20", .type = 3, .seed = 11};
    SAUItemRecord main = RowFor(L"Main firmware", L"2.00");
    main.info.strId = L"FP-MAIN";
    main.info.strSpec = L"ENG_USA";
    SAUItemRecord fonts = RowFor(L"Fonts", L"2.20");
    fonts.info.strId = L"FP-FONTS";
    fonts.info.strSpec = L"JPN_JPN";
    const std::vector<const SAUItemRecord*> rows{&main, &fonts};
    EXPECT_EQ(Transfer({Firmware(sent), Firmware(left)}, {L"FIRMWAREA_ENG_USA", L"FONTS_JPN_GBR"}, &rows),
              kFirmTransferSent);
    EXPECT_TRUE(LastTransferConfirmed());
    EXPECT_TRUE(LastTransferConfirmed(main.info));
    EXPECT_FALSE(LastTransferConfirmed(fonts.info)) << "its file was not the row's own and was not sent";
}

TEST_F(FileChecks, RightToLeftLanguagesGetRightToLeftMessages) {
    language_ = 1025;
    const SFirmware main{.name = "FIRMWAREA", .spec = "ENG_USA", .type = 4, .dataLength = 700};
    EXPECT_EQ(Transfer({Firmware(main)}, {L"FIRMWAREA_ARA_SAU"}), kFirmTransferNothingSent);
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_EQ(Messages()[0].text, scup::LoadLangString(IDS_MSG_FILE_NOT_FOR_UPDATE, 1025));
    EXPECT_EQ(Messages()[0].style, static_cast<UINT>(MB_OK | MB_RTLREADING | MB_RIGHT));
    EXPECT_EQ(Messages()[1].style,
              static_cast<UINT>(MB_OK | MB_ICONERROR | kTopMost | MB_RTLREADING | MB_RIGHT));
}

TEST_F(Transfer64, TwoFilesWithTheirRowsAreStoredAndRecorded) {
    // The region check reads the printer's short list.
    const SFirmware main{
        .name = "FIRMWAREA", .spec = "ENG_USA", .version = "2.00", .type = 6, .dataLength = 3000};
    const SFirmware fonts{
        .name = "FONTS", .spec = "", .type = 3, .dataLength = 1300, .headerLength = 64, .seed = 2};
    TransferTwoRowsAndCheck(Firmware(main), FirmwareData(main), Firmware(fonts), FirmwareData(fonts));
    const std::vector<std::string> log = NewLog();
    EXPECT_LT(FindLine(log, "command L"), FindLine(log, "command D"));
}

TEST_F(SplitStatusTransfer, StatusRepliesInPiecesOf10And10And12AreGathered) {
    const SFirmware main{
        .name = "FIRMWAREA", .spec = "ENG_USA", .version = "2.00", .type = 6, .dataLength = 3000};
    const SFirmware fonts{.name = "FONTS", .spec = "JPN_JPN", .type = 3, .dataLength = 1300, .seed = 2};
    TransferTwoRowsAndCheck(Firmware(main), FirmwareData(main), Firmware(fonts), FirmwareData(fonts));
}

// Started with --credit 300-5000 --vary-delays --seed 7: every status grants a credit of its own
// and every reply, the mode check's too, takes a time of its own within what the program waits.
TEST_F(VaryingPrinter, CreditsAndReplyTimesThatVaryAreFollowed) {
    testing_support::SimulatedPC pc;
    pc.SetDriverValue(kDriver, L"TransferChangeCmd", 1);
    const SFirmware main{
        .name = "FIRMWAREA", .spec = "ENG_USA", .version = "2.00", .type = 6, .dataLength = 30000};
    const SFirmware fonts{.name = "FONTS", .spec = "JPN_JPN", .type = 3, .dataLength = 13000, .seed = 2};
    TransferTwoRowsAndCheck(Firmware(main), FirmwareData(main), Firmware(fonts), FirmwareData(fonts));

    // A piece shorter than 512 bytes ends a credit: several lengths of them mean several credits.
    std::set<int> creditEnds;
    for (const std::string& line : NewLog()) {
        if (line.rfind("piece ", 0) != 0) continue;
        const int length = std::stoi(line.substr(6));
        EXPECT_LE(length, 512) << line;
        if (length < 512) creditEnds.insert(length);
    }
    EXPECT_GE(creditEnds.size(), 3u);
}

}  // namespace
}  // namespace firmware_test

// Printers that refuse, fall silent, are slow to answer or to store a file, hang up, or are
// cancelled: each transfer ends in its time with the code and message that say what happened,
// and a history entry only for what the printer stored. Each suite runs against a simulator
// started with the misbehaviour it names (firmware_tests.cmake).
#include <gtest/gtest.h>

#include "FirmwareTestSupport.h"
#include "install/FirmTransfer.h"
#include "install/StoredFileQuery.h"
#include "res/firmware_ids.h"
#include "ui/TrProgressDlg.h"
#include "unit/DialogDriver.h"

namespace firmware_test {
namespace {

class RefusingPrinter : public CTransferTest {};
class SilentPrinter : public CTransferTest {};
class SlowToStorePrinter : public CTransferTest {};
class SlowToStoreALongFile : public CTransferTest {};
class SlowModePrinter : public CTransferTest {};
class RefusingMidway : public CTransferTest {};
class CancelledTransfer : public CTransferTest {};
class TwoPrinters : public CTransferTest {};
class OldVersionPrinter : public CTransferTest {};

ULONGLONG Elapsed(ULONGLONG since) { return GetTickCount64() - since; }

// Started with --refuse: every status says no, in the kind that means "not in this state".
TEST_F(RefusingPrinter, ARefusalInThePrintersStateGives17AndMessage1455) {
    const SFirmware file{.name = "REFUSED", .type = 4, .dataLength = 700};
    SAUItemRecord row = RowFor(L"Refused firmware", L"2.00");
    const std::vector<const SAUItemRecord*> rows{&row};
    EXPECT_EQ(Transfer({Firmware(file)}, {}, &rows), kFirmTransferFailed);
    EXPECT_EQ(LastTransferResult(), 17);
    ASSERT_EQ(Messages().size(), 1u) << "the run ends at the refusing printer";
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_PRINTER_NOT_READY));
    EXPECT_EQ(Messages()[0].style, MB_OK | kTopMost);
    EXPECT_EQ(HistoryShape(), L"");
}

TEST_F(RefusingPrinter, ARefusedModeCheckEndsTheRunBeforeAnyDownload) {
    testing_support::SimulatedPC pc;
    pc.SetDriverValue(kDriver, L"TransferChangeCmd", 1);
    const SFirmware file{.name = "MODEREF", .type = 4, .dataLength = 700};
    EXPECT_EQ(Transfer({Firmware(file)}), kFirmTransferFailed);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_TRANSFER_FAILED));
    EXPECT_EQ(Messages()[0].style, static_cast<UINT>(MB_OK)) << "a plain box";
    const std::vector<std::string> log = NewLog();
    EXPECT_NE(FindLine(log, "command M"), std::string::npos);
    EXPECT_EQ(FindLine(log, "command D"), std::string::npos);
}

// Started with --keep-old-version: the printer takes the file and says so, but goes on listing the
// version it had. The transfer's own result is no proof: the update failed and is not recorded.
TEST_F(OldVersionPrinter, APrinterThatStillListsItsOldVersionFailsTheUpdateAndRecordsNothing) {
    const SFirmware file{
        .name = "FIRMWAREA", .spec = "ENG_USA", .version = "1.02", .type = 6, .dataLength = 700};
    SAUItemRecord row = RowFor(L"Main firmware", L"1.02");
    const std::vector<const SAUItemRecord*> rows{&row};
    EXPECT_EQ(Transfer({Firmware(file)}, {L"FIRMWAREA_ENG_USA"}, &rows), kFirmTransferFailed);
    EXPECT_EQ(LastTransferResult(), 0) << "the printer acknowledged the data";
    EXPECT_FALSE(LastTransferConfirmed());
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_FIRMWARE_NOT_CONFIRMED));
    EXPECT_EQ(Messages()[0].style, MB_OK | MB_ICONERROR | kTopMost);
    EXPECT_EQ(HistoryShape(), L"");
    const std::vector<std::string> log = NewLog();
    const std::size_t acknowledged = FindLine(log, "acknowledged but not stored name=FIRMWAREA");
    ASSERT_NE(acknowledged, std::string::npos);
    EXPECT_NE(FindLine(log, "command l", acknowledged), std::string::npos)
        << "the printer's list is read again after the transfer";
}

// A file the printer lists is proved by its version whatever its kind (FONTS is seeded at 2.10).
TEST_F(OldVersionPrinter, AListedFileOfAKindTheCheckDoesNotReadMustShowItsNewVersionToo) {
    const SFirmware file{.name = "FONTS", .spec = "JPN_JPN", .version = "2.20", .type = 1, .dataLength = 700};
    EXPECT_EQ(Transfer({Firmware(file)}), kFirmTransferFailed);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_FIRMWARE_NOT_CONFIRMED));
}

// A file of a kind the printer does not list (type 1) can be known only by its transfer.
TEST_F(OldVersionPrinter, AFileOfAKindThePrinterDoesNotListCountsByItsTransfer) {
    const SFirmware untold{.name = "BOOTLDR", .version = "3.00", .type = 1, .dataLength = 700};
    SAUItemRecord row = RowFor(L"Boot loader", L"3.00");
    const std::vector<const SAUItemRecord*> rows{&row};
    EXPECT_EQ(Transfer({Firmware(untold)}, {}, &rows), kFirmTransferSent);
    EXPECT_TRUE(LastTransferConfirmed());
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_FIRMWARE_UPDATED));
    EXPECT_NE(HistoryShape().find(L"Title=Boot loader"), std::wstring::npos);
}

// Started with --mute 1: the worker's "I" goes through, then the printer answers nothing.
TEST_F(SilentPrinter, ASilentPrinterEndsInTimeWithNoStatusAndTheFailureMessage) {
    const SFirmware file{.name = "SILENT", .type = 4, .dataLength = 700, .headerLength = 64};
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(Transfer({Firmware(file)}), kFirmTransferFailed);
    const ULONGLONG took = Elapsed(start);
    EXPECT_EQ(LastTransferResult(), 4) << "the header's status never came";
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_TRANSFER_FAILED));
    // Two windows shown (about 2 s each under Xvfb) and one status wait of 2 s.
    EXPECT_LT(took, 15000u);
    std::printf("[ figures  ] silent printer: transfer run ended after %llu ms\n", took);
}

// Started with --finish-delay 6000: the printer takes longer to store the file than it may.
TEST_F(SlowToStorePrinter, AMissingLastStatusEndsWith5NotWithSuccess) {
    const SFirmware file{.name = "LATE", .type = 4, .dataLength = 1300};
    SAUItemRecord row = RowFor(L"Late firmware", L"2.00");
    const std::vector<const SAUItemRecord*> rows{&row};
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(Transfer({Firmware(file)}, {}, &rows), kFirmTransferFailed);
    const ULONGLONG took = Elapsed(start);
    EXPECT_EQ(LastTransferResult(), 5);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_TRANSFER_FAILED));
    EXPECT_EQ(HistoryShape(), L"") << "a file the printer did not confirm is not recorded";
    EXPECT_LT(took, 15000u);
    std::printf("[ figures  ] printer slow to store: transfer run ended after %llu ms\n", took);
}

// Started with --finish-delay 6000 as well, on a printer of its own: the one above is still busy
// storing when its test ends. The last status may take longer for a longer file: 6,000,000 bytes
// may take 9000 ms to store.
TEST_F(SlowToStoreALongFile, ALongerFileMayTakeLongerToStore) {
    const SFirmware file{.name = "LONGSTORE", .type = 4, .dataLength = 6000000, .seed = 6};
    SAUItemRecord row = RowFor(L"Long firmware", L"2.00");
    const std::vector<const SAUItemRecord*> rows{&row};
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(Transfer({Firmware(file)}, {}, &rows), kFirmTransferSent);
    const ULONGLONG took = Elapsed(start);
    EXPECT_EQ(LastTransferResult(), 0);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_FIRMWARE_UPDATED));
    EXPECT_NE(FindLine(NewLog(), "stored name=LONGSTORE"), std::string::npos);
    EXPECT_NE(HistoryShape().find(L"Title=Long firmware"), std::wstring::npos);
    std::printf("[ figures  ] 6,000,000 bytes, 6 s to store: transfer run ended after %llu ms\n", took);
}

// Started with --mode-delay 3000: the printer answers the mode check after 3 s, within the 5 s
// that the check may take, though later than one read of 2 s.
TEST_F(SlowModePrinter, AModeAnswerAfterThreeSecondsIsWaitedFor) {
    testing_support::SimulatedPC pc;
    pc.SetDriverValue(kDriver, L"TransferChangeCmd", 1);
    const SFirmware file{.name = "SLOWMODE", .type = 4, .dataLength = 700, .seed = 7};
    EXPECT_EQ(Transfer({Firmware(file)}), kFirmTransferSent);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_FIRMWARE_UPDATED));
    const std::vector<std::string> log = NewLog();
    ASSERT_NE(FindLine(log, "command M"), std::string::npos);
    EXPECT_LT(FindLine(log, "command M"), FindLine(log, "command D"));
    EXPECT_NE(FindLine(log, "stored name=SLOWMODE"), std::string::npos);
}

// Started with --credit 1300 --refuse-after 1300: the status after the first credit says no.
TEST_F(RefusingMidway, ARefusalInTheMiddleOfADownloadGives7AndNoHistory) {
    const SFirmware file{.name = "MIDWAY", .type = 4, .dataLength = 4000, .seed = 8};
    SAUItemRecord row = RowFor(L"Midway firmware", L"2.00");
    const std::vector<const SAUItemRecord*> rows{&row};
    EXPECT_EQ(Transfer({Firmware(file)}, {}, &rows), kFirmTransferFailed);
    EXPECT_EQ(LastTransferResult(), 7) << "a plain refusal, not one of the printer's state";
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_TRANSFER_FAILED));
    const std::vector<std::string> log = NewLog();
    EXPECT_NE(FindLine(log, "refused after 1300 bytes"), std::string::npos);
    EXPECT_EQ(FindLine(log, "stored name=MIDWAY"), std::string::npos);
    EXPECT_EQ(FindLine(log, "piece", FindLine(log, "refused after")), std::string::npos)
        << "nothing more is sent after the refusal";
    EXPECT_EQ(HistoryShape(), L"");
}

// Started with --baud 19200 --credit 1300: slow enough for a user to press Cancel.
TEST_F(CancelledTransfer, CancelGives8AndMessage1458AndTheDownloadIsAborted) {
    // The local data reads the printer's files at start-up; its identification gives the limit
    // below which a file may be cancelled.
    std::vector<tagScTrFileHeader> stored;
    const std::string printer = port_test::PrinterName();
    ASSERT_TRUE(QueryStoredFiles(std::wstring(printer.begin(), printer.end()), stored));
    const SFirmware file{.name = "CANCELME", .type = 4, .dataLength = 20000};
    SAUItemRecord row = RowFor(L"Cancelled firmware", L"2.00");
    const std::vector<const SAUItemRecord*> rows{&row};
    EXPECT_EQ(Transfer({Firmware(file)}, {}, &rows, SUserPlan{.cancelAtPercent = 10}), kFirmTransferFailed);
    EXPECT_TRUE(saw_.cancelled) << "highest percentage seen " << saw_.highestPercent << ", Cancel "
                                << (saw_.cancelEnabledSeen ? "on" : "never on");
    EXPECT_EQ(LastTransferResult(), 8);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_TRANSFER_CANCELLED));
    EXPECT_EQ(Messages()[0].style, MB_OK | kTopMost);
    EXPECT_LT(scup::CTrProgressDlg::State().lastPercentage.load(), 100) << "the cancel came before the end";
    // The slow line is still carrying what went out before the cancel.
    std::vector<std::string> log;
    EXPECT_TRUE(testing_support::WaitFor(
        [&] { return FindLine(log = NewLog(), "aborted after ") != std::string::npos; }, 10000))
        << "the printer was never told with a length of 0";
    EXPECT_EQ(FindLine(log, "stored name=CANCELME"), std::string::npos);
    EXPECT_EQ(HistoryShape(), L"");
}

// A second simulator on COM13 (with_second_printer.sh), started with --baud 115200 --credit 200000
// --drop-after 700: it hangs up while the program is still writing.
TEST_F(TwoPrinters, WhenTheFirstPrinterFailsWith3TheSecondGetsTheFiles) {
    testing_support::SimulatedPC pc;
    const char* com = std::getenv("SCFILO_TEST_SECOND_COM");
    ASSERT_NE(com, nullptr) << "run by with_second_printer.sh";
    const std::wstring second = L"COM" + std::to_wstring(std::strtoul(com, nullptr, 10)) + L":";
    // The spooler lists printers by name: this one comes before the simulator's own queue.
    pc.AddPrinterQueue(L"ScFilo Test Dropping", kDriver, 0, second);
    const SFirmware file{.name = "TWICE", .type = 4, .dataLength = 200000};
    SAUItemRecord row = RowFor(L"Firmware for two", L"2.00");
    const std::vector<const SAUItemRecord*> rows{&row};
    EXPECT_EQ(Transfer({Firmware(file)}, {}, &rows), kFirmTransferSent);
    const std::vector<std::wstring> outcomes = PrinterOutcomes();
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0], L"Transfer to ScFilo Test Dropping ended with 3");
    const std::string printer = port_test::PrinterName();
    EXPECT_EQ(outcomes[1], L"Transfer to " + std::wstring(printer.begin(), printer.end()) + L" ended with 0");
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, Text(IDS_MSG_FIRMWARE_UPDATED));
    EXPECT_NE(FindLine(NewLog(), "stored name=TWICE"), std::string::npos);
    EXPECT_NE(HistoryShape().find(L"Title=Firmware for two"), std::wstring::npos);
}

}  // namespace
}  // namespace firmware_test

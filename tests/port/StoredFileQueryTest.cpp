// What the program reads from a printer outside a transfer, over the real serial path: its
// identification and the firmware files it holds, in 128-byte and 64-byte records.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

#include "FirmwareTestSupport.h"
#include "install/FirmPort.h"
#include "install/FirmTransfer.h"
#include "install/StoredFileQuery.h"
#include "unit/SimulatedPC.h"

namespace firmware_test {
namespace {

std::wstring Printer() {
    const std::string name = port_test::PrinterName();
    return std::wstring(name.begin(), name.end());
}

std::vector<std::string> Names(const std::vector<tagScTrFileHeader>& records) {
    std::vector<std::string> names;
    for (const auto& record : records) names.push_back(record.Name());
    return names;
}

class StoredFiles128 : public CTransferTest {};
class StoredFiles64 : public CTransferTest {};

TEST_F(StoredFiles128, TheQueryKeepsFirmwareTypesInThePrintersOrder) {
    std::vector<tagScTrFileHeader> records(3);
    ASSERT_TRUE(QueryStoredFiles(Printer(), records));
    ASSERT_EQ(Names(records), (std::vector<std::string>{"FIRMWAREA", "FONTS"}));
    EXPECT_EQ(records[0].FileType(), 6);
    EXPECT_EQ(records[0].VersionText(), L"1.00");
    EXPECT_EQ(records[0].SpecText(), L"ENG_USA");
    EXPECT_EQ(records[1].FileType(), 3);
    EXPECT_EQ(records[1].SpecText(), L"JPN_JPN");

    // Files of types 3, 4, 6 and 10 are firmware; others the printer holds are not listed.
    for (std::uint8_t type : {5, 10, 4, 7}) {
        const SFirmware file{
            .name = "TYPE" + std::to_string(type), .type = type, .dataLength = 100, .seed = type};
        ASSERT_EQ(Transfer({Firmware(file)}), kFirmTransferSent) << static_cast<int>(type);
    }
    ASSERT_TRUE(QueryStoredFiles(Printer(), records));
    EXPECT_EQ(Names(records), (std::vector<std::string>{"FIRMWAREA", "FONTS", "TYPE10", "TYPE4"}));
}

TEST_F(StoredFiles128, IdentificationTellsTheRecordSizeOfTheCurrentModel) {
    ASSERT_TRUE(OpenPrinterPort(Printer()));
    EXPECT_EQ(CFirmPort::Instance().ModelId(), port_test::PrinterModel())
        << "taken from the printer's driver";
    EXPECT_EQ(IdentifyPrinter(), 2);
    EXPECT_EQ(CFirmPort::Instance().CancelLimit(), 600000u);
    CFirmPort::Instance().SetModelId(0x1234);
    EXPECT_EQ(IdentifyPrinter(), 0) << "a reply that names another model does not identify";
    CFirmPort::Instance().SetModelId(port_test::PrinterModel());
}

TEST_F(StoredFiles128, PrintersThatCannotBeReachedGiveNothing) {
    std::vector<tagScTrFileHeader> records(2);
    for (const std::string& name : {port_test::UnsupportedPrinterName(), port_test::AbsentPrinterName()}) {
        EXPECT_FALSE(QueryStoredFiles(std::wstring(name.begin(), name.end()), records));
        EXPECT_TRUE(records.empty());
        EXPECT_FALSE(OpenPrinterPort(std::wstring(name.begin(), name.end())));
    }
}

TEST_F(StoredFiles128, ConnectedPrintersThatCannotBeReadAreLeftOutAndOnlyNoPrinterAtAllFails) {
    // A two-way printer of its own driver on a serial port with nothing behind it.
    const std::wstring driver = L"Corvane Unplugged";
    testing_support::SimulatedPC pc;
    pc.AddDriver(driver);
    pc.AddPrinterQueue(L"ScFilo Test Unplugged", driver, PRINTER_ATTRIBUTE_ENABLE_BIDI, L"COM12:");
    std::vector<std::vector<std::string>> perPrinter{{"left over"}};
    EXPECT_TRUE(ReadConnectedPrintersFiles(driver, perPrinter));
    EXPECT_TRUE(perPrinter.empty());
    EXPECT_FALSE(ReadConnectedPrintersFiles(L"Corvane No Such Driver", perPrinter));
}

// A name that fills its 16 bytes may end in a cut double-byte character: its lead byte goes.
TEST_F(StoredFiles128, ACutDoubleByteCharacterAtTheEndOfANameIsDropped) {
    const std::string name = std::string("JPFONTS-1234567") + '\x82';
    const SFirmware file{.name = name, .type = 3, .dataLength = 100, .seed = 11};
    ASSERT_EQ(Transfer({Firmware(file)}), kFirmTransferSent);
    CFirmPort& port = CFirmPort::Instance();
    ASSERT_TRUE(OpenPrinterPort(Printer()));
    ASSERT_EQ(port.Identify(), 2);
    std::vector<tagScTrFileHeader> records;
    constexpr UINT kJapanese = 932, kWestern = 1252;
    auto sent = [&records] {
        return std::find_if(records.begin(), records.end(),
                            [](const tagScTrFileHeader& r) { return r.Name().rfind("JPFONTS-", 0) == 0; });
    };
    ASSERT_TRUE(port.ReadStoredFileList(true, records, kJapanese));
    ASSERT_NE(sent(), records.end());
    EXPECT_EQ(sent()->Name(), "JPFONTS-1234567");
    ASSERT_TRUE(port.ReadStoredFileList(true, records, kWestern));
    ASSERT_NE(sent(), records.end());
    EXPECT_EQ(sent()->Name(), name) << "in a single-byte code page the byte is a character";
    // A whole double-byte character at the end stays.
    tagScTrFileHeader whole = *sent();
    whole.bytes[46] = 0x82;
    whole.bytes[47] = 0xA0;
    whole.DropCutLeadByte(kJapanese);
    EXPECT_EQ(whole.Name().size(), 16u);
}

// The update thread's query and the closing dialog's end of the mode wait for the thread that
// holds the port; the closing dialog only for a while.
TEST_F(StoredFiles128, AQueryWaitsForThePortsHolderAndTheClosingModeExitGivesUp) {
    std::promise<void> held, release;
    std::thread holder([&held, released = release.get_future()]() mutable {
        CFirmPort::Claim claim;
        held.set_value();
        released.wait();
    });
    held.get_future().wait();
    auto query = std::async(std::launch::async, [] {
        std::vector<tagScTrFileHeader> records;
        return QueryStoredFiles(Printer(), records) ? Names(records) : std::vector<std::string>{};
    });
    EXPECT_EQ(query.wait_for(std::chrono::seconds(2)), std::future_status::timeout)
        << "the query went to the printer while another thread held the port";
    EXPECT_FALSE(SendModeExitCommand(kDriver));
    release.set_value();
    holder.join();
    const std::vector<std::string> names = query.get();
    ASSERT_FALSE(names.empty()) << "the query failed once the port was free";
    EXPECT_EQ(names.front(), "FIRMWAREA");
    EXPECT_TRUE(SendModeExitCommand(kDriver));
    // A thread that holds the port may claim it again.
    CFirmPort::Claim outer;
    EXPECT_TRUE(CFirmPort::Claim(0).Held());
}

TEST_F(StoredFiles64, ShortRecordsComeZeroPaddedWithoutVersionOrRegion) {
    ASSERT_TRUE(OpenPrinterPort(Printer()));
    EXPECT_EQ(IdentifyPrinter(), 1);
    std::vector<tagScTrFileHeader> records;
    ASSERT_TRUE(QueryStoredFiles(Printer(), records));
    ASSERT_EQ(Names(records), (std::vector<std::string>{"FIRMWAREA", "FONTS"}));
    for (const tagScTrFileHeader& record : records) {
        EXPECT_EQ(record.Version(), "");
        EXPECT_EQ(record.Spec(), "");
        for (std::size_t i = 64; i < tagScTrFileHeader::kSize; ++i) ASSERT_EQ(record.bytes[i], 0) << i;
    }
    EXPECT_EQ(records[0].FileType(), 6);
}

}  // namespace
}  // namespace firmware_test

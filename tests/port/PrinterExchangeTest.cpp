// Exchanges with the simulated printer over the serial line, made as the program makes them.
// run_with_printer.sh seeds the printer with two files: FIRMWAREA (1.00, ENG_USA) and FONTS.
#include <gtest/gtest.h>

#include <cstdio>

#include "PortTestSupport.h"
#include "scfilo.h"

namespace port_test {
namespace {

class PrinterLine : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(ScFiloOpenPort(PrinterName().c_str(), nullptr)) << GetLastError(); }

    Bytes Identify() {
        EXPECT_TRUE(ScFiloClearChannel());
        EXPECT_TRUE(Send(Command('I'), 1000));
        EXPECT_TRUE(Send(Command('S'), 1000));
        return Gather(32, 2000, 5000);
    }
    // The stored-file list: 2-byte count, then the records.
    std::vector<Bytes> List(char letter, std::size_t recordSize) {
        std::vector<Bytes> records;
        EXPECT_TRUE(ScFiloClearChannel());
        EXPECT_TRUE(Send(Command(letter), 1000));
        Bytes count = Gather(2, 1000, 1000);
        if (count.size() != 2) return records;
        std::size_t n = count[0] | (count[1] << 8);
        Bytes all = Gather(n * recordSize, 1000, 1000);
        EXPECT_EQ(all.size(), n * recordSize);
        for (std::size_t i = 0; i + recordSize <= all.size(); i += recordSize)
            records.emplace_back(all.begin() + i, all.begin() + i + recordSize);
        return records;
    }
};

using LongRecordPrinter = PrinterLine;
using ShortRecordPrinter = PrinterLine;

TEST_F(LongRecordPrinter, IdentificationRoundTrip) {
    Bytes id = Identify();
    ASSERT_EQ(id.size(), 32u);
    EXPECT_EQ(id[0], 0x81);
    EXPECT_EQ(id[1], 0x20);
    EXPECT_EQ(id[2], 0x42);
    EXPECT_EQ(id[3] | (id[4] << 8), PrinterModel());
    EXPECT_NE(id[6], 0) << "128-byte records";
    EXPECT_EQ(ReadLe32(id, 24), 600000u) << "cancel limit";

    ASSERT_TRUE(ScFiloClearChannel());
    ASSERT_TRUE(Send(Command('M'), 5000));
    Bytes mode = Gather(32, 2000, 5000);
    ASSERT_EQ(mode.size(), 32u);
    EXPECT_EQ(mode[18], 1);
}

TEST_F(LongRecordPrinter, StoredFilesInLongRecords) {
    auto records = List('l', 128);
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(NameOfRecord(records[0]), "FIRMWAREA");
    EXPECT_EQ(SpecOfRecord(records[0]), "ENG_USA");
    EXPECT_EQ(std::string(records[0].begin() + 64, records[0].begin() + 68), "1.00");
    EXPECT_EQ(records[0][7], 6);
    EXPECT_EQ(NameOfRecord(records[1]), "FONTS");
    EXPECT_EQ(records[1][7], 3);
}

TEST_F(LongRecordPrinter, ClearingTheChannelDropsAnUnreadReply) {
    ASSERT_TRUE(Send(Command('I')));
    ASSERT_TRUE(Send(Command('S')));
    Sleep(300);  // the identification reply is waiting on the line now
    ASSERT_TRUE(ScFiloClearChannel());
    ASSERT_TRUE(Send(Command('M')));
    Bytes reply = Gather(32, 2000, 2000);
    ASSERT_EQ(reply.size(), 32u);
    EXPECT_EQ(ReadLe32(reply, 24), 0u) << "the mode reply, not the identification with its cancel limit";
    DWORD got = 0;
    BYTE extra[8];
    EXPECT_TRUE(ScFiloRead(extra, sizeof extra, &got, 200));
    EXPECT_EQ(got, 0u);
}

TEST_F(LongRecordPrinter, DownloadInPiecesWithinA1300ByteCreditIsStoredIntact) {
    Bytes data = Pattern(2000, 1);
    ASSERT_TRUE(ScFiloClearChannel());
    HANDLE channel = ScFiloOpenDataChannel(PrinterName().c_str(), nullptr, 2000);
    ASSERT_NE(channel, nullptr) << GetLastError();
    EXPECT_EQ(ScFiloOpenDataChannel(PrinterName().c_str(), nullptr, 2000), channel)
        << "one channel at a time";

    Download d = SendFile(FirmwareHeader("NEWFIRM", 2000, PrinterModel()), data);
    EXPECT_TRUE(d.completed) << "failed after " << d.failedAfter << " bytes";
    EXPECT_EQ(d.pieces, (std::vector<std::uint32_t>{512, 512, 276, 512, 188}));
    EXPECT_TRUE(ScFiloCloseDataChannel());

    auto records = List('l', 128);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(NameOfRecord(records[2]), "NEWFIRM");
    EXPECT_EQ(SpecOfRecord(records[2]), "ENG_USA");

    // The printer saw the same pieces and the same bytes.
    auto log = SimulatorLog();
    auto header = std::find_if(log.begin(), log.end(),
                               [](const std::string& l) { return l.rfind("header name=NEWFIRM ", 0) == 0; });
    ASSERT_NE(header, log.end());
    std::vector<std::string> pieces;
    std::string stored;
    for (auto it = header + 1; it != log.end(); ++it) {
        if (it->rfind("piece ", 0) == 0) pieces.push_back(it->substr(6));
        if (it->rfind("stored ", 0) == 0) stored = *it;
    }
    EXPECT_EQ(pieces, (std::vector<std::string>{"512", "512", "276", "512", "188"}));
    char fnv[16];
    std::snprintf(fnv, sizeof fnv, "fnv=0x%08X", Fnv1a(data));
    EXPECT_NE(stored.find(fnv), std::string::npos) << stored;
}

TEST_F(LongRecordPrinter, FileForAnotherModelIsRefusedAndThePrinterStaysUsable) {
    ASSERT_NE(ScFiloOpenDataChannel(PrinterName().c_str(), nullptr, 2000), nullptr);
    ASSERT_TRUE(Send(Command('D')));
    ASSERT_TRUE(Send(FirmwareHeader("OTHER", 100, static_cast<std::uint16_t>(PrinterModel() + 1))));
    Bytes status = Gather(32, 2000, 2000);
    ASSERT_EQ(status.size(), 32u);
    EXPECT_NE(status[18], 1);
    EXPECT_TRUE(ScFiloCloseDataChannel());
    EXPECT_EQ(Identify().size(), 32u);
}

TEST_F(LongRecordPrinter, LargeDownloadThroughput) {
    const std::uint32_t size = 256 * 1024;
    Bytes data = Pattern(size, 2);
    ASSERT_TRUE(ScFiloClearChannel());
    ASSERT_NE(ScFiloOpenDataChannel(PrinterName().c_str(), nullptr, 2000), nullptr);
    ULONGLONG start = Now();
    Download d = SendFile(FirmwareHeader("BIGFIRM", size, PrinterModel()), data);
    ULONGLONG took = Now() - start;
    EXPECT_TRUE(ScFiloCloseDataChannel());
    EXPECT_TRUE(d.completed) << "failed after " << d.failedAfter << " bytes";
    std::printf("[ figures  ] %u bytes in %llu ms (%.0f bytes/s) in %zu pieces\n", size, took,
                took ? size * 1000.0 / took : 0.0, d.pieces.size());
}

TEST_F(ShortRecordPrinter, IdentificationSaysShortRecords) {
    Bytes id = Identify();
    ASSERT_EQ(id.size(), 32u);
    EXPECT_EQ(id[6], 0);
}

TEST_F(ShortRecordPrinter, StoredFilesInShortRecords) {
    auto records = List('L', 64);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(NameOfRecord(records[0]), "FIRMWAREA");
    EXPECT_EQ(NameOfRecord(records[1]), "FONTS");
    EXPECT_EQ(records[0][7], 6);
}

TEST_F(ShortRecordPrinter, LongListGetsNoAnswerWithinItsTime) {
    ASSERT_TRUE(ScFiloClearChannel());
    ASSERT_TRUE(Send(Command('l'), 1000));
    ULONGLONG start = Now();
    BYTE count[2];
    DWORD got = 7;
    EXPECT_TRUE(ScFiloRead(count, 2, &got, 1000)) << "silence is no failure of the line";
    ULONGLONG took = Now() - start;
    EXPECT_EQ(got, 0u);
    EXPECT_GE(took, 900u);
    EXPECT_LT(took, 2000u);
}

}  // namespace
}  // namespace port_test

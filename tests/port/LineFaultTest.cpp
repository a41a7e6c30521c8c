// A printer that answers in pieces, falls silent, hangs up, or sits on a slow line: every call
// still ends in its time and says what happened.
#include <gtest/gtest.h>

#include <cstdio>

#include "PortTestSupport.h"
#include "scfilo.h"

namespace port_test {
namespace {

class FaultyLine : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ScFiloOpenPort(PrinterName().c_str(), nullptr)) << GetLastError();
        ASSERT_TRUE(ScFiloClearChannel());
    }
};

using SplitStatus = FaultyLine;
using MutedPrinter = FaultyLine;
using DroppedLine = FaultyLine;
using SlowLine = FaultyLine;

// run_with_printer.sh starts this printer with --split 10,10,12 --split-delay 150.
TEST_F(SplitStatus, OneReadWithTimeGetsTheWholeReply) {
    ASSERT_TRUE(Send(Command('I')));
    ASSERT_TRUE(Send(Command('S')));
    Bytes reply(32);
    DWORD got = 0;
    ULONGLONG start = Now();
    ASSERT_TRUE(ScFiloRead(reply.data(), 32, &got, 2000));
    EXPECT_EQ(got, 32u);
    EXPECT_GE(Now() - start, 250u) << "the pieces came apart";
    EXPECT_EQ(reply[0], 0x81);
    EXPECT_EQ(reply[3] | (reply[4] << 8), PrinterModel());
}

TEST_F(SplitStatus, ShortReadsAreGatheredIntoOneReply) {
    ASSERT_TRUE(Send(Command('I')));
    ASSERT_TRUE(Send(Command('S')));
    int reads = 0;
    Bytes reply = Gather(32, 100, 3000, &reads);
    ASSERT_EQ(reply.size(), 32u);
    EXPECT_GE(reads, 3);
    EXPECT_EQ(reply[0], 0x81);
    EXPECT_EQ(reply[18], 1);
    EXPECT_EQ(ReadLe32(reply, 24), 600000u) << "the last piece holds the count";
}

// Started with --mute 2: it answers "I" and "S", then nothing.
TEST_F(MutedPrinter, SilenceEndsEveryReadInItsTime) {
    ASSERT_TRUE(Send(Command('I')));
    ASSERT_TRUE(Send(Command('S')));
    ASSERT_EQ(Gather(32, 2000, 2000).size(), 32u);

    ASSERT_TRUE(Send(Command('I')));
    ASSERT_TRUE(Send(Command('S')));
    BYTE reply[32];
    DWORD got = 9;
    ULONGLONG start = Now();
    EXPECT_TRUE(ScFiloRead(reply, 32, &got, 1000));
    ULONGLONG one = Now() - start;
    EXPECT_EQ(got, 0u);
    EXPECT_GE(one, 900u);
    EXPECT_LT(one, 2000u);

    start = Now();
    Bytes gathered = Gather(32, 2000, 5000);
    ULONGLONG all = Now() - start;
    EXPECT_TRUE(gathered.empty());
    EXPECT_GE(all, 4900u);
    EXPECT_LT(all, 7000u);
    std::printf("[ figures  ] silent read of 1000 ms took %llu ms; gather of 5000 ms took %llu ms\n", one,
                all);
    EXPECT_TRUE(Send(Command('M'))) << "a silent printer still takes bytes";
}

// Started with --credit 1300 --drop-after 700: the line goes dead inside the second piece.
TEST_F(DroppedLine, HangUpGivesAnErrorNotAHang) {
    ASSERT_NE(ScFiloOpenDataChannel(PrinterName().c_str(), nullptr, 2000), nullptr);
    ULONGLONG start = Now();
    Download d = SendFile(FirmwareHeader("DROPFIRM", 3000, PrinterModel()), Pattern(3000, 3));
    ULONGLONG took = Now() - start;
    EXPECT_FALSE(d.completed);
    EXPECT_LT(d.failedAfter, 3000u);
    EXPECT_LT(took, 8000u);
    std::printf("[ figures  ] dropped download ended after %llu ms, %u bytes sent\n", took, d.failedAfter);

    BYTE b[32];
    DWORD got = 0;
    start = Now();
    EXPECT_FALSE(ScFiloRead(b, 32, &got, 1000)) << "a dead line is a failure, not silence";
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_LT(Now() - start, 1500u);
    EXPECT_FALSE(ScFiloWrite(b, 4, &got, 1000));
    ScFiloCloseDataChannel();

    // The printer comes back on its port; opening it again finds it.
    bool reopened = false;
    for (int attempt = 0; attempt < 30 && !reopened; ++attempt) {
        reopened = ScFiloOpenPort(PrinterName().c_str(), nullptr);
        if (!reopened) Sleep(100);
    }
    ASSERT_TRUE(reopened);
    ASSERT_TRUE(Send(Command('I')));
    ASSERT_TRUE(Send(Command('S')));
    EXPECT_EQ(Gather(32, 2000, 2000).size(), 32u);
}

// Started with --baud 9600 --credit 1300: about 960 bytes a second each way, so that what is
// in flight for one credit takes well under the 2 s that a status read waits.
TEST_F(SlowLine, DownloadKeepsToTheLineRate) {
    ASSERT_NE(ScFiloOpenDataChannel(PrinterName().c_str(), nullptr, 2000), nullptr);
    Bytes data = Pattern(2000, 4);
    ULONGLONG start = Now();
    Download d = SendFile(FirmwareHeader("SLOWFIRM", 2000, PrinterModel()), data);
    ULONGLONG took = Now() - start;
    EXPECT_TRUE(ScFiloCloseDataChannel());
    EXPECT_TRUE(d.completed) << "failed after " << d.failedAfter << " bytes";
    EXPECT_GE(took, 2000u);
    std::printf("[ figures  ] 2000 bytes at 9600 baud in %llu ms (%.0f bytes/s)\n", took,
                took ? 2000 * 1000.0 / took : 0.0);
}

TEST_F(SlowLine, WriteThatTheLineCannotTakeEndsInItsTime) {
    Bytes zeros(40000, 0);
    DWORD written = 0;
    ULONGLONG start = Now();
    EXPECT_FALSE(ScFiloWrite(zeros.data(), static_cast<DWORD>(zeros.size()), &written, 1000));
    ULONGLONG took = Now() - start;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_LT(written, zeros.size());
    EXPECT_GE(took, 900u);
    EXPECT_LT(took, 3000u);
    std::printf("[ figures  ] 1000 ms write on a full line: %lu of %zu bytes in %llu ms\n", written,
                zeros.size(), took);
}

}  // namespace
}  // namespace port_test

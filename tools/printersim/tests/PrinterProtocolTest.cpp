#include <gtest/gtest.h>

#include <algorithm>

#include "PrinterProtocol.h"
#include "StatusReply.h"
#include "TestBytes.h"

namespace printersim {
namespace {

using namespace test;

class ProtocolTest : public ::testing::Test {
  protected:
    ProtocolEvents Send(const Bytes& bytes) { return protocol().Receive(bytes); }
    PrinterProtocol& protocol() {
        if (!protocol_) protocol_.emplace(profile_, files_);
        return *protocol_;
    }
    // Sends one piece of a download: its length, then its bytes.
    ProtocolEvents SendPiece(std::uint32_t length) { return Send(Join({Le32(length), Data(length)})); }

    static const Bytes& OnlyReply(const ProtocolEvents& e) {
        EXPECT_EQ(e.replies.size(), 1u);
        static const Bytes none;
        return e.replies.empty() ? none : e.replies.front().bytes;
    }

    PrinterProfile profile_;
    StoredFiles files_;
    std::optional<PrinterProtocol> protocol_;
};

TEST_F(ProtocolTest, IdentificationGivesModelRecordSizeAndCancelLimit) {
    profile_.model = 0x1234;
    profile_.cancelLimit = 0x00ABCDEF;
    EXPECT_TRUE(Send(Command('I')).replies.empty());
    Bytes reply = OnlyReply(Send(Command('S')));
    ASSERT_EQ(reply.size(), 32u);
    EXPECT_EQ(reply[0], 0x81);
    EXPECT_EQ(reply[1], 0x20);
    EXPECT_EQ(reply[2], 0x42);
    EXPECT_EQ(reply[3], 0x34);
    EXPECT_EQ(reply[4], 0x12);
    EXPECT_EQ(reply[6], 1) << "128-byte records";
    EXPECT_EQ(reply[18], 1);
    EXPECT_EQ(ReadLe32(reply, 24), 0x00ABCDEFu);
    EXPECT_TRUE(Send(Join({Command('I'), Command('S')})).replies.front().isStatus);

    profile_.recordSize = 64;
    protocol_.reset();
    EXPECT_EQ(OnlyReply(Send(Join({Command('I'), Command('S')})))[6], 0) << "64-byte records";
}

TEST_F(ProtocolTest, StatusIsAnsweredOnlyRightAfterAnIdentificationRequest) {
    auto alone = Send(Command('S'));
    EXPECT_TRUE(alone.replies.empty());
    EXPECT_EQ(alone.log, (std::vector<std::string>{"command S (no I before it: ignored)"}));

    Send(Command('I'));
    EXPECT_EQ(Send(Command('S')).replies.size(), 1u);
    EXPECT_TRUE(Send(Command('S')).replies.empty()) << "one I is good for one S";

    // The worker's "I" before its downloads still makes the next "S" an identification.
    Send(Command('I'));
    Send(Command('M'));
    EXPECT_EQ(Send(Command('S')).replies.size(), 1u);
}

TEST_F(ProtocolTest, CommandsSurviveBeingCutAnywhereAndNoiseBeforeThem) {
    Bytes stream = Join({Bytes{0x00, 'x', 0x1B, 'i'}, Command('M'), Command('I'), Command('S')});
    std::size_t replies = 0;
    std::vector<std::string> log;
    for (std::uint8_t b : stream) {
        auto e = Send(Bytes{b});
        replies += e.replies.size();
        log.insert(log.end(), e.log.begin(), e.log.end());
    }
    EXPECT_EQ(replies, 2u);
    EXPECT_EQ(log, (std::vector<std::string>{"skipped 4 bytes", "command M", "command I", "command S"}));
    EXPECT_EQ(protocol().CommandsReceived(), 3u);
}

TEST_F(ProtocolTest, UnknownAndSilentCommandsGetNoReply) {
    auto e = Send(Join({Command('m'), Command('Q'), Command('I')}));
    EXPECT_TRUE(e.replies.empty());
    ASSERT_EQ(e.log.size(), 3u);
    EXPECT_EQ(e.log[0], "command m");
    EXPECT_EQ(e.log[1], "command 0x51 (unknown)");
    EXPECT_EQ(e.log[2], "command I");
}

TEST_F(ProtocolTest, ListsStoredFilesInTheAskedRecordSize) {
    std::string error;
    ASSERT_TRUE(files_.Keep(Firmware("FIRMA", 10).Encode(), error));
    ASSERT_TRUE(files_.Keep(Firmware("FIRMB", 20).Encode(), error));

    Bytes shortList = OnlyReply(Send(Command('L')));
    ASSERT_EQ(shortList.size(), 2u + 2 * 64);
    EXPECT_EQ(shortList[0], 2);
    EXPECT_EQ(shortList[1], 0);
    auto second = pd3::Header::Decode(std::span(shortList).subspan(2 + 64, 64));
    EXPECT_EQ(second->name, "FIRMB");
    EXPECT_EQ(second->spec, "") << "a 64-byte record has no specification";

    Bytes longList = OnlyReply(Send(Command('l')));
    ASSERT_EQ(longList.size(), 2u + 2 * 128);
    auto first = pd3::Header::Decode(std::span(longList).subspan(2, 128));
    EXPECT_EQ(first->name, "FIRMA");
    EXPECT_EQ(first->version, "1.02");
    EXPECT_EQ(first->spec, "ENG_USA");
    EXPECT_FALSE(Send(Command('L')).replies.front().isStatus);
}

TEST_F(ProtocolTest, PrinterWithShortRecordsIgnoresTheLongList) {
    profile_.recordSize = 64;
    auto e = Send(Command('l'));
    EXPECT_TRUE(e.replies.empty());
    EXPECT_EQ(e.log.front(), "command l (not supported)");
    EXPECT_EQ(OnlyReply(Send(Command('L'))).size(), 2u);
}

TEST_F(ProtocolTest, ListCommandWithANonZeroFifthByteIsIgnored) {
    for (char letter : {'L', 'l'}) {
        Bytes command = Command(letter);
        command.back() = 0x05;
        auto e = Send(command);
        EXPECT_TRUE(e.replies.empty()) << letter;
        EXPECT_EQ(e.log, (std::vector<std::string>{std::string("command ") + letter +
                                                   " (fifth byte 0x05: ignored)"}));
    }
    EXPECT_EQ(OnlyReply(Send(Command('L'))).size(), 2u) << "the printer takes the next command";
}

TEST_F(ProtocolTest, DownloadTakesPiecesWithinEachCreditAndStoresTheFile) {
    profile_.credit = 1300;
    Bytes first = OnlyReply(Send(Join({Command('D'), HeaderBytes(Firmware("FIRMWAREA", 2000))})));
    EXPECT_EQ(first[18], 1);
    EXPECT_EQ(ReadLe32(first, 24), 1300u);

    EXPECT_TRUE(SendPiece(512).replies.empty());
    EXPECT_TRUE(SendPiece(512).replies.empty());
    Bytes second = OnlyReply(SendPiece(276));
    EXPECT_EQ(second[18], 1);
    EXPECT_EQ(ReadLe32(second, 24), 700u) << "the next credit is what is left of the file";
    EXPECT_TRUE(files_.Records().empty());

    EXPECT_TRUE(SendPiece(512).replies.empty());
    auto last = SendPiece(188);
    Bytes done = OnlyReply(last);
    EXPECT_EQ(done[18], 1);
    EXPECT_EQ(ReadLe32(done, 24), 0u);
    EXPECT_FALSE(protocol().InDownload());
    ASSERT_EQ(files_.Records().size(), 1u);
    EXPECT_EQ(pd3::Header::Decode(files_.Records()[0])->name, "FIRMWAREA");
    ASSERT_FALSE(last.log.empty());
    EXPECT_EQ(
        last.log.back().rfind("stored name=FIRMWAREA model=0x2107 type=6 header=128 length=2000 fnv=0x", 0),
        0u)
        << last.log.back();
    // The printer takes commands again.
    EXPECT_EQ(OnlyReply(Send(Join({Command('I'), Command('S')}))).size(), 32u);
}

TEST_F(ProtocolTest, APrinterThatKeepsItsOldVersionAcknowledgesTheDownloadButStoresNothing) {
    profile_.credit = 1300;
    profile_.keepOldVersion = true;
    Bytes first = OnlyReply(Send(Join({Command('D'), HeaderBytes(Firmware("FIRMWAREA", 700))})));
    EXPECT_EQ(first[18], 1);
    SendPiece(512);
    auto last = SendPiece(188);
    EXPECT_EQ(OnlyReply(last)[18], 1) << "the last status says the file was taken";
    EXPECT_FALSE(protocol().InDownload());
    EXPECT_TRUE(files_.Records().empty());
    ASSERT_FALSE(last.log.empty());
    EXPECT_EQ(last.log.back().rfind("acknowledged but not stored name=FIRMWAREA", 0), 0u) << last.log.back();
}

TEST_F(ProtocolTest, ShortHeaderIsReadAsSixtyFourBytes) {
    pd3::Header h = Firmware("SHORT", 4);
    h.headerLength = 64;
    h.version.clear();
    h.spec.clear();
    Bytes accepted = OnlyReply(Send(Join({Command('D'), HeaderBytes(h)})));
    EXPECT_EQ(ReadLe32(accepted, 24), 4u);
    EXPECT_EQ(OnlyReply(SendPiece(4))[18], 1);
    ASSERT_EQ(files_.Records().size(), 1u);
    EXPECT_EQ(files_.Records()[0][64], 0) << "record padded with zeros";
}

TEST_F(ProtocolTest, RefusesWrongModelEmptyFileAndPiecesBeyondTheCredit) {
    Bytes wrongModel = OnlyReply(Send(Join({Command('D'), HeaderBytes(Firmware("X", 10, 0x9999))})));
    EXPECT_NE(wrongModel[18], 1);
    EXPECT_EQ(wrongModel[8], 0) << "not the refusal of a printer that cannot take files";
    EXPECT_FALSE(protocol().InDownload());

    EXPECT_NE(OnlyReply(Send(Join({Command('D'), HeaderBytes(Firmware("X", 0))})))[18], 1);

    profile_.credit = 100;
    protocol_.reset();
    Send(Join({Command('D'), HeaderBytes(Firmware("X", 1000))}));
    Bytes overrun = OnlyReply(Send(Le32(101)));
    EXPECT_NE(overrun[18], 1);
    EXPECT_FALSE(protocol().InDownload());
    EXPECT_TRUE(files_.Records().empty());
}

TEST_F(ProtocolTest, RefusingPrinterMarksRefusalKindTwo) {
    profile_.refuse = true;
    Send(Command('I'));
    for (char c : {'S', 'M'}) {
        Bytes status = OnlyReply(Send(Command(c)));
        EXPECT_NE(status[18], 1) << c;
        EXPECT_EQ(status[8], 2) << c;
    }
    Bytes download = OnlyReply(Send(Join({Command('D'), HeaderBytes(Firmware("X", 10))})));
    EXPECT_NE(download[18], 1);
    EXPECT_EQ(download[8], 2);
    EXPECT_FALSE(protocol().InDownload());
}

TEST_F(ProtocolTest, ZeroLengthEndsTheDownloadWithoutStoring) {
    Send(Join({Command('D'), HeaderBytes(Firmware("X", 1000))}));
    SendPiece(100);
    auto e = Send(Le32(0));
    EXPECT_TRUE(e.replies.empty());
    EXPECT_EQ(e.log.back(), "aborted after 100 bytes");
    EXPECT_FALSE(protocol().InDownload());
    EXPECT_TRUE(files_.Records().empty());
}

TEST_F(ProtocolTest, MutedPrinterHearsButDoesNotAnswer) {
    profile_.muteAfter = 2;
    EXPECT_EQ(Send(Command('I')).replies.size(), 0u);
    EXPECT_EQ(Send(Command('S')).replies.size(), 1u);
    auto e = Send(Command('S'));
    EXPECT_TRUE(e.replies.empty());
    EXPECT_EQ(e.log.front(), "command S (muted)");
    EXPECT_TRUE(Send(Join({Command('D'), HeaderBytes(Firmware("X", 10))})).replies.empty());
}

TEST_F(ProtocolTest, HangsUpOnceAtTheGivenDataByte) {
    profile_.dropAfter = 600;
    Send(Join({Command('D'), HeaderBytes(Firmware("X", 2000))}));
    EXPECT_FALSE(SendPiece(512).hangUp);
    auto e = Send(Join({Le32(512), Data(512), Command('S')}));
    EXPECT_TRUE(e.hangUp);
    EXPECT_TRUE(e.replies.empty()) << "what came after the hang-up was never received";
    EXPECT_EQ(e.log.back(), "hung up after 600 bytes");
    EXPECT_FALSE(protocol().InDownload());
    EXPECT_TRUE(files_.Records().empty());

    // The line is back: the next download is not cut.
    Send(Join({Command('D'), HeaderBytes(Firmware("X", 1000))}));
    EXPECT_FALSE(SendPiece(512).hangUp);
    EXPECT_FALSE(SendPiece(488).hangUp);
    EXPECT_EQ(files_.Records().size(), 1u);
}

TEST_F(ProtocolTest, LastStatusWaitsForTheFileToBeStored) {
    profile_.finishDelay = std::chrono::milliseconds(1500);
    Bytes header = OnlyReply(Send(Join({Command('D'), HeaderBytes(Firmware("X", 10))})));
    (void)header;
    auto e = SendPiece(10);
    ASSERT_EQ(e.replies.size(), 1u);
    EXPECT_EQ(e.replies[0].delay, std::chrono::milliseconds(1500));
}

TEST_F(ProtocolTest, PieceOverFiveHundredTwelveBytesIsRefusedEvenWithinTheCredit) {
    Send(Join({Command('D'), HeaderBytes(Firmware("BIG", 2000))}));
    auto e = Send(Join({Le32(513), Data(513)}));
    ASSERT_EQ(e.replies.size(), 1u);
    Bytes refusal = e.replies[0].bytes;
    EXPECT_NE(refusal[18], 1);
    EXPECT_EQ(refusal[8], 0);
    EXPECT_EQ(e.log.front(), "piece 513 is over 512: download refused");
    EXPECT_FALSE(protocol().InDownload());
    EXPECT_TRUE(files_.Records().empty());
}

TEST_F(ProtocolTest, PieceSentBeforeItsStatusWasReadIsRefused) {
    profile_.credit = 512;
    // Sent on in the same breath as the header: the status granting the credit was not even out.
    auto eager = Send(Join({Command('D'), HeaderBytes(Firmware("EAGER", 1024)), Le32(512), Data(512)}));
    ASSERT_EQ(eager.replies.size(), 2u);
    EXPECT_EQ(eager.replies[0].bytes[18], 1);
    EXPECT_NE(eager.replies[1].bytes[18], 1);
    EXPECT_EQ(eager.log.back(),
              "piece 512 came before the status that granted it was read: download refused");
    EXPECT_FALSE(protocol().InDownload());

    // The next credit's status is still on the line, unread, when more data comes.
    Send(Join({Command('D'), HeaderBytes(Firmware("UNREAD", 1024))}));
    auto granted = SendPiece(512);
    ASSERT_EQ(granted.replies.size(), 1u);
    EXPECT_EQ(granted.replies[0].bytes[18], 1);
    auto unread = protocol().Receive(Join({Le32(512), Data(512)}), false);
    ASSERT_EQ(unread.replies.size(), 1u);
    EXPECT_NE(unread.replies[0].bytes[18], 1);
    EXPECT_TRUE(files_.Records().empty());

    // A length of 0 may end a download whether or not the status was read.
    Send(Join({Command('D'), HeaderBytes(Firmware("CANCEL", 1024))}));
    SendPiece(512);
    auto abort = protocol().Receive(Le32(0), false);
    EXPECT_TRUE(abort.replies.empty());
    EXPECT_EQ(abort.log.back(), "aborted after 512 bytes");
}

// Runs one whole download as the program does, reading each status before going on; gives the
// credit of every status and the delay of every reply.
struct DownloadTrace {
    std::vector<std::uint32_t> credits;
    std::vector<std::chrono::milliseconds> delays;
    Bytes last;
};

DownloadTrace RunDownload(PrinterProtocol& protocol, const pd3::Header& h) {
    DownloadTrace trace;
    auto e = protocol.Receive(Join({Command('D'), HeaderBytes(h)}));
    std::uint32_t sent = 0;
    while (e.replies.size() == 1) {
        const Reply& status = e.replies.front();
        trace.delays.push_back(status.delay);
        trace.last = status.bytes;
        const std::uint32_t credit = ReadLe32(status.bytes, 24);
        if (status.bytes[18] != 1 || credit == 0) break;
        trace.credits.push_back(credit);
        for (std::uint32_t left = credit; left > 0;) {
            const std::uint32_t piece = std::min(left, PrinterProtocol::kMaxPiece);
            e = protocol.Receive(Join({Le32(piece), Data(piece, static_cast<std::uint8_t>(sent))}));
            left -= piece;
            sent += piece;
        }
    }
    return trace;
}

TEST_F(ProtocolTest, VaryingCreditsStayInTheirRangeAndFollowTheSeed) {
    profile_.credit = 5000;
    profile_.creditMin = 300;
    profile_.seed = 11;
    DownloadTrace first = RunDownload(protocol(), Firmware("VARIED", 60000));
    ASSERT_EQ(first.last[18], 1);
    ASSERT_EQ(files_.Records().size(), 1u) << "stored";
    ASSERT_GE(first.credits.size(), 12u);
    std::uint32_t total = 0;
    for (std::size_t i = 0; i < first.credits.size(); ++i) {
        total += first.credits[i];
        if (i + 1 < first.credits.size()) {
            EXPECT_GE(first.credits[i], 300u);
            EXPECT_LE(first.credits[i], 5000u);
        }
    }
    EXPECT_EQ(total, 60000u) << "the last credit is no more than the rest of the file";
    EXPECT_NE(*std::min_element(first.credits.begin(), first.credits.end()),
              *std::max_element(first.credits.begin(), first.credits.end()));

    protocol_.reset();
    EXPECT_EQ(RunDownload(protocol(), Firmware("VARIED", 60000)).credits, first.credits) << "same seed";
    profile_.seed = 12;
    protocol_.reset();
    EXPECT_NE(RunDownload(protocol(), Firmware("VARIED", 60000)).credits, first.credits) << "another seed";
}

TEST_F(ProtocolTest, VariedDelaysStayWithinHalfOfEachRepliesWindow) {
    using std::chrono::milliseconds;
    profile_.varyDelays = true;
    profile_.credit = 1000;
    milliseconds longest{0};
    std::vector<milliseconds> modeDelays;
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        profile_.seed = seed;
        protocol_.reset();
        Send(Command('I'));
        const milliseconds identify = Send(Command('S')).replies.at(0).delay;
        const milliseconds mode = Send(Command('M')).replies.at(0).delay;
        const milliseconds list = Send(Command('l')).replies.at(0).delay;
        EXPECT_LE(identify, milliseconds(500));
        EXPECT_LE(mode, milliseconds(2500));
        EXPECT_LE(list, milliseconds(500));
        modeDelays.push_back(mode);
        // 3,000,000 bytes: the last status may take 4500 ms.
        DownloadTrace trace = RunDownload(protocol(), Firmware("SLOW", 3000000));
        ASSERT_EQ(trace.last[18], 1);
        for (std::size_t i = 0; i + 1 < trace.delays.size(); ++i)
            EXPECT_LE(trace.delays[i], milliseconds(1000));
        EXPECT_LE(trace.delays.back(), milliseconds(2250));
        longest = std::max(longest, trace.delays.back());
    }
    EXPECT_GT(longest, milliseconds(1000)) << "the last status's window grows with the file";
    EXPECT_NE(*std::min_element(modeDelays.begin(), modeDelays.end()),
              *std::max_element(modeDelays.begin(), modeDelays.end()));
}

TEST_F(ProtocolTest, FixedModeDelayAndNoDelaysByDefault) {
    Send(Command('I'));
    EXPECT_EQ(Send(Command('S')).replies.at(0).delay.count(), 0);
    EXPECT_EQ(Send(Command('M')).replies.at(0).delay.count(), 0);
    profile_.modeDelay = std::chrono::milliseconds(3000);
    protocol_.reset();
    EXPECT_EQ(Send(Command('M')).replies.at(0).delay, std::chrono::milliseconds(3000));
}

TEST_F(ProtocolTest, RefusalInTheMiddleOfADownloadComesOnceAtTheNextStatus) {
    profile_.credit = 1300;
    profile_.refuseAfter = 1000;
    DownloadTrace refused = RunDownload(protocol(), Firmware("MIDWAY", 4000));
    EXPECT_EQ(refused.credits, (std::vector<std::uint32_t>{1300})) << "the first credit is taken whole";
    EXPECT_NE(refused.last[18], 1);
    EXPECT_EQ(refused.last[8], 0) << "a plain refusal";
    EXPECT_FALSE(protocol().InDownload());
    EXPECT_TRUE(files_.Records().empty());

    DownloadTrace again = RunDownload(protocol(), Firmware("MIDWAY", 4000));
    EXPECT_EQ(again.last[18], 1);
    EXPECT_EQ(files_.Records().size(), 1u);
}

TEST_F(ProtocolTest, FileThatCannotBeKeptIsRefused) {
    files_ = StoredFiles("/nonexistent-dir/state.txt");
    Send(Join({Command('D'), HeaderBytes(Firmware("X", 10))}));
    auto e = SendPiece(10);
    EXPECT_NE(OnlyReply(e)[18], 1);
    EXPECT_EQ(e.log.back().rfind("not stored: ", 0), 0u);
    EXPECT_TRUE(files_.Records().empty());
}

}  // namespace
}  // namespace printersim

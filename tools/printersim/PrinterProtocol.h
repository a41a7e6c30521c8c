#pragma once
// The printer's side of the firmware command protocol, free of any I/O: bytes from the line go
// in, replies (and a hang-up, when the profile asks for one) come out.
//
// Commands are ESC "i" "F" and a letter; "L" and "l" carry a fifth byte. Bytes that do not start
// a command are skipped until one does. A download ("D") is followed by a file header; the
// printer answers with a status whose count is its credit, then takes pieces of data, each a
// 4-byte length and that many bytes, until the credit is used up, answers with the next status,
// and so on; the status after the last byte has credit 0 and tells whether the file was stored.
// A length of 0 ends the download early.
//
// The printer is as strict as a real one: "S" is answered only after an "I", a list command's
// fifth byte must be 0, a piece holds at most 512 bytes and may not come before the status that
// granted its credit has been read. What it refuses gets no reply, or ends a download with a
// refusing status.

#include <chrono>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "PrinterProfile.h"
#include "StoredFiles.h"
#include "common/Pd3Header.h"

namespace printersim {

struct Reply {
    std::vector<std::uint8_t> bytes;
    // 32-byte status and identification replies; the line may deliver these in pieces.
    bool isStatus = false;
    // Time the printer takes before it starts to send this reply.
    std::chrono::milliseconds delay{0};
};

struct ProtocolEvents {
    std::vector<Reply> replies;
    std::vector<std::string> log;
    // The printer hangs up; bytes after the one that triggered it were never received.
    bool hangUp = false;
};

// What a reply answers; each has its own time within which the program expects it.
enum class ReplyKind { Identification, Mode, List, HeaderStatus, CreditStatus, FinalStatus };

// The time within which a reply of this kind is due: as long as the program waits for it (the
// identification, whose wait is the program's own choice, gets the time of a command). The last
// status's time grows with the length of the file, as storing it takes longer.
std::chrono::milliseconds ReplyWindow(ReplyKind kind, std::uint32_t dataLength);

class PrinterProtocol {
  public:
    static constexpr std::uint32_t kMaxPiece = 512;

    PrinterProtocol(const PrinterProfile& profile, StoredFiles& files);

    // repliesTaken: the program has read every reply sent before these bytes.
    ProtocolEvents Receive(std::span<const std::uint8_t> bytes, bool repliesTaken = true);

    bool InDownload() const { return state_ != State::Command; }
    std::uint32_t CommandsReceived() const { return commands_; }

  private:
    enum class State { Command, Header, Length, Data };

    // Each step consumes what it can of the pending input and says whether it made progress.
    bool StepCommand(ProtocolEvents& events);
    bool StepHeader(ProtocolEvents& events);
    bool StepLength(ProtocolEvents& events);
    bool StepData(ProtocolEvents& events);

    void RunCommand(char letter, std::uint8_t fifth, ProtocolEvents& events);
    std::string WhyIgnored(char letter, std::uint8_t fifth) const;
    void AnswerList(std::size_t recordSize, ProtocolEvents& events);
    void StartDownload(ProtocolEvents& events);
    void FinishCredit(ProtocolEvents& events);
    void GrantCredit(ReplyKind kind, ProtocolEvents& events);
    void RefuseDownload(const std::string& why, ProtocolEvents& events);
    void EndDownload();
    bool Muted() const;
    std::uint32_t NextCredit();
    std::chrono::milliseconds DelayOf(ReplyKind kind);

    Reply Status(std::uint32_t count, bool accept) const;
    void SendStatus(ProtocolEvents& events, std::uint32_t count, bool accept, ReplyKind kind);

    PrinterProfile profile_;
    StoredFiles& files_;
    std::vector<std::uint8_t> pending_;
    State state_ = State::Command;
    std::uint32_t commands_ = 0;
    std::uint64_t skipped_ = 0;
    bool dropDone_ = false;
    bool refuseDone_ = false;
    // An "I" makes the next "S" an identification.
    bool identifyAsked_ = false;
    std::mt19937 random_;

    // The download in progress.
    pd3::Block header_{};
    pd3::Header fields_;
    std::uint32_t received_ = 0;
    std::uint32_t creditLeft_ = 0;
    std::uint32_t pieceLeft_ = 0;
    std::uint32_t checksum_ = 0;
    // The status that granted the present credit has not been read yet.
    bool creditUnread_ = false;
};

}  // namespace printersim

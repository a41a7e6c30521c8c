#include "PrinterProtocol.h"

#include <algorithm>
#include <cstdio>

#include "StatusReply.h"

namespace printersim {
namespace {

constexpr std::uint8_t kEsc = 0x1B;
constexpr std::size_t kCommandSize = 4;
constexpr std::size_t kListCommandSize = 5;
constexpr std::uint32_t kFnvOffset = 2166136261u;
constexpr std::uint32_t kFnvPrime = 16777619u;
constexpr std::size_t kFifthByteAt = 4;

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string Describe(const pd3::Header& h) {
    return "name=" + h.name + " model=" + Hex(h.model, 4) + " type=" + std::to_string(h.type) +
           " header=" + std::to_string(h.headerLength) + " length=" + std::to_string(h.dataLength);
}

}  // namespace

std::chrono::milliseconds ReplyWindow(ReplyKind kind, std::uint32_t dataLength) {
    using std::chrono::milliseconds;
    switch (kind) {
        case ReplyKind::Identification:
        case ReplyKind::List:
            return milliseconds(1000);
        case ReplyKind::Mode:
            return milliseconds(5000);
        case ReplyKind::HeaderStatus:
        case ReplyKind::CreditStatus:
            break;
        case ReplyKind::FinalStatus:
            return std::max(milliseconds(2000), milliseconds(std::uint64_t{dataLength} * 1500 / 1000000));
    }
    return milliseconds(2000);
}

PrinterProtocol::PrinterProtocol(const PrinterProfile& profile, StoredFiles& files)
    : profile_(profile), files_(files), random_(profile.seed) {}

ProtocolEvents PrinterProtocol::Receive(std::span<const std::uint8_t> bytes, bool repliesTaken) {
    ProtocolEvents events;
    if (repliesTaken) creditUnread_ = false;
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    for (bool progress = true; progress && !events.hangUp;) {
        switch (state_) {
            case State::Command:
                progress = StepCommand(events);
                break;
            case State::Header:
                progress = StepHeader(events);
                break;
            case State::Length:
                progress = StepLength(events);
                break;
            case State::Data:
                progress = StepData(events);
                break;
        }
    }
    if (events.hangUp) {
        pending_.clear();
        EndDownload();
    }
    return events;
}

bool PrinterProtocol::StepCommand(ProtocolEvents& events) {
    if (pending_.empty()) return false;
    if (pending_[0] != kEsc) {
        auto next = std::find(pending_.begin(), pending_.end(), kEsc);
        skipped_ += static_cast<std::uint64_t>(next - pending_.begin());
        pending_.erase(pending_.begin(), next);
        return true;
    }
    if (pending_.size() < kCommandSize) return false;
    if (pending_[1] != 'i' || pending_[2] != 'F') {
        ++skipped_;
        pending_.erase(pending_.begin());
        return true;
    }
    char letter = static_cast<char>(pending_[3]);
    std::size_t size = (letter == 'L' || letter == 'l') ? kListCommandSize : kCommandSize;
    if (pending_.size() < size) return false;
    const std::uint8_t fifth = size == kListCommandSize ? pending_[kFifthByteAt] : 0;
    pending_.erase(pending_.begin(), pending_.begin() + size);
    // Noise is told once, before the command it preceded, however it came in.
    if (skipped_ > 0) {
        events.log.push_back("skipped " + std::to_string(skipped_) + " bytes");
        skipped_ = 0;
    }
    ++commands_;
    RunCommand(letter, fifth, events);
    return true;
}

bool PrinterProtocol::Muted() const { return profile_.muteAfter && commands_ > *profile_.muteAfter; }

void PrinterProtocol::RunCommand(char letter, std::uint8_t fifth, ProtocolEvents& events) {
    bool known = std::string_view("ISMLlDm").find(letter) != std::string_view::npos;
    std::string line = known ? std::string("command ") + letter
                             : "command " + Hex(static_cast<unsigned char>(letter), 2) + " (unknown)";
    if (Muted()) {
        events.log.push_back(line + " (muted)");
        return;
    }
    // A command the printer does not take gets no reply at all.
    if (std::string why = WhyIgnored(letter, fifth); !why.empty()) {
        events.log.push_back(line + " (" + why + ")");
        if (letter == 'S') identifyAsked_ = false;
        return;
    }
    events.log.push_back(line);
    switch (letter) {
        case 'I':
            identifyAsked_ = true;
            break;
        case 'S':
            identifyAsked_ = false;
            SendStatus(events, profile_.cancelLimit, true, ReplyKind::Identification);
            break;
        case 'M':
            SendStatus(events, 0, true, ReplyKind::Mode);
            break;
        case 'L':
            AnswerList(pd3::kShortHeader, events);
            break;
        case 'l':
            AnswerList(pd3::kLongHeader, events);
            break;
        case 'D':
            state_ = State::Header;
            break;
        default:
            break;  // "m" and unknown commands have no reply
    }
}

std::string PrinterProtocol::WhyIgnored(char letter, std::uint8_t fifth) const {
    // A printer with 64-byte records does not know the long list.
    if (letter == 'l' && profile_.recordSize != pd3::kLongHeader) return "not supported";
    if ((letter == 'l' || letter == 'L') && fifth != 0) return "fifth byte " + Hex(fifth, 2) + ": ignored";
    if (letter == 'S' && !identifyAsked_) return "no I before it: ignored";
    return {};
}

void PrinterProtocol::AnswerList(std::size_t recordSize, ProtocolEvents& events) {
    events.replies.push_back(Reply{files_.Listing(recordSize), false, DelayOf(ReplyKind::List)});
}

bool PrinterProtocol::StepHeader(ProtocolEvents& events) {
    if (pending_.size() < pd3::kShortHeader) return false;
    std::size_t length = pending_[pd3::kHeaderLengthAt];
    if (length < pd3::kShortHeader || length > pd3::kLongHeader) length = pd3::kShortHeader;
    if (pending_.size() < length) return false;
    header_.fill(0);
    std::copy_n(pending_.begin(), length, header_.begin());
    pending_.erase(pending_.begin(), pending_.begin() + length);
    fields_ = *pd3::Header::Decode(std::span<const std::uint8_t>(header_.data(), length));
    StartDownload(events);
    return true;
}

void PrinterProtocol::StartDownload(ProtocolEvents& events) {
    std::string refusal;
    if (fields_.headerLength < pd3::kShortHeader || fields_.headerLength > pd3::kLongHeader)
        refusal = "header length " + std::to_string(fields_.headerLength);
    else if (fields_.model != profile_.model)
        refusal = "model " + Hex(fields_.model, 4) + " is not " + Hex(profile_.model, 4);
    else if (fields_.dataLength == 0)
        refusal = "no data";
    else if (profile_.refuse)
        refusal = "printer refuses";
    if (!refusal.empty()) {
        events.log.push_back("header " + Describe(fields_) + " refused: " + refusal);
        SendStatus(events, 0, false, ReplyKind::HeaderStatus);
        EndDownload();
        return;
    }
    received_ = 0;
    checksum_ = kFnvOffset;
    creditLeft_ = NextCredit();
    events.log.push_back("header " + Describe(fields_) + " accepted credit=" + std::to_string(creditLeft_));
    GrantCredit(ReplyKind::HeaderStatus, events);
}

void PrinterProtocol::GrantCredit(ReplyKind kind, ProtocolEvents& events) {
    SendStatus(events, creditLeft_, true, kind);
    creditUnread_ = true;
    state_ = State::Length;
}

void PrinterProtocol::RefuseDownload(const std::string& why, ProtocolEvents& events) {
    events.log.push_back(why + ": download refused");
    SendStatus(events, 0, false, ReplyKind::CreditStatus);
    EndDownload();
}

bool PrinterProtocol::StepLength(ProtocolEvents& events) {
    if (pending_.size() < 4) return false;
    std::uint32_t length = 0;
    for (std::size_t i = 0; i < 4; ++i) length |= static_cast<std::uint32_t>(pending_[i]) << (8 * i);
    pending_.erase(pending_.begin(), pending_.begin() + 4);
    if (length == 0) {
        events.log.push_back("aborted after " + std::to_string(received_) + " bytes");
        EndDownload();
        return true;
    }
    const std::string piece = "piece " + std::to_string(length);
    if (creditUnread_) {
        RefuseDownload(piece + " came before the status that granted it was read", events);
        return true;
    }
    if (length > kMaxPiece) {
        RefuseDownload(piece + " is over " + std::to_string(kMaxPiece), events);
        return true;
    }
    if (length > creditLeft_) {
        RefuseDownload(piece + " exceeds credit " + std::to_string(creditLeft_), events);
        return true;
    }
    events.log.push_back(piece);
    pieceLeft_ = length;
    state_ = State::Data;
    return true;
}

bool PrinterProtocol::StepData(ProtocolEvents& events) {
    if (pending_.empty()) return false;
    std::uint32_t take = std::min<std::uint32_t>(pieceLeft_, static_cast<std::uint32_t>(pending_.size()));
    bool hangUp = false;
    if (profile_.dropAfter && !dropDone_ && received_ + take >= *profile_.dropAfter) {
        take = static_cast<std::uint32_t>(*profile_.dropAfter -
                                          std::min<std::uint64_t>(received_, *profile_.dropAfter));
        hangUp = true;
    }
    for (std::uint32_t i = 0; i < take; ++i) checksum_ = (checksum_ ^ pending_[i]) * kFnvPrime;
    pending_.erase(pending_.begin(), pending_.begin() + take);
    received_ += take;
    creditLeft_ -= take;
    pieceLeft_ -= take;
    if (hangUp) {
        events.log.push_back("hung up after " + std::to_string(received_) + " bytes");
        dropDone_ = true;
        events.hangUp = true;
        return false;
    }
    if (pieceLeft_ == 0) {
        state_ = State::Length;
        if (creditLeft_ == 0) FinishCredit(events);
    }
    return true;
}

void PrinterProtocol::FinishCredit(ProtocolEvents& events) {
    if (received_ < fields_.dataLength) {
        if (profile_.refuseAfter && !refuseDone_ && received_ >= *profile_.refuseAfter) {
            refuseDone_ = true;
            events.log.push_back("refused after " + std::to_string(received_) + " bytes");
            SendStatus(events, 0, false, ReplyKind::CreditStatus);
            EndDownload();
            return;
        }
        creditLeft_ = NextCredit();
        GrantCredit(ReplyKind::CreditStatus, events);
        return;
    }
    std::string error;
    if (profile_.keepOldVersion) {
        events.log.push_back("acknowledged but not stored " + Describe(fields_));
        SendStatus(events, 0, true, ReplyKind::FinalStatus);
    } else if (files_.Keep(header_, error)) {
        events.log.push_back("stored " + Describe(fields_) + " fnv=" + Hex(checksum_, 8));
        SendStatus(events, 0, true, ReplyKind::FinalStatus);
    } else {
        events.log.push_back("not stored: " + error);
        SendStatus(events, 0, false, ReplyKind::FinalStatus);
    }
    EndDownload();
}

std::uint32_t PrinterProtocol::NextCredit() {
    std::uint32_t credit = profile_.credit;
    if (profile_.creditMin) {
        std::uniform_int_distribution<std::uint32_t> pick(std::min(*profile_.creditMin, credit), credit);
        credit = pick(random_);
    }
    return std::min(credit, fields_.dataLength - received_);
}

std::chrono::milliseconds PrinterProtocol::DelayOf(ReplyKind kind) {
    if (kind == ReplyKind::Mode && profile_.modeDelay.count() > 0) return profile_.modeDelay;
    if (kind == ReplyKind::FinalStatus && profile_.finishDelay.count() > 0) return profile_.finishDelay;
    if (!profile_.varyDelays) return {};
    // Half the window at most: the rest is for the line and for the program's own scheduling.
    const auto window = ReplyWindow(kind, fields_.dataLength);
    std::uniform_int_distribution<std::int64_t> pick(0, window.count() / 2);
    return std::chrono::milliseconds(pick(random_));
}

void PrinterProtocol::EndDownload() {
    state_ = State::Command;
    creditUnread_ = false;
    received_ = creditLeft_ = pieceLeft_ = 0;
}

Reply PrinterProtocol::Status(std::uint32_t count, bool accept) const {
    StatusReply status(profile_.model, profile_.recordSize == pd3::kLongHeader);
    status.Count(count);
    if (!accept || profile_.refuse) status.Refuse(profile_.refuse);
    const auto& b = status.bytes();
    return Reply{std::vector<std::uint8_t>(b.begin(), b.end()), true, {}};
}

void PrinterProtocol::SendStatus(ProtocolEvents& events, std::uint32_t count, bool accept, ReplyKind kind) {
    Reply reply = Status(count, accept);
    reply.delay = DelayOf(kind);
    events.replies.push_back(std::move(reply));
}

}  // namespace printersim

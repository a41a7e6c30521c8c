#pragma once
// What one direction of a relayed connection holds on the line: each piece read from one end,
// with the time it may reach the other end. A piece read whole is delivered whole, in the order
// read; the end of the stream (a close or a reset) travels behind the bytes like any piece.

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>

namespace slowline {

using Clock = std::chrono::steady_clock;

class DelayQueue {
  public:
    enum class Kind { Data, Close, Reset };
    struct Piece {
        Kind kind = Kind::Data;
        std::string bytes;
        Clock::time_point due;
    };

    // The largest piece a sender's stack counts as small (a segment less than the line's usual MSS).
    static constexpr std::size_t kSmallPiece = 1448;

    // notBefore: the earliest the direction may deliver anything (the connection's handshake).
    // senderNagle: the sender's stack holds a small piece while an earlier small one is not yet
    // acknowledged (Nagle's algorithm, where the sender did not set TCP_NODELAY); the relay's own
    // kernel acknowledges at once, so the line's acknowledgements are played here: each comes a
    // round trip after its piece left.
    DelayQueue(Clock::duration delay, Clock::time_point notBefore, bool senderNagle = false)
        : delay_(delay), notBefore_(notBefore), senderNagle_(senderNagle) {}

    // A piece read at the time; a later one never overtakes an earlier one.
    void Push(Kind kind, std::string bytes, Clock::time_point readAt);
    // The first piece when it is due at the time, else nothing.
    Piece* Due(Clock::time_point now);
    // The first piece's bytes were partly written: the rest stays at the front.
    void Consumed(std::size_t bytes);
    void Pop();
    std::optional<Clock::time_point> NextDue() const;
    std::size_t QueuedBytes() const { return queued_; }
    bool Empty() const { return pieces_.empty(); }
    void Clear();

  private:
    Clock::duration delay_;
    Clock::time_point notBefore_;
    bool senderNagle_;
    // When the last small piece that left is acknowledged.
    Clock::time_point smallAcknowledged_{};
    std::deque<Piece> pieces_;
    std::size_t queued_ = 0;
};

}  // namespace slowline

#include "DelayQueue.h"

#include <algorithm>

namespace slowline {

void DelayQueue::Push(Kind kind, std::string bytes, Clock::time_point readAt) {
    Clock::time_point sentAt = readAt;
    if (senderNagle_ && kind == Kind::Data && bytes.size() < kSmallPiece) {
        sentAt = std::max(readAt, smallAcknowledged_);
        // The round trip starts once the piece may travel, not before the handshake let it.
        smallAcknowledged_ = std::max(sentAt + delay_, notBefore_) + delay_;
    }
    Clock::time_point due = std::max(sentAt + delay_, notBefore_);
    // The clock is steady, but two reads within one tick must still keep their order.
    if (!pieces_.empty()) due = std::max(due, pieces_.back().due);
    queued_ += bytes.size();
    pieces_.push_back(Piece{kind, std::move(bytes), due});
}

DelayQueue::Piece* DelayQueue::Due(Clock::time_point now) {
    if (pieces_.empty() || pieces_.front().due > now) return nullptr;
    return &pieces_.front();
}

void DelayQueue::Consumed(std::size_t bytes) {
    Piece& front = pieces_.front();
    bytes = std::min(bytes, front.bytes.size());
    front.bytes.erase(0, bytes);
    queued_ -= bytes;
}

void DelayQueue::Pop() {
    queued_ -= pieces_.front().bytes.size();
    pieces_.pop_front();
}

std::optional<Clock::time_point> DelayQueue::NextDue() const {
    if (pieces_.empty()) return std::nullopt;
    return pieces_.front().due;
}

void DelayQueue::Clear() {
    pieces_.clear();
    queued_ = 0;
}

}  // namespace slowline

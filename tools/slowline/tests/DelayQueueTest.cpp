#include <gtest/gtest.h>

#include "DelayQueue.h"

namespace slowline {
namespace {

using namespace std::chrono_literals;
using Kind = DelayQueue::Kind;

const Clock::time_point t0 = Clock::time_point() + 1h;

TEST(DelayQueue, APieceArrivesWholeOnlyOnceItsDelayHasPassed) {
    DelayQueue queue(100ms, t0);
    queue.Push(Kind::Data, "first piece", t0);
    queue.Push(Kind::Data, "second", t0 + 30ms);
    EXPECT_EQ(queue.Due(t0 + 99ms), nullptr);
    ASSERT_NE(queue.Due(t0 + 100ms), nullptr);
    EXPECT_EQ(queue.Due(t0 + 100ms)->bytes, "first piece");
    queue.Pop();
    // The second waits for its own delay, not for the first's.
    EXPECT_EQ(queue.Due(t0 + 129ms), nullptr);
    ASSERT_NE(queue.Due(t0 + 130ms), nullptr);
    EXPECT_EQ(queue.Due(t0 + 130ms)->bytes, "second");
    EXPECT_EQ(queue.NextDue(), t0 + 130ms);
}

TEST(DelayQueue, OrderIsKeptAndTheEndComesBehindTheBytes) {
    DelayQueue queue(50ms, t0);
    queue.Push(Kind::Data, "a", t0);
    queue.Push(Kind::Data, "b", t0);
    queue.Push(Kind::Reset, {}, t0);
    std::string seen;
    while (DelayQueue::Piece* piece = queue.Due(t0 + 50ms)) {
        seen += piece->kind == Kind::Reset ? "!" : piece->bytes;
        queue.Pop();
    }
    EXPECT_EQ(seen, "ab!");
    EXPECT_TRUE(queue.Empty());
}

TEST(DelayQueue, NothingArrivesBeforeTheHandshakeAllows) {
    DelayQueue queue(100ms, t0 + 300ms);
    queue.Push(Kind::Data, "early", t0 + 1ms);
    EXPECT_EQ(queue.Due(t0 + 299ms), nullptr);
    ASSERT_NE(queue.Due(t0 + 300ms), nullptr);
    queue.Pop();
    queue.Push(Kind::Close, {}, t0 + 400ms);
    EXPECT_EQ(queue.Due(t0 + 499ms), nullptr);
    EXPECT_NE(queue.Due(t0 + 500ms), nullptr);
}

TEST(DelayQueue, APartlyWrittenPieceKeepsItsRestInFront) {
    DelayQueue queue(0ms, t0);
    queue.Push(Kind::Data, "abcdef", t0);
    queue.Push(Kind::Data, "gh", t0);
    EXPECT_EQ(queue.QueuedBytes(), 8u);
    queue.Consumed(4);
    EXPECT_EQ(queue.QueuedBytes(), 4u);
    EXPECT_EQ(queue.Due(t0)->bytes, "ef");
    queue.Pop();
    EXPECT_EQ(queue.Due(t0)->bytes, "gh");
    queue.Clear();
    EXPECT_EQ(queue.QueuedBytes(), 0u);
    EXPECT_EQ(queue.Due(t0), nullptr);
}

// A request's headers and body written one after the other by a stack without TCP_NODELAY: the
// body leaves only when the headers' acknowledgement is back, a round trip later. A large piece
// and a queue without the sender's Nagle are not held.
TEST(DelayQueue, ASendersNagleHoldsASmallPieceUntilTheEarlierOneIsAcknowledged) {
    DelayQueue nagle(100ms, t0 + 300ms, true);
    nagle.Push(Kind::Data, std::string(216, 'h'), t0);
    nagle.Push(Kind::Data, std::string(317, 'b'), t0 + 1ms);
    ASSERT_EQ(nagle.NextDue(), t0 + 300ms);
    nagle.Pop();
    // The headers arrived at 300 ms, their acknowledgement is back at 400 ms, the body arrives at 500.
    EXPECT_EQ(nagle.NextDue(), t0 + 500ms);
    nagle.Pop();
    nagle.Push(Kind::Data, std::string(64 * 1024, 'x'), t0 + 510ms);
    EXPECT_EQ(nagle.NextDue(), t0 + 610ms) << "a full segment is sent at once";
    nagle.Pop();
    // Long after every acknowledgement: nothing is held.
    nagle.Push(Kind::Data, "next", t0 + 2s);
    EXPECT_EQ(nagle.NextDue(), t0 + 2s + 100ms);

    DelayQueue plain(100ms, t0 + 300ms);
    plain.Push(Kind::Data, std::string(216, 'h'), t0);
    plain.Push(Kind::Data, std::string(317, 'b'), t0 + 1ms);
    plain.Pop();
    EXPECT_EQ(plain.NextDue(), t0 + 300ms);
}

}  // namespace
}  // namespace slowline

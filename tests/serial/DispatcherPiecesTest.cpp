// The dispatcher's pieces without threads: its byte rings, its trigger table and its handler
// list, each driven directly (the dispatcher tests cover them over a pseudo-terminal).
#include "serial/ByteRing.h"
#include "serial/Serexcept.h"
#include "serial/TriggerHandlerList.h"
#include "serial/TriggerTable.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace vx {
namespace {

// ---- Byte ring ----

std::vector<std::uint8_t> Count(std::size_t n, std::uint8_t from) {
    std::vector<std::uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), from);
    return bytes;
}

// A ring of 8 whose tail was first moved to `tail` (bytes put and taken again).
ByteRing RingWithTailAt(std::size_t tail) {
    ByteRing ring;
    ring.Allocate(8);
    const auto filler = Count(tail, 100);
    EXPECT_TRUE(ring.Put(filler.data(), filler.size()));
    ring.Skip(tail);
    return ring;
}

TEST(ByteRing, PutThenPeekAcrossEveryPositionAndFill) {
    struct Case {
        const char* name;
        std::size_t tail;
        std::size_t put;
        bool fits;
        bool full;
        std::size_t writable;  // the free stretch after the head
        std::size_t readable;  // the oldest bytes in one piece
    };
    const Case cases[] = {
        {"empty", 0, 0, true, false, 8, 0},
        {"one short", 0, 7, true, false, 1, 7},
        {"exact fit", 0, 8, true, true, 0, 8},
        {"one too many", 0, 9, false, false, 8, 0},
        {"wraps round", 5, 6, true, false, 2, 3},
        {"wraps to one short", 5, 7, true, false, 1, 3},
        {"wraps to exact fit", 5, 8, true, true, 0, 3},
        {"up to the end", 5, 3, true, false, 5, 3},
        {"wrapped and too many", 5, 9, false, false, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ByteRing ring = RingWithTailAt(c.tail);
        const auto bytes = Count(c.put, 1);
        EXPECT_EQ(ring.Put(bytes.data(), bytes.size()), c.fits);
        const std::size_t held = c.fits ? c.put : 0;
        EXPECT_EQ(ring.Used(), held);
        EXPECT_EQ(ring.Room(), 8 - held);
        EXPECT_EQ(ring.Full(), c.full);
        EXPECT_EQ(ring.WritableStretch().size(), c.writable);
        EXPECT_EQ(ring.ReadableStretch().size(), c.readable);
        std::vector<std::uint8_t> out(held);
        ASSERT_TRUE(ring.Peek(0, out.data(), held));
        EXPECT_EQ(out, c.fits ? bytes : std::vector<std::uint8_t>{});
        EXPECT_FALSE(ring.Peek(0, out.data(), held + 1));
        if (held >= 2) {
            // From an offset, as the second handler of a delivery reads.
            std::vector<std::uint8_t> rest(held - 2);
            ASSERT_TRUE(ring.Peek(2, rest.data(), rest.size()));
            EXPECT_EQ(rest, std::vector<std::uint8_t>(bytes.begin() + 2, bytes.end()));
            EXPECT_FALSE(ring.Peek(3, rest.data(), rest.size()));
        }
    }
}

TEST(ByteRing, TakingBytesFreesRoomAndKeepsTheOrder) {
    ByteRing ring = RingWithTailAt(6);
    const auto first = Count(8, 1);
    ASSERT_TRUE(ring.Put(first.data(), first.size()));
    ring.Skip(3);
    EXPECT_FALSE(ring.Full());
    EXPECT_EQ(ring.Used(), 5u);
    const auto second = Count(3, 50);
    ASSERT_TRUE(ring.Put(second.data(), second.size()));
    EXPECT_TRUE(ring.Full());
    std::vector<std::uint8_t> out(8);
    ASSERT_TRUE(ring.Peek(0, out.data(), out.size()));
    EXPECT_EQ(out, (std::vector<std::uint8_t>{4, 5, 6, 7, 8, 50, 51, 52}));
    // Reading stretch by stretch, as the output thread writes, gives the same bytes.
    std::vector<std::uint8_t> written;
    while (ring.Used() > 0) {
        auto stretch = ring.ReadableStretch();
        ASSERT_FALSE(stretch.empty());
        written.insert(written.end(), stretch.begin(), stretch.end());
        ring.Skip(stretch.size());
    }
    EXPECT_EQ(written, out);
}

TEST(ByteRing, ADeviceReadFillsTheFreeStretchesInTurn) {
    ByteRing ring = RingWithTailAt(3);  // free: 3..7, then 0..2
    auto stretch = ring.WritableStretch();
    ASSERT_EQ(stretch.size(), 5u);
    std::fill(stretch.begin(), stretch.end(), 'a');
    ring.CommitWrite(stretch.size());
    stretch = ring.WritableStretch();
    ASSERT_EQ(stretch.size(), 3u);
    std::fill(stretch.begin(), stretch.end(), 'b');
    ring.CommitWrite(2);
    EXPECT_FALSE(ring.Full());
    EXPECT_EQ(ring.WritableStretch().size(), 1u);
    ring.CommitWrite(1);
    EXPECT_TRUE(ring.Full());
    EXPECT_TRUE(ring.WritableStretch().empty());
    ring.CommitWrite(0);  // a read that got nothing changes nothing
    EXPECT_EQ(ring.Used(), 8u);
}

TEST(ByteRing, ClearSkipPastTheEndAndFreeLeaveItConsistent) {
    ByteRing ring = RingWithTailAt(5);
    const auto bytes = Count(6, 1);
    ASSERT_TRUE(ring.Put(bytes.data(), bytes.size()));
    // A reader that reports what it took after a flush emptied the ring: the tail never runs
    // past the head (which would make stale bytes look unread).
    ring.Clear();
    EXPECT_EQ(ring.Used(), 0u);
    ring.Skip(4);
    EXPECT_EQ(ring.Used(), 0u);
    EXPECT_EQ(ring.Room(), 8u);
    const auto again = Count(8, 20);
    ASSERT_TRUE(ring.Put(again.data(), again.size()));
    EXPECT_TRUE(ring.Full());
    ring.Skip(100);
    EXPECT_EQ(ring.Used(), 0u);
    EXPECT_FALSE(ring.Full());

    ring.Free();
    EXPECT_EQ(ring.Capacity(), 0u);
    EXPECT_EQ(ring.Used(), 0u);
    EXPECT_FALSE(ring.Put(bytes.data(), 1));
    EXPECT_TRUE(ring.WritableStretch().empty());
    EXPECT_TRUE(ring.ReadableStretch().empty());
    ring.CommitWrite(3);
    ring.Skip(3);
    EXPECT_EQ(ring.Used(), 0u);
}

// ---- Trigger table ----

TEST(TriggerTable, TimersStartStopAndFireOnceInTheirOrder) {
    TriggerTable table;
    const int a = table.AddTimer();
    const int b = table.AddTimer();
    EXPECT_FALSE(table.AnyTimerActive());
    EXPECT_EQ(table.TakeExpired(1000), 0);  // never started

    struct Step {
        const char* name;
        int handle;
        int ticks;
        bool activate;
        std::uint32_t now;
        std::uint32_t expiresAfter;  // the first tick at which it has expired; 0: it never does
    };
    const Step steps[] = {
        {"started", a, 10, true, 100, 111},
        {"restarted with no interval keeps its interval", a, 0, true, 200, 211},
        {"a negative interval is none", a, -5, true, 300, 301},
        {"capped at half the clock", a, 2000000000, true, 0, kMaxTimerTicks + 1},
        {"stopped", a, 10, false, 0, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        ASSERT_EQ(table.SetTimer(s.handle, s.ticks, s.activate, s.now), 0);
        EXPECT_EQ(table.AnyTimerActive(), s.expiresAfter != 0);
        if (s.expiresAfter == 0) {
            EXPECT_EQ(table.TakeExpired(s.now + kMaxTimerTicks), 0);
            continue;
        }
        EXPECT_EQ(table.TakeExpired(s.expiresAfter - 1), 0);
        EXPECT_EQ(table.TakeExpired(s.expiresAfter), s.handle);
        EXPECT_EQ(table.TakeExpired(s.expiresAfter + 1), 0);  // it fires once
        EXPECT_FALSE(table.AnyTimerActive());
    }
    // Two expired at once come one at a time, in the order they were added.
    ASSERT_EQ(table.SetTimer(b, 1, true, 0), 0);
    ASSERT_EQ(table.SetTimer(a, 1, true, 0), 0);
    EXPECT_EQ(table.TakeExpired(5), a);
    EXPECT_EQ(table.TakeExpired(5), b);
    EXPECT_EQ(table.SetTimer(a + 1, 1, true, 0), ecBadTriggerHandle);
}

TEST(TriggerTable, SavedTriggersComeBackAndTheirHandlesAreNotGivenAgain) {
    TriggerTable table;
    table.SetLength(12);
    const int kept = table.AddTimer();
    ASSERT_EQ(table.SetTimer(kept, 7, true, 40), 0);
    table.AddTimer();
    const TSavedTriggers saved = table.Save();

    TriggerTable reopened;  // what a port's next open starts from
    reopened.Reset();
    reopened.Restore(saved);
    EXPECT_EQ(reopened.Length(), 12u);
    EXPECT_EQ(reopened.TakeExpired(48), kept);
    EXPECT_EQ(reopened.AddTimer(), 24);
    EXPECT_EQ(reopened.Remove(kLengthTriggerHandle), 0);
    EXPECT_EQ(reopened.Length(), 0u);
    EXPECT_EQ(reopened.Remove(kept), 0);
    EXPECT_EQ(reopened.Remove(kept), ecBadTriggerHandle);

    reopened.Reset();
    EXPECT_EQ(reopened.AddTimer(), 8);
    EXPECT_FALSE(reopened.AnyTimerActive());
}

// ---- Handler list ----

void ProcA(unsigned, unsigned, long) {}
void ProcB(unsigned, unsigned, long) {}

// Runs a delivery's positions: "e" for an event handler (which is called), "s" for a
// synchronised one, "P" and "Q" for the procedures, "-" for one skipped.
std::string Round(const TriggerHandlerList& list, std::size_t positions) {
    std::string kinds;
    for (std::size_t i = 0; i < positions; ++i) {
        TriggerHandlerList::Call call;
        if (!list.At(i, call)) {
            kinds += '-';
        } else if (call.proc) {
            kinds += call.proc == &ProcA ? 'P' : 'Q';
        } else {
            call.event(0, 0, 0);
            kinds += call.sync ? 's' : 'e';
        }
    }
    return kinds;
}

TEST(TriggerHandlerList, ADeliveryCallsThoseRegisteredAtItsStartSkippingDeregisteredOnes) {
    TriggerHandlerList list;
    std::string called;
    const int ownerA = 0, ownerB = 0, ownerC = 0;
    auto named = [&](char name) {
        return [&called, name](unsigned, unsigned, long) { called += name; };
    };
    EXPECT_FALSE(list.AnyLive());
    list.AddProc(&ProcA);
    list.AddEvent(&ownerA, named('a'), false);
    list.AddEvent(&ownerB, named('b'), true);

    // Event handlers first, then procedures.
    std::size_t positions = list.BeginDelivery();
    ASSERT_EQ(positions, 3u);
    EXPECT_EQ(Round(list, positions), "esP");
    EXPECT_EQ(called, "ab");

    // During the delivery: one deregistered is skipped where it stood, one registered waits for
    // the next delivery.
    EXPECT_FALSE(list.RemoveEvent(&ownerA));  // kept until the delivery ends
    list.AddEvent(&ownerC, named('c'), false);
    list.AddProc(&ProcB);
    called.clear();
    EXPECT_EQ(Round(list, positions), "-sP");
    EXPECT_EQ(called, "b");
    EXPECT_TRUE(list.Delivering());
    EXPECT_EQ(list.EndDelivery().size(), 1u);
    EXPECT_FALSE(list.Delivering());

    positions = list.BeginDelivery();
    ASSERT_EQ(positions, 4u);
    called.clear();
    EXPECT_EQ(Round(list, positions), "sePQ");
    EXPECT_EQ(called, "bc");
    EXPECT_TRUE(list.EndDelivery().empty());
}

TEST(TriggerHandlerList, DeregisteringRemovesOneRegistrationAndLiveCountsAtOnce) {
    TriggerHandlerList list;
    const int owner = 0, stranger = 0;
    int calls = 0;
    auto count = [&](unsigned, unsigned, long) { ++calls; };
    list.AddEvent(&owner, count, false);
    list.AddEvent(&owner, count, false);
    EXPECT_FALSE(list.RemoveEvent(&stranger));
    list.RemoveProc(&ProcA);
    EXPECT_TRUE(list.RemoveEvent(&owner));  // outside a delivery: gone at once
    std::size_t positions = list.BeginDelivery();
    EXPECT_EQ(positions, 1u);
    // Removed during a delivery: nothing is live any more, before the delivery even ends, so
    // no new delivery would start.
    EXPECT_FALSE(list.RemoveEvent(&owner));
    EXPECT_FALSE(list.AnyLive());
    TriggerHandlerList::Call call;
    EXPECT_FALSE(list.At(0, call));
    EXPECT_FALSE(list.At(1, call));  // past the round
    EXPECT_EQ(list.EndDelivery().size(), 1u);
    EXPECT_EQ(list.BeginDelivery(), 0u);
    EXPECT_TRUE(list.EndDelivery().empty());
    EXPECT_EQ(calls, 0);
}

// A handler may hold the last reference to its owner (a framer manager): the list hands the
// function back instead of destroying it, so the dispatcher lets it go outside its lock and the
// owner's destructor never runs under that lock.
TEST(TriggerHandlerList, ARemovedHandlerIsHandedBackNotDestroyed) {
    TriggerHandlerList list;
    const int early = 0, late = 0;
    auto owner = std::make_shared<int>(0);
    auto holding = [owner](unsigned, unsigned, long) {};
    list.AddEvent(&early, holding, false);
    list.AddEvent(&late, holding, false);
    const long before = owner.use_count();

    TTriggerEvent removed = list.RemoveEvent(&early);
    EXPECT_EQ(owner.use_count(), before);
    removed = nullptr;
    EXPECT_EQ(owner.use_count(), before - 1);

    list.BeginDelivery();
    EXPECT_FALSE(list.RemoveEvent(&late));
    std::vector<TTriggerEvent> ended = list.EndDelivery();
    EXPECT_EQ(owner.use_count(), before - 1);
    ended.clear();
    EXPECT_EQ(owner.use_count(), before - 2);
}

}  // namespace
}  // namespace vx

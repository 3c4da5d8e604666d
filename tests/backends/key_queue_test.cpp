#include "backends/KeyQueue.h"
#include "backends/Windowed.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

TEST(KeyQueue, EmptyFullAndOrderAgainstAReferenceQueue) {
    KeyQueue queue;
    ASSERT_TRUE(queue.valid());
    int32_t value = -7;
    EXPECT_TRUE(queue.empty());
    EXPECT_FALSE(queue.pop(value)) << "popping an empty queue fails";
    EXPECT_EQ(value, -7) << "a failed pop leaves the output alone";

    // Every fill level and both wrap directions: a reference deque models the ring, with
    // pushes dropped once 1023 values are held.
    std::deque<int32_t> reference;
    uint32_t seed = 12345;
    int32_t next = 0;
    for (int step = 0; step < 20000; ++step) {
        seed = seed * 1103515245u + 12345u;
        // Long runs of pushes and of pops so the queue goes from empty to full and back.
        const bool pushing =
            ((step / 1500) % 2 == 0) ? (seed >> 16) % 8 != 0 : (seed >> 16) % 8 == 0;
        if (pushing) {
            const bool expected = reference.size() < KeyQueue::capacity - 1;
            ASSERT_EQ(queue.push(next), expected)
                << "step " << step << " size " << reference.size();
            if (expected) reference.push_back(next);
            ++next;
        } else {
            int32_t got = 0;
            ASSERT_EQ(queue.pop(got), !reference.empty()) << "step " << step;
            if (!reference.empty()) {
                ASSERT_EQ(got, reference.front()) << "step " << step;
                reference.pop_front();
            }
        }
        ASSERT_EQ(queue.count(), reference.size()) << "step " << step;
        ASSERT_EQ(queue.empty(), reference.empty()) << "step " << step;
    }
}

TEST(KeyQueue, HoldsAtMost1023AndDropsTheRest) {
    KeyQueue queue;
    int accepted = 0;
    for (int i = 0; i < 1030; ++i) accepted += queue.push(i) ? 1 : 0;
    EXPECT_EQ(accepted, 1023);
    EXPECT_EQ(queue.count(), 1023u);
    // The dropped pushes were the last ones: the queue still holds 0..1022 in order.
    for (int i = 0; i < 1023; ++i) {
        int32_t value = -1;
        ASSERT_TRUE(queue.pop(value));
        ASSERT_EQ(value, i);
    }
    int32_t value = 0;
    EXPECT_FALSE(queue.pop(value));
    // Freed slots can be used again.
    EXPECT_TRUE(queue.push(99));
    EXPECT_TRUE(queue.pop(value));
    EXPECT_EQ(value, 99);
    queue.push(1);
    queue.clear();
    EXPECT_TRUE(queue.empty());
}

// The window layer's protocol with standard primitives: the producer pushes and signals under
// the lock, the consumer waits without the lock, pops under it and clears the signal when the
// queue runs empty. No value may be lost, repeated or reordered, and the consumer must never
// sleep while a value is pending. Also meant to run under ThreadSanitizer.
TEST(KeyQueue, ProducerAndConsumerThreadsUnderOneLock) {
    KeyQueue queue;
    std::mutex lock;
    std::condition_variable signal;
    bool signalled = false; // the manual-reset event
    constexpr int32_t total = 200000;
    std::vector<int32_t> received;
    received.reserve(total);
    int dropped = 0;

    std::thread producer([&] {
        for (int32_t i = 0; i < total;) {
            std::lock_guard<std::mutex> hold(lock);
            if (queue.push(i)) {
                ++i;
            } else {
                ++dropped; // full: the producer retries, so nothing is lost in this test
            }
            signalled = true;
            signal.notify_one();
        }
    });
    std::thread consumer([&] {
        while (static_cast<int32_t>(received.size()) < total) {
            std::unique_lock<std::mutex> hold(lock);
            signal.wait(hold, [&] { return signalled; });
            int32_t value = 0;
            if (queue.pop(value)) received.push_back(value);
            if (queue.empty()) signalled = false;
        }
    });
    producer.join();
    consumer.join();

    ASSERT_EQ(received.size(), static_cast<size_t>(total));
    for (int32_t i = 0; i < total; ++i) ASSERT_EQ(received[i], i);
    EXPECT_TRUE(queue.empty());
    (void)dropped;
}

// The close request a window thread hands the application's thread: claimed once by whichever
// side comes first, dropped with its window, never due before its grace period.
TEST(WindowInput, CloseRequestIsEndedOnceByOneSide) {
    enum Step { ASK0, ASK5, CLAIM, DUE, CANCEL };
    struct Case {
        const char* why;
        std::vector<Step> steps;
        bool claimed; // the last step's answer, for CLAIM and DUE
        int status;
    } cases[] = {
        {"a request is the application's to claim", {ASK0, CLAIM}, true, 0},
        {"the first request's status holds", {ASK5, ASK0, CLAIM}, true, 5},
        {"claimed once only", {ASK0, CLAIM, CLAIM}, false, 0},
        {"nothing asked, nothing to claim", {CLAIM}, false, 0},
        {"a closed window takes its request along", {ASK0, CANCEL, CLAIM}, false, 0},
        {"not due within its grace period", {ASK0, DUE}, false, 0},
        {"a claimed request never falls due", {ASK0, CLAIM, DUE}, false, 0},
    };
    for (const Case& c : cases) {
        WindowInput input;
        bool answer = false;
        int status = -1;
        for (Step step : c.steps) {
            switch (step) {
            case ASK0:
                input.askToClose(0);
                break;
            case ASK5:
                input.askToClose(5);
                break;
            case CLAIM:
                answer = input.claimClose(status);
                break;
            case DUE:
                answer = input.closeDue(status);
                break;
            case CANCEL:
                input.cancelClose();
                break;
            }
        }
        EXPECT_EQ(answer, c.claimed) << c.why;
        if (c.claimed) {
            EXPECT_EQ(status, c.status) << c.why;
        }
    }
    WindowInput pending;
    EXPECT_EQ(pending.closeGraceLeft(), 0u) << "no grace period without a request";
    pending.askToClose(0);
    EXPECT_GT(pending.closeGraceLeft(), 0u);
    EXPECT_LE(pending.closeGraceLeft(), WindowInput::CLOSE_GRACE_MS);
}

} // namespace

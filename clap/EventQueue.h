// A fixed-size single-producer, single-consumer queue of the parameter news
// the editor produces on the UI thread (gesture begin and end, new values),
// drained on the audio thread in process or by flush. Lock-free and
// allocation-free on both sides; the storage is part of the owner.
#pragma once

#include <atomic>
#include <cstdint>

struct ParamNews {
    enum Kind : uint8_t { kValue, kGestureBegin, kGestureEnd };
    Kind kind;
    uint32_t param;
    float value;  // kValue only
};

template <uint32_t Capacity>
class ParamNewsQueue {
    static_assert((Capacity & (Capacity - 1)) == 0, "a power of two");

public:
    // Producer (UI thread). Values give way before the queue fills, so that
    // gesture ends always find room; a dropped value is not lost for good:
    // the consumer's scan of the values reports where it ended up.
    bool push(const ParamNews& news) {
        const uint32_t head = writeIndex.load(std::memory_order_relaxed);
        const uint32_t used = head - readIndex.load(std::memory_order_acquire);
        const uint32_t limit = news.kind == ParamNews::kValue ? Capacity - 16 : Capacity;
        if (used >= limit)
            return false;
        slots[head & (Capacity - 1)] = news;
        writeIndex.store(head + 1, std::memory_order_release);
        return true;
    }

    // Consumer (audio thread, or whoever flushes).
    bool pop(ParamNews& news) {
        const uint32_t tail = readIndex.load(std::memory_order_relaxed);
        if (tail == writeIndex.load(std::memory_order_acquire))
            return false;
        news = slots[tail & (Capacity - 1)];
        readIndex.store(tail + 1, std::memory_order_release);
        return true;
    }

private:
    ParamNews slots[Capacity];
    std::atomic<uint32_t> writeIndex{0};
    std::atomic<uint32_t> readIndex{0};
};

static_assert(std::atomic<uint32_t>::is_always_lock_free, "queue indexes must be lock-free");

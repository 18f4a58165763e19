// The LV2 plug-in under the threads real hosts use, for ThreadSanitizer (the
// tsan build runs these with the "threads" label) and checked for
// consistency afterwards:
//  - a UI thread drags Drive and flips Channel (through the host's queue to
//    the ports, as LV2 UIs reach the plug-in), while the audio thread runs
//    blocks and the main thread saves the session;
//  - the main thread restores states while the audio thread runs blocks
//    that flip Channel (some hosts restore during playback).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tests/lv2/Lv2SavedState.h"
#include "tests/lv2/Lv2TestHost.h"

namespace {

enum : uint32_t { kChannel = 1, kDrive = 2, kContour = 7, kVolume = 9 };

double stressSeconds() {
    const char* text = std::getenv("CORVEX_STRESS_SECONDS");
    const double seconds = text ? std::atof(text) : 1.0;
    return seconds > 0.0 ? seconds : 1.0;
}

// A host's queue from its UI thread to the audio thread: one writer, one
// reader, fixed size, lock-free.
class PortQueue {
public:
    bool push(uint32_t port, float value) {
        const unsigned head = writeAt.load(std::memory_order_relaxed);
        if (head - readAt.load(std::memory_order_acquire) == kSize)
            return false;
        slots[head % kSize] = {port, value};
        writeAt.store(head + 1, std::memory_order_release);
        return true;
    }
    bool pop(uint32_t& port, float& value) {
        const unsigned tail = readAt.load(std::memory_order_relaxed);
        if (tail == writeAt.load(std::memory_order_acquire))
            return false;
        port = slots[tail % kSize].port;
        value = slots[tail % kSize].value;
        readAt.store(tail + 1, std::memory_order_release);
        return true;
    }

private:
    static constexpr unsigned kSize = 256;
    struct Slot {
        uint32_t port;
        float value;
    } slots[kSize] = {};
    std::atomic<unsigned> writeAt{0}, readAt{0};
};

class Lv2Threads : public ::testing::Test {
protected:
    Lv2World world{CORVEX_LV2_PATH};
    void SetUp() override { ASSERT_NE(world.plugin, nullptr) << "the bundle is not in " << CORVEX_LV2_PATH; }
};

TEST_F(Lv2Threads, UiDragsAndChannelFlipsBesideRunAndSave) {
    Lv2Instance amp(world, 48000.0, 256);
    ASSERT_NE(amp.instance, nullptr);
    PortQueue queue;
    std::atomic<bool> uiDone{false}, stop{false};
    // The values the UI leaves each channel with, known to the UI thread.
    float lastDrive[2] = {0.5f, 0.5f};

    std::thread audio([&] {
        std::vector<float> left(256), right(256);
        for (int i = 0; i < 256; ++i)
            left[i] = right[i] = 0.3f * std::sin(0.05f * i);
        // One port change per block, as a host samples its ports once a
        // block: every value the UI sent reaches the amp.
        uint32_t port;
        float value;
        for (;;) {
            const bool got = queue.pop(port, value);
            if (got)
                amp.controls[port] = value;
            else if (stop.load(std::memory_order_acquire))
                break;
            amp.run(left.data(), right.data(), 256);
        }
    });
    std::thread ui([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(stressSeconds());
        int channel = 0;
        for (int step = 0; std::chrono::steady_clock::now() < end; ++step) {
            const float drive = 0.05f + 0.9f * static_cast<float>(step % 97) / 96.0f;
            while (!queue.push(kDrive, drive))
                std::this_thread::yield();
            lastDrive[channel] = drive;
            if (step % 13 == 12) {
                channel = 1 - channel;
                while (!queue.push(kChannel, static_cast<float>(channel)))
                    std::this_thread::yield();
                // The host's Drive port now shows the recalled value, as
                // the UI writes it back after a channel change.
                while (!queue.push(kDrive, lastDrive[channel]))
                    std::this_thread::yield();
            }
            std::this_thread::yield();
        }
        uiDone.store(true, std::memory_order_release);
    });
    // The main thread saves the session now and then, as hosts do.
    int saves = 0;
    while (!uiDone.load(std::memory_order_acquire)) {
        SavedBank bank;
        ASSERT_TRUE(readSavedState(amp.savedBlob(), bank)) << "save " << saves;
        for (int c = 0; c < 2; ++c) {
            const double drive = bank.currentProgram().channelSettings[c].drive;
            ASSERT_TRUE(drive >= 0.0 && drive <= 1.0) << "save " << saves;
        }
        ++saves;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ui.join();
    stop.store(true, std::memory_order_release);
    audio.join();
    EXPECT_GT(saves, 0);

    SavedBank bank;
    ASSERT_TRUE(readSavedState(amp.savedBlob(), bank));
    const CorvexProgram& program = bank.currentProgram();
    const int channel = program.channel >= 0.5f ? 1 : 0;
    EXPECT_EQ(amp.actual[kChannel], static_cast<float>(channel));
    for (int c = 0; c < 2; ++c)
        EXPECT_EQ(program.channelSettings[c].drive, static_cast<double>(lastDrive[c])) << "channel " << c;
    EXPECT_EQ(program.drive, lastDrive[channel]);
}

TEST_F(Lv2Threads, StateRestoredOnTheMainThreadWhileRunFlipsChannel) {
    Lv2Instance amp(world, 48000.0, 256);
    ASSERT_NE(amp.instance, nullptr);
    // Two states whose channels differ everywhere: program 0's first
    // channel's Contour and Volume in state s are 0.1 + 0.2 s, the second
    // channel's 0.6 + 0.2 s.
    std::vector<unsigned char> states[2];
    {
        SavedBank bank;
        ASSERT_TRUE(readSavedState(amp.savedBlob(), bank));
        for (int s = 0; s < 2; ++s) {
            for (int c = 0; c < 2; ++c) {
                ChannelSettings& settings = bank.programs[0].channelSettings[c];
                settings.contour = static_cast<double>(static_cast<float>(0.1 + 0.5 * c + 0.2 * s));
                settings.volume = settings.contour;
            }
            bank.programs[0].channel = 0.0f;
            bank.programs[0].contour = static_cast<float>(bank.programs[0].channelSettings[0].contour);
            bank.programs[0].volume = bank.programs[0].contour;
            states[s] = legacyBlob(bank.programs, 0);
        }
    }
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<float> left(256, 0.1f), right(256, 0.1f);
        int block = 0;
        while (!stop.load(std::memory_order_acquire)) {
            amp.controls[kChannel] = static_cast<float>((block++ / 2) % 2);
            amp.run(left.data(), right.data(), 256);
        }
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(stressSeconds());
    int restores = 0;
    while (std::chrono::steady_clock::now() < end) {
        ASSERT_EQ(amp.restoreBlob(states[restores % 2]), LV2_STATE_SUCCESS);
        ++restores;
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    stop.store(true, std::memory_order_release);
    audio.join();
    amp.runSilence();  // the last state is applied by now
    ASSERT_GT(restores, 1);

    SavedBank bank;
    ASSERT_TRUE(readSavedState(amp.savedBlob(), bank));
    const ChannelSettings* channels = bank.programs[0].channelSettings;
    const int s = restores % 2 == 1 ? 0 : 1;  // the last one restored
    for (int c = 0; c < 2; ++c) {
        const double expected = static_cast<double>(static_cast<float>(0.1 + 0.5 * c + 0.2 * s));
        EXPECT_EQ(channels[c].contour, expected) << "channel " << c << " after " << restores << " restores";
        EXPECT_EQ(channels[c].volume, expected) << "channel " << c;
    }
}

}  // namespace

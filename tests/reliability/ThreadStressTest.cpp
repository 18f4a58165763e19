// One thread plays blocks while another turns knobs, changes programs, loads
// chunks and flips "LowQ/HighQ", as a host automating the effect does; a
// third is the user-interface thread: the editor open and idling, parameter
// values and displays read. Built with
// ThreadSanitizer (preset tsan) this is the race check of the effect; in the
// other builds it checks that nothing crashes and no block goes non-finite.
//
// CORVEX_STRESS_SECONDS sets how long the threads run (default 1).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TestHost.h"

namespace {

using namespace reliability;

double stressSeconds() {
    const char* text = std::getenv("CORVEX_STRESS_SECONDS");
    const double seconds = text ? std::atof(text) : 1.0;
    return seconds > 0.0 ? seconds : 1.0;
}

TEST(ThreadStress, AudioWhileTheHostAutomatesEverything) {
    Instance instance;
    ASSERT_TRUE(instance.valid());

    // A bank and a program to load: the effect's own, with values changed.
    void* chunk = nullptr;
    const VstIntPtr bankSize = instance.dispatch(effGetChunk, 0, 0, &chunk);
    ASSERT_EQ(bankSize, 2080);
    std::vector<unsigned char> bank(static_cast<const unsigned char*>(chunk),
                                    static_cast<const unsigned char*>(chunk) + bankSize);
    for (int program = 0; program < 10; ++program) {
        unsigned char* record = bank.data() + program * 208;
        const float quality = float(program % 2);        // LowQ/HighQ at offset 64
        const float stereo = float((program / 2) % 2);   // Mono/Stereo at offset 60
        const float channel = float((program / 4) % 2);  // Channel at offset 28
        std::memcpy(record + 64, &quality, 4);
        std::memcpy(record + 60, &stereo, 4);
        std::memcpy(record + 28, &channel, 4);
        for (int value = 0; value < 16; ++value) {  // both channels' eight doubles
            const double v = 0.05 + 0.9 * ((program * 16 + value) % 17) / 16.0;
            std::memcpy(record + 80 + 8 * value, &v, 8);
        }
    }
    std::vector<unsigned char> preset(bank.begin() + 3 * 208, bank.begin() + 4 * 208);

    std::atomic<bool> writersDone{false};
    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0}, nonFiniteBlocks{0}, writes{0}, reads{0};
    std::atomic<bool> finalBlockSilent{false}, finalBlockDone{false};

    // The audio thread: blocks of changing size until told to stop. After the
    // writers finish (Volume 0 being the last thing written), the next block
    // must be exact silence.
    std::thread audio([&] {
        std::mt19937 rng(1);
        Block block(1024);
        int frames = 1;
        while (!stop.load(std::memory_order_acquire)) {
            const bool writersFinished = writersDone.load(std::memory_order_acquire);
            block.fillNoise(rng, 0.7f);
            frames = (frames * 7 + 97) % 1024 + 1;  // 1 to 1024, changing every block
            instance.process(block.inLeft.data(), block.inRight.data(), block.outLeft.data(), block.outRight.data(),
                             frames);
            bool finite = true, silent = true;
            for (int i = 0; i < frames; ++i) {
                finite = finite && std::isfinite(block.outLeft[i]) && std::isfinite(block.outRight[i]);
                silent = silent && block.outLeft[i] == 0.0f && block.outRight[i] == 0.0f;
            }
            if (!finite)
                nonFiniteBlocks.fetch_add(1, std::memory_order_relaxed);
            blocks.fetch_add(1, std::memory_order_relaxed);
            if (writersFinished && !finalBlockDone.load(std::memory_order_relaxed)) {
                finalBlockSilent.store(silent, std::memory_order_relaxed);
                finalBlockDone.store(true, std::memory_order_release);
            }
        }
    });

    // The user-interface thread: the editor open (on the headless window
    // layer), idle redraws, and the values and displays a UI refresh reads.
    std::atomic<bool> editorOpened{false};
    std::atomic<long> reopenings{0};
    std::thread reader([&] {
        char text[64];
        int parentWindow = 0;
        ERect* rect = nullptr;
        instance.dispatch(effEditGetRect, 0, 0, &rect);
        editorOpened.store(instance.dispatch(effEditOpen, 0, 0, &parentWindow) != 0);
        for (long turn = 1; !stop.load(std::memory_order_acquire); ++turn) {
            // Now and then the user closes and reopens the editor, while the
            // host keeps setting parameters.
            if (turn % 256 == 0) {
                instance.dispatch(effEditClose);
                reopenings.fetch_add(instance.dispatch(effEditOpen, 0, 0, &parentWindow) != 0 ? 1 : 0);
            }
            instance.dispatch(effEditIdle);
            for (VstInt32 p = 0; p < kNumParams; ++p) {
                volatile float v = instance.get(p);
                (void)v;
                instance.dispatch(effGetParamDisplay, p, 0, text);
            }
            reads.fetch_add(1, std::memory_order_relaxed);
            std::this_thread::yield();
        }
        instance.dispatch(effEditClose);
    });

    // The automating host.
    std::thread writer([&] {
        std::mt19937 rng(2);
        std::uniform_real_distribution<float> knob(0.0f, 1.0f);
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(stressSeconds());
        int step = 0;
        while (std::chrono::steady_clock::now() < end) {
            switch (step++ % 8) {
                case 0:
                case 1:
                case 2:
                    for (int n = 0; n < 8; ++n)
                        instance.set(static_cast<VstInt32>(rng() % kNumParams), knob(rng));
                    break;
                case 3:
                    instance.set(kQuality, instance.get(kQuality) >= 0.5f ? 0.0f : 1.0f);
                    break;
                case 4:
                    instance.dispatch(effSetProgram, 0, static_cast<VstIntPtr>(rng() % 10));
                    break;
                case 5:
                    instance.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(bank.size()), bank.data());
                    break;
                case 6:
                    instance.dispatch(effSetChunk, 1, static_cast<VstIntPtr>(preset.size()), preset.data());
                    break;
                case 7:
                    instance.set(kChannel, knob(rng));
                    instance.set(kMonoStereo, knob(rng));
                    break;
            }
            writes.fetch_add(1, std::memory_order_relaxed);
        }
        instance.set(kVolume, 0.0f);
        writersDone.store(true, std::memory_order_release);
    });

    writer.join();
    while (!finalBlockDone.load(std::memory_order_acquire))
        std::this_thread::yield();
    stop.store(true, std::memory_order_release);
    audio.join();
    reader.join();

    EXPECT_EQ(nonFiniteBlocks.load(), 0) << "of " << blocks.load() << " blocks";
    EXPECT_TRUE(finalBlockSilent.load()) << "the block after Volume 0 was written";
    EXPECT_GT(blocks.load(), 10);
    EXPECT_GT(writes.load(), 10);
    EXPECT_EQ(instance.get(kVolume), 0.0f);
    std::printf(
        "[ stress ] %.1f s: %ld blocks, %ld host writes, %ld editor idles and reads, editor %s and "
        "reopened %ld times\n",
        stressSeconds(), blocks.load(), writes.load(), reads.load(), editorOpened.load() ? "open" : "not open",
        reopenings.load());
    if ((instance.record()->flags & effFlagsHasEditor) != 0) {
        EXPECT_TRUE(editorOpened.load());
    }

    // Volume back up: the effect plays again.
    instance.set(kVolume, 0.5f);
    Block block(512);
    block.fillSine(220.0, 44100.0, 0.3f);
    block.runThrough(instance);
    EXPECT_TRUE(block.outputFinite());
}

// Two instances share nothing: run side by side on two threads they give
// exactly what they give one after the other.
TEST(ThreadStress, TwoInstancesOnTwoThreadsMatchSequentialRuns) {
    struct Setup {
        float channel, stereo, quality, drive;
        unsigned seed;
    };
    const Setup setups[2] = {{0.0f, 1.0f, 1.0f, 0.9f, 1u}, {1.0f, 0.0f, 0.0f, 0.3f, 2u}};
    const int blocks = 200, frames = 256;

    auto run = [&](Instance& instance, const Setup& s, std::vector<float>& out) {
        instance.set(kChannel, s.channel);
        instance.set(kMonoStereo, s.stereo);
        instance.set(kQuality, s.quality);
        instance.set(kDrive, s.drive);
        std::mt19937 rng(s.seed);
        Block block(frames);
        for (int n = 0; n < blocks; ++n) {
            block.fillNoise(rng, 0.6f);
            block.runThrough(instance);
            out.insert(out.end(), block.outLeft.begin(), block.outLeft.end());
            out.insert(out.end(), block.outRight.begin(), block.outRight.end());
        }
    };

    std::vector<float> sequential[2], parallel[2];
    for (int k = 0; k < 2; ++k) {
        Instance instance;
        ASSERT_TRUE(instance.valid());
        run(instance, setups[k], sequential[k]);
    }
    {
        Instance first, second;
        ASSERT_TRUE(first.valid() && second.valid());
        std::thread a([&] { run(first, setups[0], parallel[0]); });
        std::thread b([&] { run(second, setups[1], parallel[1]); });
        a.join();
        b.join();
    }
    for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(parallel[k].size(), sequential[k].size());
        for (std::size_t i = 0; i < parallel[k].size(); ++i)
            ASSERT_TRUE(sameBits(parallel[k][i], sequential[k][i])) << "instance " << k << " sample " << i;
    }
}

}  // namespace

// The state through getState/setState: a round trip into a fresh instance
// gives the same values, programs and sound; streams that deliver a few
// bytes at a time work; hostile streams are refused and change nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Vst3TestHost.h"

using namespace vst3check;
using namespace v3;

namespace {

std::vector<float> render(Vst3TestHost& host, int frames) {
    std::vector<float> l(static_cast<size_t>(frames)), r(static_cast<size_t>(frames)), outL(l.size()), outR(l.size());
    for (int i = 0; i < frames; ++i) {
        l[static_cast<size_t>(i)] = 0.4f * static_cast<float>(std::sin(i * 0.0314));
        r[static_cast<size_t>(i)] = 0.3f * static_cast<float>(std::sin(i * 0.021));
    }
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {outL.data(), outR.data()};
    host.process(in, out, frames);
    outL.insert(outL.end(), outR.begin(), outR.end());
    return outL;
}

// Settings a user would make: both channels' knobs, a switch, a program.
void dialIn(Vst3TestHost& host) {
    ParamChanges in;
    in.add(14, 0, 4.0 / 9.0);  // program 5
    ASSERT_EQ(host.flush(in), kResultOk);
    in.clear();
    in.add(2, 0, 0.83);
    in.add(9, 0, 0.41);
    in.add(12, 0, 1.0);
    in.add(1, 1, 1.0);  // channel 1
    ASSERT_EQ(host.flush(in), kResultOk);
    in.clear();
    in.add(2, 0, 0.17);
    in.add(5, 0, 0.66);
    ASSERT_EQ(host.flush(in), kResultOk);
}

std::vector<double> shownValues(Vst3TestHost& host) {
    std::vector<double> values;
    for (ParamID id = 0; id < 15; ++id)
        if (id != 13)
            values.push_back(host.controller->getParamNormalized(id));
    return values;
}

}  // namespace

TEST(Vst3State, RoundTripIntoAFreshInstance) {
    Vst3TestHost first;
    ASSERT_TRUE(first.create()) << first.error();
    dialIn(first);
    const std::vector<unsigned char> saved = first.saveState();
    const std::vector<double> savedShown = shownValues(first);
    ASSERT_FALSE(saved.empty());
    ASSERT_TRUE(first.start(48000.0, 256));
    const std::vector<float> expected = render(first, 256);

    Vst3TestHost second;
    ASSERT_TRUE(second.create()) << second.error();
    second.handler.restarts.clear();
    ASSERT_EQ(second.loadState(saved), kResultOk);
    EXPECT_EQ(shownValues(second), shownValues(first));
    EXPECT_EQ(second.saveState(), saved);
    ASSERT_FALSE(second.handler.restarts.empty());
    EXPECT_TRUE(second.handler.restarts.back() & kParamValuesChanged);
    ASSERT_TRUE(second.start(48000.0, 256));
    EXPECT_EQ(render(second, 256), expected);

    // Channel 0's settings came along too: switching back recalls them.
    for (Vst3TestHost* host : {&first, &second}) {
        ParamChanges in;
        in.add(1, 0, 0.0);
        host->flush(in);
    }
    EXPECT_EQ(second.controller->getParamNormalized(2), first.controller->getParamNormalized(2));
    EXPECT_NEAR(second.controller->getParamNormalized(2), 0.83, 1e-6);

    // The same state loaded while processing is on takes effect too, and
    // the controller shows it at once, before any further block (hosts read
    // the values on the restart and send them back: Ardour does when it
    // reopens a session, and stale ones would overwrite the loaded channel).
    Vst3TestHost third;
    ASSERT_TRUE(third.create());
    ASSERT_TRUE(third.start(48000.0, 256));
    render(third, 256);
    ASSERT_EQ(third.loadState(saved), kResultOk);
    EXPECT_EQ(shownValues(third), savedShown);
    render(third, 256);
    EXPECT_EQ(third.saveState(), saved);
}

TEST(Vst3State, StreamsThatMoveAFewBytesAtATime) {
    Vst3TestHost host;
    ASSERT_TRUE(host.create()) << host.error();
    dialIn(host);
    MemoryStream out;
    out.chunkLimit = 7;
    ASSERT_EQ(host.component->getState(&out), kResultOk);
    EXPECT_EQ(out.bytes, host.saveState());

    Vst3TestHost fresh;
    ASSERT_TRUE(fresh.create());
    MemoryStream in(out.bytes);
    in.chunkLimit = 5;
    ASSERT_EQ(fresh.component->setState(&in), kResultOk);
    EXPECT_EQ(fresh.saveState(), out.bytes);

    // A host whose disk is full hears of it.
    MemoryStream full;
    full.refuseWrites = true;
    EXPECT_NE(host.component->getState(&full), kResultOk);
    EXPECT_NE(host.component->getState(nullptr), kResultOk);
    // The controller keeps nothing of its own.
    MemoryStream controllerState;
    EXPECT_EQ(host.controller->getState(&controllerState), kResultOk);
    EXPECT_EQ(host.controller->setState(&controllerState), kResultOk);
}

TEST(Vst3State, HostileStatesAreRefusedAndChangeNothing) {
    Vst3TestHost donor;
    ASSERT_TRUE(donor.create());
    dialIn(donor);
    const std::vector<unsigned char> valid = donor.saveState();
    ASSERT_GE(valid.size(), 32u);

    Vst3TestHost host;
    ASSERT_TRUE(host.create());
    ParamChanges in;
    in.add(3, 0, 0.3);
    host.flush(in);
    const std::vector<unsigned char> before = host.saveState();
    const std::vector<double> shownBefore = shownValues(host);

    std::vector<std::vector<unsigned char>> hostile;
    hostile.push_back({});
    hostile.push_back({1, 2, 3});
    hostile.push_back(std::vector<unsigned char>(valid.begin(), valid.begin() + valid.size() / 2));
    std::vector<unsigned char> longer = valid;
    longer.push_back(0);
    hostile.push_back(longer);
    hostile.push_back(std::vector<unsigned char>(valid.size(), 0xFF));
    hostile.push_back(std::vector<unsigned char>(200000, 0));
    // A NaN, an infinity or an out-of-range value written over each value
    // of every program (after the state's 24-byte header: thirteen floats
    // from byte 24 of a 208-byte record, sixteen channel doubles from 80).
    const size_t header = valid.size() - 2080;
    for (size_t program = 0; program < 10; ++program) {
        const size_t record = header + program * 208;
        for (size_t k = 0; k < 13; ++k) {
            std::vector<unsigned char> b = valid;
            const float bad[] = {std::nanf(""), INFINITY, -0.5f, 2.0f, 1e30f};
            std::memcpy(b.data() + record + 24 + 4 * k, &bad[(program + k) % 5], 4);
            hostile.push_back(b);
        }
        for (size_t k = 0; k < 16; ++k) {
            std::vector<unsigned char> b = valid;
            const double bad[] = {std::nan(""), -INFINITY, -32768.0, 1.5, 1e300};
            std::memcpy(b.data() + record + 80 + 8 * k, &bad[(program + k) % 5], 8);
            hostile.push_back(b);
        }
    }
    ASSERT_EQ(header, 24u);
    int refused = 0;
    for (const auto& bytes : hostile) {
        MemoryStream stream(bytes);
        if (host.component->setState(&stream) != kResultOk)
            ++refused;
        ASSERT_EQ(host.saveState(), before);
    }
    EXPECT_EQ(refused, static_cast<int>(hostile.size()));
    EXPECT_EQ(shownValues(host), shownBefore);
    EXPECT_NE(host.component->setState(nullptr), kResultOk);
    MemoryStream garbage(std::vector<unsigned char>(100, 0x41));
    EXPECT_NE(host.controller->setComponentState(&garbage), kResultOk);
    EXPECT_EQ(host.saveState(), before);
}


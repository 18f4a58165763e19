// The rig's factory bank played as a guitarist hears it: the demo DI riff
// through each program, with its cabinet, at one loudness and below full
// scale, as the head's bank is levelled.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "cabinet/LoudnessMeter.h"
#include "rig/RigEngine.h"

namespace {

using corvex::RigEngine;

constexpr double kDiPeakDb = -12.0;  // as the head's bank is measured

struct Di {
    std::vector<float> samples;
    double rate = 0.0;
};

Di loadRiff() {
    Di di;
    SF_INFO info = {};
    SNDFILE* f = sf_open(DEMO_RIFF_PATH, SFM_READ, &info);
    if (!f)
        return di;
    std::vector<float> inter((size_t)info.frames * (size_t)info.channels);
    sf_readf_float(f, inter.data(), info.frames);
    sf_close(f);
    di.rate = info.samplerate;
    di.samples.resize((size_t)info.frames);
    float peak = 0.0f;
    for (size_t i = 0; i < di.samples.size(); ++i) {
        di.samples[i] = inter[i * (size_t)info.channels];
        peak = std::max(peak, std::fabs(di.samples[i]));
    }
    const float scale = (float)std::pow(10.0, kDiPeakDb / 20.0) / peak;
    for (float& s : di.samples)
        s *= scale;
    return di;
}

TEST(RigBank, EveryProgramPlaysTheRiffAtOneLoudnessBelowFullScale) {
    const Di di = loadRiff();
    ASSERT_FALSE(di.samples.empty());
    double lo = 1e9, hi = -1e9;
    for (int p = 0; p < RigEngine::kProgramCount; ++p) {
        RigEngine rig;
        rig.postProgram(p);
        rig.flush();
        ASSERT_TRUE(rig.setSampleRate(di.rate));
        cabinet::LoudnessMeter meter;
        ASSERT_TRUE(meter.start(di.rate));
        std::vector<float> l(512), r(512);
        for (size_t at = 0; at < di.samples.size(); at += 512) {
            const int n = (int)std::min<size_t>(512, di.samples.size() - at);
            rig.process(di.samples.data() + at, di.samples.data() + at, l.data(), r.data(), n);
            meter.add(l.data(), r.data(), n);
        }
        char name[32];
        rig.programName(p, name, sizeof name);
        const double lufs = meter.integratedLufs();
        std::printf("%-24s %7.2f LUFS  peak %6.2f dBFS\n", name, lufs, 20.0 * std::log10(meter.samplePeak()));
        EXPECT_LT(20.0 * std::log10(meter.samplePeak()), -1.0) << name;
        EXPECT_NEAR(lufs, -20.0, 0.5) << name << ": the head's bank sits at -20 LUFS";
        lo = std::min(lo, lufs);
        hi = std::max(hi, lufs);
    }
    EXPECT_LE(hi - lo, 1.0) << "programs from " << lo << " to " << hi << " LUFS";
}

}  // namespace

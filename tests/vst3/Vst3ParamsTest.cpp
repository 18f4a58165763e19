// Parameters as a VST3 host lists and shows them: the thirteen of the
// effect with the VST 2.4 build's names, defaults and displays, the bypass
// and the program parameter; text typed back; the program list; values the
// amp changes itself (a Channel switch, a program) sent back to the host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "Vst3TestHost.h"
#include "tests/clap/VstReference.h"

using namespace vst3check;
using namespace v3;

namespace {

constexpr int kEffectParams = 13;
constexpr ParamID kBypass = 13;
constexpr ParamID kProgram = 14;

std::string display(IEditController* c, ParamID id, double value) {
    String128 text{};
    if (c->getParamStringByValue(id, value, text) != kResultOk)
        return "<refused>";
    return fromUtf16(text);
}

}  // namespace

TEST(Vst3Params, ListTheEffectsParametersThenBypassAndProgram) {
    Vst3TestHost host;
    ASSERT_TRUE(host.create()) << host.error();
    LoadedPlugin library;
    ASSERT_NE(library.handle, nullptr);
    clapcheck::VstReference vst(library, 44100.0f, 512);
    ASSERT_NE(vst.effect(), nullptr);

    IEditController* c = host.controller;
    ASSERT_EQ(c->getParameterCount(), kEffectParams + 2);
    for (int i = 0; i < kEffectParams; ++i) {
        ParameterInfo info{};
        ASSERT_EQ(c->getParameterInfo(i, info), kResultOk);
        EXPECT_EQ(info.id, static_cast<ParamID>(i));
        EXPECT_EQ(fromUtf16(info.title), vst.text(effGetParamName, i)) << i;
        EXPECT_EQ(fromUtf16(info.units), vst.text(effGetParamLabel, i)) << i;
        EXPECT_FLOAT_EQ(static_cast<float>(info.defaultNormalizedValue), vst.effect()->getParameter(vst.effect(), i))
            << fromUtf16(info.title);
        EXPECT_EQ(info.defaultNormalizedValue, c->getParamNormalized(info.id)) << fromUtf16(info.title);
        EXPECT_TRUE(info.flags & ParameterInfo::kCanAutomate);
        EXPECT_FALSE(info.flags & (ParameterInfo::kIsBypass | ParameterInfo::kIsProgramChange));
        EXPECT_EQ(info.unitId, kRootUnitId);
        const std::string name = fromUtf16(info.title);
        const bool isSwitch = name == "Channel" || name == "Mono/Stereo" || name == "LowQ/HighQ" || name == "TQZ Boost";
        EXPECT_EQ(info.stepCount, isSwitch ? 1 : 0) << name;
    }
    ParameterInfo bypass{};
    ASSERT_EQ(c->getParameterInfo(kBypass, bypass), kResultOk);
    EXPECT_EQ(bypass.id, kBypass);
    EXPECT_TRUE(bypass.flags & ParameterInfo::kIsBypass);
    EXPECT_EQ(bypass.stepCount, 1);
    EXPECT_EQ(bypass.defaultNormalizedValue, 0.0);
    ParameterInfo program{};
    ASSERT_EQ(c->getParameterInfo(kProgram, program), kResultOk);
    EXPECT_TRUE(program.flags & ParameterInfo::kIsProgramChange);
    EXPECT_TRUE(program.flags & ParameterInfo::kIsList);
    EXPECT_EQ(program.stepCount, 9);
    ParameterInfo none{};
    EXPECT_NE(c->getParameterInfo(15, none), kResultOk);
    EXPECT_NE(c->getParameterInfo(-1, none), kResultOk);
}

TEST(Vst3Params, DisplaysAreTheEffectsAndTextComesBack) {
    Vst3TestHost host;
    ASSERT_TRUE(host.create()) << host.error();
    LoadedPlugin library;
    clapcheck::VstReference vst(library, 44100.0f, 512);
    ASSERT_NE(vst.effect(), nullptr);
    IEditController* c = host.controller;
    const int knobs[] = {0, 2, 3, 4, 5, 6, 7, 8, 9};
    for (int i : knobs) {
        for (double v : {0.0, 0.001, 0.25, 0.5, 0.7071, 1.0}) {
            vst.effect()->setParameter(vst.effect(), i, static_cast<float>(v));
            const std::string expected = vst.text(effGetParamDisplay, i);
            EXPECT_EQ(display(c, static_cast<ParamID>(i), v), expected) << i << " at " << v;
            // What is shown comes back as (nearly) the same value.
            String128 text{};
            toUtf16(expected, text);
            ParamValue back = -1.0;
            ASSERT_EQ(c->getParamValueByString(static_cast<ParamID>(i), text, back), kResultOk) << expected;
            if (v > 0.0) {
                EXPECT_NEAR(back, v, 1e-4) << i << " '" << expected << "'";
            }
        }
    }
    // Switches show their two positions as the effect does.
    for (int i : {1, 10, 11, 12}) {
        for (double v : {0.0, 1.0}) {
            vst.effect()->setParameter(vst.effect(), i, static_cast<float>(v));
            EXPECT_EQ(display(c, static_cast<ParamID>(i), v), vst.text(effGetParamDisplay, i)) << i;
        }
        EXPECT_EQ(c->normalizedParamToPlain(static_cast<ParamID>(i), 0.7), 1.0);
        EXPECT_EQ(c->normalizedParamToPlain(static_cast<ParamID>(i), 0.2), 0.0);
    }
    EXPECT_EQ(display(c, kBypass, 1.0), "On");
    EXPECT_EQ(display(c, kBypass, 0.0), "Off");
    EXPECT_EQ(c->normalizedParamToPlain(kProgram, 1.0), 9.0);
    EXPECT_EQ(c->plainParamToNormalized(kProgram, 9.0), 1.0);
    EXPECT_NEAR(c->plainParamToNormalized(kProgram, 3.0), 3.0 / 9.0, 1e-12);

    // Refused: unknown ids, NaN, text that is no value, non-ASCII text.
    String128 text{};
    EXPECT_NE(c->getParamStringByValue(99, 0.5, text), kResultOk);
    EXPECT_NE(c->getParamStringByValue(2, std::nan(""), text), kResultOk);
    ParamValue v = 0.25;
    toUtf16("loud", text);
    EXPECT_NE(c->getParamValueByString(2, text, v), kResultOk);
    text[0] = 0x263A;
    EXPECT_NE(c->getParamValueByString(2, text, v), kResultOk);
    EXPECT_NE(c->getParamValueByString(2, nullptr, v), kResultOk);
    EXPECT_EQ(v, 0.25);
    EXPECT_NE(c->setParamNormalized(2, std::nan("")), kResultOk);
    EXPECT_NE(c->setParamNormalized(77, 0.5), kResultOk);
    EXPECT_EQ(c->setParamNormalized(2, 3.0), kResultOk);
    EXPECT_EQ(c->getParamNormalized(2), 1.0);
}

TEST(Vst3Params, TenProgramsInOneListShownByTheirNames) {
    Vst3TestHost host;
    ASSERT_TRUE(host.create()) << host.error();
    LoadedPlugin library;
    clapcheck::VstReference vst(library, 44100.0f, 512);
    ASSERT_NE(vst.effect(), nullptr);
    void* obj = nullptr;
    ASSERT_EQ(host.component->queryInterface(iid::IUnitInfo.bytes, &obj), kResultOk);
    auto* units = static_cast<IUnitInfo*>(obj);
    ASSERT_EQ(units->getUnitCount(), 1);
    UnitInfo unit{};
    ASSERT_EQ(units->getUnitInfo(0, unit), kResultOk);
    EXPECT_EQ(unit.id, kRootUnitId);
    EXPECT_EQ(unit.parentUnitId, kNoParentUnitId);
    ASSERT_EQ(units->getProgramListCount(), 1);
    ProgramListInfo list{};
    ASSERT_EQ(units->getProgramListInfo(0, list), kResultOk);
    EXPECT_EQ(list.id, unit.programListId);
    ASSERT_EQ(list.programCount, 10);
    std::vector<std::string> seen;
    for (int p = 0; p < 10; ++p) {
        String128 name{};
        ASSERT_EQ(units->getProgramName(list.id, p, name), kResultOk);
        EXPECT_EQ(fromUtf16(name), vst.text(effGetProgramNameIndexed, p)) << p;
        EXPECT_EQ(display(host.controller, kProgram, p / 9.0), fromUtf16(name));
        // A name typed back selects the first program of that name.
        const auto first = static_cast<int>(std::find(seen.begin(), seen.end(), fromUtf16(name)) - seen.begin());
        seen.push_back(fromUtf16(name));
        ParamValue back = -1;
        ASSERT_EQ(host.controller->getParamValueByString(kProgram, name, back), kResultOk);
        EXPECT_NEAR(back, first / 9.0, 1e-12);
    }
    String128 name{};
    EXPECT_NE(units->getProgramName(list.id, 10, name), kResultOk);
    EXPECT_NE(units->getProgramName(list.id + 1, 0, name), kResultOk);
    EXPECT_NE(units->getProgramListInfo(1, list), kResultOk);
    units->release();
}

TEST(Vst3Params, ValuesTheAmpChangesItselfGoBackToTheHost) {
    Vst3TestHost host;
    ASSERT_TRUE(host.create()) << host.error();
    ASSERT_TRUE(host.start(44100.0, 512));
    std::vector<float> l(512, 0.1f), r(512, 0.1f);
    float* io[2] = {l.data(), r.data()};
    // Channel 0's Drive set, then a switch to channel 1 and back: channel
    // 0's Drive comes back and is reported at the switch's sample.
    ParamChanges in, out;
    in.add(2, 0, 0.9);
    ASSERT_EQ(host.process(io, io, 512, &in, &out), kResultOk);
    EXPECT_EQ(out.last(2), -1.0) << "the host's own value is not echoed";
    in.clear();
    out.clear();
    in.add(1, 100, 1.0);
    ASSERT_EQ(host.process(io, io, 512, &in, &out), kResultOk);
    in.clear();
    out.clear();
    in.add(1, 37, 0.0);
    ASSERT_EQ(host.process(io, io, 512, &in, &out), kResultOk);
    ASSERT_NEAR(out.last(2), 0.9, 1e-6);
    for (const ValueQueue& q : out.queues) {
        EXPECT_NE(q.id, 1u) << "Channel itself is the host's own change";
        for (const ValueQueue::Point& p : q.points)
            EXPECT_EQ(p.offset, 37);
    }
    EXPECT_NEAR(host.controller->getParamNormalized(2), 0.9, 1e-6);

    // A program by the program parameter: its values reported, the
    // controller shows them.
    in.clear();
    out.clear();
    in.add(kProgram, 511, 3.0 / 9.0);
    ASSERT_EQ(host.process(io, io, 512, &in, &out), kResultOk);
    EXPECT_GE(out.queues.size(), 1u);
    for (const ValueQueue& q : out.queues)
        for (const ValueQueue::Point& p : q.points)
            EXPECT_EQ(p.offset, 511);
    EXPECT_NEAR(host.controller->getParamNormalized(kProgram), 3.0 / 9.0, 1e-12);
    for (const ValueQueue& q : out.queues)
        EXPECT_EQ(static_cast<float>(host.controller->getParamNormalized(q.id)), static_cast<float>(q.points.back().value));
}

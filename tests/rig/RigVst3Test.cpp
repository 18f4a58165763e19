// CorvexRig.vst3 loaded by our VST3 test host as hosts load it, beside the
// head's Corvex.vst3: its identity, parameters, program list and latency;
// the head's samples with the gate open and the cabinet off, with the same
// sample-accurate changes; states carrying the user's impulse after the
// file is gone; hostile states refused with nothing changed; a state taken
// while audio runs shown at once.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "RigTestSupport.h"
#include "rig/RigEngine.h"
#include "tests/vst3/Vst3TestHost.h"

namespace {

using corvex::RigEngine;
using namespace vst3check;

constexpr v3::ParamID kBypassId = RigEngine::kParameterCount;
constexpr v3::ParamID kProgramId = kBypassId + 1;

Vst3Module& rigModule() {
    static Vst3Module module(CORVEX_RIG_VST3_BUNDLE);
    return module;
}

struct Rendered {
    std::vector<float> left, right;
};

// `in` through the plug-in in blocks of 96 frames; each change {frame, id,
// value} goes into the block holding its frame, at its offset there.
Rendered run(Vst3TestHost& host, const std::vector<float>& in, const std::vector<ValueQueue::Point>& frames = {},
             const std::vector<v3::ParamID>& ids = {}) {
    Rendered out;
    out.left.assign(in.size(), 0.0f);
    out.right.assign(in.size(), 0.0f);
    std::vector<float> inL(in), inR(in);
    for (size_t at = 0; at < in.size(); at += 96) {
        const int32_t n = static_cast<int32_t>(std::min<size_t>(96, in.size() - at));
        ParamChanges changes;
        for (size_t k = 0; k < frames.size(); ++k) {
            const size_t f = static_cast<size_t>(frames[k].offset);
            if (f >= at && f < at + static_cast<size_t>(n))
                changes.add(ids[k], static_cast<int32_t>(f - at), frames[k].value);
        }
        float* ins[2] = {inL.data() + at, inR.data() + at};
        float* outs[2] = {out.left.data() + at, out.right.data() + at};
        EXPECT_EQ(host.process(ins, outs, n, &changes), v3::kResultOk);
    }
    return out;
}

// Values in their order, each in a block of no audio of its own (one block
// holds one value per parameter at a sample).
void setBefore(Vst3TestHost& host, const std::vector<std::pair<v3::ParamID, double>>& values) {
    for (const auto& [id, v] : values) {
        ParamChanges changes;
        changes.add(id, 0, v);
        ASSERT_EQ(host.flush(changes), v3::kResultOk);
    }
}

std::string title(v3::IEditController* controller, int32_t index) {
    v3::ParameterInfo info{};
    EXPECT_EQ(controller->getParameterInfo(index, info), v3::kResultOk) << index;
    return fromUtf16(info.title);
}

// A state of the rig with the user's impulse from a file, the cabinet
// playing it.
std::vector<unsigned char> stateWithImpulse(const std::string& path) {
    RigEngine engine;
    std::string error;
    EXPECT_TRUE(engine.loadImpulseFile(path, error)) << error;
    engine.post(corvex::kCabinetOn, 1.0);
    engine.post(corvex::kCabinetModel, RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet));
    engine.flush();
    return engine.saveState();
}

TEST(RigVst3, ItsOwnClassBesideTheHeads) {
    ASSERT_TRUE(rigModule().factory()) << rigModule().error();
    ASSERT_TRUE(Vst3Module::shared().factory()) << Vst3Module::shared().error();
    v3::IPluginFactory* factory = rigModule().factory();
    ASSERT_EQ(factory->countClasses(), 1);
    v3::PClassInfo rig{}, head{};
    ASSERT_EQ(factory->getClassInfo(0, &rig), v3::kResultOk);
    ASSERT_EQ(Vst3Module::shared().factory()->getClassInfo(0, &head), v3::kResultOk);
    EXPECT_STREQ(rig.name, "Corvex Rig");
    EXPECT_STREQ(rig.category, v3::kAudioEffectClass);
    EXPECT_NE(0, std::memcmp(rig.cid, head.cid, sizeof(v3::TUID)));
    EXPECT_STREQ(head.name, "Vantor_Corvex_Head_v1_0") << "the head stays as it is";
    EXPECT_EQ(factory->getClassInfo(1, &rig), v3::kInvalidArgument);

    // Scanners read moduleinfo.json: the same class id, spelt in hex.
    std::ifstream json(std::string(CORVEX_RIG_VST3_BUNDLE) + "/Contents/Resources/moduleinfo.json");
    const std::string text((std::istreambuf_iterator<char>(json)), std::istreambuf_iterator<char>());
    const std::string hex = vst3check::classIdText(rig.cid);
    EXPECT_NE(text.find(hex), std::string::npos) << hex;
    EXPECT_NE(text.find("\"Corvex Rig\""), std::string::npos);
}

TEST(RigVst3, ParametersProgramsLatencyAndItsView) {
    Vst3TestHost host;
    ASSERT_TRUE(host.create(rigModule())) << host.error();
    v3::IEditController* c = host.controller;
    ASSERT_EQ(c->getParameterCount(), RigEngine::kParameterCount + 2);
    for (int i = 0; i < RigEngine::kParameterCount; ++i)
        EXPECT_EQ(title(c, i), RigEngine::parameterName(i)) << i;
    EXPECT_EQ(title(c, 0), "Input");
    v3::ParameterInfo info{};
    ASSERT_EQ(c->getParameterInfo(corvex::kCabinetModel, info), v3::kResultOk);
    EXPECT_EQ(info.stepCount, RigEngine::kCabinetChoices - 1);
    ASSERT_EQ(c->getParameterInfo(static_cast<int32_t>(kBypassId), info), v3::kResultOk);
    EXPECT_TRUE(info.flags & v3::ParameterInfo::kIsBypass);
    ASSERT_EQ(c->getParameterInfo(static_cast<int32_t>(kProgramId), info), v3::kResultOk);
    EXPECT_TRUE(info.flags & v3::ParameterInfo::kIsProgramChange);
    EXPECT_EQ(info.stepCount, 9);
    EXPECT_EQ(c->getParameterInfo(static_cast<int32_t>(kProgramId) + 1, info), v3::kInvalidArgument);

    v3::String128 text{};
    ASSERT_EQ(c->getParamStringByValue(corvex::kCabinetModel, 0.0, text), v3::kResultOk);
    EXPECT_EQ(fromUtf16(text), "4x12 Closed");
    v3::ParamValue value = -1.0;
    ASSERT_EQ(c->getParamValueByString(corvex::kCabinetModel, text, value), v3::kResultOk);
    EXPECT_EQ(value, 0.0);
    EXPECT_NE(c->getParamStringByValue(corvex::kGateThreshold, std::nan(""), text), v3::kResultOk);
    EXPECT_EQ(c->setParamNormalized(kProgramId + 1, 0.5), v3::kInvalidArgument);

    // The program list: the rig's ten programs, by name.
    void* obj = nullptr;
    ASSERT_EQ(c->queryInterface(v3::iid::IUnitInfo.bytes, &obj), v3::kResultOk);
    auto* units = static_cast<v3::IUnitInfo*>(obj);
    v3::ProgramListInfo list{};
    ASSERT_EQ(units->getProgramListInfo(0, list), v3::kResultOk);
    ASSERT_EQ(list.programCount, RigEngine::kProgramCount);
    RigEngine engine;
    for (int p = 0; p < RigEngine::kProgramCount; ++p) {
        char name[32] = {};
        ASSERT_TRUE(engine.programName(p, name, sizeof name));
        ASSERT_EQ(units->getProgramName(list.id, p, text), v3::kResultOk);
        EXPECT_EQ(fromUtf16(text), name) << p;
    }
    EXPECT_EQ(units->getProgramName(list.id, RigEngine::kProgramCount, text), v3::kInvalidArgument);
    units->release();

    // The rig's panel: the head's and the strip, 660 x 358 (its X11 test
    // is rig_vst3_editor_xvfb).
    EXPECT_EQ(c->createView("something else"), nullptr);
    v3::IPlugView* view = c->createView("editor");
    ASSERT_NE(view, nullptr);
    v3::ViewRect size{};
    EXPECT_EQ(view->getSize(&size), v3::kResultOk);
    EXPECT_EQ(size.right - size.left, 660);
    EXPECT_EQ(size.bottom - size.top, 358);
    view->release();
    ASSERT_TRUE(host.start(48000.0, 512));
    EXPECT_EQ(host.processor->getLatencySamples(), 0u);
    // A program from the list's parameter: its values reach the host.
    ParamChanges change, sent;
    change.add(kProgramId, 0, 4.0 / 9.0);
    ASSERT_EQ(host.flush(change, &sent), v3::kResultOk);
    engine.postProgram(4);
    engine.flush();
    EXPECT_FLOAT_EQ(static_cast<float>(sent.last(corvex::kCabinetModel) < 0 ? engine.value(corvex::kCabinetModel)
                                                                            : sent.last(corvex::kCabinetModel)),
                    engine.value(corvex::kCabinetModel));
    for (int i = 0; i < RigEngine::kParameterCount; ++i)
        EXPECT_EQ(static_cast<float>(c->getParamNormalized(static_cast<v3::ParamID>(i))), engine.value(i)) << i;
}

TEST(RigVst3, GateOpenCabinetOffGivesTheHeadsSamples) {
    Vst3TestHost head, rig;
    ASSERT_TRUE(head.create()) << head.error();
    ASSERT_TRUE(rig.create(rigModule())) << rig.error();
    ASSERT_TRUE(head.start(48000.0, 96));
    ASSERT_TRUE(rig.start(48000.0, 96));
    // The same knobs on both, each channel's own, then the shared ones; the
    // rig's gate and cabinet off. (Each channel is set: the head starts on
    // its default program, the rig on its factory bank's first.)
    std::vector<std::pair<v3::ParamID, double>> knobs;
    for (double channel : {1.0, 0.0}) {
        knobs.push_back({1, channel});
        const double offset = channel * 0.1;
        for (v3::ParamID id : {0u, 2u, 4u, 5u, 6u, 7u, 8u, 9u})
            knobs.push_back({id, 0.3 + 0.05 * id + offset});
    }
    for (const auto& shared : {std::pair<v3::ParamID, double>{3, 0.4}, {10, 1.0}, {11, 0.0}, {12, 1.0}})
        knobs.push_back(shared);
    setBefore(head, knobs);
    knobs.push_back({corvex::kGateThreshold, 0.0});
    knobs.push_back({corvex::kCabinetOn, 0.0});
    setBefore(rig, knobs);
    const auto in = rigtest::guitar(48000, 48000.0, 4);
    // Changes inside blocks, two in one block, a channel switch, the quality
    // switch and the bypass with its crossfade.
    const std::vector<ValueQueue::Point> at = {{1000, 0.9},  {1003, 0.2},  {1050, 0.7}, {20050, 1.0},
                                               {30001, 1.0}, {40010, 1.0}, {44017, 0.0}};
    const std::vector<v3::ParamID> ids = {2, 4, 2, 1, 11, 13, 13};
    std::vector<v3::ParamID> rigIds(ids);
    for (v3::ParamID& id : rigIds)
        if (id == 13)
            id = kBypassId;  // the head's bypass id is after its thirteen
    const Rendered a = run(head, in, at, ids);
    const Rendered b = run(rig, in, at, rigIds);
    size_t first = 0;
    while (first < a.left.size() && a.left[first] == b.left[first] && a.right[first] == b.right[first])
        ++first;
    EXPECT_EQ(first, a.left.size()) << "the first sample apart";
    EXPECT_EQ(0, std::memcmp(a.left.data(), b.left.data(), a.left.size() * sizeof(float)));
    EXPECT_EQ(0, std::memcmp(a.right.data(), b.right.data(), a.right.size() * sizeof(float)));
}

TEST(RigVst3, StateWithItsImpulseOpensAfterTheFileIsGone) {
    const std::string path = rigtest::tempPath("vst3-cab.wav");
    ASSERT_TRUE(rigtest::writeAudio(path, {rigtest::testResponse(4000, 41)}, 44100));
    const std::vector<unsigned char> saved = stateWithImpulse(path);
    std::filesystem::remove(path);
    ASSERT_FALSE(std::filesystem::exists(path));

    Vst3TestHost first;
    ASSERT_TRUE(first.create(rigModule())) << first.error();
    MemoryStream pieces(saved);
    pieces.chunkLimit = 1000;  // a host reading in small pieces
    ASSERT_EQ(first.component->setState(&pieces), v3::kResultOk);
    const std::vector<unsigned char> again = first.saveState();
    EXPECT_EQ(again, saved);
    EXPECT_FALSE(first.handler.restarts.empty()) << "the host is told to read the values again";
    EXPECT_EQ(first.controller->getParamNormalized(corvex::kCabinetModel),
              RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet));

    Vst3TestHost second, plain;
    ASSERT_TRUE(second.create(rigModule()));
    ASSERT_TRUE(plain.create(rigModule()));
    ASSERT_EQ(second.loadState(again), v3::kResultOk);
    for (Vst3TestHost* h : {&first, &second, &plain})
        ASSERT_TRUE(h->start(48000.0, 256));
    const auto in = rigtest::guitar(24000, 48000.0, 9);
    const Rendered a = run(first, in);
    const Rendered b = run(second, in);
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.right, b.right);
    // The impulse plays: another sound than the factory's first program.
    const Rendered c = run(plain, in);
    EXPECT_NE(a.left, c.left);
}

TEST(RigVst3, HostileStatesAreRefusedWithNothingChanged) {
    const std::string path = rigtest::tempPath("vst3-hostile.wav");
    ASSERT_TRUE(rigtest::writeAudio(path, {rigtest::testResponse(3000, 5)}, 48000));
    const std::vector<unsigned char> saved = stateWithImpulse(path);
    std::filesystem::remove(path);
    Vst3TestHost host;
    ASSERT_TRUE(host.create(rigModule()));
    ASSERT_EQ(host.loadState(saved), v3::kResultOk);
    ASSERT_TRUE(host.start(44100.0, 128));
    const auto in = rigtest::guitar(4410, 44100.0, 3);
    const Rendered before = run(host, in);

    std::vector<std::vector<unsigned char>> hostile;
    for (size_t cut : {size_t(0), size_t(1), size_t(7), size_t(100), saved.size() / 2, saved.size() - 3})
        hostile.emplace_back(saved.begin(), saved.begin() + static_cast<long>(cut));
    std::vector<unsigned char> noise(5000);
    uint32_t s = 99;
    for (unsigned char& b : noise)
        b = static_cast<unsigned char>((s = s * 1664525u + 1013904223u) >> 24);
    hostile.push_back(noise);
    hostile.push_back(std::vector<unsigned char>(saved.size(), 0xFF));
    for (size_t k = 0; k < hostile.size(); ++k) {
        MemoryStream stream(hostile[k]);
        EXPECT_EQ(host.component->setState(&stream), v3::kResultFalse) << k;
    }
    EXPECT_EQ(host.component->setState(nullptr), v3::kInvalidArgument);
    EXPECT_EQ(host.saveState(), saved);
    // And the sound is the one it had (the host's same input, the same
    // stretch of time from a fresh instance with the same state).
    Vst3TestHost fresh;
    ASSERT_TRUE(fresh.create(rigModule()));
    ASSERT_EQ(fresh.loadState(saved), v3::kResultOk);
    ASSERT_TRUE(fresh.start(44100.0, 128));
    run(fresh, in);
    const Rendered a = run(host, in);
    const Rendered b = run(fresh, in);
    EXPECT_EQ(a.left, b.left);
    EXPECT_NE(before.left, std::vector<float>(before.left.size(), 0.0f));
}

TEST(RigVst3, AStateTakenWhileAudioRunsIsShownAtOnce) {
    Vst3TestHost host;
    ASSERT_TRUE(host.create(rigModule()));
    ASSERT_TRUE(host.start(48000.0, 64));
    std::vector<float> l(64, 0.1f), r(64, 0.1f);
    float* io[2] = {l.data(), r.data()};
    ASSERT_EQ(host.process(io, io, 64), v3::kResultOk);
    RigEngine engine;
    engine.post(1, 1.0);   // channel 2
    engine.post(9, 0.8);   // its Volume
    engine.post(1, 0.0);   // back to channel 1
    engine.post(9, 0.05);  // its Volume
    engine.post(corvex::kMaster, 0.25);
    engine.flush();
    const std::vector<unsigned char> state = engine.saveState();
    host.handler.restarts.clear();
    ASSERT_EQ(host.loadState(state), v3::kResultOk);
    // The host hears at once, before any block: a host that then restores
    // its own copies of the values reads the loaded ones.
    ASSERT_FALSE(host.handler.restarts.empty());
    EXPECT_TRUE(host.handler.restarts.back() & v3::kParamValuesChanged);
    EXPECT_FLOAT_EQ(static_cast<float>(host.controller->getParamNormalized(9)), engine.value(9));
    EXPECT_FLOAT_EQ(static_cast<float>(host.controller->getParamNormalized(corvex::kMaster)),
                    engine.value(corvex::kMaster));
    // Nothing is sent back again by the next block, and the other channel
    // kept its own Volume.
    ParamChanges none, sent;
    ASSERT_EQ(host.process(io, io, 64, &none, &sent), v3::kResultOk);
    EXPECT_EQ(sent.last(9), -1.0);
    ParamChanges toChannel2;
    toChannel2.add(1, 0, 1.0);
    ASSERT_EQ(host.process(io, io, 64, &toChannel2, &sent), v3::kResultOk);
    EXPECT_FLOAT_EQ(static_cast<float>(host.controller->getParamNormalized(9)), 0.8f);
    EXPECT_EQ(host.saveState().size(), state.size());
}

bool finite(const std::vector<float>& x) {
    for (float v : x)
        if (!std::isfinite(v))
            return false;
    return true;
}

TEST(RigVst3, HostileBlocksAndValuesAreSafe) {
    Vst3TestHost host;
    ASSERT_TRUE(host.create(rigModule()));
    ASSERT_TRUE(host.start(44100.0, 256));
    std::vector<float> l = rigtest::guitar(1024, 44100.0, 2), r(l);
    float* io[2] = {l.data(), r.data()};

    // A block longer than announced, null channels, a null buffer table, a
    // bus count without buses: no crash, real output where there is one.
    EXPECT_EQ(host.process(io, io, 1024), v3::kResultOk);
    EXPECT_TRUE(finite(l) && finite(r));
    float* nulls[2] = {nullptr, nullptr};
    EXPECT_EQ(host.process(nulls, nulls, 256), v3::kResultOk);
    EXPECT_EQ(host.process(nullptr, nullptr, 256), v3::kResultOk);
    std::vector<float> outL(512, 5.0f), outR(512, 5.0f);
    float* out[2] = {outL.data(), outR.data()};
    EXPECT_EQ(host.process(nulls, out, 512), v3::kResultOk);
    EXPECT_TRUE(finite(outL) && finite(outR));
    EXPECT_NE(outL[0], 5.0f);
    v3::ProcessData data{};
    data.symbolicSampleSize = v3::kSample32;
    data.numSamples = 64;
    data.numInputs = data.numOutputs = 1;
    EXPECT_EQ(host.processor->process(data), v3::kResultOk);
    data.numSamples = -1;
    EXPECT_EQ(host.processor->process(data), v3::kInvalidArgument);
    data.numSamples = 64;
    data.symbolicSampleSize = v3::kSample64;
    EXPECT_EQ(host.processor->process(data), v3::kInvalidArgument);

    // Hostile points: NaN, unknown ids, offsets outside the block, out of
    // order, a cabinet model between its steps.
    const double before = host.controller->getParamNormalized(corvex::kMaster);
    ParamChanges odd;
    odd.add(corvex::kMaster, -10, std::nan(""));
    odd.add(kProgramId + 7, 3, 0.5);
    odd.add(corvex::kGateRelease, 5000, 0.4);
    odd.add(corvex::kCabinetTrim, 100, 0.2);
    odd.queues.back().points.push_back({50, 0.6});
    odd.add(corvex::kCabinetModel, 10, 0.43);
    odd.add(kProgramId, 20, std::nan(""));
    EXPECT_EQ(host.process(io, io, 256, &odd), v3::kResultOk);
    EXPECT_TRUE(finite(l) && finite(r));
    EXPECT_EQ(host.controller->getParamNormalized(corvex::kMaster), before);
    EXPECT_NEAR(host.controller->getParamNormalized(corvex::kGateRelease), 0.4, 1e-6);
    EXPECT_NEAR(host.controller->getParamNormalized(corvex::kCabinetTrim), 0.6, 1e-6);
    EXPECT_FLOAT_EQ(static_cast<float>(host.controller->getParamNormalized(corvex::kCabinetModel)),
                    RigEngine::valueOfCabinetModel(2));
    EXPECT_EQ(host.controller->getParamNormalized(kProgramId + 7), 0.0);

    // Streams that are not ours, or over the size any state of ours has.
    EXPECT_EQ(host.controller->setComponentState(nullptr), v3::kInvalidArgument);
    EXPECT_EQ(host.component->getState(nullptr), v3::kInvalidArgument);
    MemoryStream full;
    full.refuseWrites = true;  // a full disk
    EXPECT_EQ(host.component->getState(&full), v3::kResultFalse);
}

}  // namespace

// The head and the rig share their interfaces' plumbing: each answers the
// calls that do not depend on its engine the same way, with its own counts.
void checkCommonCalls(Vst3Module& module, const char* which) {
    SCOPED_TRACE(which);
    ASSERT_TRUE(module.factory()) << module.error();
    void* obj = nullptr;
    ASSERT_EQ(module.factory()->queryInterface(v3::iid::IPluginFactory3.bytes, &obj), v3::kResultOk);
    auto* factory = static_cast<v3::IPluginFactory3*>(obj);
    v3::PClassInfo2 info2{};
    v3::PClassInfoW infoW{};
    EXPECT_EQ(factory->getClassInfo2(1, &info2), v3::kInvalidArgument);
    EXPECT_EQ(factory->getClassInfoUnicode(0, nullptr), v3::kInvalidArgument);
    ASSERT_EQ(factory->getClassInfo2(0, &info2), v3::kResultOk);
    ASSERT_EQ(factory->getClassInfoUnicode(0, &infoW), v3::kResultOk);
    EXPECT_EQ(0, std::memcmp(info2.cid, infoW.cid, sizeof(v3::TUID)));
    EXPECT_STREQ(info2.category, v3::kAudioEffectClass);
    EXPECT_STREQ(infoW.category, v3::kAudioEffectClass);
    EXPECT_EQ(infoW.cardinality, v3::PClassInfo::kManyInstances);
    EXPECT_EQ(fromUtf16(infoW.name, 64), info2.name);
    factory->release();

    Vst3TestHost host;
    ASSERT_TRUE(host.create(module)) << host.error();
    v3::IComponent* component = host.component;
    v3::IEditController* c = host.controller;
    const int32_t count = c->getParameterCount();
    ASSERT_GE(count, 3);
    const auto bypass = static_cast<v3::ParamID>(count - 2);
    const auto program = static_cast<v3::ParamID>(count - 1);

    // Interfaces, buses, units.
    obj = reinterpret_cast<void*>(1);
    EXPECT_EQ(component->queryInterface(v3::iid::IPluginFactory.bytes, &obj), v3::kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(component->queryInterface(v3::iid::IConnectionPoint.bytes, nullptr), v3::kInvalidArgument);
    ASSERT_EQ(component->queryInterface(v3::iid::IConnectionPoint.bytes, &obj), v3::kResultOk);
    auto* point = static_cast<v3::IConnectionPoint*>(obj);
    EXPECT_EQ(point->connect(nullptr), v3::kInvalidArgument);
    EXPECT_EQ(point->notify(nullptr), v3::kInvalidArgument);
    point->release();
    v3::TUID controllerClass;
    EXPECT_EQ(component->getControllerClassId(controllerClass), v3::kResultFalse);
    EXPECT_EQ(component->getBusCount(v3::kAudio, v3::kInput), 1);
    EXPECT_EQ(component->getBusCount(v3::kEvent, v3::kInput), 0);
    EXPECT_EQ(component->activateBus(v3::kAudio, v3::kOutput, 1, 1), v3::kInvalidArgument);
    ASSERT_EQ(c->queryInterface(v3::iid::IUnitInfo.bytes, &obj), v3::kResultOk);
    auto* units = static_cast<v3::IUnitInfo*>(obj);
    EXPECT_EQ(units->getUnitCount(), 1);
    EXPECT_EQ(units->selectUnit(5), v3::kInvalidArgument);
    v3::ProgramListInfo list{};
    ASSERT_EQ(units->getProgramListInfo(0, list), v3::kResultOk);
    EXPECT_EQ(units->getProgramListInfo(1, list), v3::kInvalidArgument);
    const int programs = list.programCount;
    ASSERT_GE(programs, 2);

    // The bypass and the program parameters.
    v3::ParameterInfo info{};
    ASSERT_EQ(c->getParameterInfo(static_cast<int32_t>(bypass), info), v3::kResultOk);
    EXPECT_EQ(fromUtf16(info.title), "Bypass");
    EXPECT_EQ(info.stepCount, 1);
    ASSERT_EQ(c->getParameterInfo(static_cast<int32_t>(program), info), v3::kResultOk);
    EXPECT_EQ(fromUtf16(info.title), "Program");
    EXPECT_EQ(info.stepCount, programs - 1);
    EXPECT_TRUE(info.flags & v3::ParameterInfo::kIsList);
    EXPECT_EQ(c->getParameterInfo(-1, info), v3::kInvalidArgument);

    v3::String128 text{};
    ASSERT_EQ(c->getParamStringByValue(bypass, 0.7, text), v3::kResultOk);
    EXPECT_EQ(fromUtf16(text), "On");
    v3::ParamValue value = -1.0;
    toUtf16("off", text);
    ASSERT_EQ(c->getParamValueByString(bypass, text, value), v3::kResultOk);
    EXPECT_EQ(value, 0.0);
    toUtf16("maybe", text);
    EXPECT_EQ(c->getParamValueByString(bypass, text, value), v3::kResultFalse);
    EXPECT_EQ(c->getParamValueByString(bypass, nullptr, value), v3::kInvalidArgument);

    const double third = 3.0 / (programs - 1);
    v3::String128 name{};
    ASSERT_EQ(units->getProgramName(list.id, 3, name), v3::kResultOk);
    ASSERT_EQ(c->getParamStringByValue(program, third, text), v3::kResultOk);
    EXPECT_EQ(fromUtf16(text), fromUtf16(name));
    // By name: the first program of that name (the head's start all "Init").
    int first = 0;
    for (v3::String128 other{}; units->getProgramName(list.id, first, other) == v3::kResultOk &&
                                fromUtf16(other) != fromUtf16(name);)
        ++first;
    ASSERT_EQ(c->getParamValueByString(program, name, value), v3::kResultOk);
    EXPECT_DOUBLE_EQ(value, static_cast<double>(first) / (programs - 1));
    toUtf16("No such program", text);
    EXPECT_EQ(c->getParamValueByString(program, text, value), v3::kResultFalse);
    EXPECT_EQ(c->normalizedParamToPlain(program, 1.0), programs - 1);
    EXPECT_DOUBLE_EQ(c->plainParamToNormalized(program, 3.0), third);
    EXPECT_EQ(c->plainParamToNormalized(bypass, std::nan("")), 0.0);
    units->release();

    // What the controller shows: held to the parameter's range and steps,
    // NaN and unknown ids refused with nothing changed.
    ASSERT_EQ(c->setParamNormalized(bypass, 7.0), v3::kResultOk);
    EXPECT_EQ(c->getParamNormalized(bypass), 1.0);
    EXPECT_EQ(c->setParamNormalized(bypass, std::nan("")), v3::kInvalidArgument);
    EXPECT_EQ(c->getParamNormalized(bypass), 1.0);
    ASSERT_EQ(c->setParamNormalized(program, third + 0.2 / (programs - 1)), v3::kResultOk);
    EXPECT_DOUBLE_EQ(c->getParamNormalized(program), third);
    EXPECT_EQ(c->getParamNormalized(static_cast<v3::ParamID>(count)), 0.0);

    // Streams: none refused, nothing refused with nothing changed.
    EXPECT_EQ(component->setState(nullptr), v3::kInvalidArgument);
    EXPECT_EQ(component->getState(nullptr), v3::kInvalidArgument);
    EXPECT_NE(host.loadState({}), v3::kResultOk);
    const std::vector<unsigned char> saved = host.saveState();
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(host.loadState(saved), v3::kResultOk);
    EXPECT_EQ(host.saveState(), saved);

    // While active, the setup and the buses stay as they are.
    ASSERT_TRUE(host.start(48000.0, 512));
    v3::ProcessSetup setup{v3::kRealtime, v3::kSample32, 256, 44100.0};
    EXPECT_EQ(host.processor->setupProcessing(setup), v3::kResultFalse);
    v3::SpeakerArrangement stereo = v3::speaker::kStereo;
    EXPECT_EQ(host.processor->setBusArrangements(&stereo, 1, &stereo, 1), v3::kResultFalse);
    host.stop();
    EXPECT_EQ(host.processor->setupProcessing(setup), v3::kResultOk);
}

TEST(RigVst3, TheHeadAndTheRigAnswerTheCommonCallsAlike) {
    checkCommonCalls(Vst3Module::shared(), "head");
    checkCommonCalls(rigModule(), "rig");
}

#if defined(_WIN32)
// The rig's view on Windows (under wine in the Windows stage): embedded in a
// window of the host's as a child window of the panel's size at scale 1 and
// 2, drawn (the strip's colour below the head's panel) by the timer of the
// UI thread that idles it, and gone again when removed.
namespace {
BOOL CALLBACK collectChild(HWND child, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
    return TRUE;
}
std::vector<HWND> childrenOf(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(parent, collectChild, reinterpret_cast<LPARAM>(&found));
    return found;
}
void pumpFor(int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 10) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
}
}  // namespace

TEST(RigVst3, ItsViewInAWindowsHostWindow) {
    Vst3TestHost host;
    ASSERT_TRUE(host.create(rigModule())) << host.error();
    const HWND parent = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1400, 800,
                                        nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    for (const float scale : {1.0f, 2.0f}) {
        v3::IPlugView* view = host.controller->createView("editor");
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->isPlatformTypeSupported(v3::kPlatformTypeHWND), v3::kResultTrue);
        void* obj = nullptr;
        ASSERT_EQ(view->queryInterface(v3::iid::IPlugViewContentScaleSupport.bytes, &obj), v3::kResultOk);
        auto* scaling = static_cast<v3::IPlugViewContentScaleSupport*>(obj);
        EXPECT_EQ(scaling->setContentScaleFactor(scale), v3::kResultTrue);
        ASSERT_EQ(view->attached(parent, v3::kPlatformTypeHWND), v3::kResultOk) << scale;
        pumpFor(500);
        const std::vector<HWND> children = childrenOf(parent);
        ASSERT_EQ(children.size(), 1u) << scale;
        RECT r{};
        GetClientRect(children[0], &r);
        EXPECT_EQ(r.right - r.left, std::lround(660 * scale));
        EXPECT_EQ(r.bottom - r.top, std::lround(358 * scale));
        HDC dc = GetDC(children[0]);
        const COLORREF strip = GetPixel(dc, std::lround(500 * scale), std::lround(328 * scale));
        ReleaseDC(children[0], dc);
        EXPECT_EQ(strip, RGB(38, 33, 31)) << "the strip at scale " << scale;
        if (scale == 1.0f) {
            // The gate knob dragged up with the real mouse (SendInput from a
            // thread of the user's) while the UI thread runs: one edit.
            POINT knob{32, 290};
            ClientToScreen(children[0], &knob);
            const size_t before = host.handler.edits.size();
            std::thread user([knob] {
                auto button = [](DWORD flags) {
                    INPUT input{};
                    input.type = INPUT_MOUSE;
                    input.mi.dwFlags = flags;
                    SendInput(1, &input, sizeof input);
                };
                SetCursorPos(knob.x, knob.y);
                Sleep(100);
                button(MOUSEEVENTF_LEFTDOWN);
                for (int k = 1; k <= 5; ++k) {
                    Sleep(100);
                    SetCursorPos(knob.x, knob.y - 10 * k);
                }
                Sleep(100);
                button(MOUSEEVENTF_LEFTUP);
            });
            pumpFor(1500);
            user.join();
            pumpFor(200);
            int begins = 0, performs = 0, ends = 0;
            for (size_t i = before; i < host.handler.edits.size(); ++i) {
                const RecordingHandler::Edit& e = host.handler.edits[i];
                if (e.id == corvex::kGateThreshold) {
                    begins += e.kind == 'b';
                    performs += e.kind == 'p';
                    ends += e.kind == 'e';
                }
            }
            EXPECT_EQ(begins, 1);
            EXPECT_GE(performs, 2);
            EXPECT_EQ(ends, 1);
            EXPECT_GT(host.controller->getParamNormalized(corvex::kGateThreshold), 0.1);
        }
        EXPECT_EQ(view->removed(), v3::kResultOk);
        EXPECT_TRUE(childrenOf(parent).empty());
        scaling->release();
        view->release();
    }
    DestroyWindow(parent);
}
#endif

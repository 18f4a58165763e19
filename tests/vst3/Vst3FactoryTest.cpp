// The module as a scanner sees it: the factory's class info in its three
// versions and moduleinfo.json saying the same; the interfaces the
// instance answers and refuses; buses and arrangements; sample sizes,
// latency and tail.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "Vst3TestHost.h"

using namespace vst3check;
using namespace v3;

namespace {

IPluginFactory* factory() {
    return Vst3Module::shared().factory();
}

}  // namespace

TEST(Vst3Factory, ReportsOneAmpClassInEveryVersion) {
    ASSERT_NE(factory(), nullptr) << Vst3Module::shared().error();
    PFactoryInfo info{};
    ASSERT_EQ(factory()->getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, "Ardex Plugins");
    EXPECT_TRUE(info.flags & PFactoryInfo::kUnicode);
    ASSERT_EQ(factory()->countClasses(), 1);

    PClassInfo one{};
    ASSERT_EQ(factory()->getClassInfo(0, &one), kResultOk);
    EXPECT_STREQ(one.category, "Audio Module Class");
    EXPECT_NE(std::string(one.name).find("Corvex"), std::string::npos);
    EXPECT_EQ(one.cardinality, PClassInfo::kManyInstances);
    EXPECT_NE(factory()->getClassInfo(1, &one), kResultOk);
    EXPECT_NE(factory()->getClassInfo(-1, &one), kResultOk);
    EXPECT_NE(factory()->getClassInfo(0, nullptr), kResultOk);

    void* obj = nullptr;
    ASSERT_EQ(factory()->queryInterface(iid::IPluginFactory3.bytes, &obj), kResultOk);
    auto* three = static_cast<IPluginFactory3*>(obj);
    PClassInfo2 two{};
    ASSERT_EQ(three->getClassInfo2(0, &two), kResultOk);
    EXPECT_EQ(std::memcmp(two.cid, one.cid, 16), 0);
    EXPECT_STREQ(two.subCategories, "Fx|Distortion");
    EXPECT_STREQ(two.vendor, "Ardex Plugins");
    EXPECT_STREQ(two.name, one.name);
    EXPECT_STRNE(two.version, "");
    EXPECT_EQ(std::string(two.sdkVersion).rfind("VST 3", 0), 0u);
    PClassInfoW wide{};
    ASSERT_EQ(three->getClassInfoUnicode(0, &wide), kResultOk);
    EXPECT_EQ(fromUtf16(wide.name, 64), one.name);
    EXPECT_EQ(fromUtf16(wide.vendor, 64), "Ardex Plugins");
    EXPECT_EQ(fromUtf16(wide.version, 64), two.version);
    EXPECT_STREQ(wide.subCategories, "Fx|Distortion");
    EXPECT_EQ(three->setHostContext(nullptr), kResultOk);
    three->release();

    // moduleinfo.json names the same class.
    std::ifstream file(std::string(CORVEX_VST3_BUNDLE) + "/Contents/Resources/moduleinfo.json");
    ASSERT_TRUE(file) << "no moduleinfo.json";
    std::stringstream text;
    text << file.rdbuf();
    const std::string json = text.str();
    EXPECT_NE(json.find("\"CID\": \"" + vst3check::classIdText(one.cid) + "\""), std::string::npos) << json;
    EXPECT_NE(json.find(std::string("\"Name\": \"") + one.name + "\""), std::string::npos);
    EXPECT_NE(json.find("\"Version\": \"" + std::string(two.version) + "\""), std::string::npos);
    EXPECT_NE(json.find("\"Audio Module Class\""), std::string::npos);
}

TEST(Vst3Factory, RefusesUnknownClassesAndInterfaces) {
    ASSERT_NE(factory(), nullptr);
    PClassInfo one{};
    ASSERT_EQ(factory()->getClassInfo(0, &one), kResultOk);
    void* obj = reinterpret_cast<void*>(1);
    TUID wrong{};
    std::memcpy(wrong, one.cid, 16);
    wrong[15] ^= 1;
    EXPECT_NE(factory()->createInstance(wrong, iid::IComponent.bytes, &obj), kResultOk);
    EXPECT_EQ(obj, nullptr);
    obj = reinterpret_cast<void*>(1);
    EXPECT_NE(factory()->createInstance(one.cid, iid::IPluginFactory.bytes, &obj), kResultOk);
    EXPECT_EQ(obj, nullptr);
    EXPECT_NE(factory()->createInstance(one.cid, iid::IComponent.bytes, nullptr), kResultOk);
    EXPECT_NE(factory()->createInstance(nullptr, iid::IComponent.bytes, &obj), kResultOk);

    // Created through any of its interfaces.
    for (const Uid* id : {&iid::IAudioProcessor, &iid::IEditController, &iid::FUnknown}) {
        obj = nullptr;
        ASSERT_EQ(factory()->createInstance(one.cid, id->bytes, &obj), kResultOk);
        ASSERT_NE(obj, nullptr);
        static_cast<FUnknown*>(obj)->release();
    }
}

TEST(Vst3Factory, InstanceAnswersItsInterfacesAndCountsReferences) {
    Vst3TestHost host;
    ASSERT_TRUE(host.create()) << host.error();
    EXPECT_FALSE(host.separateController);
    for (const Uid* id : {&iid::FUnknown, &iid::IPluginBase, &iid::IComponent, &iid::IAudioProcessor,
                          &iid::IEditController, &iid::IUnitInfo, &iid::IProcessContextRequirements,
                          &iid::IConnectionPoint}) {
        void* obj = nullptr;
        ASSERT_EQ(host.component->queryInterface(id->bytes, &obj), kResultOk);
        ASSERT_NE(obj, nullptr);
        // Every interface leads back to the same object.
        void* again = nullptr;
        ASSERT_EQ(static_cast<FUnknown*>(obj)->queryInterface(iid::IComponent.bytes, &again), kResultOk);
        EXPECT_EQ(again, static_cast<void*>(host.component));
        static_cast<FUnknown*>(again)->release();
        static_cast<FUnknown*>(obj)->release();
    }
    void* obj = reinterpret_cast<void*>(1);
    EXPECT_EQ(host.component->queryInterface(iid::IPluginFactory.bytes, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(host.component->queryInterface(iid::IBStream.bytes, &obj), kNoInterface);
    EXPECT_NE(host.component->queryInterface(iid::IComponent.bytes, nullptr), kResultOk);

    const uint32 count = host.component->addRef();
    EXPECT_GE(count, 2u);
    EXPECT_EQ(host.component->release(), count - 1);

    // One object: no controller class of its own.
    TUID controllerId{};
    EXPECT_NE(host.component->getControllerClassId(controllerId), kResultOk);
    EXPECT_NE(host.component->getControllerClassId(nullptr), kResultOk);
}

TEST(Vst3Factory, OneStereoMainBusEachWayAndTheArrangementsItCanDo) {
    Vst3TestHost host;
    ASSERT_TRUE(host.create()) << host.error();
    IComponent* c = host.component;
    EXPECT_EQ(c->getBusCount(kAudio, kInput), 1);
    EXPECT_EQ(c->getBusCount(kAudio, kOutput), 1);
    EXPECT_EQ(c->getBusCount(kEvent, kInput), 0);
    EXPECT_EQ(c->getBusCount(kEvent, kOutput), 0);
    for (BusDirection dir : {kInput, kOutput}) {
        BusInfo bus{};
        ASSERT_EQ(c->getBusInfo(kAudio, dir, 0, bus), kResultOk);
        EXPECT_EQ(bus.channelCount, 2);
        EXPECT_EQ(bus.busType, kMain);
        EXPECT_EQ(bus.direction, dir);
        EXPECT_TRUE(bus.flags & BusInfo::kDefaultActive);
        EXPECT_FALSE(fromUtf16(bus.name).empty());
        EXPECT_NE(c->getBusInfo(kAudio, dir, 1, bus), kResultOk);
        EXPECT_NE(c->getBusInfo(kEvent, dir, 0, bus), kResultOk);
        EXPECT_EQ(c->activateBus(kAudio, dir, 0, 1), kResultOk);
        EXPECT_NE(c->activateBus(kAudio, dir, 1, 1), kResultOk);
        EXPECT_NE(c->activateBus(kEvent, dir, 0, 1), kResultOk);
    }
    EXPECT_EQ(c->setIoMode(kSimple), kResultOk);

    IAudioProcessor* p = host.processor;
    SpeakerArrangement arr = 0;
    ASSERT_EQ(p->getBusArrangement(kInput, 0, arr), kResultOk);
    EXPECT_EQ(arr, speaker::kStereo);
    EXPECT_NE(p->getBusArrangement(kOutput, 1, arr), kResultOk);
    SpeakerArrangement stereo = speaker::kStereo, mono = speaker::kMono, surround = 0x3F;
    EXPECT_EQ(p->setBusArrangements(&stereo, 1, &stereo, 1), kResultTrue);
    // Mono in, stereo out: the one input feeds both sides.
    EXPECT_EQ(p->setBusArrangements(&mono, 1, &stereo, 1), kResultTrue);
    ASSERT_EQ(p->getBusArrangement(kInput, 0, arr), kResultOk);
    EXPECT_EQ(arr, speaker::kMono);
    // Refused, and the last accepted arrangement kept.
    EXPECT_EQ(p->setBusArrangements(&stereo, 1, &mono, 1), kResultFalse);
    EXPECT_EQ(p->setBusArrangements(&surround, 1, &surround, 1), kResultFalse);
    EXPECT_EQ(p->setBusArrangements(&stereo, 2, &stereo, 1), kResultFalse);
    EXPECT_EQ(p->setBusArrangements(nullptr, 1, &stereo, 1), kResultFalse);
    ASSERT_EQ(p->getBusArrangement(kInput, 0, arr), kResultOk);
    EXPECT_EQ(arr, speaker::kMono);
    ASSERT_EQ(p->getBusArrangement(kOutput, 0, arr), kResultOk);
    EXPECT_EQ(arr, speaker::kStereo);

    EXPECT_EQ(p->canProcessSampleSize(kSample32), kResultTrue);
    EXPECT_EQ(p->canProcessSampleSize(kSample64), kResultFalse);
    EXPECT_EQ(p->getLatencySamples(), 0u);
    EXPECT_EQ(p->getTailSamples(), 0u);
    ProcessSetup sixtyFour{kRealtime, kSample64, 512, 44100.0};
    EXPECT_NE(p->setupProcessing(sixtyFour), kResultOk);
    ProcessSetup badRate{kRealtime, kSample32, 512, 0.0};
    EXPECT_NE(p->setupProcessing(badRate), kResultOk);
    ProcessSetup badBlock{kRealtime, kSample32, -1, 48000.0};
    EXPECT_NE(p->setupProcessing(badBlock), kResultOk);

    RoutingInfo in{kAudio, 0, 0}, out{};
    EXPECT_NE(c->getRoutingInfo(in, out), kResultOk);  // one bus each way: nothing to route
}

// Our own declarations of the VST3 binary interface, the part this plug-in
// and its test host use: the COM-style base (queryInterface, addRef,
// release), the plug-in factory in its three versions, the component, the
// audio processor, the edit controller with its handler, the connection
// point, the byte stream, parameter changes, units and program lists, the
// plug-in view and the Linux run loop. Written from the format's published
// documentation: interfaces are abstract classes whose virtual functions, in
// declaration order, are the vtable slots hosts call; structs are laid out
// as hosts expect and the layouts are asserted at the end for x86-64 Linux
// and for 64- and 32-bit Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Methods of every interface: __stdcall on 32-bit Windows (the convention
// COM uses), the platform's default elsewhere.
#if defined(_WIN32) && !defined(_WIN64)
#define V3_CALL __stdcall
#else
#define V3_CALL
#endif

namespace v3 {

using int8 = int8_t;
using uint8 = uint8_t;
using int16 = int16_t;
using uint16 = uint16_t;
using int32 = int32_t;
using uint32 = uint32_t;
using int64 = int64_t;
using uint64 = uint64_t;
using tresult = int32;
using TBool = uint8;
using char16 = char16_t;
using TChar = char16;
using String128 = TChar[128];
using FIDString = const char*;
using TUID = char[16];
using ParamID = uint32;
using ParamValue = double;
using SpeakerArrangement = uint64;
using MediaType = int32;
using BusDirection = int32;
using BusType = int32;
using IoMode = int32;
using UnitID = int32;
using ProgramListID = int32;
using Sample32 = float;
using Sample64 = double;

// ---- results: COM's values on Windows, small integers elsewhere ----
#if defined(_WIN32)
constexpr tresult kNoInterface = static_cast<tresult>(0x80004002L);
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = 0;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057L);
constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001L);
constexpr tresult kInternalError = static_cast<tresult>(0x80004005L);
constexpr tresult kNotInitialized = static_cast<tresult>(0x8000FFFFL);
constexpr tresult kOutOfMemory = static_cast<tresult>(0x8007000EL);
#else
constexpr tresult kNoInterface = -1;
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = 0;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = 2;
constexpr tresult kNotImplemented = 3;
constexpr tresult kInternalError = 4;
constexpr tresult kNotInitialized = 5;
constexpr tresult kOutOfMemory = 6;
#endif

// ---- interface and class ids ----
// An id is written as four 32-bit words. On Windows its 16 bytes are a COM
// GUID (first word little-endian, the second as two little-endian halves,
// the last two words big-endian); elsewhere all four words are big-endian.
struct Uid {
    char bytes[16];
    bool equals(const char* other) const {
        if (!other)
            return false;
        for (int i = 0; i < 16; ++i)
            if (bytes[i] != other[i])
                return false;
        return true;
    }
};

constexpr Uid makeUid(uint32 w1, uint32 w2, uint32 w3, uint32 w4) {
    Uid uid{};
    auto put = [&uid](int at, uint32 word, bool bigEndian) {
        for (int i = 0; i < 4; ++i) {
            const int shift = bigEndian ? 24 - 8 * i : 8 * i;
            uid.bytes[at + i] = static_cast<char>((word >> shift) & 0xFF);
        }
    };
#if defined(_WIN32)
    put(0, w1, false);
    uid.bytes[4] = static_cast<char>((w2 >> 16) & 0xFF);
    uid.bytes[5] = static_cast<char>((w2 >> 24) & 0xFF);
    uid.bytes[6] = static_cast<char>(w2 & 0xFF);
    uid.bytes[7] = static_cast<char>((w2 >> 8) & 0xFF);
#else
    put(0, w1, true);
    put(4, w2, true);
#endif
    put(8, w3, true);
    put(12, w4, true);
    return uid;
}

namespace iid {
constexpr Uid FUnknown = makeUid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);
constexpr Uid IPluginBase = makeUid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);
constexpr Uid IPluginFactory = makeUid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
constexpr Uid IPluginFactory2 = makeUid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
constexpr Uid IPluginFactory3 = makeUid(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);
constexpr Uid IComponent = makeUid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
constexpr Uid IAudioProcessor = makeUid(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);
constexpr Uid IEditController = makeUid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
constexpr Uid IConnectionPoint = makeUid(0x70A4156F, 0x6E6E4026, 0x989148BF, 0xAA60D8D1);
constexpr Uid IComponentHandler = makeUid(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);
constexpr Uid IBStream = makeUid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);
constexpr Uid IParameterChanges = makeUid(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);
constexpr Uid IParamValueQueue = makeUid(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);
constexpr Uid IUnitInfo = makeUid(0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1);
constexpr Uid IProcessContextRequirements = makeUid(0x2A654303, 0xEF764E3D, 0x95B5FE83, 0x730EF6D0);
constexpr Uid IPlugView = makeUid(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);
constexpr Uid IPlugFrame = makeUid(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);
constexpr Uid IRunLoop = makeUid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);
constexpr Uid IEventHandler = makeUid(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);
constexpr Uid ITimerHandler = makeUid(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);
constexpr Uid IHostApplication = makeUid(0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5);
}  // namespace iid

// ---- the base of every interface ----
class FUnknown {
public:
    virtual tresult V3_CALL queryInterface(const TUID iid, void** obj) = 0;
    virtual uint32 V3_CALL addRef() = 0;
    virtual uint32 V3_CALL release() = 0;
};

// ---- byte stream (host-owned; state in and out) ----
enum StreamSeekMode : int32 { kIBSeekSet = 0, kIBSeekCur = 1, kIBSeekEnd = 2 };
class IBStream : public FUnknown {
public:
    virtual tresult V3_CALL read(void* buffer, int32 numBytes, int32* numBytesRead) = 0;
    virtual tresult V3_CALL write(void* buffer, int32 numBytes, int32* numBytesWritten) = 0;
    virtual tresult V3_CALL seek(int64 pos, int32 mode, int64* result) = 0;
    virtual tresult V3_CALL tell(int64* pos) = 0;
};

// ---- plug-in base: initialize with the host's context, terminate ----
class IPluginBase : public FUnknown {
public:
    virtual tresult V3_CALL initialize(FUnknown* context) = 0;
    virtual tresult V3_CALL terminate() = 0;
};

// ---- factory ----
struct PFactoryInfo {
    enum { kNoFlags = 0, kClassesDiscardable = 1, kLicenseCheck = 2, kComponentNonDiscardable = 8, kUnicode = 16 };
    char vendor[64];
    char url[256];
    char email[128];
    int32 flags;
};

struct PClassInfo {
    enum { kManyInstances = 0x7FFFFFFF };
    TUID cid;
    int32 cardinality;
    char category[32];
    char name[64];
};

struct PClassInfo2 {
    TUID cid;
    int32 cardinality;
    char category[32];
    char name[64];
    uint32 classFlags;
    char subCategories[128];
    char vendor[64];
    char version[64];
    char sdkVersion[64];
};

struct PClassInfoW {
    TUID cid;
    int32 cardinality;
    char category[32];
    char16 name[64];
    uint32 classFlags;
    char subCategories[128];
    char16 vendor[64];
    char16 version[64];
    char16 sdkVersion[64];
};

enum ComponentFlags : uint32 { kDistributable = 1, kSimpleModeSupported = 2 };

class IPluginFactory : public FUnknown {
public:
    virtual tresult V3_CALL getFactoryInfo(PFactoryInfo* info) = 0;
    virtual int32 V3_CALL countClasses() = 0;
    virtual tresult V3_CALL getClassInfo(int32 index, PClassInfo* info) = 0;
    virtual tresult V3_CALL createInstance(FIDString cid, FIDString iid, void** obj) = 0;
};
class IPluginFactory2 : public IPluginFactory {
public:
    virtual tresult V3_CALL getClassInfo2(int32 index, PClassInfo2* info) = 0;
};
class IPluginFactory3 : public IPluginFactory2 {
public:
    virtual tresult V3_CALL getClassInfoUnicode(int32 index, PClassInfoW* info) = 0;
    virtual tresult V3_CALL setHostContext(FUnknown* context) = 0;
};

// ---- component ----
enum MediaTypes : int32 { kAudio = 0, kEvent = 1 };
enum BusDirections : int32 { kInput = 0, kOutput = 1 };
enum BusTypes : int32 { kMain = 0, kAux = 1 };
enum IoModes : int32 { kSimple = 0, kAdvanced = 1, kOfflineProcessing = 2 };

struct BusInfo {
    enum BusFlags : uint32 { kDefaultActive = 1, kIsControlVoltage = 2 };
    MediaType mediaType;
    BusDirection direction;
    int32 channelCount;
    String128 name;
    BusType busType;
    uint32 flags;
};

struct RoutingInfo {
    MediaType mediaType;
    int32 busIndex;
    int32 channel;
};

class IComponent : public IPluginBase {
public:
    virtual tresult V3_CALL getControllerClassId(TUID classId) = 0;
    virtual tresult V3_CALL setIoMode(IoMode mode) = 0;
    virtual int32 V3_CALL getBusCount(MediaType type, BusDirection dir) = 0;
    virtual tresult V3_CALL getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) = 0;
    virtual tresult V3_CALL getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) = 0;
    virtual tresult V3_CALL activateBus(MediaType type, BusDirection dir, int32 index, TBool state) = 0;
    virtual tresult V3_CALL setActive(TBool state) = 0;
    virtual tresult V3_CALL setState(IBStream* state) = 0;
    virtual tresult V3_CALL getState(IBStream* state) = 0;
};

// ---- audio processor ----
enum ProcessModes : int32 { kRealtime = 0, kPrefetch = 1, kOffline = 2 };
enum SymbolicSampleSizes : int32 { kSample32 = 0, kSample64 = 1 };

namespace speaker {
constexpr SpeakerArrangement kLeft = 1;
constexpr SpeakerArrangement kRight = 2;
constexpr SpeakerArrangement kCenterMono = 1ull << 19;
constexpr SpeakerArrangement kEmpty = 0;
constexpr SpeakerArrangement kMono = kCenterMono;
constexpr SpeakerArrangement kStereo = kLeft | kRight;
}  // namespace speaker

struct ProcessSetup {
    int32 processMode;
    int32 symbolicSampleSize;
    int32 maxSamplesPerBlock;
    double sampleRate;
};

struct AudioBusBuffers {
    int32 numChannels;
    uint64 silenceFlags;
    union {
        Sample32** channelBuffers32;
        Sample64** channelBuffers64;
    };
};

class IParamValueQueue : public FUnknown {
public:
    virtual ParamID V3_CALL getParameterId() = 0;
    virtual int32 V3_CALL getPointCount() = 0;
    virtual tresult V3_CALL getPoint(int32 index, int32& sampleOffset, ParamValue& value) = 0;
    virtual tresult V3_CALL addPoint(int32 sampleOffset, ParamValue value, int32& index) = 0;
};

class IParameterChanges : public FUnknown {
public:
    virtual int32 V3_CALL getParameterCount() = 0;
    virtual IParamValueQueue* V3_CALL getParameterData(int32 index) = 0;
    virtual IParamValueQueue* V3_CALL addParameterData(const ParamID& id, int32& index) = 0;
};

class IEventList;        // note events: this effect takes none
struct ProcessContext;   // transport: this effect reads none

struct ProcessData {
    int32 processMode;
    int32 symbolicSampleSize;
    int32 numSamples;
    int32 numInputs;
    int32 numOutputs;
    AudioBusBuffers* inputs;
    AudioBusBuffers* outputs;
    IParameterChanges* inputParameterChanges;
    IParameterChanges* outputParameterChanges;
    IEventList* inputEvents;
    IEventList* outputEvents;
    ProcessContext* processContext;
};

class IAudioProcessor : public FUnknown {
public:
    virtual tresult V3_CALL setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                               SpeakerArrangement* outputs, int32 numOuts) = 0;
    virtual tresult V3_CALL getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) = 0;
    virtual tresult V3_CALL canProcessSampleSize(int32 symbolicSampleSize) = 0;
    virtual uint32 V3_CALL getLatencySamples() = 0;
    virtual tresult V3_CALL setupProcessing(ProcessSetup& setup) = 0;
    virtual tresult V3_CALL setProcessing(TBool state) = 0;
    virtual tresult V3_CALL process(ProcessData& data) = 0;
    virtual uint32 V3_CALL getTailSamples() = 0;
};

// What the processor needs of the host's process context (nothing here).
class IProcessContextRequirements : public FUnknown {
public:
    virtual uint32 V3_CALL getProcessContextRequirements() = 0;
};

// ---- edit controller ----
struct ParameterInfo {
    enum ParameterFlags : int32 {
        kNoFlags = 0,
        kCanAutomate = 1,
        kIsReadOnly = 2,
        kIsWrapAround = 4,
        kIsList = 8,
        kIsHidden = 16,
        kIsProgramChange = 0x8000,
        kIsBypass = 0x10000,
    };
    ParamID id;
    String128 title;
    String128 shortTitle;
    String128 units;
    int32 stepCount;
    ParamValue defaultNormalizedValue;
    UnitID unitId;
    int32 flags;
};

enum RestartFlags : int32 {
    kReloadComponent = 1,
    kIoChanged = 2,
    kParamValuesChanged = 4,
    kLatencyChanged = 8,
    kParamTitlesChanged = 16,
};

class IComponentHandler : public FUnknown {
public:
    virtual tresult V3_CALL beginEdit(ParamID id) = 0;
    virtual tresult V3_CALL performEdit(ParamID id, ParamValue valueNormalized) = 0;
    virtual tresult V3_CALL endEdit(ParamID id) = 0;
    virtual tresult V3_CALL restartComponent(int32 flags) = 0;
};

class IPlugView;

class IEditController : public IPluginBase {
public:
    virtual tresult V3_CALL setComponentState(IBStream* state) = 0;
    virtual tresult V3_CALL setState(IBStream* state) = 0;
    virtual tresult V3_CALL getState(IBStream* state) = 0;
    virtual int32 V3_CALL getParameterCount() = 0;
    virtual tresult V3_CALL getParameterInfo(int32 paramIndex, ParameterInfo& info) = 0;
    virtual tresult V3_CALL getParamStringByValue(ParamID id, ParamValue valueNormalized, String128 string) = 0;
    virtual tresult V3_CALL getParamValueByString(ParamID id, TChar* string, ParamValue& valueNormalized) = 0;
    virtual ParamValue V3_CALL normalizedParamToPlain(ParamID id, ParamValue valueNormalized) = 0;
    virtual ParamValue V3_CALL plainParamToNormalized(ParamID id, ParamValue plainValue) = 0;
    virtual ParamValue V3_CALL getParamNormalized(ParamID id) = 0;
    virtual tresult V3_CALL setParamNormalized(ParamID id, ParamValue value) = 0;
    virtual tresult V3_CALL setComponentHandler(IComponentHandler* handler) = 0;
    virtual IPlugView* V3_CALL createView(FIDString name) = 0;
};

// ---- connection point (between a separate processor and controller) ----
class IMessage;
class IConnectionPoint : public FUnknown {
public:
    virtual tresult V3_CALL connect(IConnectionPoint* other) = 0;
    virtual tresult V3_CALL disconnect(IConnectionPoint* other) = 0;
    virtual tresult V3_CALL notify(IMessage* message) = 0;
};

// ---- units and program lists ----
constexpr UnitID kRootUnitId = 0;
constexpr UnitID kNoParentUnitId = -1;
constexpr ProgramListID kNoProgramListId = -1;

struct UnitInfo {
    UnitID id;
    UnitID parentUnitId;
    String128 name;
    ProgramListID programListId;
};

struct ProgramListInfo {
    ProgramListID id;
    String128 name;
    int32 programCount;
};

class IUnitInfo : public FUnknown {
public:
    virtual int32 V3_CALL getUnitCount() = 0;
    virtual tresult V3_CALL getUnitInfo(int32 unitIndex, UnitInfo& info) = 0;
    virtual int32 V3_CALL getProgramListCount() = 0;
    virtual tresult V3_CALL getProgramListInfo(int32 listIndex, ProgramListInfo& info) = 0;
    virtual tresult V3_CALL getProgramName(ProgramListID listId, int32 programIndex, String128 name) = 0;
    virtual tresult V3_CALL getProgramInfo(ProgramListID listId, int32 programIndex, const char* attributeId,
                                           String128 attributeValue) = 0;
    virtual tresult V3_CALL hasProgramPitchNames(ProgramListID listId, int32 programIndex) = 0;
    virtual tresult V3_CALL getProgramPitchName(ProgramListID listId, int32 programIndex, int16 midiPitch,
                                                String128 name) = 0;
    virtual UnitID V3_CALL getSelectedUnit() = 0;
    virtual tresult V3_CALL selectUnit(UnitID unitId) = 0;
    virtual tresult V3_CALL getUnitByBus(MediaType type, BusDirection dir, int32 busIndex, int32 channel,
                                         UnitID& unitId) = 0;
    virtual tresult V3_CALL setUnitProgramData(int32 listOrUnitId, int32 programIndex, IBStream* data) = 0;
};

// ---- plug-in view (the editor in the host's window) ----
struct ViewRect {
    int32 left;
    int32 top;
    int32 right;
    int32 bottom;
};

// Platform types a view is attached to.
constexpr char kPlatformTypeHWND[] = "HWND";
constexpr char kPlatformTypeX11EmbedWindowID[] = "X11EmbedWindowID";

class IPlugFrame;
class IPlugView : public FUnknown {
public:
    virtual tresult V3_CALL isPlatformTypeSupported(FIDString type) = 0;
    virtual tresult V3_CALL attached(void* parent, FIDString type) = 0;
    virtual tresult V3_CALL removed() = 0;
    virtual tresult V3_CALL onWheel(float distance) = 0;
    virtual tresult V3_CALL onKeyDown(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult V3_CALL onKeyUp(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult V3_CALL getSize(ViewRect* size) = 0;
    virtual tresult V3_CALL onSize(ViewRect* newSize) = 0;
    virtual tresult V3_CALL onFocus(TBool state) = 0;
    virtual tresult V3_CALL setFrame(IPlugFrame* frame) = 0;
    virtual tresult V3_CALL canResize() = 0;
    virtual tresult V3_CALL checkSizeConstraint(ViewRect* rect) = 0;
};

class IPlugFrame : public FUnknown {
public:
    virtual tresult V3_CALL resizeView(IPlugView* view, ViewRect* newSize) = 0;
};

// Linux: the host's run loop, reached from the frame (or the host context),
// which calls the plug-in's handlers on the UI thread.
using FileDescriptor = int;
using TimerInterval = uint64;
class IEventHandler : public FUnknown {
public:
    virtual void V3_CALL onFDIsSet(FileDescriptor fd) = 0;
};
class ITimerHandler : public FUnknown {
public:
    virtual void V3_CALL onTimer() = 0;
};
class IRunLoop : public FUnknown {
public:
    virtual tresult V3_CALL registerEventHandler(IEventHandler* handler, FileDescriptor fd) = 0;
    virtual tresult V3_CALL unregisterEventHandler(IEventHandler* handler) = 0;
    virtual tresult V3_CALL registerTimer(ITimerHandler* handler, TimerInterval milliseconds) = 0;
    virtual tresult V3_CALL unregisterTimer(ITimerHandler* handler) = 0;
};

// ---- host application (the context given to initialize) ----
class IHostApplication : public FUnknown {
public:
    virtual tresult V3_CALL getName(String128 name) = 0;
    virtual tresult V3_CALL createInstance(TUID cid, TUID iid, void** obj) = 0;
};

// ---- class categories ----
constexpr char kAudioEffectClass[] = "Audio Module Class";
constexpr char kComponentControllerClass[] = "Component Controller Class";

}  // namespace v3

// ---- the library's exports ----
// Every platform: GetPluginFactory. Linux: ModuleEntry(handle) and
// ModuleExit(). Windows: InitDll() and ExitDll().
extern "C" {
typedef v3::IPluginFactory*(V3_CALL* V3GetFactoryProc)();
}

// ---- layouts ------------------------------------------------------------------
// x86-64 (Linux and Windows) and 32-bit Windows, where 64-bit integers and
// doubles are 8-aligned in structs too. One vtable slot is one pointer.
#define V3_LAYOUT(type, field, off64, off32) \
    static_assert(offsetof(type, field) == (sizeof(void*) == 8 ? (off64) : (off32)), #type "::" #field)
#define V3_SIZE(type, size64, size32) \
    static_assert(sizeof(type) == (sizeof(void*) == 8 ? (size64) : (size32)), "sizeof " #type)
#if defined(__x86_64__) || defined(_M_X64) || defined(_WIN32)
static_assert(sizeof(v3::Uid) == 16 && sizeof(v3::TUID) == 16, "TUID");
static_assert(sizeof(v3::char16) == 2, "char16");
static_assert(sizeof(v3::PFactoryInfo) == 452, "PFactoryInfo");
static_assert(sizeof(v3::PClassInfo) == 116, "PClassInfo");
static_assert(sizeof(v3::PClassInfo2) == 440, "PClassInfo2");
static_assert(offsetof(v3::PClassInfo2, classFlags) == 116, "PClassInfo2::classFlags");
static_assert(offsetof(v3::PClassInfo2, sdkVersion) == 376, "PClassInfo2::sdkVersion");
static_assert(sizeof(v3::PClassInfoW) == 696, "PClassInfoW");
static_assert(offsetof(v3::PClassInfoW, name) == 52, "PClassInfoW::name");
static_assert(offsetof(v3::PClassInfoW, classFlags) == 180, "PClassInfoW::classFlags");
static_assert(offsetof(v3::PClassInfoW, vendor) == 312, "PClassInfoW::vendor");
static_assert(sizeof(v3::BusInfo) == 276, "BusInfo");
static_assert(offsetof(v3::BusInfo, busType) == 268, "BusInfo::busType");
static_assert(sizeof(v3::RoutingInfo) == 12, "RoutingInfo");
static_assert(sizeof(v3::ProcessSetup) == 24, "ProcessSetup");
static_assert(offsetof(v3::ProcessSetup, sampleRate) == 16, "ProcessSetup::sampleRate");
static_assert(sizeof(v3::AudioBusBuffers) == 24, "AudioBusBuffers");
static_assert(offsetof(v3::AudioBusBuffers, silenceFlags) == 8, "AudioBusBuffers::silenceFlags");
static_assert(offsetof(v3::AudioBusBuffers, channelBuffers32) == 16, "AudioBusBuffers::channelBuffers32");
V3_LAYOUT(v3::ProcessData, inputs, 24, 20);
V3_LAYOUT(v3::ProcessData, inputParameterChanges, 40, 28);
V3_LAYOUT(v3::ProcessData, processContext, 72, 44);
V3_SIZE(v3::ProcessData, 80, 48);
static_assert(sizeof(v3::ParameterInfo) == 792, "ParameterInfo");
static_assert(offsetof(v3::ParameterInfo, stepCount) == 772, "ParameterInfo::stepCount");
static_assert(offsetof(v3::ParameterInfo, defaultNormalizedValue) == 776, "ParameterInfo::defaultNormalizedValue");
static_assert(offsetof(v3::ParameterInfo, flags) == 788, "ParameterInfo::flags");
static_assert(sizeof(v3::UnitInfo) == 268, "UnitInfo");
static_assert(sizeof(v3::ProgramListInfo) == 264, "ProgramListInfo");
static_assert(sizeof(v3::ViewRect) == 16, "ViewRect");
// One vtable pointer per interface object; no data of their own.
static_assert(sizeof(v3::IComponent) == sizeof(void*) && sizeof(v3::IAudioProcessor) == sizeof(void*),
              "interfaces are a vtable pointer");
#endif
#if defined(_WIN32) && !defined(_WIN64)
// The calling convention is part of a slot's type: the slots are __stdcall.
static_assert(std::is_same<decltype(&v3::FUnknown::addRef), v3::uint32 (__stdcall v3::FUnknown::*)()>::value &&
                  !std::is_same<decltype(&v3::FUnknown::addRef), v3::uint32 (__thiscall v3::FUnknown::*)()>::value,
              "interface methods are __stdcall");
#endif

// A small VST3 host for the tests: loads the module from a Corvex.vst3
// bundle as hosts do (the platform's folder inside Contents, the module's
// entry function, GetPluginFactory), creates the component from the
// factory, finds its edit controller, and offers what a host offers: a
// host application context, a component handler that records edits and
// restarts, memory streams and parameter change lists. The thread that
// loads is the main thread. Host objects live on the stack or in the host
// and are not reference counted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vst3/Vst3Abi.h"

namespace vst3check {

std::string fromUtf16(const v3::char16* text, size_t capacity = 128);
void toUtf16(const std::string& text, v3::char16* out, size_t capacity = 128);

// The host's byte stream over memory.
class MemoryStream final : public v3::IBStream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<unsigned char> data) : bytes(std::move(data)) {}
    std::vector<unsigned char> bytes;
    int64_t position = 0;
    int32_t chunkLimit = INT32_MAX;  // largest read or write done at once
    bool refuseWrites = false;       // a full disk

    v3::tresult V3_CALL queryInterface(const v3::TUID iid, void** obj) override;
    v3::uint32 V3_CALL addRef() override { return 1; }
    v3::uint32 V3_CALL release() override { return 1; }
    v3::tresult V3_CALL read(void* buffer, v3::int32 numBytes, v3::int32* numBytesRead) override;
    v3::tresult V3_CALL write(void* buffer, v3::int32 numBytes, v3::int32* numBytesWritten) override;
    v3::tresult V3_CALL seek(v3::int64 pos, v3::int32 mode, v3::int64* result) override;
    v3::tresult V3_CALL tell(v3::int64* pos) override;
};

// One parameter's points in a block.
class ValueQueue final : public v3::IParamValueQueue {
public:
    v3::ParamID id = 0;
    struct Point {
        int32_t offset;
        double value;
    };
    std::vector<Point> points;

    v3::tresult V3_CALL queryInterface(const v3::TUID iid, void** obj) override;
    v3::uint32 V3_CALL addRef() override { return 1; }
    v3::uint32 V3_CALL release() override { return 1; }
    v3::ParamID V3_CALL getParameterId() override { return id; }
    v3::int32 V3_CALL getPointCount() override { return static_cast<v3::int32>(points.size()); }
    v3::tresult V3_CALL getPoint(v3::int32 index, v3::int32& sampleOffset, v3::ParamValue& value) override;
    v3::tresult V3_CALL addPoint(v3::int32 sampleOffset, v3::ParamValue value, v3::int32& index) override;
};

// A block's parameter changes, in or out. Capacity is reserved up front so
// that the plug-in's additions allocate nothing (the realtime probe).
class ParamChanges final : public v3::IParameterChanges {
public:
    ParamChanges();
    void add(uint32_t id, int32_t offset, double value);  // host side: one point
    void clear();
    // The last value sent for `id`, or -1 when none.
    double last(uint32_t id) const;
    std::vector<ValueQueue> queues;  // in use, in the order added

    v3::tresult V3_CALL queryInterface(const v3::TUID iid, void** obj) override;
    v3::uint32 V3_CALL addRef() override { return 1; }
    v3::uint32 V3_CALL release() override { return 1; }
    v3::int32 V3_CALL getParameterCount() override { return static_cast<v3::int32>(queues.size()); }
    v3::IParamValueQueue* V3_CALL getParameterData(v3::int32 index) override;
    v3::IParamValueQueue* V3_CALL addParameterData(const v3::ParamID& id, v3::int32& index) override;

private:
    std::vector<ValueQueue> spare;  // made up front, moved into `queues` when used
};

// Records what the controller tells the host.
class RecordingHandler : public v3::IComponentHandler {
public:
    struct Edit {
        char kind;  // 'b' begin, 'p' perform, 'e' end
        uint32_t id;
        double value;
    };
    std::vector<Edit> edits;
    std::vector<int32_t> restarts;

    v3::tresult V3_CALL queryInterface(const v3::TUID iid, void** obj) override;
    v3::uint32 V3_CALL addRef() override { return 1; }
    v3::uint32 V3_CALL release() override { return 1; }
    v3::tresult V3_CALL beginEdit(v3::ParamID id) override;
    v3::tresult V3_CALL performEdit(v3::ParamID id, v3::ParamValue value) override;
    v3::tresult V3_CALL endEdit(v3::ParamID id) override;
    v3::tresult V3_CALL restartComponent(v3::int32 flags) override;
};

class HostApplication : public v3::IHostApplication {
public:
    v3::tresult V3_CALL queryInterface(const v3::TUID iid, void** obj) override;
    v3::uint32 V3_CALL addRef() override { return 1; }
    v3::uint32 V3_CALL release() override { return 1; }
    v3::tresult V3_CALL getName(v3::String128 name) override;
    v3::tresult V3_CALL createInstance(v3::TUID, v3::TUID, void** obj) override;
};

// The module binary inside a bundle for this platform.
std::string moduleInBundle(const std::string& bundle);

// The loaded module (one per process is how hosts use it; the tests load it
// once and create as many instances as they need).
class Vst3Module {
public:
    static Vst3Module& shared();  // the bundle the build made
    explicit Vst3Module(const std::string& bundle);
    ~Vst3Module();
    v3::IPluginFactory* factory() const { return pluginFactory; }
    const std::string& error() const { return problem; }

private:
    void* library = nullptr;
    v3::IPluginFactory* pluginFactory = nullptr;
    std::string problem;
};

class Vst3TestHost {
public:
    Vst3TestHost();
    ~Vst3TestHost();
    Vst3TestHost(const Vst3TestHost&) = delete;
    Vst3TestHost& operator=(const Vst3TestHost&) = delete;

    // Creates and initialises the component and its controller; false (and
    // error()) on failure.
    bool create();
    bool create(Vst3Module& module);  // the first audio class of another module
    const std::string& error() const { return problem; }
    v3::IComponent* component = nullptr;
    v3::IAudioProcessor* processor = nullptr;
    v3::IEditController* controller = nullptr;
    bool separateController = false;

    // setupProcessing, bus arrangement, setActive(true), setProcessing(true).
    bool start(double rate, int32_t maxFrames, int32_t mode = v3::kRealtime);
    // setProcessing(false), setActive(false).
    void stop();
    // One block on separate or the same buffers; out-changes may be null.
    v3::tresult process(float** in, float** out, int32_t frames, ParamChanges* changes = nullptr,
                        ParamChanges* outChanges = nullptr, uint64_t inSilence = 0, uint64_t* outSilence = nullptr);
    // A block of no audio, only parameter changes (a host's flush).
    v3::tresult flush(ParamChanges& changes, ParamChanges* outChanges = nullptr);

    std::vector<unsigned char> saveState();     // component.getState
    v3::tresult loadState(const std::vector<unsigned char>& bytes);  // component + controller

    RecordingHandler handler;
    HostApplication context;
    bool processing = false;
    bool active = false;

private:
    std::string problem;
};

// A class id as moduleinfo.json spells it: the four words in hex. On
// Windows a class id is a COM GUID, its first word and the two halves of
// the second stored little-endian.
inline std::string classIdText(const char* cid) {
    unsigned char b[16];
    for (int i = 0; i < 16; ++i)
        b[i] = static_cast<unsigned char>(cid[i]);
#if defined(_WIN32)
    const unsigned char words[16] = {b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6],
                                     b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]};
    for (int i = 0; i < 16; ++i)
        b[i] = words[i];
#endif
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : b) {
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

}  // namespace vst3check

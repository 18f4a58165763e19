#include "cabinet/ImpulseResponse.h"

#include <samplerate.h>
#if defined(_WIN32)
// sf_wchar_open: the file's name in UTF-16, as Windows stores it.
#include <windows.h>
#define ENABLE_SNDFILE_WINDOWS_PROTOTYPES 1
#endif
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace cabinet {

namespace {

bool fail(std::string& error, const std::string& text) {
    error = text;
    return false;
}

// Checks and reads an opened file; `what` starts every message.
bool readOpened(SNDFILE* file, const SF_INFO& info, const std::string& what, ImpulseResponse& out,
                std::string& error) {
    if (info.channels < 1 || info.channels > 2)
        return fail(error, what + std::to_string(info.channels) + " channels; a cabinet is mono or stereo");
    if (info.samplerate < 1000 || info.samplerate > 768000)
        return fail(error, what + "unusable sample rate " + std::to_string(info.samplerate) + " Hz");
    if (info.frames <= 0)
        return fail(error, what + "empty (no audio frames)");
    const double seconds = (double)info.frames / info.samplerate;
    if (info.frames > maxFrames || seconds > maxSeconds) {
        char text[160];
        std::snprintf(text, sizeof text, "%lld frames (%.1f s) is too long for a cabinet (at most %ld frames, %g s)",
                      (long long)info.frames, seconds, maxFrames, maxSeconds);
        return fail(error, what + text);
    }

    // A header that promises more audio than the file holds: libsndfile
    // reads what is there and notes the difference in its log.
    char log[4096] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log - 1);
    for (const char* line = log; *line;) {
        const char* end = std::strchr(line, '\n');
        const std::string text(line, end ? (size_t)(end - line) : std::strlen(line));
        if ((text.rfind("data", 0) == 0 || text.rfind("SSND", 0) == 0) && text.find("should be") != std::string::npos)
            return fail(error, what + "cut short: its header promises more audio than the file holds");
        if (!end)
            break;
        line = end + 1;
    }

    const size_t frames = (size_t)info.frames;
    std::vector<float> interleaved(frames * (size_t)info.channels);
    // Integer files come in as floats from -1 to 1; float files as they are.
    sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    sf_count_t got = sf_readf_float(file, interleaved.data(), info.frames);
    if (got != info.frames)
        return fail(error, what + "ends after " + std::to_string((long long)got) + " of its " +
                               std::to_string((long long)info.frames) + " frames (damaged file?)");

    ImpulseResponse ir;
    ir.rate = info.samplerate;
    ir.channels.assign((size_t)info.channels, std::vector<float>(frames));
    double energy = 0.0;
    for (size_t i = 0; i < frames; i++)
        for (int c = 0; c < info.channels; c++) {
            float s = interleaved[i * (size_t)info.channels + (size_t)c];
            if (!std::isfinite(s))
                return fail(error, what + "holds a non-finite sample (NaN or infinity) at frame " + std::to_string(i));
            if (std::fabs(s) > 1000.0f)
                return fail(error, what + "holds an absurd sample value at frame " + std::to_string(i));
            ir.channels[(size_t)c][i] = s;
            energy += (double)s * s;
        }
    if (!(energy > 1e-20))
        return fail(error, what + "is silent (every sample zero)");
    out = std::move(ir);
    return true;
}

// libsndfile's virtual I/O over a block of memory.
struct MemoryFile {
    const unsigned char* data;
    sf_count_t size;
    sf_count_t at;
};

sf_count_t memoryLength(void* user) {
    return static_cast<MemoryFile*>(user)->size;
}

sf_count_t memorySeek(sf_count_t offset, int whence, void* user) {
    auto* m = static_cast<MemoryFile*>(user);
    sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->at : m->size;
    const sf_count_t to = base + offset;
    if (to < 0 || to > m->size)
        return -1;
    m->at = to;
    return m->at;
}

sf_count_t memoryRead(void* out, sf_count_t count, void* user) {
    auto* m = static_cast<MemoryFile*>(user);
    if (count <= 0)
        return 0;
    const sf_count_t n = std::min(count, m->size - m->at);
    if (n > 0)
        std::memcpy(out, m->data + m->at, (size_t)n);
    m->at += n;
    return n;
}

sf_count_t memoryWrite(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t memoryTell(void* user) {
    return static_cast<MemoryFile*>(user)->at;
}

}  // namespace

bool loadImpulseResponse(const std::string& path, ImpulseResponse& out, std::string& error) {
    const std::string what = "cabinet " + path + ": ";
    std::error_code ec;
    // The path is UTF-8 on every platform; on Windows the file system's
    // names are UTF-16, so it is converted rather than read in the ANSI code page.
    const std::filesystem::path where = std::filesystem::u8path(path);
    if (!std::filesystem::exists(where, ec))
        return fail(error, what + "file not found");
    if (std::filesystem::is_directory(where, ec))
        return fail(error, what + "is a folder, not an audio file");
    SF_INFO info = {};
#if defined(_WIN32)
    SNDFILE* file = sf_wchar_open(where.wstring().c_str(), SFM_READ, &info);
#else
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
#endif
    if (file == nullptr)
        return fail(error, what + "not an audio file libsndfile can read (" + sf_strerror(nullptr) + ")");
    struct Closer {
        SNDFILE* f;
        ~Closer() { sf_close(f); }
    } closer{file};
    return readOpened(file, info, what, out, error);
}

bool readImpulseResponse(const void* data, std::size_t size, const std::string& name, ImpulseResponse& out,
                         std::string& error) {
    const std::string what = "cabinet " + name + ": ";
    if (data == nullptr || size == 0)
        return fail(error, what + "empty file");
    MemoryFile memory{static_cast<const unsigned char*>(data), (sf_count_t)size, 0};
    SF_VIRTUAL_IO io = {memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
    SF_INFO info = {};
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &memory);
    if (file == nullptr)
        return fail(error, what + "not an audio file libsndfile can read (" + sf_strerror(nullptr) + ")");
    struct Closer {
        SNDFILE* f;
        ~Closer() { sf_close(f); }
    } closer{file};
    return readOpened(file, info, what, out, error);
}

bool resampleImpulseResponse(const ImpulseResponse& in, double rate, ImpulseResponse& out, std::string& error) {
    if (in.frames() <= 0)
        return fail(error, "cabinet: no impulse response to resample");
    if (!(rate >= 1000.0 && rate <= 768000.0))
        return fail(error, "cabinet: unusable session rate");
    if (rate == in.rate) {
        out = in;
        return true;
    }
    const double ratio = rate / in.rate;
    const long inFrames = in.frames();
    // The converter's filter delays its output; reading past the end with
    // zeros lets the whole response through, then the delay is dropped.
    const long outFrames = std::max(1L, (long)std::ceil(inFrames * ratio));
    ImpulseResponse result;
    result.rate = rate;
    for (const std::vector<float>& channel : in.channels) {
        std::vector<float> converted((size_t)outFrames + 64);
        SRC_DATA data = {};
        data.data_in = channel.data();
        data.input_frames = inFrames;
        data.data_out = converted.data();
        data.output_frames = (long)converted.size();
        data.src_ratio = ratio;
        data.end_of_input = 1;
        int status = src_simple(&data, SRC_SINC_BEST_QUALITY, 1);
        if (status != 0)
            return fail(error, std::string("cabinet: resampling failed: ") + src_strerror(status));
        converted.resize((size_t)std::min<long>(data.output_frames_gen, outFrames));
        if (converted.empty())
            return fail(error, "cabinet: resampling gave no frames");
        // An impulse response's samples scale with the period: the same
        // filter at twice the rate has twice the taps at half the height.
        const float scale = (float)(in.rate / rate);
        for (float& s : converted)
            s *= scale;
        result.channels.push_back(std::move(converted));
    }
    size_t n = result.channels[0].size();
    for (auto& c : result.channels)
        n = std::min(n, c.size());
    for (auto& c : result.channels)
        c.resize(n);
    out = std::move(result);
    return true;
}

}  // namespace cabinet

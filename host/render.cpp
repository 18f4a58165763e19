#include "host/render.h"

#include <sndfile.h>

#include "cabinet/Cabinet.h"
#include "cabinet/LoudnessMeter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

volatile std::sig_atomic_t renderInterrupted = 0;

namespace {

bool fail(std::string& error, const std::string& text) {
    error = text;
    return false;
}

std::string uniqueSuffix() {
    std::random_device device;
    char text[16];
    std::snprintf(text, sizeof text, "%08x", (unsigned)device());
    return text;
}

class Progress {
public:
    Progress(bool enabled, int64_t total) : enabled(enabled && total > 0), total(total) {}

    void update(int64_t done) {
        if (!enabled) return;
        int percent = (int)(done * 100 / total);
        auto now = std::chrono::steady_clock::now();
        if (percent == lastPercent || (now - lastDraw < std::chrono::milliseconds(80) && percent < 100)) return;
        lastPercent = percent;
        lastDraw = now;
        constexpr int width = 40;
        int filled = percent * width / 100;
        std::string bar(width, ' ');
        for (int i = 0; i < filled; i++) bar[i] = '=';
        if (filled < width) bar[filled] = '>';
        std::fprintf(stderr, "\rrendering [%s] %3d%%", bar.c_str(), percent);
        std::fflush(stderr);
    }

    void finish() {
        if (!enabled || lastPercent < 0) return;
        std::fprintf(stderr, "\r%*s\r", 60, "");
        std::fflush(stderr);
    }

private:
    bool enabled;
    int64_t total;
    int lastPercent = -1;
    std::chrono::steady_clock::time_point lastDraw;
};

}  // namespace

PendingFile::PendingFile(const std::string& target) : targetPath(target) {
    fs::path t(target);
    fs::path name = t.filename();
    tempPath = (t.parent_path() / fs::path("." + name.string() + ".partial-" + uniqueSuffix())).string();
}

PendingFile::~PendingFile() {
    if (!committed) {
        std::error_code ignored;
        fs::remove(tempPath, ignored);
    }
}

bool PendingFile::commit(std::string& error) {
    std::error_code ec;
    fs::rename(tempPath, targetPath, ec);
    if (ec) return fail(error, "cannot move the finished file to " + targetPath + ": " + ec.message());
    committed = true;
    return true;
}

bool writeBytes(PendingFile& file, const std::vector<uint8_t>& bytes, std::string& error) {
    std::ofstream out(file.path(), std::ios::binary | std::ios::trunc);
    if (!out) return fail(error, "cannot create " + file.target() + " (is the folder there and writable?)");
    out.write(reinterpret_cast<const char*>(bytes.data()), (std::streamsize)bytes.size());
    out.close();
    if (!out) return fail(error, "cannot write " + file.target());
    return true;
}

InputAudio::~InputAudio() {
    if (file != nullptr) sf_close(file);
}

bool InputAudio::open(const std::string& path, std::string& error) {
    std::error_code ec;
    if (!fs::exists(path, ec)) return fail(error, "input file not found: " + path);
    if (fs::is_directory(path, ec)) return fail(error, "input is a folder, not an audio file: " + path);
    SF_INFO info = {};
    file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return fail(error, "cannot read " + path + " as audio: " + sf_strerror(nullptr));
    fileChannels = info.channels;
    fileRate = info.samplerate;
    fileFrames = info.frames;
    if (fileChannels < 1 || fileChannels > 2) {
        return fail(error, path + " has " + std::to_string(fileChannels) +
                               " channels; corvex-render takes mono or stereo files only");
    }
    if (fileRate <= 0) return fail(error, path + " has no valid sample rate");
    return true;
}

double RenderStats::peakDb() const { return peak > 0.0 ? 20.0 * std::log10(peak) : -INFINITY; }

double RenderStats::rmsDb() const {
    if (frames <= 0 || sumSquares <= 0.0) return -INFINITY;
    return 10.0 * std::log10(sumSquares / (2.0 * (double)frames));
}

double RenderStats::realTimeFactor() const { return elapsed > 0.0 ? seconds / elapsed : INFINITY; }

bool renderAudio(PluginHost& plugin, InputAudio& input, PendingFile& output, int blockSize, bool showProgress,
                 RenderStats& stats, std::string& error, cabinet::Cabinet* cab, cabinet::LoudnessMeter* meter) {
    AEffect* effect = plugin.effect();
    const int fileChannels = input.channels();
    const size_t block = (size_t)blockSize;

    SF_INFO outInfo = {};
    outInfo.samplerate = input.sampleRate();
    outInfo.channels = 2;
    outInfo.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* out = sf_open(output.path().c_str(), SFM_WRITE, &outInfo);
    if (out == nullptr) {
        return fail(error, "cannot create " + output.target() + ": " + sf_strerror(nullptr));
    }

    // Every buffer is allocated here, before the loop: the plug-in gets as
    // many channels as it declares, inputs beyond the file's stay silent.
    const int numInputs = effect->numInputs;
    const int numOutputs = effect->numOutputs;
    std::vector<float> interleaved(block * (size_t)fileChannels);
    std::vector<float> written(block * 2);
    std::vector<std::vector<float>> inputBuffers((size_t)std::max(numInputs, 1), std::vector<float>(block));
    std::vector<std::vector<float>> outputBuffers((size_t)numOutputs, std::vector<float>(block));
    std::vector<float*> inputs, outputs;
    for (auto& b : inputBuffers) inputs.push_back(b.data());
    for (auto& b : outputBuffers) outputs.push_back(b.data());
    if (cab != nullptr && !cab->ready()) cab = nullptr;
    std::vector<float> cabLeft(cab ? block : 0), cabRight(cab ? block : 0);
    size_t cabSkip = cab ? (size_t)cab->latency() : 0;  // the cabinet's first frames are its delay

    Progress progress(showProgress, input.frames() < SF_COUNT_MAX ? input.frames() : 0);
    stats = RenderStats();
    auto start = std::chrono::steady_clock::now();
    auto emit = [&](const float* outLeft, const float* outRight, size_t frames) {
        for (size_t i = 0; i < frames; i++) {
            float l = outLeft[i], r = outRight[i];
            written[2 * i] = l;
            written[2 * i + 1] = r;
            for (float s : {l, r}) {
                if (!std::isfinite(s)) {
                    stats.nonFinite++;
                    continue;
                }
                double a = std::fabs((double)s);
                stats.peak = std::max(stats.peak, a);
                stats.sumSquares += a * a;
            }
        }
        if (meter != nullptr) meter->add(outLeft, outRight, (int)frames);
        if (sf_writef_float(out, written.data(), (sf_count_t)frames) != (sf_count_t)frames)
            return fail(error, "cannot write " + output.target() + ": " + sf_strerror(out));
        return true;
    };
    plugin.resume();
    bool ok = true;
    for (;;) {
        if (renderInterrupted) {
            ok = fail(error, "interrupted");
            break;
        }
        sf_count_t n = sf_readf_float(input.handle(), interleaved.data(), (sf_count_t)block);
        if (n <= 0) break;
        const size_t frames = (size_t)n;
        float* left = inputs[0];
        if (fileChannels == 1) {
            for (size_t i = 0; i < frames; i++) left[i] = interleaved[i];
            if (numInputs >= 2) std::copy(left, left + frames, inputs[1]);
        } else if (numInputs >= 2) {
            float* right = inputs[1];
            for (size_t i = 0; i < frames; i++) {
                left[i] = interleaved[2 * i];
                right[i] = interleaved[2 * i + 1];
            }
        } else {
            for (size_t i = 0; i < frames; i++) left[i] = 0.5f * (interleaved[2 * i] + interleaved[2 * i + 1]);
        }

        plugin.process(inputs.data(), outputs.data(), (int)frames);

        const float* outLeft = outputs[0];
        const float* outRight = numOutputs >= 2 ? outputs[1] : outputs[0];
        size_t first = 0;
        if (cab != nullptr) {
            std::copy(outLeft, outLeft + frames, cabLeft.data());
            std::copy(outRight, outRight + frames, cabRight.data());
            cab->process(cabLeft.data(), cabRight.data(), (int)frames);
            outLeft = cabLeft.data();
            outRight = cabRight.data();
            first = std::min(cabSkip, frames);
            cabSkip -= first;
        }
        if (!emit(outLeft + first, outRight + first, frames - first)) {
            ok = false;
            break;
        }
        stats.frames += n;
        progress.update(stats.frames);
    }
    // The cabinet's delayed last frames: silence pushed through brings them out.
    if (ok && cab != nullptr && !renderInterrupted) {
        size_t owed = (size_t)cab->latency();
        while (ok && owed > 0) {
            const size_t n = std::min(owed, block);
            std::fill(cabLeft.begin(), cabLeft.begin() + (long)n, 0.0f);
            std::fill(cabRight.begin(), cabRight.begin() + (long)n, 0.0f);
            cab->process(cabLeft.data(), cabRight.data(), (int)n);
            const size_t first = std::min(cabSkip, n);
            cabSkip -= first;
            ok = emit(cabLeft.data() + first, cabRight.data() + first, n - first);
            owed -= n;
        }
    }
    plugin.suspend();
    progress.finish();
    stats.elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    stats.seconds = (double)stats.frames / (double)input.sampleRate();

    if (ok && sf_error(input.handle()) != SF_ERR_NO_ERROR) {
        ok = fail(error, std::string("cannot read the input: ") + sf_strerror(input.handle()));
    }
    // Streams of unknown length report the largest count; only a known length is checked.
    if (ok && input.frames() > 0 && input.frames() < SF_COUNT_MAX && stats.frames < input.frames()) {
        ok = fail(error, "the input ended after " + std::to_string(stats.frames) + " of its " +
                             std::to_string(input.frames()) + " frames (damaged file?)");
    }
    if (sf_close(out) != 0 && ok) ok = fail(error, "cannot finish writing " + output.target());
    return ok;
}

// Rendering an audio file through a loaded plug-in, and the files it writes:
// every output is written beside its target under a temporary name and only
// renamed into place once everything succeeded, so a failed run never leaves
// a partial file behind.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>

#include "host/plugin_host.h"

struct sf_private_tag;
namespace cabinet {
class Cabinet;
class LoudnessMeter;
}  // namespace cabinet

// A file that becomes `target` only when commit() succeeds; until then it is
// a temporary file in the same folder, removed when the object goes away.
class PendingFile {
public:
    explicit PendingFile(const std::string& target);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::string& path() const { return tempPath; }
    const std::string& target() const { return targetPath; }
    bool commit(std::string& error);

private:
    std::string targetPath;
    std::string tempPath;
    bool committed = false;
};

// Writes `bytes` to a pending file (not committed yet).
bool writeBytes(PendingFile& file, const std::vector<uint8_t>& bytes, std::string& error);

// An input audio file opened with libsndfile.
class InputAudio {
public:
    ~InputAudio();
    bool open(const std::string& path, std::string& error);
    sf_private_tag* handle() const { return file; }
    int channels() const { return fileChannels; }
    int sampleRate() const { return fileRate; }
    int64_t frames() const { return fileFrames; }

private:
    sf_private_tag* file = nullptr;
    int fileChannels = 0;
    int fileRate = 0;
    int64_t fileFrames = 0;
};

struct RenderStats {
    int64_t frames = 0;
    double seconds = 0.0;        // audio duration
    double elapsed = 0.0;        // wall-clock time of the render
    double peak = 0.0;           // largest absolute output sample
    double sumSquares = 0.0;     // over both output channels
    int64_t nonFinite = 0;       // NaN or infinite output samples
    double peakDb() const;
    double rmsDb() const;
    double realTimeFactor() const;  // audio seconds per wall-clock second
};

// Set by the SIGINT/SIGTERM handler; the render loop stops at the next block.
extern volatile std::sig_atomic_t renderInterrupted;

// Runs the whole input through the plug-in (resumed for the loop, suspended
// after it) and writes a 32-bit float stereo WAV to `output.path()`. The
// plug-in's sample rate and block size must already be set. A configured
// `cab` convolves the plug-in's output (its latency taken out, so the file
// stays aligned with the input); `meter`, when given, measures what is written.
bool renderAudio(PluginHost& plugin, InputAudio& input, PendingFile& output, int blockSize, bool showProgress,
                 RenderStats& stats, std::string& error, cabinet::Cabinet* cab = nullptr,
                 cabinet::LoudnessMeter* meter = nullptr);

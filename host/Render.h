// Rendering an audio file through a loaded plug-in into a pending output
// file (PendingFiles.h), which main moves into place once all went well.
#pragma once

#include <cstdint>
#include <string>

#include "host/PendingFiles.h"
#include "host/PluginHost.h"

struct sf_private_tag;
namespace cabinet {
class Cabinet;
class LoudnessMeter;
}  // namespace cabinet

// Sample rates an input may have; the header of a file outside these is
// damaged or not what the user thinks it is.
constexpr int minSampleRate = 1000;
constexpr int maxSampleRate = 768000;

// An input audio file opened with libsndfile; "-" is standard input.
class InputAudio {
public:
    ~InputAudio();
    // Refuses folders, pipes and devices (standard input is the way to
    // stream), unreadable files, channel counts other than 1 or 2, sample
    // rates outside minSampleRate..maxSampleRate and inputs without audio.
    // On standard input WAV, RF64, AIFF and Ogg are read as they arrive;
    // other formats (FLAC: libsndfile reads it by seeking) are first copied
    // whole into an unnamed temporary file ($TMPDIR, else /tmp).
    bool open(const std::string& path, std::string& error);
    sf_private_tag* handle() const { return file; }
    int channels() const { return fileChannels; }
    int sampleRate() const { return fileRate; }
    int64_t frames() const { return fileFrames; }
    // Empty, or how the file's header and its content disagree (a file cut
    // short: the header promises more audio than there is).
    const std::string& damage() const { return damageText; }

private:
    sf_private_tag* file = nullptr;
    int fileChannels = 0;
    int fileRate = 0;
    int64_t fileFrames = 0;
    std::string damageText;
    int bufferedInput = -1;  // the temporary copy of standard input, if one was needed
};

// Above this many bytes of audio data a plain WAV's 32-bit sizes overflow,
// so the output is written as RF64 (libsndfile reads both).
constexpr int64_t plainWavDataLimit = 0xFFFFFFFFll - 1024;

struct OutputFormat {
    int format = 0;          // libsndfile format: WAV or RF64, 32-bit float
    bool downgrade = false;  // RF64 that becomes plain WAV if it stays small
};

// The output format for `frames` stereo float frames (SF_COUNT_MAX when the
// length is unknown) with plain WAV allowed up to `wavDataLimit` bytes.
OutputFormat chooseOutputFormat(int64_t frames, int64_t wavDataLimit = plainWavDataLimit);

struct RenderSettings {
    int blockSize = 512;
    bool showProgress = false;
    bool acceptDamaged = false;  // an input ending before its header says is a warning, not an error
    int64_t wavDataLimit = plainWavDataLimit;
};

struct RenderStats {
    int64_t frames = 0;
    double seconds = 0.0;        // audio duration
    double elapsed = 0.0;        // wall-clock time of the render
    double peak = 0.0;           // largest absolute output sample
    double sumSquares = 0.0;     // over both output channels
    int64_t nonFinite = 0;       // NaN or infinite output samples
    int64_t nonFiniteInput = 0;  // NaN or infinite input samples
    std::string shortInput;      // with acceptDamaged: how the input fell short
    double peakDb() const;
    double rmsDb() const;
    double realTimeFactor() const;  // audio seconds per wall-clock second
};

// Runs the whole input through the plug-in (resumed for the loop, suspended
// after it) and writes a 32-bit float stereo WAV (RF64 when it would be too
// large) to `output.path()`. The plug-in's sample rate and block size must
// already be set. A configured `cab` convolves the plug-in's output (its
// latency taken out, so the file stays aligned with the input); `meter`, when
// given, measures what is written. Main thread; the plug-in's processing runs
// on it too.
bool renderAudio(PluginHost& plugin, InputAudio& input, PendingFile& output, const RenderSettings& settings,
                 RenderStats& stats, std::string& error, cabinet::Cabinet* cab = nullptr,
                 cabinet::LoudnessMeter* meter = nullptr);

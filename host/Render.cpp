#include "host/Render.h"

#include <sndfile.h>

#if defined(__linux__)
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "cabinet/Cabinet.h"
#include "cabinet/LoudnessMeter.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool fail(std::string& error, const std::string& text) {
    error = text;
    return false;
}

uint32_t littleEndian32(const unsigned char* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

// The sample rate a WAV (RIFF, RF64) or AIFF header states, read by hand
// for the files libsndfile will not open: it refuses rates like 0 Hz
// without saying which rate it found. -1 when there is no such header.
double headerSampleRate(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return -1.0;
    unsigned char head[4096];
    size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (n < 12)
        return -1.0;
    const bool riff = std::memcmp(head, "RIFF", 4) == 0 || std::memcmp(head, "RF64", 4) == 0;
    const bool aiff = std::memcmp(head, "FORM", 4) == 0;
    if (riff && std::memcmp(head + 8, "WAVE", 4) == 0) {
        for (size_t pos = 12; pos + 16 <= n;) {
            uint32_t size = littleEndian32(head + pos + 4);
            if (std::memcmp(head + pos, "fmt ", 4) == 0)
                return (double)littleEndian32(head + pos + 12);
            if (size > n)
                break;
            pos += 8 + size + (size & 1);
        }
    } else if (aiff) {
        for (size_t pos = 12; pos + 26 <= n;) {
            const unsigned char* c = head + pos;
            uint32_t size = ((uint32_t)c[4] << 24) | ((uint32_t)c[5] << 16) | ((uint32_t)c[6] << 8) | c[7];
            if (std::memcmp(c, "COMM", 4) == 0) {
                // 80-bit extended float: sign and 15-bit exponent, 64-bit mantissa.
                const unsigned char* x = c + 16;
                int exponent = ((x[0] & 0x7F) << 8 | x[1]) - 16383 - 63;
                uint64_t mantissa = 0;
                for (int i = 0; i < 8; i++)
                    mantissa = mantissa << 8 | x[2 + i];
                return std::ldexp((double)mantissa, exponent) * ((x[0] & 0x80) ? -1.0 : 1.0);
            }
            if (size > n)
                break;
            pos += 8 + size + (size & 1);
        }
    }
    return -1.0;
}

std::string rateText(double rate) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f Hz", rate);
    return text;
}

std::string rateRangeText() {
    return "corvex-render takes " + std::to_string(minSampleRate) + " to " + std::to_string(maxSampleRate) + " Hz";
}

// libsndfile notes in its log where a header and the file disagree: a chunk
// "data : 88200 (should be 19956)", a frame count that does not match, an
// Ogg stream that ends without its last page. Answers the first such note.
std::string damageInLog(SNDFILE* file, bool seekable, int64_t frames) {
    std::vector<char> log(16384, 0);
    sf_command(file, SFC_GET_LOG_INFO, log.data(), (int)log.size() - 1);
    std::string text(log.data());
    size_t lineStart = 0;
    while (lineStart < text.size()) {
        size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = text.size();
        std::string line = text.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        size_t should = line.find("(should be ");
        bool audioChunk = line.compare(0, 4, "data") == 0 || line.find("SSND") != std::string::npos;
        if (audioChunk && should != std::string::npos) {
            size_t colon = line.find(':');
            unsigned long long claimed = std::strtoull(line.c_str() + colon + 1, nullptr, 10);
            unsigned long long actual = std::strtoull(line.c_str() + should + 11, nullptr, 10);
            // Writers that stream leave 0 or 0xFFFFFFFF for "length unknown";
            // only a header promising more than the file holds is damage.
            if (claimed != 0 && claimed != 0xFFFFFFFFull && actual < claimed) {
                return "its header promises " + std::to_string(claimed) + " bytes of audio but the file holds " +
                       std::to_string(actual);
            }
            continue;
        }
        if (line.find("not equal to frame count") != std::string::npos) {
            return "the frame count in its header does not match its audio data";
        }
        if (line.find("ended unexpectedly") != std::string::npos) {
            return "the stream ends without its closing page (the end of the file is missing)";
        }
    }
    // A file (not a stream) whose length the decoder cannot tell lost its end.
    if (seekable && frames == SF_COUNT_MAX)
        return "its length cannot be read (cut short?)";
    return std::string();
}


#if defined(__linux__)
// The first bytes waiting in the pipe on standard input, read without taking
// them out of it (tee(2) copies them into a pipe of our own): libsndfile
// then reads the stream from its start. Answers how many bytes it saw (up
// to `want`, fewer only when the stream is that short), or -1 when standard
// input is no pipe.
long peekStandardInput(unsigned char* out, size_t want) {
    struct stat st {};
    if (fstat(0, &st) != 0 || !S_ISFIFO(st.st_mode))
        return -1;
    int copy[2];
    if (pipe2(copy, O_CLOEXEC) != 0)
        return -1;
    long seen = -1;
    for (;;) {
        const ssize_t n = tee(0, copy[1], want, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        ssize_t got = n > 0 ? read(copy[0], out, (size_t)n) : 0;
        seen = got < 0 ? 0 : (long)got;
        if (n == 0 || (size_t)seen >= want)
            break;
        // Fewer bytes than wanted so far: wait for more, or for the writer to finish.
        struct pollfd p = {0, POLLIN, 0};
        if (poll(&p, 1, 0) > 0 && (p.revents & POLLHUP))
            break;
        usleep(1000);
    }
    close(copy[0]);
    close(copy[1]);
    return seen;
}

// The formats libsndfile reads from a stream as it comes: WAV and RF64,
// AIFF, Ogg. Anything else on a pipe (FLAC first of all) it reads by seeking.
bool streamsFromAPipe(const unsigned char* magic, long size) {
    if (size < 4)
        return true;  // too short to tell: let libsndfile say what it is
    for (const char* m : {"RIFF", "RF64", "FORM", "OggS"})
        if (std::memcmp(magic, m, 4) == 0)
            return true;
    return false;
}

// Copies all of standard input into an unnamed temporary file (in $TMPDIR,
// else /tmp) and answers its descriptor, at the start; -1 with a reason.
int bufferStandardInput(std::string& error) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
    int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string pattern = folder + "/corvex-input-XXXXXX";
        fd = mkostemp(&pattern[0], O_CLOEXEC);
        if (fd >= 0)
            unlink(pattern.c_str());
    }
    if (fd < 0) {
        error = "cannot buffer standard input in " + folder + ": " + std::strerror(errno);
        return -1;
    }
    std::vector<char> buffer(1 << 16);
    for (;;) {
        ssize_t n = read(0, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = std::string("cannot read standard input: ") + std::strerror(errno);
            break;
        }
        if (n == 0) {
            if (lseek(fd, 0, SEEK_SET) == 0)
                return fd;
            error = std::string("cannot buffer standard input: ") + std::strerror(errno);
            break;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(fd, buffer.data() + done, (size_t)(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                error = "cannot buffer standard input in " + folder + ": " + std::strerror(errno);
                close(fd);
                return -1;
            }
            done += w;
        }
    }
    close(fd);
    return -1;
}
#endif

class Progress {
public:
    Progress(bool enabled, int64_t total) : enabled(enabled && total > 0), total(total) {}

    void update(int64_t done) {
        if (!enabled)
            return;
        int percent = (int)(done * 100 / total);
        auto now = std::chrono::steady_clock::now();
        if (percent == lastPercent || (now - lastDraw < std::chrono::milliseconds(80) && percent < 100))
            return;
        lastPercent = percent;
        lastDraw = now;
        constexpr int width = 40;
        int filled = percent * width / 100;
        std::string bar(width, ' ');
        for (int i = 0; i < filled; i++)
            bar[i] = '=';
        if (filled < width)
            bar[filled] = '>';
        std::fprintf(stderr, "\rrendering [%s] %3d%%", bar.c_str(), percent);
        std::fflush(stderr);
    }

    void finish() {
        if (!enabled || lastPercent < 0)
            return;
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

InputAudio::~InputAudio() {
    if (file != nullptr)
        sf_close(file);
#if defined(__linux__)
    if (bufferedInput >= 0)
        close(bufferedInput);
#endif
}

bool InputAudio::open(const std::string& path, std::string& error) {
    const bool standardInput = path == "-";
    SF_INFO info = {};
    if (standardInput) {
        int fd = 0;
#if defined(__linux__)
        // A format libsndfile reads only by seeking (FLAC) is buffered whole
        // first; the streaming ones are read as they arrive.
        unsigned char magic[4];
        const long seen = peekStandardInput(magic, sizeof magic);
        if (seen >= 0 && !streamsFromAPipe(magic, seen)) {
            fd = bufferStandardInput(error);
            if (fd < 0)
                return false;
            bufferedInput = fd;
        }
#endif
        file = sf_open_fd(fd, SFM_READ, &info, 0);
        if (file == nullptr)
            return fail(error, std::string("cannot read standard input as audio: ") + sf_strerror(nullptr));
    } else {
        // The type first: opening a pipe nobody writes to would wait forever.
        std::error_code ec;
        fs::file_status status = fs::status(path, ec);
        if (!fs::exists(status))
            return fail(error, "input file not found: " + path);
        if (fs::is_directory(status))
            return fail(error, "input is a folder, not an audio file: " + path);
        if (!fs::is_regular_file(status)) {
            return fail(error, "input " + path +
                                   " is a pipe or device, not a file; to stream audio in, "
                                   "pass - and send it to standard input");
        }
        file = sf_open(path.c_str(), SFM_READ, &info);
        if (file == nullptr) {
            std::string reason = sf_strerror(nullptr);
            double rate = headerSampleRate(path);
            if (rate >= 0.0 && (rate < minSampleRate || rate > maxSampleRate)) {
                return fail(error, path + ": its header gives a sample rate of " + rateText(rate) + "; " +
                                       rateRangeText() + " (damaged header?)");
            }
            return fail(error, "cannot read " + path + " as audio: " + reason);
        }
    }
    const std::string name = standardInput ? std::string("standard input") : path;
    fileChannels = info.channels;
    fileRate = info.samplerate;
    fileFrames = info.frames;
    if (fileChannels < 1 || fileChannels > 2) {
        return fail(error, name + " has " + std::to_string(fileChannels) +
                               " channels; corvex-render takes mono or stereo files only");
    }
    if (fileRate < minSampleRate || fileRate > maxSampleRate) {
        return fail(error, name + ": its header gives a sample rate of " + rateText(fileRate) + "; " + rateRangeText() +
                               " (damaged header?)");
    }
    damageText = damageInLog(file, !standardInput && info.seekable, fileFrames);
    if (fileFrames == 0 && damageText.empty())
        return fail(error, name + " holds no audio (0 frames)");
    return true;
}

OutputFormat chooseOutputFormat(int64_t frames, int64_t wavDataLimit) {
    OutputFormat out;
    const int64_t frameBytes = 2 * (int64_t)sizeof(float);
    if (frames >= 0 && frames < SF_COUNT_MAX && frames <= wavDataLimit / frameBytes) {
        out.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    } else if (frames >= 0 && frames < SF_COUNT_MAX) {
        out.format = SF_FORMAT_RF64 | SF_FORMAT_FLOAT;
    } else {
        // A stream of unknown length: RF64 that libsndfile turns into plain
        // WAV when it closes the file, if the audio stayed small enough.
        out.format = SF_FORMAT_RF64 | SF_FORMAT_FLOAT;
        out.downgrade = true;
    }
    return out;
}

double RenderStats::peakDb() const {
    return peak > 0.0 ? 20.0 * std::log10(peak) : -INFINITY;
}

double RenderStats::rmsDb() const {
    if (frames <= 0 || sumSquares <= 0.0)
        return -INFINITY;
    return 10.0 * std::log10(sumSquares / (2.0 * (double)frames));
}

double RenderStats::realTimeFactor() const {
    return elapsed > 0.0 ? seconds / elapsed : INFINITY;
}

bool renderAudio(PluginHost& plugin, InputAudio& input, PendingFile& output, const RenderSettings& settings,
                 RenderStats& stats, std::string& error, cabinet::Cabinet* cab, cabinet::LoudnessMeter* meter) {
    AEffect* effect = plugin.effect();
    const int fileChannels = input.channels();
    const size_t block = (size_t)settings.blockSize;

    SF_INFO outInfo = {};
    outInfo.samplerate = input.sampleRate();
    outInfo.channels = 2;
    OutputFormat format = chooseOutputFormat(input.frames(), settings.wavDataLimit);
    outInfo.format = format.format;
    SNDFILE* out = sf_open(output.path().c_str(), SFM_WRITE, &outInfo);
    if (out == nullptr) {
        return fail(error, "cannot create " + output.target() + ": " + sf_strerror(nullptr));
    }
    if (format.downgrade)
        sf_command(out, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);

    // Every buffer is allocated here, before the loop: the plug-in gets as
    // many channels as it declares, inputs beyond the file's stay silent.
    const int numInputs = effect->numInputs;
    const int numOutputs = effect->numOutputs;
    std::vector<float> interleaved(block * (size_t)fileChannels);
    std::vector<float> written(block * 2);
    std::vector<std::vector<float>> inputBuffers((size_t)std::max(numInputs, 1), std::vector<float>(block));
    std::vector<std::vector<float>> outputBuffers((size_t)numOutputs, std::vector<float>(block));
    std::vector<float*> inputs, outputs;
    for (auto& b : inputBuffers)
        inputs.push_back(b.data());
    for (auto& b : outputBuffers)
        outputs.push_back(b.data());
    if (cab != nullptr && !cab->ready())
        cab = nullptr;
    std::vector<float> cabLeft(cab ? block : 0), cabRight(cab ? block : 0);
    size_t cabSkip = cab ? (size_t)cab->latency() : 0;  // the cabinet's first frames are its delay

    Progress progress(settings.showProgress, input.frames() < SF_COUNT_MAX ? input.frames() : 0);
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
        if (meter != nullptr)
            meter->add(outLeft, outRight, (int)frames);
        if (sf_writef_float(out, written.data(), (sf_count_t)frames) != (sf_count_t)frames)
            return fail(error, "cannot write " + output.target() + ": " + sf_strerror(out));
        return true;
    };
    plugin.resume();
    bool ok = true;
    for (;;) {
        sf_count_t n = sf_readf_float(input.handle(), interleaved.data(), (sf_count_t)block);
        if (n <= 0)
            break;
        const size_t frames = (size_t)n;
        for (size_t i = 0; i < frames * (size_t)fileChannels; i++)
            if (!std::isfinite(interleaved[i]))
                stats.nonFiniteInput++;
        float* left = inputs[0];
        if (fileChannels == 1) {
            for (size_t i = 0; i < frames; i++)
                left[i] = interleaved[i];
            if (numInputs >= 2)
                std::copy(left, left + frames, inputs[1]);
        } else if (numInputs >= 2) {
            float* right = inputs[1];
            for (size_t i = 0; i < frames; i++) {
                left[i] = interleaved[2 * i];
                right[i] = interleaved[2 * i + 1];
            }
        } else {
            for (size_t i = 0; i < frames; i++)
                left[i] = 0.5f * (interleaved[2 * i] + interleaved[2 * i + 1]);
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
    if (ok && cab != nullptr) {
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
        std::string shortfall = "the input ended after " + std::to_string(stats.frames) + " of its " +
                                std::to_string(input.frames()) + " frames (damaged file?)";
        if (settings.acceptDamaged) {
            stats.shortInput = shortfall;
        } else {
            ok = fail(error, shortfall + "; pass --accept-damaged to keep what was rendered");
        }
    }
    if (sf_close(out) != 0 && ok)
        ok = fail(error, "cannot finish writing " + output.target());
    return ok;
}

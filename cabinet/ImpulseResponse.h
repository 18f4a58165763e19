// A speaker-cabinet impulse response: read from any file libsndfile opens,
// checked, and brought to the session's sample rate. Main thread only: all
// of this allocates.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace cabinet {

// Responses longer than this are refused: a cabinet rings for tens of
// milliseconds, a file of many seconds is a room, a song or a mistake.
constexpr double maxSeconds = 10.0;
constexpr long maxFrames = 1L << 20;

struct ImpulseResponse {
    double rate = 0.0;
    // One vector per channel (one or two), all the same length.
    std::vector<std::vector<float>> channels;

    long frames() const { return channels.empty() ? 0 : (long)channels[0].size(); }
    bool stereo() const { return channels.size() == 2; }
};

// Reads and checks a file: mono or stereo, 1 to maxFrames frames and at most
// maxSeconds, every sample finite, not all silent. False with a one-line
// reason naming the file otherwise.
bool loadImpulseResponse(const std::string& path, ImpulseResponse& out, std::string& error);

// The same checks on a file's bytes held in memory (a saved session, a
// bundled response); `name` goes into the messages.
bool readImpulseResponse(const void* data, std::size_t size, const std::string& name, ImpulseResponse& out,
                         std::string& error);

// The same response at `rate`, through libsamplerate's best sinc converter;
// the gain is kept (a resampled impulse has the same loudness, not the same
// sum). A response already at `rate` is copied as it is.
bool resampleImpulseResponse(const ImpulseResponse& in, double rate, ImpulseResponse& out, std::string& error);

}  // namespace cabinet

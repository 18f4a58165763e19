// The amp core of a chunk (preamp, limiter, tone stack, power drive, curve,
// DC blocker) run as one staggered loop over the oversampled samples, once
// per vector width. The triode stages of both sides share vector lanes; the
// later stages of a channel run two samples behind the stage that feeds them,
// so the lanes of one step are independent and the filters between the
// stages and the power section overlap the triode recurrence.
#pragma once

#include "model/SignalChain.h"

// The wider paths need GCC's per-function targets and its run-time CPU
// checks. MinGW's GCC does not realign the stack for 32-byte spills, so the
// Windows builds keep to SSE2.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__) && !defined(__clang__) && !defined(_WIN32)
#define CORVEX_WIDE_LANES 1
#else
#define CORVEX_WIDE_LANES 0
#endif

// The valve curve's Catmull-Rom piece between points i and i + 1 as a cubic
// in t = 10 (x - x_i): c0 + t (c1 + t (c2 + t c3)), with x_i beside it so
// that a piece is one cache line. Formed from the table while the library
// loads (read-only after that, shared by every instance).
struct alignas(64) PowerCurveCubic {
    double x, c0, c1, c2, c3;
};
extern const PowerCurveCubic* const powerCurveCubics;  // powerAmpCurvePoints entries

// The most oversampled samples one job may carry. Each job pays a ramp-up and
// ramp-down of the staggered loop and loads and stores its states: at 1024 a
// 512-frame block at 44.1 kHz LowQ is two jobs, and runs 2 to 5 % faster than
// at 512; 2048 gained nothing more. The chunk's buffers are on the audio
// thread's stack, about 45 KB at the deepest.
constexpr int fusedCoreMaxSamples = 1024;

struct FusedCoreJob {
    AmpSide* left;
    AmpSide* right;  // the left side again in mono
    int sides;       // 1 (mono) or 2
    const ChainSettings* settings;
    const ChainConstants* constants;
    const float* inLeft;  // raised samples
    const float* inRight;
    float* outLeft;  // amp core results, rounded to float
    float* outRight;
    int samples;
};

// Runs the job on the active path. Returns 0 while every preamp and tone
// stack output was finite, something else (NaN) otherwise.
double runFusedCore(const FusedCoreJob& job);

// The active path's triode step as a dependent chain of `steps` on one
// stage (its state advances), for timing the step the loop waits on.
// Returns the last output.
double runFusedTriodeChain(TriodeStage& stage, const double* drive, int steps, double rate);

// The host samples a chunk carries at an oversampling factor: at 4x and 8x
// as many as fill one fused-core job, so that the loop's ramp-up and
// ramp-down at the chunk's edges and the chunk's fixed costs (states loaded
// and stored, the state saved for a rollback) are spread over as many
// samples as a job holds. At 2x half a job (256 host samples): a 512-frame
// block is then two chunks, and the first one's lowering runs beside the
// second one's raising, which pays a little more (1 %) than the longer job.
// The most at any factor, and a chunk's buffers for one side (the same
// buffers for both sides in mono).
constexpr int chunkFramesAt(int oversampling) {
    return (oversampling == 2 ? fusedCoreMaxSamples / 2 : fusedCoreMaxSamples) / oversampling;
}
constexpr int chunkFramesMax = chunkFramesAt(2) > chunkFramesAt(4) ? chunkFramesAt(2) : chunkFramesAt(4);
static_assert(chunkFramesAt(8) <= chunkFramesMax, "every factor's chunk fits the buffers");
struct ChunkBuffers {
    const float* conditioned;  // host samples, the injected sine added
    float* raised;             // at the oversampled rate
    float* amp;                // the amp core's results
    float* lowered;            // back at the host rate
};

// The half-band passes of a chunk of `count` host samples on the active
// path, both sides (a and b may be the same side): conditioned to raised,
// and amp to lowered.
void raiseChunkRate(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& bufA, const ChunkBuffers& bufB,
                    int count);
void lowerChunkRate(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& bufA, const ChunkBuffers& bufB,
                    int count);

// The lowering of one chunk (`count` host samples, buffers low*) and the
// raising of the next (`nextCount`, buffers up*) side by side where that
// pays (at 2x, and at 4x in mono), else one after the other: the same
// samples as lowerChunkRate and then raiseChunkRate.
void lowerThenRaiseChunkRate(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& lowA, const ChunkBuffers& lowB, int count,
                               const ChunkBuffers& upA, const ChunkBuffers& upB, int nextCount);

// One function of each kind per path.
using ChunkRatePass = void (*)(AmpSide&, AmpSide&, int, const ChunkBuffers&, const ChunkBuffers&, int);
void raiseRateSse2(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& bufA, const ChunkBuffers& bufB,
                   int count);
void lowerRateSse2(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& bufA, const ChunkBuffers& bufB,
                   int count);
void lowerThenRaiseSse2(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& lowA, const ChunkBuffers& lowB, int count,
                    const ChunkBuffers& upA, const ChunkBuffers& upB, int nextCount);
#if CORVEX_WIDE_LANES
void raiseRateAvx2(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& bufA, const ChunkBuffers& bufB,
                   int count);
void lowerRateAvx2(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& bufA, const ChunkBuffers& bufB,
                   int count);
void lowerThenRaiseAvx2(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& lowA, const ChunkBuffers& lowB, int count,
                    const ChunkBuffers& upA, const ChunkBuffers& upB, int nextCount);
void raiseRateAvx512(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& bufA, const ChunkBuffers& bufB,
                     int count);
void lowerRateAvx512(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& bufA, const ChunkBuffers& bufB,
                     int count);
void lowerThenRaiseAvx512(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& lowA, const ChunkBuffers& lowB, int count,
                    const ChunkBuffers& upA, const ChunkBuffers& upB, int nextCount);
#endif

double runFusedCoreSse2(const FusedCoreJob& job);
double runTriodeChainSse2(TriodeStage& stage, const double* drive, int steps, double rate);
#if CORVEX_WIDE_LANES
double runFusedCoreAvx2(const FusedCoreJob& job);
double runFusedCoreAvx512(const FusedCoreJob& job);
double runTriodeChainAvx2(TriodeStage& stage, const double* drive, int steps, double rate);
double runTriodeChainAvx512(TriodeStage& stage, const double* drive, int steps, double rate);
#endif

// The signal chain's entry point: a block through both sides' chains, the
// fast way (ChainBlock.cpp). Included by SignalChain.h, whose records it
// works on.
#pragma once

struct AmpSide;
struct ChainSettings;

// The injected sine's offsets by the number of samples that follow in the
// block, for one oversampled period. The phase restarts with every block, so
// every block asks for the same offsets: each is computed once, the first
// time a quiet input sample needs it, by the same expression as the
// reference's, and kept until the period changes. Owned beside the chain
// records and written only by whoever runs their blocks.
struct InjectedSineTable {
    static constexpr int size = 2048;  // offsets kept; later ones are computed every time
    double period = 0.0;
    bool primed = false;  // period and values belong together
    double values[size];  // NaN: not yet computed
};

// The same samples as processChainBlockReference (SignalChain.h) to within
// 5e-7, computed a few dozen samples at a time with independent work side
// by side (the two stereo sides, or the stages of a preamp channel, in
// vector lanes) and the arithmetic regrouped for short recurrences. The
// same contract: inputs and outputs may alias, mono reads only the left
// input and writes both outputs, frame counts of 0 or less do nothing.
// Audio thread only.
// `sines`, if given, keeps the injected sine's offsets from block to block
// (the samples are the same with or without it).
void processChainBlock(AmpSide& left, AmpSide& right, const ChainSettings& settings, const float* inLeft,
                       const float* inRight, float* outLeft, float* outRight, int frames,
                       InjectedSineTable* sines = nullptr);
// In stereo, when preamp channel 0 is selected, both inputs carry the same
// samples and both sides' records are the same (a mono source on a stereo
// insert, played in stereo from the start), the right
// side would compute exactly what the left does: processChainBlock then runs
// the left side alone and gives the right its records. This one always runs
// both sides, for checking that the two agree.
void processChainBlockSidesApart(AmpSide& left, AmpSide& right, const ChainSettings& settings, const float* inLeft,
                                 const float* inRight, float* outLeft, float* outRight, int frames,
                                 InjectedSineTable* sines = nullptr);

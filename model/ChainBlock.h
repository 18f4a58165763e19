// The signal chain's entry point: a block through both sides' chains, the
// fast way (ChainBlock.cpp). Included by SignalChain.h, whose records it
// works on.
#pragma once

struct AmpSide;
struct ChainSettings;

// The same samples as processChainBlockReference (SignalChain.h) to within
// 5e-7, computed a few dozen samples at a time with independent work side
// by side (the two stereo sides, or the stages of a preamp channel, in
// vector lanes) and the arithmetic regrouped for short recurrences. The
// same contract: inputs and outputs may alias, mono reads only the left
// input and writes both outputs, frame counts of 0 or less do nothing.
// Audio thread only.
void processChainBlock(AmpSide& left, AmpSide& right, const ChainSettings& settings, const float* inLeft,
                       const float* inRight, float* outLeft, float* outRight, int frames);

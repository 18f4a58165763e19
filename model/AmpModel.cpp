#include "model/AmpModel.h"

#include <cstring>
#include <initializer_list>
#include <thread>

AmpModel::AmpModel(const AmpModel& other)
    : left(other.left),
      right(other.right),
      oversamplingFactor(other.oversamplingFactor),
      rate(other.rate),
      period(other.period) {}

AmpModel& AmpModel::operator=(const AmpModel& other) {
    left = other.left;
    right = other.right;
    oversamplingFactor = other.oversamplingFactor;
    rate = other.rate;
    period = other.period;
    return *this;
}

void AmpModel::acquire() {
    // A block in progress ends within its own length; yielding lets it.
    while (held.exchange(true, std::memory_order_acquire))
        std::this_thread::yield();
}

bool AmpModel::tryAcquire() {
    return !held.exchange(true, std::memory_order_acquire);
}

void AmpModel::release() {
    held.store(false, std::memory_order_release);
}

void AmpModel::clear() {
    // Every coefficient and history 0 until the first design.
    clearAmpSide(left);
    clearAmpSide(right);
    oversamplingFactor = 4;
    rate = 0.0;
    period = 0.0;
}

void AmpModel::design(float sampleRate, int highQuality) {
    acquire();
    const OversamplingChoice choice = chooseOversampling(sampleRate, highQuality);
    oversamplingFactor = choice.oversampling;
    period = choice.oversampledPeriod;
    rate = choice.oversampledRate;

    // The stages keep their operating state; only the two rate terms move.
    refreshAmpSideStageRates(left, rate);
    refreshAmpSideStageRates(right, rate);
    // Tone stacks and biquads redesigned (histories cleared), half-band
    // coefficients reloaded (histories kept).
    designAmpSideFilters(left, rate);
    designAmpSideFilters(right, rate);
    release();
}

void AmpModel::designStages() {
    acquire();
    designAmpSideStages(left, AmpSideKind::left, rate);
    designAmpSideStages(right, AmpSideKind::right, rate);
    release();
}

void AmpModel::applyRates(ChainSettings& settings) const {
    settings.oversampling = oversamplingFactor;
    settings.oversampledRate = rate;
    settings.oversampledPeriod = period;
}

bool AmpModel::process(ChainSettings settings, const float* inLeft, const float* inRight, float* outLeft,
                       float* outRight, int frames) {
    if (!tryAcquire())
        return false;
    // Read under the hold: a redesign writes them under the same hold.
    applyRates(settings);
    processChainBlock(left, right, settings, inLeft, inRight, outLeft, outRight, frames, &sines);
    release();
    return true;
}

void AmpModel::prepare(Design& design, const AmpModel& stageTemplate, float sampleRate, int highQuality) {
    const OversamplingChoice choice = chooseOversampling(sampleRate, highQuality);
    design.oversampling = choice.oversampling;
    design.period = choice.oversampledPeriod;
    design.rate = choice.oversampledRate;
    design.left = stageTemplate.left;
    design.right = stageTemplate.right;
    for (AmpSide* side : {&design.left, &design.right}) {
        refreshAmpSideStageRates(*side, design.rate);
        designAmpSideFilters(*side, design.rate);
    }
}

namespace {

void adoptStageRates(TriodeStage& live, const TriodeStage& designed) {
    live.cathodeCoefficient = designed.cathodeCoefficient;
    live.couplingCoefficient = designed.couplingCoefficient;
}

template <typename Filter>
void adoptHalfBand(Filter& live, const Filter& designed) {
    std::memcpy(live.coefficients, designed.coefficients, sizeof(live.coefficients));
}

void adoptSide(AmpSide& live, const AmpSide& designed) {
    adoptStageRates(live.triodeStage1, designed.triodeStage1);
    adoptStageRates(live.triodeStage2, designed.triodeStage2);
    adoptStageRates(live.triodeStage3, designed.triodeStage3);
    adoptStageRates(live.triodeStage4, designed.triodeStage4);
    adoptStageRates(live.triodeStage5, designed.triodeStage5);
    adoptStageRates(live.triodeStage6, designed.triodeStage6);
    live.toneStack = designed.toneStack;
    live.lowShelf1k = designed.lowShelf1k;
    live.lowpass10k = designed.lowpass10k;
    live.lowShelf150 = designed.lowShelf150;
    live.lowpass6kA = designed.lowpass6kA;
    live.lowShelf720 = designed.lowShelf720;
    live.lowpass6kB = designed.lowpass6kB;
    live.dcBlocker = designed.dcBlocker;
    adoptHalfBand(live.upsampler2x, designed.upsampler2x);
    adoptHalfBand(live.downsampler2x, designed.downsampler2x);
    adoptHalfBand(live.upsampler4x, designed.upsampler4x);
    adoptHalfBand(live.downsampler4x, designed.downsampler4x);
    adoptHalfBand(live.upsampler8x, designed.upsampler8x);
    adoptHalfBand(live.downsampler8x, designed.downsampler8x);
}

}  // namespace

void AmpModel::adopt(const Design& design) {
    oversamplingFactor = design.oversampling;
    rate = design.rate;
    period = design.period;
    adoptSide(left, design.left);
    adoptSide(right, design.right);
}

void AmpModel::processHeld(ChainSettings settings, const float* inLeft, const float* inRight, float* outLeft,
                           float* outRight, int frames) {
    applyRates(settings);
    processChainBlock(left, right, settings, inLeft, inRight, outLeft, outRight, frames, &sines);
}

ChainSettings defaultChainSettings(const AmpModel& model) {
    ChainSettings s;
    s.input = s.low = s.mid = s.high = s.contour = s.powerAmp = s.volume = s.mix = 0.5;
    s.driveGain = driveTaper(0.5);
    s.activeChannel = 0;
    s.boost = 0;
    s.stereo = 0;
    model.applyRates(s);
    return s;
}

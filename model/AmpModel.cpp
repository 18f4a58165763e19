#include "model/AmpModel.h"

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
    processChainBlock(left, right, settings, inLeft, inRight, outLeft, outRight, frames);
    release();
    return true;
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

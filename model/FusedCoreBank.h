// Part of the fused amp core (FusedCoreKernel.h, which includes it inside
// its namespace, once per target): the triode stages of a channel, of one
// side or both, laid out in the lanes of G vectors of V, and where they are
// loaded from and stored to. No include guard, like the kernel.

// G vectors of V hold the 3 * sides stage slots.

template <class V, class S>
struct StageBank {
    static constexpr int sides = Lanes<S>::count;
    static constexpr int slots = 3 * sides;
    static constexpr int groups = (slots + Lanes<V>::count - 1) / Lanes<V>::count;
    static constexpr int width = groups * Lanes<V>::count;
    // Lane k holds stage stageOf(k) of side sideOf(k): stage by stage, the
    // sides of a stage next to each other (in stereo L1 R1 L2 R2 | L3 R3),
    // so that a stage's two sides are half of a four-lane vector or a whole
    // two-lane one and move in and out of the lanes in one operation. Lanes
    // past the last slot repeat the last stage.
    static constexpr int stageOf(int k) { return (k < slots ? k : slots - sides + k % sides) / sides; }
    static constexpr int sideOf(int k) { return k % sides; }
    // The sides of a stage fill a group (two-lane vectors) or half of one.
    static constexpr bool wholePairs = std::is_same<V, S>::value;
    static constexpr bool halfPairs = sides == 2 && Lanes<V>::count == 4;
    TriodeLanes<V> group[groups];
    V out[groups];  // the last step's outputs

    // Lanes are read out of the registers: a store and reload of a whole
    // vector can wait for the store to retire.
    double slotOutput(int k) const { return Lanes<V>::lane(out[k / Lanes<V>::count], k % Lanes<V>::count); }
    // Stage k's output, both sides.
    S output(int k) const {
        if constexpr (wholePairs) {
            return out[k];
        } else if constexpr (halfPairs) {
            return Lanes<V>::pairAt(out[k / 2], k % 2);
        } else {
            double v[2] = {slotOutput(k * sides), sides > 1 ? slotOutput(k * sides + 1) : 0.0};
            S result;
            loadSides(result, v, 1);
            return result;
        }
    }

    // The inputs go from registers straight into the lanes: a vector load
    // of values just stored one by one would wait for the stores to retire
    // and so for everything before them.
    static void fillSlots(double (&slot)[width], S first, S second, S third) {
        double in[3][2];
        storeSides(first, in[0], 1);
        storeSides(second, in[1], 1);
        storeSides(third, in[2], 1);
        for (int k = 0; k < width; ++k) {
            slot[k] = in[stageOf(k)][sideOf(k)];
        }
    }
    static void inputs(V (&in)[groups], S first, S second, S third) {
        if constexpr (wholePairs) {
            in[0] = first;
            in[1] = second;
            in[2] = third;
        } else if constexpr (halfPairs) {
            in[0] = Lanes<V>::joinPairs(first, second);
            in[1] = Lanes<V>::joinPairs(third, third);
        } else {
            double slot[width];
            fillSlots(slot, first, second, third);
            for (int g = 0; g < groups; ++g) {
                in[g] = Lanes<V>::make(slot + g * Lanes<V>::count);
            }
        }
    }

    // Steady (std::true_type) in the steady batches, which need not record
    // the last step's input (stepTriode).
    template <class Steady>
    void step(S first, S second, S third, Steady) {
        V in[groups];
        inputs(in, first, second, third);
        for (int g = 0; g < groups; ++g) {
            out[g] = stepTriode<!Steady::value>(group[g], in[g]);
        }
    }

    // A step at the start or end of a chunk, where some stages have no
    // sample to work on.
    void stepSome(S first, S second, S third, bool firstActive, bool secondActive, bool thirdActive) {
        V in[groups];
        inputs(in, first, second, third);
        const bool activeStage[3] = {firstActive, secondActive, thirdActive};
        double active[width];
        for (int k = 0; k < width; ++k) {
            active[k] = activeStage[stageOf(k)] ? 1.0 : 0.0;
        }
        for (int g = 0; g < groups; ++g) {
            const int f = g * Lanes<V>::count;
            out[g] = stepTriodeMasked(group[g], in[g], Lanes<V>::make(active + f));
        }
    }
};

// Where a bank's lanes come from and go back to. Kept apart from the bank,
// and everything inlined, so that the bank's state can live in registers
// through the loop instead of going to memory and back every step.
template <class V, class S>
struct StageRecords {
    using Bank = StageBank<V, S>;
    TriodeStage* stages[Bank::width];

    // first, second and third are the channel's stages, as members of a side.
    __attribute__((always_inline)) StageRecords(AmpSide* const* ampSides, TriodeStage AmpSide::*first,
                                                TriodeStage AmpSide::*second, TriodeStage AmpSide::*third) {
        TriodeStage AmpSide::*members[3] = {first, second, third};
        for (int k = 0; k < Bank::width; ++k) {
            stages[k] = &(ampSides[Bank::sideOf(k)]->*members[Bank::stageOf(k)]);
        }
    }

    __attribute__((always_inline)) void load(Bank& bank, double rate) const {
        for (int g = 0; g < Bank::groups; ++g) {
            loadTriodeLanes(bank.group[g], stages, g * Lanes<V>::count, rate);
        }
    }

    __attribute__((always_inline)) void store(const Bank& bank) const {
        for (int g = 0; g < Bank::groups; ++g) {
            storeTriodeLanes(bank.group[g], stages, g * Lanes<V>::count, Bank::slots);
        }
    }
};

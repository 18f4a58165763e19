#include "tools/presets/FactoryRecipes.h"

// Drive and Input come from corvex-factory-bank --survey: the distortion
// (THD) of a 110 Hz sine at the DI's -12 dBFS peak, and the riff's
// peak-to-loudness ratio (PLR). With the tone knobs at noon channel 0 never
// gets below 11 % at Input 0.5, so the clean sounds turn Input down instead
// (Glass Clean 2.2 %, with Mix PLS at 1 on the cleaner, shelved branch);
// Edge of Breakup sits near 8 %, the crunch sounds between 15 and 25 %, and
// from Drive 0.6 up both channels saturate (30 to 36 %, a PLR of 3 to 5 dB
// against 17 dB for the clean). Channel 1 stays below 10 % up to Drive
// 0.4, where the boosted blues lives (9.8 %).
// Each program also leaves the channel it does not play on set to a
// partner a player would switch to: a lead beside a rhythm sound, a clean
// or crunch sound beside a lead.
const std::vector<FactoryRecipe>& factoryRecipes() {
    // ChannelKnobs: input, drive, low, mid, high, contour, power amp
    static const ChannelKnobs kCleanPartner = {0.15f, 0.0f, 0.55f, 0.5f, 0.6f, 0.5f, 0.3f};
    static const ChannelKnobs kCrunchPartner = {0.5f, 0.3f, 0.5f, 0.6f, 0.55f, 0.5f, 0.5f};
    static const ChannelKnobs kLeadPartner = {0.5f, 0.65f, 0.5f, 0.65f, 0.55f, 0.5f, 0.55f};
    static const std::vector<FactoryRecipe> recipes = {
        {"Glass Clean", "Glass-Clean", 0, 1.0f, false, false, {kCleanPartner, kLeadPartner}},
        {"Edge of Breakup",
         "Edge-of-Breakup",
         0,
         0.8f,
         false,
         false,
         {{0.35f, 0.1f, 0.5f, 0.55f, 0.55f, 0.5f, 0.5f}, kLeadPartner}},
        {"Crunch Rhythm",
         "Crunch-Rhythm",
         0,
         0.5f,
         false,
         false,
         {{0.55f, 0.35f, 0.5f, 0.6f, 0.55f, 0.5f, 0.55f}, kLeadPartner}},
        {"Classic Rock",
         "Classic-Rock",
         0,
         0.4f,
         false,
         false,
         {{0.7f, 0.55f, 0.55f, 0.65f, 0.6f, 0.45f, 0.6f}, {0.5f, 0.75f, 0.5f, 0.7f, 0.6f, 0.45f, 0.6f}}},
        {"Lead Channel 1",
         "Lead-Channel-1",
         1,
         0.5f,
         false,
         false,
         {kCrunchPartner, {0.5f, 0.7f, 0.5f, 0.7f, 0.6f, 0.5f, 0.55f}}},
        {"High Gain", "High-Gain", 1, 0.5f, false, true, {kCleanPartner, {0.6f, 0.75f, 0.6f, 0.5f, 0.6f, 0.5f, 0.6f}}},
        {"Scooped Metal",
         "Scooped-Metal",
         1,
         0.5f,
         false,
         true,
         {kCleanPartner, {0.6f, 0.85f, 0.75f, 0.15f, 0.7f, 0.8f, 0.6f}}},
        {"Boosted Blues",
         "Boosted-Blues",
         1,
         0.8f,
         false,
         true,
         {{0.3f, 0.1f, 0.5f, 0.6f, 0.5f, 0.5f, 0.5f}, {0.3f, 0.2f, 0.45f, 0.65f, 0.45f, 0.5f, 0.5f}}},
        {"Bass Heavy",
         "Bass-Heavy",
         0,
         0.6f,
         false,
         false,
         {{0.4f, 0.25f, 0.9f, 0.45f, 0.35f, 0.4f, 0.6f}, {0.5f, 0.6f, 0.85f, 0.4f, 0.4f, 0.6f, 0.6f}}},
        {"HighQ Singing Lead",
         "HighQ-Singing-Lead",
         1,
         0.5f,
         true,
         true,
         {kCrunchPartner, {0.6f, 0.9f, 0.5f, 0.6f, 0.8f, 0.5f, 0.7f}}},
    };
    return recipes;
}

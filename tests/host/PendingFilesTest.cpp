// The pieces behind corvex-render's file guarantees, used alone: moving a set
// of finished files into place when one move fails, writing on a full disk,
// and the choice between plain WAV and RF64 for long renders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "host/PendingFiles.h"
#include "host/HostPlatform.h"
#include "host/Render.h"
#include "HostTestSupport.h"

using hosttest::TempDir;

TEST(PendingFiles, AFailedMoveSaysWhichFilesWereAndWereNotReplaced) {
    TempDir dir;
    std::string error;
    {
        PendingFile first(dir.path("out.wav")), second(dir.path("p.fxp")), third(dir.path("b.fxb"));
        for (PendingFile* f : {&first, &second, &third})
            ASSERT_TRUE(writeBytes(*f, {'n', 'e', 'w'}, error)) << error;
        // Something takes the second file's place after the checks.
        std::filesystem::create_directory(dir.path("p.fxp"));
        std::ofstream(dir.path("p.fxp/inside")) << "x";
        EXPECT_FALSE(commitAll({&first, &second, &third}, error));
        hostplatform::holdSignals(false);  // commitAll leaves them held for the exit
    }
    EXPECT_NE(error.find("cannot move the finished file to " + dir.path("p.fxp")), std::string::npos) << error;
    EXPECT_NE(error.find("replaced: " + dir.path("out.wav") + ";"), std::string::npos) << error;
    EXPECT_NE(error.find("not replaced: " + dir.path("p.fxp") + ", " + dir.path("b.fxb")), std::string::npos) << error;
    EXPECT_EQ(hosttest::readText(dir.path("out.wav")), "new");
    // The unmoved partial files are gone with their objects.
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"out.wav", "p.fxp"}));
}

TEST(PendingFiles, AFullDiskIsReportedWithTheSystemsReason) {
    std::string reason;
    EXPECT_FALSE(writeWholeFile("/dev/full", std::vector<uint8_t>(5000, 1), reason));
    EXPECT_EQ(reason, "No space left on device");
}

TEST(OutputFormat, LongRendersAreWrittenAsRf64) {
    const int wav = SF_FORMAT_WAV | SF_FORMAT_FLOAT, rf64 = SF_FORMAT_RF64 | SF_FORMAT_FLOAT;
    EXPECT_EQ(chooseOutputFormat(44100 * 60).format, wav);
    EXPECT_EQ(chooseOutputFormat(536870000).format, wav);
    EXPECT_EQ(chooseOutputFormat(536870900).format, rf64);  // 4 GiB of stereo float
    EXPECT_EQ(chooseOutputFormat(1073743824).format, rf64);
    EXPECT_FALSE(chooseOutputFormat(1073743824).downgrade);
    // A stream of unknown length: RF64 that shrinks to WAV if it stays small.
    EXPECT_EQ(chooseOutputFormat(SF_COUNT_MAX).format, rf64);
    EXPECT_TRUE(chooseOutputFormat(SF_COUNT_MAX).downgrade);
    EXPECT_EQ(chooseOutputFormat(125, 1000).format, wav);
    EXPECT_EQ(chooseOutputFormat(126, 1000).format, rf64);
}

TEST(OutputFormat, AnRf64RenderReadsBackWhole) {
    // The plain-WAV limit lowered so that a small render takes the RF64 path.
    TempDir dir;
    std::vector<float> signal = hosttest::testSignal(3000, 1);
    ASSERT_TRUE(hosttest::writeAudio(dir.path("in.wav"), 1, 48000, signal));
    std::string error;
    PluginHost plugin;
    ASSERT_TRUE(plugin.load(FAKE_PLUGIN_PATH, error)) << error;
    plugin.setSampleRate(48000);
    plugin.setBlockSize(256);
    InputAudio input;
    ASSERT_TRUE(input.open(dir.path("in.wav"), error)) << error;
    PendingFile output(dir.path("out.wav"));
    RenderSettings settings;
    settings.blockSize = 256;
    settings.wavDataLimit = 1000;
    RenderStats stats;
    ASSERT_TRUE(renderAudio(plugin, input, output, settings, stats, error)) << error;
    ASSERT_TRUE(output.commit(error)) << error;
    hosttest::Audio out;
    ASSERT_TRUE(hosttest::readAudio(dir.path("out.wav"), out));
    EXPECT_EQ(out.info.format, SF_FORMAT_RF64 | SF_FORMAT_FLOAT);
    ASSERT_EQ(out.info.frames, 3000);
    EXPECT_EQ(out.samples[2 * 1234 + 1], signal[1234]);
}

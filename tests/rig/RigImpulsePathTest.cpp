// Impulse files whose names are not ASCII (UTF-8 on every platform; on
// Windows the file system's UTF-16 names): both readers find them, and the
// rig keeps the name as it was given.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "RigTestSupport.h"
#include "cabinet/ImpulseResponse.h"
#include "rig/RigEngine.h"

TEST(RigImpulsePath, NamesOutsideAsciiLoad) {
    // Written under an ASCII name, then renamed: the test's own writer opens
    // files by their narrow name.
    const std::string ascii = rigtest::tempPath("plain-name.wav");
    ASSERT_TRUE(rigtest::writeAudio(ascii, {rigtest::testResponse(2000, 9)}, 48000));
    const std::string fileName = "Gitarrenbox \xC3\x9C" "ber \xE2\x84\x96" "4.wav";  // "Gitarrenbox Über №4.wav"
    const std::filesystem::path target = std::filesystem::u8path(ascii).parent_path() / std::filesystem::u8path(fileName);
    std::filesystem::remove(target);
    std::filesystem::rename(std::filesystem::u8path(ascii), target);
    const std::string utf8 = target.u8string();

    cabinet::ImpulseResponse ir;
    std::string error;
    EXPECT_TRUE(cabinet::loadImpulseResponse(utf8, ir, error)) << error;
    EXPECT_EQ(ir.frames(), 2000);

    corvex::RigEngine rig;
    EXPECT_TRUE(rig.loadImpulseFile(utf8, error)) << error;
    EXPECT_EQ(rig.impulseName(), fileName);
    std::filesystem::remove(target);
}

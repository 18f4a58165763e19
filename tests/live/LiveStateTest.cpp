// corvex-live's saved session and command line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "host/PluginHost.h"
#include "live/LiveOptions.h"
#include "live/LiveState.h"

namespace {

namespace fs = std::filesystem;

struct ConfigHome {
    fs::path root;
    std::string saved;
    bool had = false;
    ConfigHome() {
        root = fs::temp_directory_path() / ("corvex-live-" + std::to_string((long)getpid()));
        fs::create_directories(root);
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
            had = true;
            saved = old;
        }
        setenv("XDG_CONFIG_HOME", root.c_str(), 1);
    }
    ~ConfigHome() {
        if (had)
            setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

TEST(LiveState, RemembersBankAndProgramAcrossInstances) {
    ConfigHome home;
    const std::string folder = live::configFolder();
    EXPECT_EQ(folder, (home.root / "corvex").string());
    std::string error;
    {
        PluginHost plugin;
        ASSERT_TRUE(plugin.load(CORVEX_PLUGIN_PATH, error)) << error;
        EXPECT_EQ(live::loadState(plugin, folder, error), live::LoadResult::none);
        plugin.setProgram(4);
        plugin.setParameter(2, 0.8125f);  // Drive, written into program 4
        plugin.setProgramName("Lead");
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(live::captureState(plugin, bytes, error)) << error;
        ASSERT_TRUE(live::writeStateAtomically(folder, bytes, error)) << error;
    }
    // Only the file itself is left behind: no temporary files.
    int files = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 1);
    {
        PluginHost plugin;
        ASSERT_TRUE(plugin.load(CORVEX_PLUGIN_PATH, error)) << error;
        ASSERT_EQ(live::loadState(plugin, folder, error), live::LoadResult::loaded) << error;
        EXPECT_EQ(plugin.currentProgram(), 4);
        EXPECT_EQ(plugin.programName(), "Lead");
        EXPECT_FLOAT_EQ(plugin.getParameter(2), 0.8125f);
    }
}

TEST(LiveState, DamagedFileIsRefusedAndKept) {
    ConfigHome home;
    const std::string folder = live::configFolder();
    fs::create_directories(folder);
    std::ofstream(live::stateFile(folder)) << "CcnK garbage";
    PluginHost plugin;
    std::string error;
    ASSERT_TRUE(plugin.load(CORVEX_PLUGIN_PATH, error)) << error;
    EXPECT_EQ(live::loadState(plugin, folder, error), live::LoadResult::refused);
    EXPECT_NE(error.find("live-session.fxb"), std::string::npos) << error;
    EXPECT_TRUE(fs::exists(live::stateFile(folder))) << "a refused file is left for the user to look at";
    EXPECT_EQ(plugin.currentProgram(), 0);

    // An unwritable place is a reason, not a crash.
    std::vector<uint8_t> bytes{1, 2, 3};
    EXPECT_FALSE(live::writeStateAtomically("/proc/corvex-no-such-place", bytes, error));
    EXPECT_FALSE(live::writeStateAtomically("", bytes, error));
}

TEST(LiveOptions, CommandLine) {
    live::LiveOptions o;
    std::string error;
    const char* good[] = {"corvex-live", "--inputs",  "2",     "--in",       "system:capture_1",
                          "--out=a:b",   "--cab",     "x.wav", "--cab-trim", "-3.5",
                          "--no-editor", "--seconds", "2.5",   "--program",  "3"};
    ASSERT_TRUE(live::parseLiveOptions(15, good, o, error)) << error;
    EXPECT_EQ(o.inputs, 2);
    EXPECT_EQ(o.connectIn.size(), 1u);
    EXPECT_EQ(o.connectOut[0], "a:b");
    EXPECT_EQ(o.cabinetTrimDb, -3.5);
    EXPECT_FALSE(o.editor);
    EXPECT_EQ(o.seconds, 2.5);
    EXPECT_EQ(o.program, 3);

    const std::vector<std::vector<const char*>> bad = {
        {"corvex-live", "--inputs", "3"},
        {"corvex-live", "--cab-trim", "-3"},
        {"corvex-live", "--cab", "x", "--cab-trim", "99"},
        {"corvex-live", "--seconds", "0"},
        {"corvex-live", "--in", "a", "--in", "b"},
        {"corvex-live", "--bogus"},
        {"corvex-live", "--cab"},
        {"corvex-live", "--no-editor=1"},
    };
    for (const auto& argv : bad) {
        EXPECT_FALSE(live::parseLiveOptions((int)argv.size(), argv.data(), o, error)) << argv[1];
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace

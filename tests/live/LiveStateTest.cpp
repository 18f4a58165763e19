// corvex-live's saved session and command line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
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

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write((const char*)bytes.data(), (std::streamsize)bytes.size());
}

// A valid session: the amp's bank with program `program` current.
std::vector<uint8_t> validSession(int program) {
    PluginHost plugin;
    std::string error;
    std::vector<uint8_t> bytes;
    if (plugin.load(CORVEX_PLUGIN_PATH, error)) {
        plugin.setProgram(program);
        live::captureState(plugin, bytes, error);
    }
    return bytes;
}

TEST(LiveSession, AFileThatCannotBeRestoredIsNeverWrittenOver) {
    ConfigHome home;
    const std::string folder = live::configFolder();
    fs::create_directories(folder);
    std::vector<uint8_t> valid = validSession(3);
    ASSERT_FALSE(valid.empty());
    std::vector<uint8_t> longer = valid;
    longer.push_back(0);  // one byte too many
    std::vector<uint8_t> nan = valid;
    // Program 0 plays channel 0; its channel 1's Volume, a double at 80 + 64 + 48 of the record.
    const double notANumber = std::nan("");
    std::memcpy(nan.data() + 160 + 80 + 64 + 48, &notANumber, sizeof notANumber);
    for (const std::vector<uint8_t>* file : {&longer, &nan}) {
        const std::vector<uint8_t>& damaged = *file;
        writeBytes(live::stateFile(folder), damaged);
        PluginHost plugin;
        std::string error;
        ASSERT_TRUE(plugin.load(CORVEX_PLUGIN_PATH, error)) << error;
        std::vector<uint8_t> before;
        ASSERT_TRUE(live::captureState(plugin, before, error));
        live::Session session(plugin, folder, "corvex");
        ASSERT_TRUE(session.claim(error)) << error;
        std::string message;
        EXPECT_EQ(session.restore(message), live::LoadResult::refused);
        EXPECT_NE(message.find("kept as it is"), std::string::npos) << message;
        const std::string reason =
            file == &nan ? "program 0 (\"Init\"), channel 1: \"Volume\" is NaN" : "wrong size";
        EXPECT_NE(message.find(reason), std::string::npos) << message;
        // Nothing of the refused file reached the plug-in.
        std::vector<uint8_t> after;
        ASSERT_TRUE(live::captureState(plugin, after, error));
        EXPECT_EQ(after, before);
        // The player changes the bank; the saves of the run leave the file be.
        plugin.setProgram(6);
        plugin.setParameter(2, 0.25f);
        EXPECT_TRUE(session.saveIfChanged(error)) << error;
        EXPECT_TRUE(session.keptAside());
        EXPECT_EQ(readBytes(live::stateFile(folder)), damaged);
    }
}

TEST(LiveSession, ALinkedSessionIsSavedThroughTheLinkAndStaysALink) {
    ConfigHome home;
    const std::string folder = live::configFolder();
    fs::create_directories(folder);
    fs::create_directories(home.root / "banks");
    const std::string kept = (home.root / "banks" / "gig.fxb").string();
    writeBytes(kept, validSession(3));
    fs::permissions(kept, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("../banks/gig.fxb", live::stateFile(folder));
    PluginHost plugin;
    std::string error;
    ASSERT_TRUE(plugin.load(CORVEX_PLUGIN_PATH, error)) << error;
    live::Session session(plugin, folder, "corvex");
    ASSERT_TRUE(session.claim(error)) << error;
    std::string message;
    ASSERT_EQ(session.restore(message), live::LoadResult::loaded) << message;
    EXPECT_EQ(plugin.currentProgram(), 3);
    plugin.setProgram(8);
    ASSERT_TRUE(session.saveIfChanged(error)) << error;
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(live::stateFile(folder))));
    EXPECT_EQ(fs::read_symlink(live::stateFile(folder)), "../banks/gig.fxb");
    EXPECT_EQ(readBytes(kept), validSession(8));
    EXPECT_EQ(fs::status(kept).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // No temporary file left beside the link or its target.
    for (const fs::path& dir : {fs::path(folder), home.root / "banks"})
        for (const auto& entry : fs::directory_iterator(dir))
            EXPECT_EQ(entry.path().filename().string().find(".new"), std::string::npos) << entry.path();
}

TEST(LiveSession, OneInstanceHoldsASessionAtATime) {
    ConfigHome home;
    const std::string folder = live::configFolder();
    PluginHost a, b;
    std::string error;
    ASSERT_TRUE(a.load(CORVEX_PLUGIN_PATH, error)) << error;
    ASSERT_TRUE(b.load(CORVEX_PLUGIN_PATH, error)) << error;
    {
        live::Session first(a, folder, "corvex");
        ASSERT_TRUE(first.claim(error)) << error;
        live::Session second(b, folder, "corvex");
        EXPECT_FALSE(second.claim(error));
        EXPECT_NE(error.find("in use by another corvex-live (process " + std::to_string((long)getpid()) + ")"),
                  std::string::npos)
            << error;
        EXPECT_NE(error.find("--name"), std::string::npos) << error;
        // Another client name is another session.
        live::Session other(b, folder, "corvex-01");
        EXPECT_TRUE(other.claim(error)) << error;
        EXPECT_NE(other.path(), first.path());
        EXPECT_EQ(fs::path(other.path()).filename(), "live-session-corvex-01.fxb");
    }
    // Released with its holder.
    live::Session again(b, folder, "corvex");
    EXPECT_TRUE(again.claim(error)) << error;
    EXPECT_EQ(fs::path(live::stateFile(folder, "../x y")).filename(), "live-session-.._x_y.fxb");
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

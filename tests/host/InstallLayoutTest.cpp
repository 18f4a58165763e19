// How a host finds its plug-in and the shared data without being told: in
// the build tree (<build>/plugin beside <build>/host, <build>/share/corvex),
// then where the install put them relative to bin/. Each case builds the
// folders in a temporary directory and names a host executable inside it
// (the executable itself need not exist).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "host/HostPlatform.h"
#include "HostTestSupport.h"

namespace fs = std::filesystem;
using hosttest::TempDir;

namespace {

void touch(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
}

const std::string pluginFile = hostplatform::pluginFileName("Corvex");

}  // namespace

TEST(InstallLayout, ThePluginBuiltBesideTheHostComesFirst) {
    TempDir dir;
    const fs::path root = dir.dir();
    touch(root / "build/plugin" / pluginFile);
    touch((root / "build/bin" / CORVEX_PLUGIN_DIR_FROM_BIN / pluginFile).lexically_normal());
    const std::string exe = (root / "build/bin/corvex-render").string();
    EXPECT_EQ(hostplatform::findPlugin(exe), (root / "build/plugin" / pluginFile).string());
}

TEST(InstallLayout, AnInstalledHostFindsTheInstalledPlugin) {
    TempDir dir;
    const fs::path prefix = fs::path(dir.dir()) / "usr";
    const fs::path installed = (prefix / "bin" / CORVEX_PLUGIN_DIR_FROM_BIN / pluginFile).lexically_normal();
    touch(installed);
    EXPECT_EQ(hostplatform::findPlugin((prefix / "bin/corvex-render").string()), installed.string());
    // A folder of the plug-in's name is not the plug-in.
    TempDir other;
    fs::create_directories(fs::path(other.dir()) / "plugin" / pluginFile);
    EXPECT_EQ(hostplatform::findPlugin((fs::path(other.dir()) / "bin/corvex-render").string()), "");
}

TEST(InstallLayout, NoPluginAnywhereNamesEveryPlaceLookedAt) {
    TempDir dir;
    const std::string exe = (fs::path(dir.dir()) / "bin/corvex-render").string();
    EXPECT_EQ(hostplatform::findPlugin(exe), "");
    const std::vector<std::string> places = hostplatform::pluginCandidates(exe);
    ASSERT_EQ(places.size(), 2u);
    EXPECT_EQ(places[0], (fs::path(dir.dir()) / "plugin" / pluginFile).string());
    EXPECT_TRUE(hostplatform::pluginCandidates("").empty());
    EXPECT_TRUE(hostplatform::dataDirs("").empty());
}

TEST(InstallLayout, FactoryFilesAreFoundByNameAloneWithOrWithoutExtension) {
    TempDir dir;
    const fs::path prefix = fs::path(dir.dir()) / "usr";
    const fs::path data = (prefix / "bin" / CORVEX_DATA_DIR_FROM_BIN).lexically_normal();
    touch(data / "presets/03-Crunch-Rhythm.fxp");
    touch(data / "presets/Corvex-factory.fxb");
    touch(data / "cabinet/corvex-4x12.wav");
    const std::string exe = (prefix / "bin/corvex-render").string();
    EXPECT_EQ(hostplatform::findDataFile(exe, "presets", "03-Crunch-Rhythm", ".fxp"),
              (data / "presets/03-Crunch-Rhythm.fxp").string());
    EXPECT_EQ(hostplatform::findDataFile(exe, "presets", "03-Crunch-Rhythm.fxp", ".fxp"),
              (data / "presets/03-Crunch-Rhythm.fxp").string());
    EXPECT_EQ(hostplatform::findDataFile(exe, "presets", "Corvex-factory", ".fxb"),
              (data / "presets/Corvex-factory.fxb").string());
    EXPECT_EQ(hostplatform::findDataFile(exe, "cabinet", "corvex-4x12", ".wav"),
              (data / "cabinet/corvex-4x12.wav").string());
    // Another kind's folder is not searched.
    EXPECT_EQ(hostplatform::findDataFile(exe, "cabinet", "03-Crunch-Rhythm", ".fxp"), "03-Crunch-Rhythm");
}

TEST(InstallLayout, TheBuildTreesDataComesFirst) {
    TempDir dir;
    const fs::path build = fs::path(dir.dir()) / "build";
    touch(build / "share/corvex/cabinet/corvex-4x12.wav");
    touch((build / "host" / CORVEX_DATA_DIR_FROM_BIN / "cabinet/corvex-4x12.wav").lexically_normal());
    EXPECT_EQ(hostplatform::findDataFile((build / "host/corvex-render").string(), "cabinet", "corvex-4x12", ".wav"),
              (build / "share/corvex/cabinet/corvex-4x12.wav").string());
}

TEST(InstallLayout, WhatTheUserNamedIsKeptWhenItIsAPathOrExistsOrIsNotFound) {
    TempDir dir;
    const fs::path prefix = fs::path(dir.dir()) / "usr";
    const fs::path data = (prefix / "bin" / CORVEX_DATA_DIR_FROM_BIN).lexically_normal();
    touch(data / "presets/lead.fxp");
    const std::string exe = (prefix / "bin/corvex-render").string();
    // A path is the user's, even when the factory holds a file of its name.
    EXPECT_EQ(hostplatform::findDataFile(exe, "presets", "mine/lead.fxp", ".fxp"), "mine/lead.fxp");
    EXPECT_EQ(hostplatform::findDataFile(exe, "presets", "mine\\lead", ".fxp"), "mine\\lead");
    // A file of that name where the user is wins over the factory's.
    touch(fs::path(dir.dir()) / "lead.fxp");
    const std::string here = (fs::path(dir.dir()) / "lead.fxp").string();
    EXPECT_EQ(hostplatform::findDataFile(exe, "presets", here, ".fxp"), here);
    // Standard input, nothing given, and names found nowhere stay as given.
    EXPECT_EQ(hostplatform::findDataFile(exe, "presets", "-", ".fxp"), "-");
    EXPECT_EQ(hostplatform::findDataFile(exe, "presets", "", ".fxp"), "");
    EXPECT_EQ(hostplatform::findDataFile(exe, "presets", "no-such-program", ".fxp"), "no-such-program");
    EXPECT_EQ(hostplatform::findDataFile("", "presets", "lead", ".fxp"), "lead");
}

// corvex-render ended from outside or by a crashing plug-in: a signal ends
// the run at once with 128 + its number, even while the program waits for
// input or the plug-in never returns, and no partial file is left behind;
// partial files of runs that died anyway are cleared by the next run.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

#include "HostTestSupport.h"

using hosttest::RunningRender;
using hosttest::RunResult;
using hosttest::TempDir;

namespace {

const std::string fake = FAKE_PLUGIN_PATH;

bool hasPartial(const TempDir& dir) {
    for (const std::string& name : dir.files())
        if (name.find(".partial-") != std::string::npos)
            return true;
    return false;
}

// Waits until the render has created its partial output (it is then busy in
// the plug-in); false after two seconds.
bool waitForPartial(const TempDir& dir) {
    for (int i = 0; i < 200; i++) {
        if (hasPartial(dir))
            return true;
        usleep(10000);
    }
    return false;
}

// Waits until the process catches SIGINT (its handlers are installed), as
// /proc tells; false after five seconds.
bool waitForHandlers(pid_t pid) {
    for (int i = 0; i < 500; i++) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.compare(0, 7, "SigCgt:") != 0)
                continue;
            unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
            if (mask & (1ull << (SIGINT - 1)))
                return true;
        }
        usleep(10000);
    }
    return false;
}

struct Scratch {
    TempDir dir;
    Scratch() {
        EXPECT_TRUE(hosttest::writeAudio(dir.path("a.wav"), 1, 44100, hosttest::testSignal(5000, 1)));
        std::ofstream(dir.path("out.wav")) << "previous render";
    }
    void expectUntouched(const std::string& label) {
        EXPECT_FALSE(hasPartial(dir)) << label;
        EXPECT_EQ(hosttest::readText(dir.path("out.wav")), "previous render") << label;
    }
};

}  // namespace

TEST(RenderSignals, SignalsEndAHungPluginAtOnceAndLeaveNoFile) {
    const std::pair<int, int> signals[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}, {SIGQUIT, 131}};
    for (auto [number, code] : signals) {
        Scratch s;
        RunningRender render({"--plugin", fake, "a.wav", "-o", "out.wav", "--save-fxp", "p.fxp"}, s.dir.dir(),
                             {"FAKE_PLUGIN_FAULT=hang"});
        ASSERT_TRUE(waitForPartial(s.dir)) << number;
        render.signal(number);
        RunResult r = render.wait(3.0);
        EXPECT_EQ(r.exitCode, code) << number << ": " << r.err;
        s.expectUntouched(std::to_string(number));
        EXPECT_FALSE(std::filesystem::exists(s.dir.path("p.fxp")));
    }
}

TEST(RenderSignals, SignalsEndAWaitForInputThatNeverComes) {
    Scratch s;
    RunningRender render({"--plugin", fake, "-", "-o", "out.wav"}, s.dir.dir(), {}, "|");
    ASSERT_TRUE(waitForHandlers(render.pid));
    usleep(100000);  // into the read that never returns
    render.signal(SIGINT);
    RunResult r = render.wait(5.0);
    EXPECT_EQ(r.exitCode, 130) << r.err;
    s.expectUntouched("stdin");

    // Named pipes are refused before anything opens them.
    ASSERT_EQ(mkfifo(s.dir.path("pipe.wav").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(s.dir.path("pipe.fxp").c_str(), 0600), 0);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"pipe.wav", "-o", "out.wav"}, {"a.wav", "-o", "out.wav", "--load-fxp", "pipe.fxp"}}) {
        RunningRender refused(
            [&] {
                std::vector<std::string> all = {"--plugin", fake};
                all.insert(all.end(), args.begin(), args.end());
                return all;
            }(),
            s.dir.dir());
        RunResult pipeRun = refused.wait(3.0);
        EXPECT_EQ(pipeRun.exitCode, 1) << args[0] << ": " << pipeRun.err;
        EXPECT_NE(pipeRun.err.find("pipe"), std::string::npos) << pipeRun.err;
    }
    s.expectUntouched("fifo");
}

TEST(RenderSignals, APluginCrashLeavesNoPartialFile) {
    for (const char* fault : {"segv", "abort"}) {
        Scratch s;
        RunResult r = hosttest::runRender({"--plugin", fake, "a.wav", "-o", "out.wav"}, s.dir.dir(),
                                          {std::string("FAKE_PLUGIN_FAULT=") + fault});
        EXPECT_GT(r.exitCode, 128) << fault;
        EXPECT_NE(r.err.find("plug-in"), std::string::npos) << r.err;
        s.expectUntouched(fault);
    }
}

TEST(RenderSignals, StalePartialFilesOfDeadRunsAreRemoved) {
    Scratch s;
    // A child that has exited gives a process id that is surely not running.
    pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string stale = ".out.wav.partial-" + std::to_string(gone) + "-0badf00d";
    const std::string live = ".out.wav.partial-" + std::to_string(getpid()) + "-0badf00d";
    const std::string foreign = ".other.wav.partial-" + std::to_string(gone) + "-0badf00d";
    const std::string staleShort = ".corvex.partial-" + std::to_string(gone) + "-0badf00d";
    const std::string liveShort = ".corvex.partial-" + std::to_string(getpid()) + "-0badf00d";
    for (const std::string& name : {stale, live, foreign, staleShort, liveShort})
        std::ofstream(s.dir.path(name)) << "leftover";
    RunResult r = hosttest::runRender({"--plugin", fake, "a.wav", "-o", "out.wav"}, s.dir.dir());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(std::filesystem::exists(s.dir.path(stale)));
    EXPECT_TRUE(std::filesystem::exists(s.dir.path(live)));     // its writer still runs
    EXPECT_TRUE(std::filesystem::exists(s.dir.path(foreign)));  // not this output's
    EXPECT_FALSE(std::filesystem::exists(s.dir.path(staleShort)));
    EXPECT_TRUE(std::filesystem::exists(s.dir.path(liveShort)));
}

// Every name the file system takes for a target (up to 255 bytes) takes its
// partial file too: the partial's name does not grow with the target's.
TEST(RenderSignals, TheLongestLegalOutputAndPresetNamesAreWritten) {
    Scratch s;
    const std::string wav = std::string(251, 'w') + ".wav", fxb = std::string(251, 'b') + ".fxb";
    ASSERT_EQ(wav.size(), 255u);
    RunResult r = hosttest::runRender({"--plugin", fake, "a.wav", "-o", wav, "--save-fxb", fxb}, s.dir.dir());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(s.dir.path(wav)));
    EXPECT_TRUE(std::filesystem::exists(s.dir.path(fxb)));
    EXPECT_FALSE(hasPartial(s.dir));
}

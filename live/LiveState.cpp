#include "live/LiveState.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "host/PluginPresets.h"
#include "host/PresetFile.h"

namespace fs = std::filesystem;

namespace live {

namespace {

bool fail(std::string& error, const std::string& text) {
    error = text;
    return false;
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= (size_t)n;
    }
    return true;
}

}  // namespace

std::string configFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return (fs::path(xdg) / "corvex").string();
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != 0)
        return (fs::path(home) / ".config" / "corvex").string();
    return std::string();
}

std::string stateFile(const std::string& folder) {
    return (fs::path(folder) / "live-session.fxb").string();
}

LoadResult loadState(PluginHost& plugin, const std::string& folder, std::string& error) {
    const std::string path = stateFile(folder);
    std::error_code ec;
    if (folder.empty() || !fs::exists(path, ec))
        return LoadResult::none;
    presetfile::PresetFile file;
    std::string reason;
    if (!presetfile::readFile(path, file, reason) || !applyPreset(plugin, file, true, reason)) {
        error = "the saved session " + path + " was not restored: " + reason;
        return LoadResult::refused;
    }
    if (file.currentProgram >= 0 && file.currentProgram < plugin.numPrograms())
        plugin.setProgram(file.currentProgram);
    return LoadResult::loaded;
}

bool captureState(PluginHost& plugin, std::vector<uint8_t>& bytes, std::string& error) {
    presetfile::PresetFile file;
    if (!capturePreset(plugin, true, file, error))
        return false;
    bytes = presetfile::serialize(file);
    return true;
}

bool writeStateAtomically(const std::string& folder, const std::vector<uint8_t>& bytes, std::string& error) {
    if (folder.empty())
        return fail(error, "no configuration folder (neither XDG_CONFIG_HOME nor HOME is set)");
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        return fail(error, "cannot create " + folder + ": " + ec.message());
    const std::string target = stateFile(folder);
    const std::string temp = target + ".new-" + std::to_string((long)getpid());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail(error, "cannot write " + temp + ": " + std::strerror(errno));
    bool ok = writeAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
        const std::string reason = std::strerror(ok ? errno : savedErrno);
        ::unlink(temp.c_str());
        return fail(error, "cannot save the session to " + target + ": " + reason);
    }
    // The rename itself is only durable once the folder is on the disk.
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace live

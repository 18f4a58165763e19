#include "live/LiveState.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "host/PendingFiles.h"
#include "host/PluginPresets.h"
#include "host/PresetFile.h"

namespace fs = std::filesystem;

namespace live {

namespace {

constexpr const char* defaultClientName = "corvex";

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

fs::path folderOf(const fs::path& file) {
    fs::path parent = file.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

// The lock beside the session file (the name, not where a link leads: two
// names are two sessions).
std::string lockFile(const std::string& folder, const std::string& clientName) {
    const fs::path state(stateFile(folder, clientName));
    return (state.parent_path() / ("." + state.filename().string() + ".lock")).string();
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

std::string stateFile(const std::string& folder, const std::string& clientName) {
    if (clientName.empty() || clientName == defaultClientName)
        return (fs::path(folder) / "live-session.fxb").string();
    std::string name;
    for (char c : clientName) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || c == '.';
        name += plain ? c : '_';
    }
    // JACK client names are short; a name that is not stays within any file name limit.
    if (name.size() > 200)
        name.resize(200);
    return (fs::path(folder) / ("live-session-" + name + ".fxb")).string();
}

LoadResult loadState(PluginHost& plugin, const std::string& folder, std::string& error,
                     const std::string& clientName) {
    const std::string path = stateFile(folder, clientName);
    std::error_code ec;
    if (folder.empty() || !fs::exists(path, ec))
        return LoadResult::none;
    presetfile::PresetFile file;
    std::string reason;
    auto refuse = [&]() {
        error = "the saved session " + path + " was not restored: " + reason;
        return LoadResult::refused;
    };
    if (!presetfile::readFile(path, file, reason))
        return refuse();
    // What the plug-in holds now, to go back to if the file's values turn
    // out to be refused once they are in.
    presetfile::PresetFile before;
    std::string ignored;
    const bool haveBefore = capturePreset(plugin, true, before, ignored);
    if (!applyPreset(plugin, file, true, reason))
        return refuse();
    int repaired = 0;
    if (!checkPresetValues(plugin, true, presetvalues::Repair::none, repaired, reason)) {
        if (haveBefore)
            applyPreset(plugin, before, true, ignored);
        return refuse();
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

bool writeStateAtomically(const std::string& folder, const std::vector<uint8_t>& bytes, std::string& error,
                          const std::string& clientName) {
    if (folder.empty())
        return fail(error, "no configuration folder (neither XDG_CONFIG_HOME nor HOME is set)");
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        return fail(error, "cannot create " + folder + ": " + ec.message());
    const std::string named = stateFile(folder, clientName);
    // Through a symbolic link to the file it leads to: the link stays.
    const std::string target = followLinks(named);
    const fs::path targetFolder = folderOf(target);
    // A short fixed name, whatever the length of the target's.
    const std::string temp = (targetFolder / (".corvex-session.new-" + std::to_string((long)getpid()))).string();
    struct stat old {};
    const mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(error, "cannot save the session to " + named + ": cannot write " + temp + ": " +
                               std::strerror(errno));
    bool ok = writeAll(fd, bytes.data(), bytes.size()) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
        const std::string reason = std::strerror(ok ? errno : savedErrno);
        ::unlink(temp.c_str());
        return fail(error, "cannot save the session to " + named + ": " + reason);
    }
    // The rename itself is only durable once the folder is on the disk.
    int dir = ::open(targetFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

Session::Session(PluginHost& plugin, const std::string& folder, const std::string& clientName)
    : plugin(plugin), folder(folder), clientName(clientName) {}

Session::~Session() {
    if (lockFd >= 0)
        ::close(lockFd);  // releases the lock
}

bool Session::claim(std::string& error) {
    if (folder.empty() || lockFd >= 0)
        return true;
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::string lock = lockFile(folder, clientName);
    int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail(error, "cannot lock the session " + path() + " (" + lock + ": " + std::strerror(errno) + ")");
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        char holder[32] = {};
        const ssize_t n = ::pread(fd, holder, sizeof holder - 1, 0);
        ::close(fd);
        if (code != EWOULDBLOCK)
            return fail(error, "cannot lock the session " + path() + ": " + std::strerror(code));
        std::string pid = n > 0 ? std::string(holder, (size_t)n) : std::string();
        while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' '))
            pid.pop_back();
        const std::string who = pid.empty() ? std::string() : " (process " + pid + ")";
        return fail(error, "the session " + path() + " is in use by another corvex-live" + who +
                               "; give this one another --name, or run it with --no-session");
    }
    const std::string pid = std::to_string((long)getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0)
        writeAll(fd, (const uint8_t*)pid.data(), pid.size());
    lockFd = fd;
    return true;
}

LoadResult Session::restore(std::string& message) {
    message.clear();
    if (folder.empty())
        return LoadResult::none;
    std::string error;
    const LoadResult result = loadState(plugin, folder, error, clientName);
    if (result == LoadResult::refused) {
        refused = true;
        message = error + "; the file is kept as it is and this run will not save over it (move it away to "
                          "start a new session there)";
    } else if (result == LoadResult::loaded) {
        // A restored session need not be written again until it changes.
        captureState(plugin, lastSaved, error);
    }
    return result;
}

bool Session::saveIfChanged(std::string& error) {
    if (folder.empty() || refused)
        return true;
    std::vector<uint8_t> bytes;
    if (!captureState(plugin, bytes, error))
        return false;
    if (bytes == lastSaved)
        return true;
    if (!writeStateAtomically(folder, bytes, error, clientName))
        return false;
    lastSaved = bytes;
    return true;
}

std::string Session::path() const {
    return folder.empty() ? std::string() : stateFile(folder, clientName);
}

}  // namespace live

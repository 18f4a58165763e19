#include "host/PendingFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "host/HostPlatform.h"

namespace fs = std::filesystem;

namespace {

bool fail(std::string& error, const std::string& text) {
    error = text;
    return false;
}

// Partial files carry a fixed-length name that does not grow with the
// target's: any name the folder accepts as a target leaves room for them.
constexpr const char* partialPrefix = ".corvex.partial-";

// Builds before this one named partials after their target; a later run
// still tidies those away.
std::string legacyPartialPrefix(const fs::path& destination) {
    return "." + destination.filename().string() + ".partial-";
}

// PID-XXXXXXXX after `prefix`: the writer's process id, or -1 for another name.
long partialOwner(const std::string& name, const std::string& prefix) {
    if (name.compare(0, prefix.size(), prefix) != 0)
        return -1;
    std::string rest = name.substr(prefix.size());
    size_t dash = rest.find('-');
    if (dash == std::string::npos || dash == 0 || rest.size() != dash + 9)
        return -1;
    char* pidEnd = nullptr;
    long pid = std::strtol(rest.c_str(), &pidEnd, 10);
    if (pidEnd != rest.c_str() + dash || pid <= 0)
        return -1;
    return pid;
}

std::string uniqueSuffix() {
    std::random_device device;
    char text[16];
    std::snprintf(text, sizeof text, "%08x", (unsigned)device());
    return text;
}

fs::path folderOf(const fs::path& file) {
    fs::path parent = file.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

// Same file: the same inode when both exist, otherwise the same absolute,
// link-free name.
bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) {
        bool same = fs::equivalent(a, b, ec);
        if (!ec)
            return same;
    }
    fs::path ca = fs::weakly_canonical(fs::absolute(followLinks(a), ec), ec);
    fs::path cb = fs::weakly_canonical(fs::absolute(followLinks(b), ec), ec);
    return ca == cb;
}

bool startsLikeAPreset(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    char magic[4] = {};
    size_t n = std::fread(magic, 1, 4, f);
    std::fclose(f);
    return n == 4 && std::memcmp(magic, "CcnK", 4) == 0;
}

bool checkOneTarget(const NamedFile& t, bool force, std::string& error) {
    const std::string shown = t.role + " " + t.path;
    std::string destination = followLinks(t.path);
    std::error_code ec;
    fs::file_status status = fs::status(destination, ec);
    if (fs::exists(status)) {
        if (fs::is_directory(status))
            return fail(error, shown + ": that is a folder; name a file to write");
        if (!fs::is_regular_file(status)) {
            return fail(error, shown + ": that is a device or pipe, not a regular file; name a file to write");
        }
        // The owner's write bit counts too: the super-user may write anything.
        bool readOnly = (status.permissions() & fs::perms::owner_write) == fs::perms::none;
        if (!force && (readOnly || !hostplatform::isWritable(destination))) {
            return fail(error, shown + ": the file is read-only; pass --force to replace it anyway");
        }
        if (t.preset && !force && fs::file_size(destination, ec) > 0 && !startsLikeAPreset(destination)) {
            return fail(error, shown +
                                   ": the file exists and is no preset file; refusing to replace it "
                                   "(did the option take another file's name?)");
        }
    }
    fs::path folder = folderOf(destination);
    fs::file_status folderStatus = fs::status(folder, ec);
    if (!fs::is_directory(folderStatus)) {
        return fail(error, "cannot create " + t.path + ": the folder " + folder.string() + " does not exist");
    }
    if (!hostplatform::isWritable(folder.string())) {
        return fail(error, "cannot create " + t.path + ": the folder " + folder.string() + " is not writable");
    }
    return true;
}

}  // namespace

std::string followLinks(const std::string& path) {
    fs::path p(path);
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(p, ec)); hops++) {
        fs::path next = fs::read_symlink(p, ec);
        if (ec)
            break;
        p = next.is_absolute() ? next : folderOf(p) / next;
    }
    return p.lexically_normal().string();
}

PendingFile::PendingFile(const std::string& target) : targetPath(target) {
    destinationPath = followLinks(target);
    fs::path d(destinationPath);
    partialPath =
        (folderOf(d) / (partialPrefix + std::to_string(hostplatform::processId()) + "-" + uniqueSuffix())).string();
    if (d.parent_path().empty())
        partialPath = fs::path(partialPath).filename().string();
    cleanupSlot = hostplatform::addCleanupFile(partialPath);
}

PendingFile::~PendingFile() {
    if (!committed) {
        std::error_code ignored;
        fs::remove(partialPath, ignored);
    }
    hostplatform::removeCleanupFile(cleanupSlot);
}

bool PendingFile::commit(std::string& error) {
    std::error_code ec;
    fs::file_status old = fs::status(destinationPath, ec);
    fs::perms mode = fs::exists(old) ? old.permissions() : (fs::perms)hostplatform::newFileMode();
    fs::permissions(partialPath, mode & fs::perms::mask, ec);
    fs::rename(partialPath, destinationPath, ec);
    if (ec)
        return fail(error, "cannot move the finished file to " + targetPath + ": " + ec.message());
    committed = true;
    return true;
}

bool checkTargets(const std::vector<NamedFile>& inputs, const std::vector<NamedFile>& targets, bool force,
                  std::string& error) {
    for (size_t i = 0; i < targets.size(); i++) {
        const NamedFile& t = targets[i];
        for (const NamedFile& in : inputs) {
            if (in.path.empty() || in.path == "-" || !sameFile(t.path, in.path))
                continue;
            return fail(error, t.role + " " + t.path + " would overwrite " + in.role + " " + in.path);
        }
        for (size_t j = 0; j < i; j++) {
            if (sameFile(t.path, targets[j].path)) {
                return fail(error, targets[j].role + " " + targets[j].path + " and " + t.role + " " + t.path +
                                       " name the same file; one would be lost");
            }
        }
        if (!checkOneTarget(t, force, error))
            return false;
    }
    return true;
}

void removeStalePartials(const std::string& target) {
    fs::path destination(followLinks(target));
    const std::string legacy = legacyPartialPrefix(destination);
    std::error_code ec;
    for (fs::directory_iterator it(folderOf(destination), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        long pid = partialOwner(name, partialPrefix);
        if (pid < 0)
            pid = partialOwner(name, legacy);
        // Only a partial whose writer is gone.
        if (pid < 0 || pid == hostplatform::processId() || hostplatform::processAlive(pid))
            continue;
        std::error_code ignored;
        fs::remove(it->path(), ignored);
    }
}

bool commitAll(const std::vector<PendingFile*>& files, std::string& error) {
    // From here on the run ends with what the moves did: a signal arriving now
    // is held until exit, so it cannot claim nothing was replaced.
    hostplatform::holdSignals(true);
    bool ok = true;
    for (PendingFile* f : files) {
        if (f->commit(error))
            continue;
        std::string replaced, kept;
        for (PendingFile* g : files) {
            std::string& list = g->isCommitted() ? replaced : kept;
            list += (list.empty() ? "" : ", ") + g->target();
        }
        error += "; replaced: " + (replaced.empty() ? std::string("none") : replaced) + "; not replaced: " + kept;
        ok = false;
        break;
    }
    return ok;
}

bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& reason) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr)
        return fail(reason, std::strerror(errno));
    errno = 0;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size() && std::fflush(out) == 0;
    int code = errno;
    if (std::fclose(out) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (!ok)
        return fail(reason, code != 0 ? std::strerror(code) : "write error");
    return true;
}

bool writeBytes(PendingFile& file, const std::vector<uint8_t>& bytes, std::string& error) {
    std::string reason;
    if (writeWholeFile(file.path(), bytes, reason))
        return true;
    return fail(error, "cannot write " + file.target() + ": " + reason);
}

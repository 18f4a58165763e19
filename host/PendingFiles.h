// The files a run replaces (the rendered audio, saved presets) and how they
// are replaced: every target is checked before any work is done, each is
// written beside its destination under a partial name of fixed length
// (.corvex.partial-PID-XXXXXXXX, whatever the destination's name is long),
// and all are moved into place together once every one of them
// is complete. A signal or a crash deletes the partial files; a later run
// deletes those of runs that no longer exist. Main thread throughout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A file that becomes its destination only when commit() succeeds; until then
// it is a partial file in the destination's folder, deleted when the object
// goes away or a signal ends the process.
class PendingFile {
public:
    // `target` as the user named it; a symbolic link is followed, so the file
    // it points to is replaced and the link stays.
    explicit PendingFile(const std::string& target);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::string& path() const { return partialPath; }  // where to write
    const std::string& target() const { return targetPath; }
    const std::string& destination() const { return destinationPath; }
    bool isCommitted() const { return committed; }
    // Moves the partial file onto the destination, with the replaced file's
    // permissions (a new file gets the usual ones).
    bool commit(std::string& error);

private:
    std::string targetPath;
    std::string destinationPath;
    std::string partialPath;
    int cleanupSlot = -1;
    bool committed = false;
};

// The file a symbolic link at `path` finally leads to (the path itself when
// it is no link); a dangling link leads to the file it names.
std::string followLinks(const std::string& path);

// A file named on the command line, with the option that named it.
struct NamedFile {
    std::string path;
    std::string role;     // "the input", "--save-fxp", ...
    bool preset = false;  // a preset target: an existing file must be a preset
};

// Refuses, before anything is rendered, a target that is a folder, a device
// or pipe, read-only (unless `force`), in a folder that is missing or not
// writable, the same file as any input or any other target (by name, link or
// inode), or, for a preset target, an existing file that is no preset.
bool checkTargets(const std::vector<NamedFile>& inputs, const std::vector<NamedFile>& targets, bool force,
                  std::string& error);

// Deletes partial files of `target` left by processes that no longer run.
void removeStalePartials(const std::string& target);

// Moves every file into place in order. If a move fails the rest stay
// unreplaced and `error` says which files were and were not replaced.
// Interrupting signals stay held afterwards: the run is over either way.
bool commitAll(const std::vector<PendingFile*>& files, std::string& error);

// Writes a whole file; a failure names the system's reason ("No space left
// on device").
bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& reason);

// Writes `bytes` to a pending file (not committed yet).
bool writeBytes(PendingFile& file, const std::vector<uint8_t>& bytes, std::string& error);

// What corvex-live remembers between sessions: the plug-in's bank and which
// program was playing, kept as one bank file (.fxb, format 2, which carries
// the current program) in the user's configuration folder. The plug-in
// itself keeps no configuration; this is the host's.
//
// Each JACK client name has a session file of its own, held by one running
// corvex-live at a time. A file that cannot be restored is never written
// over: it stays as it was for the user to look at, mend or move away.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/PluginHost.h"

namespace live {

// $XDG_CONFIG_HOME/corvex, else $HOME/.config/corvex; empty when neither is set.
std::string configFolder();

// The state file inside `folder` for the JACK client `clientName`:
// live-session.fxb for the default name "corvex" (and an empty one),
// live-session-NAME.fxb for others, characters other than letters, digits,
// '-', '_' and '.' written as '_'.
std::string stateFile(const std::string& folder, const std::string& clientName = std::string());

enum class LoadResult { loaded, none, refused };

// Restores the bank and program saved last. `none` when there is no file
// yet; `refused` (with a reason) for a damaged file, one of another plug-in,
// or one holding a value the presets' rule refuses (PresetValues.h): the
// plug-in is then as it was before the call. Main thread, before the audio
// starts.
LoadResult loadState(PluginHost& plugin, const std::string& folder, std::string& error,
                     const std::string& clientName = std::string());

// Captures the bank and current program. Main thread.
bool captureState(PluginHost& plugin, std::vector<uint8_t>& bytes, std::string& error);

// Writes the captured bytes so that a crash at any moment leaves either the
// old file or the new one: a temporary file beside the destination, flushed
// to the disk, renamed over the old one, the folder flushed. A session file
// that is a symbolic link stays one: the file it leads to is replaced, with
// its permissions. Main thread.
bool writeStateAtomically(const std::string& folder, const std::vector<uint8_t>& bytes, std::string& error,
                          const std::string& clientName = std::string());

// One run's session: claims the file for this process, restores it, and
// saves the bank whenever it changed. Main thread throughout.
class Session {
public:
    // An empty folder: no session (neither read nor written).
    Session(PluginHost& plugin, const std::string& folder, const std::string& clientName);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Takes the session file for this process. False, with a reason that
    // names the way out, while another corvex-live holds it.
    bool claim(std::string& error);
    // Restores the saved bank and program. A refused file is kept as it is
    // and this session will not write over it (the reason is in `message`).
    LoadResult restore(std::string& message);
    // Saves when the bank or the program changed since the last save or the
    // restore. False with a reason when writing failed.
    bool saveIfChanged(std::string& error);

    bool enabled() const { return !folder.empty(); }
    // A file was refused at restore: nothing is saved in this run.
    bool keptAside() const { return refused; }
    std::string path() const;

private:
    PluginHost& plugin;
    std::string folder;
    std::string clientName;
    std::vector<uint8_t> lastSaved;
    int lockFd = -1;
    bool refused = false;
};

}  // namespace live

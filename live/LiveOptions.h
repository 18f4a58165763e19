// The command line of corvex-live.
#pragma once

#include <string>
#include <vector>

namespace live {

struct LiveOptions {
    std::string pluginPath;               // --plugin; empty: Corvex beside the program
    std::string server;                   // --server; empty: JACK's default ($JACK_DEFAULT_SERVER)
    std::string clientName = "corvex";    // --name
    int inputs = 1;                       // --inputs 1|2: capture ports
    std::vector<std::string> connectIn;   // --in PORT (up to `inputs`)
    std::vector<std::string> connectOut;  // --out PORT (up to two)
    bool autoConnect = true;              // --no-connect turns it off
    bool listPorts = false;               // --list-ports
    bool editor = true;                   // --no-editor
    bool remember = true;                 // --no-session: neither read nor write the saved session
    std::string cabinet;                  // --cab
    double cabinetTrimDb = 0.0;           // --cab-trim
    int program = -1;                     // --program: overrides the remembered one
    double seconds = 0.0;                 // --seconds: end after this long (0: run until told)
    bool help = false;
};

// False with a one-line reason on a malformed command line.
bool parseLiveOptions(int argc, const char* const* argv, LiveOptions& options, std::string& error);

std::string liveUsage();

}  // namespace live

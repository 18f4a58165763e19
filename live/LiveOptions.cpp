#include "live/LiveOptions.h"

#include "host/Options.h"

namespace live {

namespace {

bool fail(std::string& error, const std::string& text) {
    error = text;
    return false;
}

}  // namespace

bool parseLiveOptions(int argc, const char* const* argv, LiveOptions& options, std::string& error) {
    options = LiveOptions();
    bool trimGiven = false;
    for (int i = 1; i < argc; i++) {
        std::string name = argv[i], inlineValue;
        bool hasInline = false;
        const size_t eq = name.find('=');
        if (name.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasInline = true;
        }
        auto value = [&](std::string& out) {
            if (hasInline) {
                out = inlineValue;
            } else {
                if (i + 1 >= argc)
                    return fail(error, name + " needs a value");
                out = argv[++i];
            }
            if (out.empty())
                return fail(error, name + " needs a value");
            return true;
        };
        auto flag = [&](bool& target, bool to) {
            if (hasInline)
                return fail(error, name + " takes no value");
            target = to;
            return true;
        };
        std::string v;
        long n = 0;
        double x = 0.0;
        bool ok = true;
        if (name == "-h" || name == "--help") {
            ok = flag(options.help, true);
        } else if (name == "--list-ports") {
            ok = flag(options.listPorts, true);
        } else if (name == "--no-editor") {
            ok = flag(options.editor, false);
        } else if (name == "--no-connect") {
            ok = flag(options.autoConnect, false);
        } else if (name == "--no-session") {
            ok = flag(options.remember, false);
        } else if (name == "--plugin") {
            ok = value(options.pluginPath);
        } else if (name == "--server") {
            ok = value(options.server);
        } else if (name == "--name") {
            ok = value(options.clientName);
        } else if (name == "--cab") {
            ok = value(options.cabinet);
        } else if (name == "--cab-trim") {
            ok = value(v) && parseCabinetTrim(v, options.cabinetTrimDb, error);
            trimGiven = true;
        } else if (name == "--inputs") {
            ok = value(v);
            if (ok && (!parseInteger(v, n) || n < 1 || n > 2))
                ok = fail(error, "--inputs wants 1 (mono guitar) or 2 (stereo), got \"" + v + "\"");
            options.inputs = (int)n;
        } else if (name == "--in" || name == "--out") {
            ok = value(v);
            (name == "--in" ? options.connectIn : options.connectOut).push_back(v);
        } else if (name == "--program") {
            ok = value(v);
            if (ok && (!parseInteger(v, n) || n < 0 || n > 1000000))
                ok = fail(error, "--program wants a program number, got \"" + v + "\"");
            options.program = (int)n;
        } else if (name == "--seconds") {
            ok = value(v);
            if (ok && (!parseReal(v, x) || x <= 0.0 || x > 1e7))
                ok = fail(error, "--seconds wants a duration above 0, got \"" + v + "\"");
            options.seconds = x;
        } else {
            ok = fail(error, "unknown option " + name + " (see --help)");
        }
        if (!ok)
            return false;
    }
    if (trimGiven && options.cabinet.empty())
        return fail(error, "--cab-trim needs --cab FILE");
    if ((int)options.connectIn.size() > options.inputs)
        return fail(error, "more --in ports than inputs (use --inputs 2 for a stereo source)");
    if (options.connectOut.size() > 2)
        return fail(error, "two --out ports at most (left and right)");
    return true;
}

std::string liveUsage() {
    return R"(Usage: corvex-live [options]

Plays the Corvex amp head live as a JACK client (JACK, or PipeWire's JACK):
capture ports in, the plug-in, optionally a speaker cabinet, two playback
ports out. The editor opens in a window of its own. Ends on Ctrl-C, when
the window is closed, or when the JACK server goes away.

Options:
  --list-ports        list the server's ports and end
  --inputs N          capture ports: 1 (a guitar, default) or 2 (stereo)
  --in PORT           connect an input to PORT (repeat for the second)
  --out PORT          connect an output to PORT (repeat: left, then right)
  --no-connect        connect nothing by itself (default: the first
                      physical capture ports and the first two playback ports)
  --cab FILE          a speaker cabinet: impulse response to convolve with
                      (mono or stereo, any file libsndfile reads), e.g.
                      --cab corvex-4x12 (the bundled one, by name)
  --cab-trim DB       level trim after the cabinet, -60 to +24 (default 0)
  --program N         start on program N
  --no-editor         run without a window (headless)
  --no-session        neither restore nor save the last bank and program
                      (kept in $XDG_CONFIG_HOME/corvex, or ~/.config/corvex,
                      one file per client name; a file that cannot be
                      restored is kept as it is and not saved over)
  --seconds N         end after N seconds
  --server NAME       the JACK server to join (default: $JACK_DEFAULT_SERVER
                      or the default server)
  --name NAME         the client's name (default corvex); each name has a
                      session of its own, used by one corvex-live at a time
  --plugin PATH       plug-in library (default: ../plugin/Corvex.so
                      relative to this program in a build, else the
                      installed one, e.g. /usr/lib/vst/Corvex.so)
  -h, --help          this text

The status line on the terminal shows JACK's DSP load, the xruns so far,
the output peak and the session's rate and period.
)";
}

}  // namespace live

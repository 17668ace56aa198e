// One plug-in job through the headless host, as the command-line tool runs
// it: load the plug-in, run one server with the user played by a script,
// then judge the run (messages, script misses, left-over actions) and turn it
// into the tool's exit status.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "host.h"
#include "ui_script.h"

namespace lwcli {

// Exit statuses of the tool.
inline constexpr int EXIT_DONE = 0;
inline constexpr int EXIT_PLUGIN_ERROR = 1;   // the plug-in reported an error, or the output could not be written
inline constexpr int EXIT_USAGE = 2;          // bad arguments or a script that does not fit the panel
inline constexpr int EXIT_BAD_INPUT = 3;      // an input file that cannot be read

// "lwhost: <text>" on standard error.
void say(const std::string& text);

struct Options {
    std::string plugin_dir;   // --plugins; empty: beside the executable, then the build tree
    std::string log_file;     // --log; empty: no command log is written
    bool verbose = false;     // -v
};

// The plug-in file for a name ("rigwriter") or a path; empty with `error`
// set when there is none.
std::string find_plugin(const std::string& plugin, const Options& options, std::string& error);

// Loads the plug-in into the host; EXIT_DONE, or an exit status after saying why.
int load_plugin(lwhost::Host& host, const std::string& plugin, const Options& options);

// Runs `server` of a loaded plug-in with the host's script, prints every
// message the plug-in showed, and checks that the script was carried out
// as written. Returns the exit status.
int run_server(lwhost::Host& host, const std::string& server, const Options& options);

// Reads an input scene (.lws) or object (.lwo) into the host's scene. Says
// why and returns EXIT_BAD_INPUT when it cannot; the index of the first mesh
// loaded goes to `first_mesh`. A scene's object files that cannot be read are
// said and listed in `out_warnings`; the rest of the scene still loads.
int load_input(lwhost::Host& host, const std::string& file, int& first_mesh,
               std::vector<std::string>* out_warnings = nullptr);

// A readable regular file, or EXIT_BAD_INPUT after saying why.
int check_readable(const std::string& file);

// What an SMD file holds, for -v.
struct SmdSummary {
    bool read = false;
    long nodes = 0, triangles = 0, materials = 0;
};
SmdSummary summarize_smd(const std::string& file);
std::string describe(const SmdSummary& summary);

}  // namespace lwcli

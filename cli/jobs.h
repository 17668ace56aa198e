// One plug-in job through the headless host, as the command-line tool runs
// it: load the plug-in, run one server with the user played by a script,
// then judge the run (messages, script misses, left-over actions) and turn it
// into the tool's exit status.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "host.h"
#include "panels.h"
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
    std::string log_file;     // --log; empty: no command log is kept or written
    bool verbose = false;     // -v
    bool show_panel = false;  // --show-panel: print each panel as it opens
};

// A host for one job: it keeps the command log and every panel view only
// when the command log is asked for.
void prepare_host(lwhost::Host& host, const Options& options);

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

// What an SMD file holds ("12 triangles, ..."), for -v.
std::string smd_contents(const std::string& file);

// A panel as the user sees it: title, then one line per control with its
// value, popup items and list rows, controls named as a script names them.
std::string panel_text(const lwhost::PanelRecord& panel, const lwhost::PanelView& view);

}  // namespace lwcli

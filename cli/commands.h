// The tool's commands. Each job takes its settings already read from the
// command line, so that the demo can run the same jobs in order.
#pragma once

#include <string>

#include "arguments.h"
#include "jobs.h"

namespace lwcli {

int info_job(const Settings& s, const Options& options);
int run_job(const Settings& s, const Options& options);
int import_mesh_job(const Settings& s, const Options& options);
int import_skeleton_job(const Settings& s, const Options& options);
int export_ref_job(const Settings& s, const Options& options);
int export_mesh_job(const Settings& s, const Options& options);
int export_anim_job(const Settings& s, const Options& options);
int uv_template_job(const Settings& s, const Options& options);
int demo_job(const Settings& s, const Options& options);

struct Command {
    const char* name;
    const char* summary;                       // one line for the tool's help
    const char* help;                          // the command's --help
    std::vector<std::string> flags;            // the flags it accepts
    int (*job)(const Settings&, const Options&);
};

// Every command, in the order the help lists them.
const std::vector<Command>& commands();

}  // namespace lwcli

// lwhost: runs the plug-ins from the command line through the headless host.
// Each command is one job: one server, its panel answered from flags, its
// file requester answered with the output path.
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "jobs.h"

using namespace lwcli;

namespace {

void print_tool_help() {
    std::cout << "usage: lwhost [--plugins DIR] [--log FILE] [-v] [--show-panel] COMMAND ARGS...\n\ncommands:\n";
    for (const Command& command : commands()) {
        std::string name = command.name;
        name.resize(17, ' ');
        std::cout << "  " << name << command.summary << '\n';
    }
    std::cout << "\n"
                 "  --plugins DIR   where plug-ins are looked up by name (default: beside lwhost)\n"
                 "  --log FILE      keep the command texts the plug-in sent and write them to FILE\n"
                 "  -v              say what was read and written\n"
                 "  --show-panel    print each panel as it opens, before the flags act on it\n"
                 "Exit status: 0 done, 1 the plug-in reported an error, 2 usage or script error,\n"
                 "3 an input that cannot be read. 'lwhost COMMAND --help' for each command.\n";
}

const Command* find_command(const std::string& name) {
    for (const Command& command : commands())
        if (name == command.name) return &command;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::vector<std::string> rest;
    std::string name;
    try {
        // The tool's own flags may stand anywhere; everything else after the
        // command word belongs to the command.
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            auto value = [&](const std::string& flag) {
                if (i + 1 >= argc) throw UsageError{flag + " needs a value"};
                return std::string(argv[++i]);
            };
            if (arg == "--plugins") options.plugin_dir = value(arg);
            else if (arg == "--log") options.log_file = value(arg);
            else if (arg == "-v" || arg == "--verbose") options.verbose = true;
            else if (arg == "--show-panel") options.show_panel = true;
            else if (name.empty() && (arg == "--help" || arg == "-h")) {
                print_tool_help();
                return EXIT_DONE;
            } else if (name.empty() && arg.size() > 1 && arg[0] == '-') throw UsageError{"unknown option " + arg};
            else if (name.empty()) name = arg;
            else rest.push_back(arg);
        }
        if (name.empty()) throw UsageError{"no command"};
        const Command* command = find_command(name);
        if (!command) throw UsageError{"unknown command \"" + name + "\""};
        Arguments args(rest);
        const Settings settings = parse_settings(args, command->flags);
        if (settings.help) {
            std::cout << command->help;
            return EXIT_DONE;
        }
        return command->job(settings, options);
    } catch (const UsageError& error) {
        say(error.text);
        std::cerr << "Try 'lwhost " << (name.empty() ? "" : name + " ") << "--help'.\n";
        return EXIT_USAGE;
    } catch (const std::bad_alloc&) {
        say("out of memory");
        return EXIT_PLUGIN_ERROR;
    } catch (const std::exception& error) {
        say(error.what());
        return EXIT_PLUGIN_ERROR;
    }
}

#include "jobs.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <system_error>

#include "formats/lwo2.h"
#include "formats/lws.h"
#include "loader.h"
#include "panels.h"

namespace lwcli {

namespace fs = std::filesystem;

void say(const std::string& text) { std::cerr << "lwhost: " << text << '\n'; }

namespace {

std::string executable_dir() {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.parent_path().string();
}

bool is_path(const std::string& plugin) {
    return plugin.find('/') != std::string::npos || fs::path(plugin).extension() == ".so";
}

// A script action the host could not carry out leaves a note; these are the
// ones that mean the script does not fit what the plug-in showed.
bool is_script_miss(const std::string& note) {
    return note.find("; skipped: ") != std::string::npos ||
           note.find("the script has no answer") != std::string::npos ||
           note.find("does not fit bufLen") != std::string::npos;
}

std::string control_name(const lwhost::ControlView& control, std::vector<std::string>& seen_types) {
    if (!control.label.empty()) return "\"" + control.label + "\"";
    int index = 0;
    for (const std::string& type : seen_types) index += type == control.type;
    seen_types.push_back(control.type);
    return control.type + "#" + std::to_string(index);
}

// The controls of every panel the plug-in opened, as a script names them.
void list_panel_controls(const lwhost::Host& host) {
    for (const lwhost::PanelRecord& panel : host.panel_log()) {
        say("panel \"" + panel.title + "\" has these controls:");
        std::vector<std::string> seen_types;
        for (const lwhost::ControlView& control : panel.last_view().controls) {
            std::string line = "  " + control_name(control, seen_types) + " (" + control.type;
            if (!control.items.empty()) {
                line += ": ";
                for (std::size_t i = 0; i < control.items.size(); ++i)
                    line += (i ? ", \"" : "\"") + control.items[i] + "\"";
            }
            if (!control.rows.empty()) line += ", " + std::to_string(control.rows.size()) + " rows";
            if (!control.visible) line += ", hidden";
            if (control.ghosted) line += ", ghosted";
            std::cerr << line << ")\n";
        }
    }
}

void write_command_log(const lwhost::Host& host, const std::string& file) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    for (std::string_view text : host.command_log) out << text << '\n';
    out.close();
    if (!out) say("cannot write the command log to " + file);
}

std::string message_text(const lwhost::Message& message) {
    std::string text = message.line1;
    if (message.has_line2 && !message.line2.empty()) text += " " + message.line2;
    return text;
}

}  // namespace

std::string find_plugin(const std::string& plugin, const Options& options, std::string& error) {
    if (is_path(plugin)) {
        if (fs::is_regular_file(plugin)) return plugin;
        error = "no plug-in file " + plugin;
        return {};
    }
    std::vector<std::string> folders;
    if (!options.plugin_dir.empty()) {
        folders.push_back(options.plugin_dir);
    } else {
        if (std::string here = executable_dir(); !here.empty()) folders.push_back(here);
        folders.push_back(LWHOST_BUILD_PLUGIN_DIR);
    }
    for (const std::string& folder : folders) {
        fs::path candidate = fs::path(folder) / (plugin + ".so");
        if (fs::is_regular_file(candidate)) return candidate.string();
    }
    error = "no plug-in named " + plugin + " in";
    for (const std::string& folder : folders) error += " " + folder;
    return {};
}

int load_plugin(lwhost::Host& host, const std::string& plugin, const Options& options) {
    std::string error;
    std::string file = find_plugin(plugin, options, error);
    if (file.empty()) {
        say(error);
        return EXIT_USAGE;
    }
    if (!host.plugins().load(file, &error)) {
        say("cannot load plug-in: " + error);
        return EXIT_BAD_INPUT;
    }
    return EXIT_DONE;
}

int run_server(lwhost::Host& host, const std::string& server, const Options& options) {
    const lwhost::PluginServer* found = nullptr;
    for (const auto& module : host.plugins().modules())
        for (const lwhost::PluginServer& entry : module->servers)
            if (entry.name == server && !found) found = &entry;
    if (!found) {
        say("the plug-in has no server \"" + server + "\" (lwhost info lists them)");
        return EXIT_USAGE;
    }
    int result;
    if (found->class_name == "LayoutGeneric") {
        result = host.run_generic(server);
    } else if (found->class_name == "CommandSequence") {
        result = host.run_command(server);
    } else {
        say("\"" + server + "\" is a " + found->class_name + " server, which the tool cannot run on its own");
        return EXIT_USAGE;
    }
    if (!options.log_file.empty()) write_command_log(host, options.log_file);

    int status = EXIT_DONE;
    for (const lwhost::Message& message : host.messages) {
        say(server + ": " + message_text(message));
        if (message.level == lwhost::MessageLevel::Error) status = EXIT_PLUGIN_ERROR;
    }
    bool misfit = false;
    for (const std::string& note : host.diagnostics) {
        if (!is_script_miss(note)) continue;
        say(server + ": script: " + note);
        misfit = true;
    }
    // A plug-in that reports an error returns early; the actions it never
    // reached are a consequence, not a script that does not fit.
    if (!host.script().finished() && status == EXIT_DONE) {
        const auto& actions = host.script().actions();
        say(server + ": script: " + std::to_string(actions.size() - host.script().consumed()) +
            " action(s) left when the plug-in returned, from: " +
            lwhost::action_text(actions[host.script().consumed()]));
        misfit = true;
    }
    if (misfit) {
        list_panel_controls(host);
        return EXIT_USAGE;
    }
    if (result != 0 && status == EXIT_DONE) {
        say(server + ": the plug-in returned " + std::to_string(result));
        status = EXIT_PLUGIN_ERROR;
    }
    return status;
}

int check_readable(const std::string& file) {
    std::error_code error;
    if (!fs::exists(file, error)) {
        say(file + ": no such file");
        return EXIT_BAD_INPUT;
    }
    if (!fs::is_regular_file(file, error)) {
        say(file + ": not a regular file");
        return EXIT_BAD_INPUT;
    }
    if (::access(file.c_str(), R_OK) != 0) {
        say(file + ": cannot be read");
        return EXIT_BAD_INPUT;
    }
    return EXIT_DONE;
}

int load_input(lwhost::Host& host, const std::string& file, int& first_mesh, std::vector<std::string>* out_warnings) {
    if (int status = check_readable(file); status != EXIT_DONE) return status;
    std::string extension = fs::path(file).extension().string();
    for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
    try {
        if (extension == ".lws") {
            const std::size_t before = host.scene.meshes.size();
            for (const std::string& warning : lwhost::load_lws(host.scene, file)) {
                say(warning);
                if (out_warnings) out_warnings->push_back(warning);
            }
            first_mesh = host.scene.meshes.size() > before ? int(before) : -1;
        } else {
            // An object file on its own is its own scene: one object item
            // showing it, named as a scene would name it.
            first_mesh = lwhost::load_lwo2(host.scene, fs::absolute(file));
            host.scene.add_object(fs::path(file).stem().string(), first_mesh, 0);
        }
    } catch (const lwhost::FileFormatError& error) {
        say(error.what());
        return EXIT_BAD_INPUT;
    } catch (const std::bad_alloc&) {
        say(file + ": out of memory while reading it");
        return EXIT_BAD_INPUT;
    }
    return EXIT_DONE;
}

SmdSummary summarize_smd(const std::string& file) {
    SmdSummary summary;
    std::ifstream in(file);
    if (!in) return summary;
    summary.read = true;
    enum { None, Nodes, Triangles, Other } section = None;
    std::set<std::string> materials;
    int vertex_lines = 0;
    std::string line;
    while (std::getline(in, line)) {
        // Other programs' files may carry blanks around a keyword or write it in capitals.
        const std::size_t first = line.find_first_not_of(" \t\r");
        line = first == std::string::npos ? std::string() : line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
        std::string keyword = line;
        for (char& c : keyword) c = char(std::tolower(static_cast<unsigned char>(c)));
        if (section == None) {
            if (keyword == "nodes") section = Nodes;
            else if (keyword == "triangles") section = Triangles;
            else if (keyword == "skeleton" || keyword == "vertexanimation") section = Other;
            continue;
        }
        if (keyword == "end") {
            section = None;
            continue;
        }
        if (line.empty()) continue;
        if (section == Nodes) {
            ++summary.nodes;
        } else if (section == Triangles) {
            if (vertex_lines == 0) {
                materials.insert(line);
                ++summary.triangles;
                vertex_lines = 3;
            } else {
                --vertex_lines;
            }
        }
    }
    summary.materials = long(materials.size());
    return summary;
}

std::string describe(const SmdSummary& summary) {
    return std::to_string(summary.triangles) + " triangles, " + std::to_string(summary.materials) +
           " materials, " + std::to_string(summary.nodes) + " nodes";
}

}  // namespace lwcli

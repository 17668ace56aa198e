#include "jobs.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <system_error>
#include <thread>

#include "formats/lwo2.h"
#include "formats/lws.h"
#include "loader.h"
#include "panels.h"
#include "smd_model.h"

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

// Controls are named as a script names them: by label, or as type#n for
// the n-th unlabelled control of a type.
std::vector<std::string> control_names(const lwhost::PanelView& view) {
    std::vector<std::string> names;
    std::vector<std::string> seen_types;
    for (const lwhost::ControlView& control : view.controls) {
        if (!control.label.empty()) {
            names.push_back("\"" + control.label + "\"");
            continue;
        }
        int index = 0;
        for (const std::string& type : seen_types) index += type == control.type;
        seen_types.push_back(control.type);
        names.push_back(control.type + "#" + std::to_string(index));
    }
    return names;
}

std::string quoted_list(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) text += (i ? ", \"" : "\"") + items[i] + "\"";
    return text;
}

// The controls of every panel the plug-in opened, as a script names them.
void list_panel_controls(const lwhost::Host& host) {
    for (const lwhost::PanelRecord& panel : host.panel_log()) {
        say("panel \"" + panel.title + "\" has these controls:");
        const lwhost::PanelView& view = panel.last_view();
        const std::vector<std::string> names = control_names(view);
        for (std::size_t i = 0; i < view.controls.size(); ++i) {
            const lwhost::ControlView& control = view.controls[i];
            std::string line = "  " + names[i] + " (" + control.type;
            if (!control.items.empty()) line += ": " + quoted_list(control.items);
            if (!control.rows.empty()) line += ", " + std::to_string(control.rows.size()) + " rows";
            if (!control.visible) line += ", hidden";
            if (control.ghosted) line += ", ghosted";
            std::cerr << line << ")\n";
        }
    }
}

// Shows the time a job has been running on a terminal, from one second on,
// so that a long job is not taken for a hung one.
class ProgressTicker {
public:
    explicit ProgressTicker(std::string server) : server_(std::move(server)) {
        if (::isatty(STDERR_FILENO)) thread_ = std::thread([this] { tick(); });
    }
    ~ProgressTicker() {
        if (!thread_.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopped_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

private:
    void tick() {
        std::unique_lock<std::mutex> lock(mutex_);
        bool shown = false;
        for (int seconds = 1; !wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stopped_; }); ++seconds) {
            std::cerr << "\rlwhost: " << server_ << ": working, " << seconds << " s" << std::flush;
            shown = true;
        }
        if (shown) std::cerr << "\r\033[K" << std::flush;
    }

    std::string server_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopped_ = false;
    std::thread thread_;
};

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

void prepare_host(lwhost::Host& host, const Options& options) {
    host.keep_records = !options.log_file.empty();
    host.script().stop_on_miss = true;
    if (options.show_panel)
        host.panels().on_open = [](const lwhost::PanelRecord& panel) {
            std::cout << panel_text(panel, panel.views.front()) << std::flush;
        };
}

std::string panel_text(const lwhost::PanelRecord& panel, const lwhost::PanelView& view) {
    std::string text = "panel \"" + panel.title + "\"\n";
    const std::vector<std::string> names = control_names(view);
    for (std::size_t i = 0; i < view.controls.size(); ++i) {
        const lwhost::ControlView& control = view.controls[i];
        if (!control.visible) continue;
        std::string line = "  " + names[i];
        switch (control.value_kind) {
        case lwhost::ViewValue::None: break;
        case lwhost::ViewValue::Int:
            if (control.type == "MultiListBoxControl") break;   // its rows below say more than the selected row
            if (control.type == "BoolControl") line += control.int_value ? " = on" : " = off";
            else if (!control.items.empty() && control.int_value >= 0 && std::size_t(control.int_value) < control.items.size())
                line += " = \"" + control.items[std::size_t(control.int_value)] + "\"";
            else if (control.type != "ButtonControl") line += " = " + std::to_string(control.int_value);
            break;
        case lwhost::ViewValue::Float: {
            char number[32];
            std::snprintf(number, sizeof number, "%g", control.float_value);
            line += std::string(" = ") + number;
            break;
        }
        case lwhost::ViewValue::Rgb:
            line += " = " + std::to_string(control.rgb[0]) + " " + std::to_string(control.rgb[1]) + " " +
                    std::to_string(control.rgb[2]);
            break;
        case lwhost::ViewValue::Text: line += " = \"" + control.text + "\""; break;
        }
        if (control.type == "ButtonControl") line += " [button]";
        if (control.ghosted) line += " (ghosted)";
        if (!control.items.empty()) line += "  items: " + quoted_list(control.items);
        text += line + "\n";
        for (const std::string& extra : control.lines)
            if (!extra.empty() && "\"" + extra + "\"" != names[i]) text += "      " + extra + "\n";
        if (!control.header.empty()) {
            std::string row_text;
            for (const std::string& cell : control.header) row_text += (row_text.empty() ? "" : " | ") + cell;
            text += "      " + row_text + "\n";
        }
        for (const auto& row : control.rows) {
            std::string row_text;
            for (const std::string& cell : row) row_text += (row_text.empty() ? "" : " | ") + cell;
            text += "      " + row_text + "\n";
        }
    }
    return text;
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
    if (found->class_name != "LayoutGeneric" && found->class_name != "CommandSequence") {
        say("\"" + server + "\" is a " + found->class_name + " server, which the tool cannot run on its own");
        return EXIT_USAGE;
    }
    int result;
    {
        ProgressTicker ticker(server);
        result = found->class_name == "LayoutGeneric" ? host.run_generic(server) : host.run_command(server);
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
    if (!host.script().finished() && !host.script().abandoned() && status == EXIT_DONE) {
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

std::string smd_contents(const std::string& file) {
    SmdModel model;
    std::string error;
    return read_smd_model(file, model, error) ? describe(model) : error;
}

}  // namespace lwcli

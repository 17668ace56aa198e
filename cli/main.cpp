// lwhost: runs the plug-ins from the command line through the headless host.
// Each sub-command is one job: one server, its panel answered from flags, its
// file requester answered with the output path.
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "formats/lwo2.h"
#include "host.h"
#include "jobs.h"
#include "loader.h"
#include "ui_script.h"

namespace fs = std::filesystem;
using namespace lwcli;

namespace {

constexpr char kToolHelp[] =
    "usage: lwhost [--plugins DIR] [--log FILE] [-v] COMMAND ARGS...\n"
    "\n"
    "commands:\n"
    "  info PLUGIN                 list the plug-in's servers (class and name)\n"
    "  run PLUGIN SERVER [--scene FILE] --script FILE\n"
    "                              run any server, the user played by a script\n"
    "  import-mesh REF.smd -o OUT.lwo   an SMD reference file's triangles as an object file\n"
    "  export-ref INPUT.lws|INPUT.lwo -o OUT.smd   a reference mesh with its skeleton\n"
    "  export-mesh INPUT.lwo -o OUT.smd            a static mesh under one root node\n"
    "\n"
    "PLUGIN is a plug-in's name (rigwriter) or the path of a plug-in file.\n"
    "  --plugins DIR   where plug-ins are looked up by name (default: beside lwhost)\n"
    "  --log FILE      write the command texts the plug-in sent to FILE\n"
    "  -v              say what was read and written\n"
    "Exit status: 0 done, 1 the plug-in reported an error, 2 usage or script error,\n"
    "3 an input that cannot be read. 'lwhost COMMAND --help' for each command.\n";

constexpr char kInfoHelp[] = "usage: lwhost info PLUGIN\n  Lists the servers of the plug-in, one a line: class, a tab, name.\n";
constexpr char kRunHelp[] =
    "usage: lwhost run PLUGIN SERVER [--scene FILE] --script FILE\n"
    "  Runs SERVER with the user played by the script FILE (see docs/host-panels.md).\n"
    "  --scene FILE   load a scene (.lws) or an object (.lwo) first; its first object\n"
    "                 is selected (Layout) and current (Modeler)\n"
    "  An action that fits no control, or actions left when the plug-in returns,\n"
    "  are errors (exit 2) and the panel's controls are listed.\n";
constexpr char kImportHelp[] =
    "usage: lwhost import-mesh REF.smd -o OUT.lwo [--scale F | --no-scale] [--no-weights]\n"
    "  --scale F      scale the geometry by F (default: the panel's 0.025)\n"
    "  --no-scale     keep the file's units\n"
    "  --no-weights   do not make weight maps from the bone links\n";
constexpr char kExportRefHelp[] =
    "usage: lwhost export-ref INPUT.lws|INPUT.lwo -o OUT.smd [--object NAME]\n"
    "         [--group-by uv|surface|texture] [--no-verify-uv] [--no-null-bones]\n"
    "         [--scale F | --no-scale]\n"
    "  --object NAME   the object to export (default: the scene's first object)\n"
    "  --group-by      name triangle materials by UV map, surface or texture image\n"
    "                  (default: the panel's first choice)\n"
    "  --no-verify-uv  write triangles without UV information too\n"
    "  --no-null-bones leave out bones that no point is linked to\n"
    "  --scale F       scale the geometry by F (default: the panel's 40);\n"
    "                  --no-scale keeps the scene's units\n";
constexpr char kExportMeshHelp[] =
    "usage: lwhost export-mesh INPUT.lwo -o OUT.smd [--layers all|foreground]\n"
    "         [--group-by uv|surface|texture] [--no-verify-uv] [--scale F | --no-scale]\n"
    "  --layers        every layer (default) or only the foreground layer\n"
    "  --group-by      name triangle materials by UV map, surface or texture image\n"
    "  --no-verify-uv  write triangles without UV information too\n"
    "  --scale F       scale the geometry by F (default: the panel's 40);\n"
    "                  --no-scale keeps the object's units\n";

struct UsageError {
    std::string text;
};

// The arguments after the command word, taken one at a time.
class Arguments {
public:
    explicit Arguments(std::vector<std::string> args) : args_(std::move(args)) {}
    bool done() const { return next_ >= args_.size(); }
    std::string take() { return args_[next_++]; }
    std::string value_of(const std::string& flag) {
        if (done()) throw UsageError{flag + " needs a value"};
        return take();
    }

private:
    std::vector<std::string> args_;
    std::size_t next_ = 0;
};

double parse_scale(const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    auto [next, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc{} || next != end || !std::isfinite(value))
        throw UsageError{"--scale needs a number, not \"" + text + "\""};
    return value;
}

// Panel settings shared by the commands; unset ones keep the panel's defaults.
struct Settings {
    std::string output;
    std::string object;
    std::string group_by;   // "uv", "surface", "texture"
    std::string layers;     // "all", "foreground"
    bool scale_given = false, no_scale = false, no_verify = false, no_null_bones = false, no_weights = false;
    double scale = 0;
    bool help = false;
};

// Reads the flags a command accepts (`accepted` lists them) and its
// positional arguments.
Settings parse_settings(Arguments& args, const std::vector<std::string>& accepted, std::vector<std::string>& positional) {
    Settings s;
    auto accepts = [&](const std::string& flag) {
        for (const std::string& a : accepted)
            if (a == flag) return true;
        return false;
    };
    while (!args.done()) {
        std::string arg = args.take();
        if (arg == "--help" || arg == "-h") { s.help = true; continue; }
        if (arg.size() > 1 && arg[0] == '-' && !accepts(arg)) throw UsageError{"unknown option " + arg};
        if (arg == "-o") s.output = args.value_of(arg);
        else if (arg == "--object") s.object = args.value_of(arg);
        else if (arg == "--group-by") {
            s.group_by = args.value_of(arg);
            if (s.group_by != "uv" && s.group_by != "surface" && s.group_by != "texture")
                throw UsageError{"--group-by takes uv, surface or texture, not \"" + s.group_by + "\""};
        } else if (arg == "--layers") {
            s.layers = args.value_of(arg);
            if (s.layers != "all" && s.layers != "foreground")
                throw UsageError{"--layers takes all or foreground, not \"" + s.layers + "\""};
        } else if (arg == "--scale") {
            s.scale = parse_scale(args.value_of(arg));
            s.scale_given = true;
        } else if (arg == "--no-scale") s.no_scale = true;
        else if (arg == "--no-verify-uv") s.no_verify = true;
        else if (arg == "--no-null-bones") s.no_null_bones = true;
        else if (arg == "--no-weights") s.no_weights = true;
        else positional.push_back(arg);
    }
    if (s.scale_given && s.no_scale) throw UsageError{"--scale and --no-scale do not go together"};
    return s;
}

void add_scale(lwhost::UiScript& script, const Settings& s) {
    if (s.no_scale) script.set("Scale geometry:", 0);
    if (s.scale_given) script.set("Scale geometry:", 1).set(lwhost::unlabelled("float", 0), s.scale);
}

void add_group_by(lwhost::UiScript& script, const Settings& s) {
    if (s.group_by.empty()) return;
    const char* item = s.group_by == "uv" ? "UV Texture Map Name"
                       : s.group_by == "surface" ? "Surface Name"
                                                 : "Surface Texture Image Name";
    script.pick("Group Triangles by:", item);
}

// The output's folder must exist before a job starts, so that a long job
// does not end in nothing.
int check_output(const std::string& output) {
    if (output.empty()) throw UsageError{"-o OUT is needed"};
    fs::path folder = fs::absolute(output).parent_path();
    if (fs::is_directory(folder)) return EXIT_DONE;
    say(output + ": the folder " + folder.string() + " does not exist");
    return EXIT_PLUGIN_ERROR;
}

int written_or_not(const std::string& server, const std::string& output, const Options& options) {
    if (!fs::exists(output)) {
        say(server + ": nothing was written to " + output);
        return EXIT_PLUGIN_ERROR;
    }
    if (options.verbose) say("wrote " + output + ": " + describe(summarize_smd(output)));
    return EXIT_DONE;
}

int cmd_info(Arguments& args, const Options& options) {
    std::vector<std::string> positional;
    Settings s = parse_settings(args, {}, positional);
    if (s.help) { std::cout << kInfoHelp; return EXIT_DONE; }
    if (positional.size() != 1) throw UsageError{"info takes one PLUGIN"};
    lwhost::Host host;
    if (int status = load_plugin(host, positional[0], options); status != EXIT_DONE) return status;
    for (const auto& module : host.plugins().modules())
        for (const lwhost::PluginServer& server : module->servers)
            std::cout << server.class_name << '\t' << server.name << '\n';
    return EXIT_DONE;
}

bool has_polygons(const lwhost::MeshObject& object) {
    for (const lwhost::Layer& layer : object.layers)
        if (!layer.polygons.empty()) return true;
    return false;
}

// The first object of the scene that shows a mesh, or the one named `name`.
lwhost::ItemId choose_object(const lwhost::Scene& scene, const std::string& name) {
    std::string names;
    for (lwhost::ItemId id : scene.items(lwhost::ItemType::Object)) {
        const lwhost::Item* item = scene.item(id);
        if (!item || item->mesh < 0) continue;
        if (name.empty() || item->name == name) return id;
        names += names.empty() ? "" : ", ";
        names += "\"" + item->name + "\"";
    }
    if (name.empty()) throw UsageError{"the scene has no object with a mesh"};
    throw UsageError{"no object named \"" + name + "\"" + (names.empty() ? "" : "; the objects are " + names)};
}

int cmd_run(Arguments& args, const Options& options) {
    std::vector<std::string> positional;
    std::string scene_file, script_file;
    while (!args.done()) {
        std::string arg = args.take();
        if (arg == "--help" || arg == "-h") { std::cout << kRunHelp; return EXIT_DONE; }
        if (arg == "--scene") scene_file = args.value_of(arg);
        else if (arg == "--script") script_file = args.value_of(arg);
        else if (arg.size() > 1 && arg[0] == '-') throw UsageError{"unknown option " + arg};
        else positional.push_back(arg);
    }
    if (positional.size() != 2) throw UsageError{"run takes PLUGIN SERVER"};
    if (script_file.empty()) throw UsageError{"run needs --script FILE"};
    if (int status = check_readable(script_file); status != EXIT_DONE) return status;
    std::ifstream in(script_file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();

    lwhost::Host host;
    std::string error;
    if (host.script().append_text(text.str(), error) != lwhost::SCRIPT_OK) {
        say(script_file + ": " + error);
        return EXIT_USAGE;
    }
    if (int status = load_plugin(host, positional[0], options); status != EXIT_DONE) return status;
    if (!scene_file.empty()) {
        int mesh = -1;
        if (int status = load_input(host, scene_file, mesh); status != EXIT_DONE) return status;
        host.scene.current_mesh = mesh;
        for (lwhost::ItemId id : host.scene.items(lwhost::ItemType::Object)) {
            host.scene.selection = {id};
            break;
        }
    }
    return run_server(host, positional[1], options);
}

int cmd_import_mesh(Arguments& args, const Options& options) {
    std::vector<std::string> positional;
    Settings s = parse_settings(args, {"-o", "--scale", "--no-scale", "--no-weights"}, positional);
    if (s.help) { std::cout << kImportHelp; return EXIT_DONE; }
    if (positional.size() != 1) throw UsageError{"import-mesh takes one REF.smd"};
    if (int status = check_output(s.output); status != EXIT_DONE) return status;
    const std::string& input = positional[0];
    if (int status = check_readable(input); status != EXIT_DONE) return status;

    constexpr char kServer[] = "SMD Mesh Import";
    lwhost::Host host;
    if (int status = load_plugin(host, "shapereader", options); status != EXIT_DONE) return status;
    const int mesh = host.scene.add_mesh(fs::absolute(s.output).string());
    host.scene.current_mesh = mesh;
    lwhost::UiScript& script = host.script();
    add_scale(script, s);
    if (s.no_weights) script.set("Import weightmaps", 0);
    script.press("Import SMD Mesh File").answer_file(input).close();
    if (int status = run_server(host, kServer, options); status != EXIT_DONE) return status;

    const lwhost::MeshObject& object = *host.scene.meshes[std::size_t(mesh)];
    std::size_t points = 0, polygons = 0;
    for (const lwhost::Layer& layer : object.layers) {
        points += layer.points.size();
        polygons += layer.polygons.size();
    }
    if (polygons == 0) {
        say(std::string(kServer) + ": " + input + " gave no triangles; " + s.output + " is not written");
        return EXIT_PLUGIN_ERROR;
    }
    try {
        lwhost::save_lwo2(host.scene, mesh, s.output);
    } catch (const lwhost::FileFormatError& error) {
        say(error.what());
        return EXIT_PLUGIN_ERROR;
    }
    if (options.verbose) {
        say("read " + input + ": " + describe(summarize_smd(input)));
        say("wrote " + s.output + ": " + std::to_string(points) + " points, " + std::to_string(polygons) +
            " polygons");
    }
    return EXIT_DONE;
}

int cmd_export_ref(Arguments& args, const Options& options) {
    std::vector<std::string> positional;
    Settings s = parse_settings(
        args, {"-o", "--object", "--group-by", "--no-verify-uv", "--no-null-bones", "--scale", "--no-scale"}, positional);
    if (s.help) { std::cout << kExportRefHelp; return EXIT_DONE; }
    if (positional.size() != 1) throw UsageError{"export-ref takes one INPUT.lws or INPUT.lwo"};
    if (int status = check_output(s.output); status != EXIT_DONE) return status;

    constexpr char kServer[] = "SMD Export Layout";
    lwhost::Host host;
    int mesh = -1;
    std::vector<std::string> warnings;
    if (int status = load_input(host, positional[0], mesh, &warnings); status != EXIT_DONE) return status;
    const lwhost::ItemId object = choose_object(host.scene, s.object);
    if (!warnings.empty() && !has_polygons(*host.scene.mesh_of(object))) {
        say("the object \"" + host.scene.item(object)->name + "\" has nothing to export: its file " +
            host.scene.mesh_of(object)->filename + " could not be read");
        return EXIT_BAD_INPUT;
    }
    host.scene.selection = {object};
    if (int status = load_plugin(host, "rigwriter", options); status != EXIT_DONE) return status;
    lwhost::UiScript& script = host.script();
    add_group_by(script, s);
    if (s.no_verify) script.set("Don't verify UV information", 1);
    if (s.no_null_bones) script.set("Include null bones", 0);
    add_scale(script, s);
    script.press("Save SMD file").answer_file(s.output).close();
    if (int status = run_server(host, kServer, options); status != EXIT_DONE) return status;
    return written_or_not(kServer, s.output, options);
}

int cmd_export_mesh(Arguments& args, const Options& options) {
    std::vector<std::string> positional;
    Settings s = parse_settings(args, {"-o", "--layers", "--group-by", "--no-verify-uv", "--scale", "--no-scale"},
                                positional);
    if (s.help) { std::cout << kExportMeshHelp; return EXIT_DONE; }
    if (positional.size() != 1) throw UsageError{"export-mesh takes one INPUT.lwo"};
    if (int status = check_output(s.output); status != EXIT_DONE) return status;

    constexpr char kServer[] = "SMD Export";
    lwhost::Host host;
    if (int status = check_readable(positional[0]); status != EXIT_DONE) return status;
    int mesh = -1;
    try {
        mesh = lwhost::load_lwo2(host.scene, fs::absolute(positional[0]));
    } catch (const lwhost::FileFormatError& error) {
        say(error.what());
        return EXIT_BAD_INPUT;
    }
    host.scene.current_mesh = mesh;
    if (int status = load_plugin(host, "meshwriter", options); status != EXIT_DONE) return status;
    lwhost::UiScript& script = host.script();
    if (!s.layers.empty()) script.pick("Export Layers:", s.layers == "all" ? "All layers" : "Foreground only");
    add_group_by(script, s);
    if (s.no_verify) script.set("Don't verify UV information", 1);
    add_scale(script, s);
    script.press("Save SMD file").answer_file(s.output).close();
    if (int status = run_server(host, kServer, options); status != EXIT_DONE) return status;
    return written_or_not(kServer, s.output, options);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::vector<std::string> rest;
    std::string command;
    try {
        for (int i = 1; i < argc; ++i) {
            std::string arg = argv[i];
            auto value = [&](const std::string& flag) {
                if (i + 1 >= argc) throw UsageError{flag + " needs a value"};
                return std::string(argv[++i]);
            };
            if (arg == "--plugins") options.plugin_dir = value(arg);
            else if (arg == "--log") options.log_file = value(arg);
            else if (arg == "-v" || arg == "--verbose") options.verbose = true;
            else if (command.empty() && (arg == "--help" || arg == "-h")) { std::cout << kToolHelp; return EXIT_DONE; }
            else if (command.empty() && arg.size() > 1 && arg[0] == '-') throw UsageError{"unknown option " + arg};
            else if (command.empty()) command = arg;
            else rest.push_back(arg);
        }
        Arguments args(rest);
        if (command.empty()) throw UsageError{"no command"};
        if (command == "info") return cmd_info(args, options);
        if (command == "run") return cmd_run(args, options);
        if (command == "import-mesh") return cmd_import_mesh(args, options);
        if (command == "export-ref") return cmd_export_ref(args, options);
        if (command == "export-mesh") return cmd_export_mesh(args, options);
        throw UsageError{"unknown command \"" + command + "\""};
    } catch (const UsageError& error) {
        say(error.text);
        std::cerr << "Try 'lwhost " << (command.empty() ? "" : command + " ") << "--help'.\n";
        return EXIT_USAGE;
    } catch (const std::bad_alloc&) {
        say("out of memory");
        return EXIT_PLUGIN_ERROR;
    } catch (const std::exception& error) {
        say(error.what());
        return EXIT_PLUGIN_ERROR;
    }
}

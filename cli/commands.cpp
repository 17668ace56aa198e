// The jobs behind the tool's commands: each loads its input into a fresh
// host, loads one plug-in, answers its panel from the settings and its file
// requester with the output path, and judges the result.
#include "commands.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "formats/lwo2.h"
#include "formats/lws.h"
#include "host.h"
#include "loader.h"
#include "ui_script.h"

namespace fs = std::filesystem;

namespace lwcli {

namespace {

constexpr char kMeshImportServer[] = "SMD Mesh Import";
constexpr char kSkeletonImportServer[] = "SMD Skeleton Import";
constexpr char kRefExportServer[] = "SMD Export Layout";
constexpr char kMeshExportServer[] = "SMD Export";
constexpr char kAnimExportServer[] = "SMD Animation";

// ---- panel settings -------------------------------------------------------------

void add_scale(lwhost::UiScript& script, const Settings& s) {
    if (s.no_scale) script.set("Scale geometry:", 0);
    if (s.scale) script.set("Scale geometry:", 1).set(lwhost::unlabelled("float", 0), *s.scale);
}

void add_group_by(lwhost::UiScript& script, const Settings& s) {
    if (s.group_by.empty()) return;
    const char* item = s.group_by == "uv" ? "UV Texture Map Name"
                       : s.group_by == "surface" ? "Surface Name"
                                                 : "Surface Texture Image Name";
    script.pick("Group Triangles by:", item);
}

// ---- checks around a job ---------------------------------------------------------

std::size_t count_of(const Settings& s) { return s.positional.size(); }

void expect_inputs(const Settings& s, const char* command, std::size_t count, const char* what) {
    if (count_of(s) != count) throw UsageError{std::string(command) + " takes " + what};
}

// The output's folder must exist before a job starts, so that a long job
// does not end in nothing.
int check_output(const std::string& output) {
    if (output.empty()) throw UsageError{"-o OUT is needed"};
    const fs::path folder = fs::absolute(output).parent_path();
    if (fs::is_directory(folder)) return EXIT_DONE;
    say(output + ": the folder " + folder.string() + " does not exist");
    return EXIT_PLUGIN_ERROR;
}

int written_or_not(const std::string& server, const std::string& output, const Options& options) {
    if (!fs::exists(output)) {
        say(server + ": nothing was written to " + output);
        return EXIT_PLUGIN_ERROR;
    }
    if (options.verbose) say("wrote " + output + ": " + smd_contents(output));
    return EXIT_DONE;
}

bool has_polygons(const lwhost::MeshObject& object) {
    for (const lwhost::Layer& layer : object.layers)
        if (!layer.polygons.empty()) return true;
    return false;
}

enum class Holding { Mesh, Bones };

// The first object of the scene that holds a mesh (or bones), or the one
// named `name`.
lwhost::ItemId choose_object(const lwhost::Scene& scene, const std::string& name, Holding holding) {
    std::string names;
    for (lwhost::ItemId id : scene.items(lwhost::ItemType::Object)) {
        const lwhost::Item* item = scene.item(id);
        if (!item) continue;
        if (!name.empty() && item->name == name) return id;
        const bool holds = holding == Holding::Mesh ? item->mesh >= 0 : !scene.bones_of(id).empty();
        if (name.empty() && holds) return id;
        names += names.empty() ? "" : ", ";
        names += "\"" + item->name + "\"";
    }
    if (name.empty())
        throw UsageError{holding == Holding::Mesh ? "the scene has no object with a mesh"
                                                  : "the scene has no object with bones"};
    throw UsageError{"no object named \"" + name + "\"" + (names.empty() ? "" : "; the objects are " + names)};
}

// Loads a scene or object file and selects the object the job is for.
// EXIT_DONE with `object` set, or an exit status after saying why.
int load_and_select(lwhost::Host& host, const std::string& input, const std::string& name, Holding holding,
                    lwhost::ItemId& object) {
    int mesh = -1;
    std::vector<std::string> warnings;
    if (int status = load_input(host, input, mesh, &warnings); status != EXIT_DONE) return status;
    object = choose_object(host.scene, name, holding);
    const lwhost::MeshObject* shape = host.scene.mesh_of(object);
    if (holding == Holding::Mesh && !warnings.empty() && shape && !has_polygons(*shape)) {
        say("the object \"" + host.scene.item(object)->name + "\" has nothing to export: its file " +
            shape->filename + " could not be read");
        return EXIT_BAD_INPUT;
    }
    host.scene.selection = {object};
    return EXIT_DONE;
}

int save_scene(const lwhost::Host& host, const std::string& output) {
    try {
        lwhost::save_lws(host.scene, output);
    } catch (const lwhost::FileFormatError& error) {
        say(error.what());
        return EXIT_PLUGIN_ERROR;
    }
    return EXIT_DONE;
}

// The start every Layout export shares: the output's folder checked, the
// input loaded into `host` with the object selected, the plug-in loaded.
int start_layout_export(lwhost::Host& host, const Settings& s, const Options& options, Holding holding,
                        const char* plugin) {
    if (int status = check_output(s.output); status != EXIT_DONE) return status;
    prepare_host(host, options);
    lwhost::ItemId object = 0;
    if (int status = load_and_select(host, s.positional[0], s.object, holding, object); status != EXIT_DONE)
        return status;
    return load_plugin(host, plugin, options);
}

// Runs the export whose script is written and checks that it wrote the file.
int finish_export(lwhost::Host& host, const char* server, const Settings& s, const Options& options) {
    if (int status = run_server(host, server, options); status != EXIT_DONE) return status;
    return written_or_not(server, s.output, options);
}

}  // namespace

// ---- the jobs --------------------------------------------------------------------------

int info_job(const Settings& s, const Options& options) {
    expect_inputs(s, "info", 1, "one PLUGIN");
    lwhost::Host host;
    if (int status = load_plugin(host, s.positional[0], options); status != EXIT_DONE) return status;
    for (const auto& module : host.plugins().modules())
        for (const lwhost::PluginServer& server : module->servers)
            std::cout << server.class_name << '\t' << server.name << '\n';
    return EXIT_DONE;
}

int run_job(const Settings& s, const Options& options) {
    expect_inputs(s, "run", 2, "PLUGIN SERVER");
    if (s.script.empty()) throw UsageError{"run needs --script FILE"};
    if (int status = check_readable(s.script); status != EXIT_DONE) return status;
    std::ifstream in(s.script, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();

    lwhost::Host host;
    prepare_host(host, options);
    std::string error;
    if (host.script().append_text(text.str(), error) != lwhost::SCRIPT_OK) {
        say(s.script + ": " + error);
        return EXIT_USAGE;
    }
    if (int status = load_plugin(host, s.positional[0], options); status != EXIT_DONE) return status;
    if (!s.scene.empty()) {
        int mesh = -1;
        if (int status = load_input(host, s.scene, mesh); status != EXIT_DONE) return status;
        host.scene.current_mesh = mesh;
        const auto objects = host.scene.items(lwhost::ItemType::Object);
        if (!objects.empty()) host.scene.selection = {objects.front()};
    }
    return run_server(host, s.positional[1], options);
}

int import_mesh_job(const Settings& s, const Options& options) {
    expect_inputs(s, "import-mesh", 1, "one REF.smd");
    if (int status = check_output(s.output); status != EXIT_DONE) return status;
    const std::string& input = s.positional[0];
    if (int status = check_readable(input); status != EXIT_DONE) return status;

    lwhost::Host host;
    prepare_host(host, options);
    if (int status = load_plugin(host, "shapereader", options); status != EXIT_DONE) return status;
    const int mesh = host.scene.add_mesh(fs::absolute(s.output).string());
    host.scene.current_mesh = mesh;
    lwhost::UiScript& script = host.script();
    add_scale(script, s);
    if (s.no_weights) script.set("Import weightmaps", 0);
    script.press("Import SMD Mesh File").answer_file(input).close();
    if (int status = run_server(host, kMeshImportServer, options); status != EXIT_DONE) return status;

    const lwhost::MeshObject& object = *host.scene.meshes[std::size_t(mesh)];
    std::size_t points = 0, polygons = 0, maps = 0;
    for (const lwhost::Layer& layer : object.layers) {
        points += layer.points.size();
        polygons += layer.polygons.size();
        maps += layer.vmaps.size();
    }
    if (polygons == 0) {
        say(std::string(kMeshImportServer) + ": " + input + " gave no triangles; " + s.output + " is not written");
        return EXIT_PLUGIN_ERROR;
    }
    try {
        lwhost::save_lwo2(host.scene, mesh, s.output);
    } catch (const lwhost::FileFormatError& error) {
        say(error.what());
        return EXIT_PLUGIN_ERROR;
    }
    if (options.verbose) {
        say("read " + input + ": " + smd_contents(input));
        say("wrote " + s.output + ": " + std::to_string(points) + " points, " + std::to_string(polygons) +
            " polygons, " + std::to_string(maps) + " vertex maps");
    }
    return EXIT_DONE;
}

int import_skeleton_job(const Settings& s, const Options& options) {
    expect_inputs(s, "import-skeleton", 1, "one REF.smd");
    if (int status = check_output(s.output); status != EXIT_DONE) return status;
    const std::string& reference = s.positional[0];
    if (int status = check_readable(reference); status != EXIT_DONE) return status;
    for (const std::string& sequence : s.sequences)
        if (int status = check_readable(sequence); status != EXIT_DONE) return status;
    if (s.into.empty() && !s.object.empty()) throw UsageError{"--object chooses an object of --into"};

    lwhost::Host host;
    prepare_host(host, options);
    lwhost::ItemId object = 0;
    if (!s.into.empty())
        if (int status = load_and_select(host, s.into, s.object, Holding::Mesh, object); status != EXIT_DONE)
            return status;
    if (int status = load_plugin(host, "rigreader", options); status != EXIT_DONE) return status;
    lwhost::UiScript& script = host.script();
    add_scale(script, s);
    if (s.calc_lengths) script.set("Calculate bones length:", 1);
    script.press("Import SMD reference file").answer_file(reference);
    for (const std::string& sequence : s.sequences) script.press("Import SMD sequence file").answer_file(sequence);
    script.close();
    if (int status = run_server(host, kSkeletonImportServer, options); status != EXIT_DONE) return status;

    // Without an object to start from, the importer made its own null and
    // left a bone selected; the user would select the null before saving,
    // so that the animation exporter finds the object on the saved scene.
    if (object == 0) {
        const auto objects = host.scene.items(lwhost::ItemType::Object);
        if (objects.empty()) {
            say(std::string(kSkeletonImportServer) + ": " + reference + " gave no skeleton; " + s.output +
                " is not written");
            return EXIT_PLUGIN_ERROR;
        }
        object = objects.front();
    }
    host.scene.selection = {object};
    if (int status = save_scene(host, s.output); status != EXIT_DONE) return status;
    if (options.verbose) {
        say("read " + reference + ": " + smd_contents(reference));
        for (const std::string& sequence : s.sequences) say("read " + sequence + ": " + smd_contents(sequence));
        say("wrote " + s.output + ": " + std::to_string(host.scene.bones_of(object).size()) + " bones under \"" +
            host.scene.item(object)->name + "\", frames " + std::to_string(host.scene.settings.preview_start) + " to " +
            std::to_string(host.scene.settings.preview_end));
    }
    return EXIT_DONE;
}

int export_ref_job(const Settings& s, const Options& options) {
    expect_inputs(s, "export-ref", 1, "one INPUT.lws or INPUT.lwo");
    lwhost::Host host;
    if (int status = start_layout_export(host, s, options, Holding::Mesh, "rigwriter"); status != EXIT_DONE)
        return status;
    lwhost::UiScript& script = host.script();
    add_group_by(script, s);
    if (s.no_verify_uv) script.set("Don't verify UV information", 1);
    if (s.no_null_bones) script.set("Include null bones", 0);
    add_scale(script, s);
    script.press("Save SMD file").answer_file(s.output).close();
    return finish_export(host, kRefExportServer, s, options);
}

int export_mesh_job(const Settings& s, const Options& options) {
    expect_inputs(s, "export-mesh", 1, "one INPUT.lwo");
    if (int status = check_output(s.output); status != EXIT_DONE) return status;
    const std::string& input = s.positional[0];
    if (int status = check_readable(input); status != EXIT_DONE) return status;
    lwhost::Host host;
    prepare_host(host, options);
    int mesh = -1;
    try {
        mesh = lwhost::load_lwo2(host.scene, fs::absolute(input));
    } catch (const lwhost::FileFormatError& error) {
        say(error.what());
        return EXIT_BAD_INPUT;
    }
    host.scene.current_mesh = mesh;
    if (int status = load_plugin(host, "meshwriter", options); status != EXIT_DONE) return status;
    lwhost::UiScript& script = host.script();
    if (!s.layers.empty()) script.pick("Export Layers:", s.layers == "all" ? "All layers" : "Foreground only");
    add_group_by(script, s);
    if (s.no_verify_uv) script.set("Don't verify UV information", 1);
    add_scale(script, s);
    script.press("Save SMD file").answer_file(s.output).close();
    return finish_export(host, kMeshExportServer, s, options);
}

int export_anim_job(const Settings& s, const Options& options) {
    expect_inputs(s, "export-anim", 1, "one INPUT.lws");
    lwhost::Host host;
    if (int status = start_layout_export(host, s, options, Holding::Bones, "motionwriter"); status != EXIT_DONE)
        return status;
    lwhost::UiScript& script = host.script();
    if (s.no_null_bones) script.set("Include null bones", 0);
    add_scale(script, s);
    // The panel opens on the scene's preview range; the last frame is set
    // first when the new range lies wholly beyond the old one, so that the
    // range never runs backwards on the way.
    const bool last_first = s.first && *s.first > host.scene.settings.preview_end;
    if (s.last && last_first) script.set("Last frame:", *s.last);
    if (s.first) script.set("First frame:", *s.first);
    if (s.last && !last_first) script.set("Last frame:", *s.last);
    script.press("Save animation SMD file").answer_file(s.output).close();
    return finish_export(host, kAnimExportServer, s, options);
}

int uv_template_job(const Settings& s, const Options& options) {
    expect_inputs(s, "uv-template", 1, "one INPUT.lws or INPUT.lwo");
    lwhost::Host host;
    if (int status = start_layout_export(host, s, options, Holding::Mesh, "rigwriter"); status != EXIT_DONE)
        return status;
    lwhost::UiScript& script = host.script();
    script.press("UV Template Image Options");
    if (!s.map.empty()) script.pick("UV Map:", s.map);
    if (s.size) script.set("UV Template Image Size:", *s.size);
    if (s.foreground) script.set_rgb("Foreground Color", s.foreground->red, s.foreground->green, s.foreground->blue);
    if (s.background) script.set_rgb("Background Color", s.background->red, s.background->green, s.background->blue);
    script.press("Save UV Template Image").answer_file(s.output).close().close();
    if (int status = run_server(host, kRefExportServer, options); status != EXIT_DONE) return status;
    if (!fs::exists(s.output)) {
        say(std::string(kRefExportServer) + ": nothing was written to " + s.output);
        return EXIT_PLUGIN_ERROR;
    }
    if (options.verbose) say("wrote " + s.output + ": " + std::to_string(fs::file_size(s.output)) + " bytes");
    return EXIT_DONE;
}

// ---- the table ---------------------------------------------------------------------------

const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        {"import-mesh", "an SMD reference file's triangles as an object file",
         "usage: lwhost import-mesh REF.smd -o OUT.lwo [--scale F | --no-scale] [--no-weights]\n"
         "  --scale F      scale the geometry by F (default: the panel's 0.025)\n"
         "  --no-scale     keep the file's units\n"
         "  --no-weights   do not make weight maps from the bone links\n",
         {"-o", "--scale", "--no-scale", "--no-weights"}, import_mesh_job},
        {"import-skeleton", "an SMD skeleton and its sequences as a scene file",
         "usage: lwhost import-skeleton REF.smd [--sequence SEQ.smd]... [--into SCENE.lws|OBJECT.lwo]\n"
         "         [--object NAME] -o OUT.lws [--scale F | --no-scale] [--calc-lengths]\n"
         "  --sequence SEQ   key the skeleton from a sequence file after the reference;\n"
         "                   give it again for more, imported in order\n"
         "  --into FILE      build the bones under an object of this scene or object file,\n"
         "                   bound to its weight maps (default: under a new null)\n"
         "  --object NAME    the object of --into (default: its first object with a mesh)\n"
         "  --scale F        scale the skeleton by F (default: the panel's 0.025)\n"
         "  --no-scale       keep the file's units\n"
         "  --calc-lengths   give each bone the length to its child\n",
         {"-o", "--sequence", "--into", "--object", "--scale", "--no-scale", "--calc-lengths"},
         import_skeleton_job},
        {"export-ref", "a reference mesh with its skeleton",
         "usage: lwhost export-ref INPUT.lws|INPUT.lwo -o OUT.smd [--object NAME]\n"
         "         [--group-by uv|surface|texture] [--no-verify-uv] [--no-null-bones]\n"
         "         [--scale F | --no-scale]\n"
         "  --object NAME   the object to export (default: the scene's first object with a mesh)\n"
         "  --group-by      name triangle materials by UV map, surface or texture image\n"
         "                  (default: the panel's first choice)\n"
         "  --no-verify-uv  write triangles without UV information too\n"
         "  --no-null-bones leave out bones that no point is linked to\n"
         "  --scale F       scale the geometry by F (default: the panel's 40);\n"
         "                  --no-scale keeps the scene's units\n",
         {"-o", "--object", "--group-by", "--no-verify-uv", "--no-null-bones", "--scale", "--no-scale"},
         export_ref_job},
        {"export-mesh", "a static mesh under one root node",
         "usage: lwhost export-mesh INPUT.lwo -o OUT.smd [--layers all|foreground]\n"
         "         [--group-by uv|surface|texture] [--no-verify-uv] [--scale F | --no-scale]\n"
         "  --layers        every layer (default) or only the foreground layer\n"
         "  --group-by      name triangle materials by UV map, surface or texture image\n"
         "  --no-verify-uv  write triangles without UV information too\n"
         "  --scale F       scale the geometry by F (default: the panel's 40);\n"
         "                  --no-scale keeps the object's units\n",
         {"-o", "--layers", "--group-by", "--no-verify-uv", "--scale", "--no-scale"}, export_mesh_job},
        {"export-anim", "an object's bone animation as an SMD sequence",
         "usage: lwhost export-anim INPUT.lws -o OUT.smd [--object NAME] [--first F] [--last L]\n"
         "         [--no-null-bones] [--scale F | --no-scale]\n"
         "  --object NAME   the object whose bones move (default: the first object with bones)\n"
         "  --first F       the first frame written (default: the scene's preview range)\n"
         "  --last L        the last frame written (default: the scene's preview range)\n"
         "  --no-null-bones leave out bones that no point is linked to\n"
         "  --scale F       scale the positions by F (default: the panel's 40);\n"
         "                  --no-scale keeps the scene's units\n",
         {"-o", "--object", "--first", "--last", "--no-null-bones", "--scale", "--no-scale"}, export_anim_job},
        {"uv-template", "an object's UV layout drawn as a Targa image",
         "usage: lwhost uv-template INPUT.lws|INPUT.lwo -o OUT.tga [--object NAME] [--map NAME]\n"
         "         [--size N] [--fg RRGGBB] [--bg RRGGBB]\n"
         "  --object NAME   the object (default: the scene's first object with a mesh)\n"
         "  --map NAME      the UV map to draw (default: the panel's first)\n"
         "  --size N        the image's width and height in pixels (default: the panel's)\n"
         "  --fg RRGGBB     the colour of the lines (hexadecimal, default: the panel's)\n"
         "  --bg RRGGBB     the colour of the background\n",
         {"-o", "--object", "--map", "--size", "--fg", "--bg"}, uv_template_job},
        {"demo", "the round trip on the bundled sample, with a report",
         "usage: lwhost demo [--out DIR] [--examples DIR]\n"
         "  Imports the bundled arm (mesh, skeleton, sequence), saves it as LWO2 and LWS,\n"
         "  exports reference, static mesh and animation SMD files and a UV template,\n"
         "  and compares the SMD files with the originals.\n"
         "  --out DIR        where the files go (default: lwhost-demo)\n"
         "  --examples DIR   where the sample is (default: the bundled examples folder)\n",
         {"--out", "--examples"}, demo_job},
        {"info", "list a plug-in's servers (class and name)",
         "usage: lwhost info PLUGIN\n  Lists the servers of the plug-in, one a line: class, a tab, name.\n", {},
         info_job},
        {"run", "run any server, the user played by a script",
         "usage: lwhost run PLUGIN SERVER [--scene FILE] --script FILE\n"
         "  Runs SERVER with the user played by the script FILE (see docs/host-panels.md).\n"
         "  --scene FILE   load a scene (.lws) or an object (.lwo) first; its first object\n"
         "                 is selected (Layout) and current (Modeler)\n"
         "  An action that fits no control, or actions left when the plug-in returns,\n"
         "  are errors (exit 2) and the panel's controls are listed.\n",
         {"--scene", "--script"}, run_job},
    };
    return table;
}

}  // namespace lwcli

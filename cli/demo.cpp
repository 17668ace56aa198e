// lwhost demo: the whole product on the bundled arm. Every step is one of
// the tool's own jobs, run in order as a user would run the commands; the
// SMD files that come out are then compared with the ones that went in.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>

#include "commands.h"
#include "formats/lwo2.h"
#include "formats/lws.h"
#include "smd_model.h"

namespace fs = std::filesystem;

namespace lwcli {

namespace {

constexpr char kReference[] = "arm_ref.smd";
constexpr char kSequence[] = "arm_wave.smd";

// The sample: given, installed beside the tool, or in the source tree.
std::string examples_folder(const Settings& s) {
    if (!s.examples.empty()) return s.examples;
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error && fs::is_regular_file(self.parent_path() / "examples" / kReference))
        return (self.parent_path() / "examples").string();
    return LWHOST_EXAMPLES_DIR;
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text;
}

std::string fixed(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

void report_file(const std::string& verb, const fs::path& file, const std::string& what) {
    std::cout << "  " << padded(verb, 9) << padded(file.filename().string(), 18) << what << '\n';
}

// Width and height from a Targa header.
std::string image_size(const fs::path& file) {
    unsigned char header[18] = {};
    std::ifstream in(file, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return "unreadable";
    return std::to_string(header[12] | header[13] << 8) + " x " + std::to_string(header[14] | header[15] << 8) +
           " pixels";
}

std::string object_contents(const fs::path& file) {
    lwhost::Scene scene;
    try {
        const int mesh = lwhost::load_lwo2(scene, file);
        std::size_t points = 0, polygons = 0, maps = 0;
        for (const lwhost::Layer& layer : scene.meshes[std::size_t(mesh)]->layers) {
            points += layer.points.size();
            polygons += layer.polygons.size();
            maps += layer.vmaps.size();
        }
        return std::to_string(points) + " points, " + std::to_string(polygons) + " polygons, " +
               std::to_string(maps) + " vertex maps";
    } catch (const lwhost::FileFormatError& error) {
        return error.what();
    }
}

std::string scene_contents(const fs::path& file) {
    lwhost::Scene scene;
    try {
        lwhost::load_lws(scene, file);
        std::size_t bones = 0;
        for (lwhost::ItemId object : scene.items(lwhost::ItemType::Object)) bones += scene.bones_of(object).size();
        return std::to_string(bones) + " bones, preview range " + std::to_string(scene.settings.preview_start) +
               " to " + std::to_string(scene.settings.preview_end);
    } catch (const lwhost::FileFormatError& error) {
        return error.what();
    }
}

// One line of the round-trip report; false when the copy differs.
bool report_match(const std::string& what, const SmdComparison& comparison, const std::string& counts,
                  const std::string& worst) {
    std::cout << "  " << padded(what, 17) << (comparison.matched ? "matched: " : "DIFFERS: ") << counts << '\n';
    if (comparison.matched) std::cout << "  " << padded("", 17) << "largest differences: " << worst << '\n';
    for (const std::string& difference : comparison.differences)
        std::cout << "  " << padded("", 17) << difference << '\n';
    return comparison.matched;
}

}  // namespace

int demo_job(const Settings& s, const Options& options) {
    if (!s.positional.empty()) throw UsageError{"demo takes no file names (--out DIR for its folder)"};
    const fs::path examples = examples_folder(s);
    const fs::path reference = examples / kReference, sequence = examples / kSequence;
    for (const fs::path& input : {reference, sequence})
        if (int status = check_readable(input.string()); status != EXIT_DONE) {
            say("the sample is not in " + examples.string() + " (--examples DIR says where it is)");
            return status;
        }
    const fs::path out = s.out_dir.empty() ? fs::path("lwhost-demo") : fs::path(s.out_dir);
    std::error_code error;
    fs::create_directories(out, error);
    if (error || !fs::is_directory(out)) {
        say(out.string() + ": cannot make the folder" + (error ? ": " + error.message() : ""));
        return EXIT_PLUGIN_ERROR;
    }
    const fs::path object = out / "arm.lwo", scene = out / "arm.lws", ref_back = out / "arm_ref.smd",
                   static_mesh = out / "arm_static.smd", wave_back = out / "arm_wave.smd",
                   uv_image = out / "arm_uv.tga";

    // Each step as the command line would run it; the first that fails ends the demo.
    struct Step {
        const char* command;
        int (*job)(const Settings&, const Options&);
        Settings settings;
    };
    auto settings = [](std::vector<std::string> positional, const fs::path& output) {
        Settings step;
        step.positional = std::move(positional);
        step.output = output.string();
        return step;
    };
    Settings skeleton = settings({reference.string()}, scene);
    skeleton.sequences = {sequence.string()};
    skeleton.into = object.string();
    // The animation exporter writes the scene's preview range unless told
    // otherwise, and the importer only ever widens that range: the sequence's
    // own frames are asked for, as a user would set them at the panel.
    SmdModel original_wave;
    std::string read_error;
    if (!read_smd_model(sequence.string(), original_wave, read_error) || original_wave.frames.empty()) {
        say(sequence.string() + ": no frames in the sample's sequence");
        return EXIT_BAD_INPUT;
    }
    Settings anim = settings({scene.string()}, wave_back);
    anim.first = int(original_wave.frames.front().time);
    anim.last = int(original_wave.frames.back().time);
    const Step steps[] = {
        {"import-mesh", import_mesh_job, settings({reference.string()}, object)},
        {"import-skeleton", import_skeleton_job, skeleton},
        {"export-ref", export_ref_job, settings({scene.string()}, ref_back)},
        {"export-mesh", export_mesh_job, settings({object.string()}, static_mesh)},
        {"export-anim", export_anim_job, anim},
        {"uv-template", uv_template_job, settings({scene.string()}, uv_image)},
    };
    for (const Step& step : steps) {
        if (int status = step.job(step.settings, options); status != EXIT_DONE) {
            say("demo: " + std::string(step.command) + " failed; the files so far are in " + out.string());
            return status;
        }
    }

    SmdModel original_ref, copy_ref, copy_static, copy_wave;
    for (auto [file, model] : {std::pair{&reference, &original_ref},
                               {&ref_back, &copy_ref}, {&static_mesh, &copy_static}, {&wave_back, &copy_wave}})
        if (!read_smd_model(file->string(), *model, read_error)) {
            say(read_error);
            return EXIT_PLUGIN_ERROR;
        }

    std::cout << "lwhost demo: the bundled arm from " << examples.string() << ", files in " << out.string() << "\n";
    report_file("read", reference, describe(original_ref));
    report_file("read", sequence, describe(original_wave));
    report_file("saved", object, object_contents(object));
    report_file("saved", scene, scene_contents(scene));
    report_file("exported", ref_back, describe(copy_ref));
    report_file("exported", static_mesh, describe(copy_static));
    report_file("exported", wave_back, describe(copy_wave));
    report_file("exported", uv_image, image_size(uv_image));

    std::cout << "round trip (each exported file against the file it came from):\n";
    const SmdComparison ref_skeleton = compare_skeletons(original_ref, copy_ref);
    const SmdComparison ref_mesh = compare_triangles(original_ref, copy_ref, true);
    const SmdComparison static_geometry = compare_triangles(original_ref, copy_static, false);
    const SmdComparison wave = compare_skeletons(original_wave, copy_wave);
    bool matched = true;
    matched &= report_match("skeleton", ref_skeleton, std::to_string(copy_ref.nodes.size()) + " nodes, rest pose",
                            "position " + fixed(ref_skeleton.worst_position) + ", rotation " +
                                fixed(ref_skeleton.worst_rotation));
    matched &= report_match("reference mesh", ref_mesh,
                            std::to_string(copy_ref.triangles.size()) + " triangles with their bone links",
                            "position " + fixed(ref_mesh.worst_position) + ", normal " + fixed(ref_mesh.worst_normal) +
                                ", UV " + fixed(ref_mesh.worst_uv) + ", weight " + fixed(ref_mesh.worst_weight));
    matched &= report_match("static mesh", static_geometry,
                            std::to_string(copy_static.triangles.size()) + " triangles (geometry and UVs)",
                            "position " + fixed(static_geometry.worst_position) + ", normal " +
                                fixed(static_geometry.worst_normal) + ", UV " + fixed(static_geometry.worst_uv));
    matched &= report_match("animation", wave,
                            std::to_string(copy_wave.frames.size()) + " frames of " +
                                std::to_string(copy_wave.nodes.size()) + " nodes",
                            "position " + fixed(wave.worst_position) + ", rotation " + fixed(wave.worst_rotation));
    std::cout << (matched ? "the round trip matched\n" : "the round trip did NOT match\n");
    return matched ? EXIT_DONE : EXIT_PLUGIN_ERROR;
}

}  // namespace lwcli

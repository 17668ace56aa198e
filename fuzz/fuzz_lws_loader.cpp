// Fuzz target: the scene file loader (load_lws over bytes in memory) on any
// bytes. A load either throws FileFormatError and leaves the scene it was
// given untouched, or replaces it with a scene that passes the model's
// invariant check. Object files go to a stand-in loader that makes a small
// mesh, so runs started in a folder of object files reach that path too.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "formats/lwo2.h"
#include "formats/lws.h"
#include "fuzz_check.h"
#include "scene_builder.h"

// The loader's default for object files; this target links no object file
// reader, and the options below always hand in the stand-in.
int lwhost::load_lwo2(lwhost::Scene&, const std::filesystem::path& file) {
    throw lwhost::FileFormatError(file, "no object file reader in this program");
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lwhost::Scene scene;
    lwhost::SceneBuilder(scene).null_object("before");
    lwhost::SceneLoadOptions options;
    options.load_object = [](lwhost::Scene& into, const std::filesystem::path& file) {
        lwhost::MeshBuilder mesh = lwhost::SceneBuilder(into).mesh(file.string());
        mesh.triangle(mesh.point(0, 0, 0), mesh.point(1, 0, 0), mesh.point(0, 1, 0));
        return mesh.index();
    };
    try {
        lwhost::load_lws(scene, "fuzz.lws", std::as_bytes(std::span<const std::uint8_t>(data, size)), options);
    } catch (const lwhost::FileFormatError& e) {
        FUZZ_CHECK(std::string(e.what()).rfind("fuzz.lws: ", 0) == 0);
        FUZZ_CHECK(scene.items(lwhost::ItemType::Object).size() == 1 && scene.find_item("before") == 0x10000000u);
        return 0;
    }
    FUZZ_CHECK(lwhost::check_scene(scene).empty());
    return 0;
}

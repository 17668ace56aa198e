// The object file loader on any bytes. A load either throws FileFormatError
// and leaves the scene as it was, or builds an object that passes the scene's
// invariant check; such an object saves, and the saved bytes load again to
// an object of the same shape and save to the same bytes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/lwo2.h"
#include "fuzz_check.h"
#include "scene_builder.h"

namespace {

std::size_t element_count(const lwhost::MeshObject& mesh) {
    std::size_t n = 0;
    for (const lwhost::Layer& layer : mesh.layers) n += layer.points.size() + layer.polygons.size() + layer.vmaps.size();
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lwhost::Scene scene;
    int mesh = -1;
    try {
        mesh = lwhost::load_lwo2(scene, "fuzz.lwo", std::as_bytes(std::span(data, size)));
    } catch (const lwhost::FileFormatError&) {
        FUZZ_CHECK(scene.meshes.empty() && scene.surfaces.empty() && scene.images.empty());
        return 0;
    }
    FUZZ_CHECK(lwhost::check_scene(scene).empty());
    std::vector<std::uint8_t> saved;
    try {
        saved = lwhost::lwo2_file_bytes(scene, mesh, "fuzz.lwo");
    } catch (const lwhost::FileFormatError&) {
        return 0;  // a polygon of more points than a file can hold, or the like
    }
    lwhost::Scene again;
    const int reloaded = lwhost::load_lwo2(again, "fuzz.lwo", std::as_bytes(std::span(saved)));
    FUZZ_CHECK(again.meshes[std::size_t(reloaded)]->layers.size() == scene.meshes[std::size_t(mesh)]->layers.size());
    FUZZ_CHECK(element_count(*again.meshes[std::size_t(reloaded)]) == element_count(*scene.meshes[std::size_t(mesh)]));
    FUZZ_CHECK(lwhost::lwo2_file_bytes(again, reloaded, "fuzz.lwo") == saved);
    return 0;
}

// Whether a loaded object's kept file data still fits it.

#include "formats/lwo2_internal.h"

namespace lwhost::lwo2 {

std::shared_ptr<const Kept> kept_for(const MeshObject& mesh) {
    const std::shared_ptr<const Kept>& kept = mesh.kept_file_data;
    if (!kept || kept->filename != mesh.filename || kept->layers.size() != mesh.layers.size()) return nullptr;
    return kept;
}

bool same_layer(const TextureLayer& a, const TextureLayer& b) {
    return a.type == b.type && a.projection == b.projection && a.axis == b.axis && a.image == b.image &&
           a.uv_map == b.uv_map;
}

}  // namespace lwhost::lwo2

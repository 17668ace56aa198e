// Where a loaded object's kept file data waits for the object to be saved.
#include <mutex>
#include <unordered_map>

#include "formats/lwo2_internal.h"

namespace lwhost::lwo2 {
namespace {

struct Store {
    std::mutex lock;
    std::unordered_map<const MeshObject*, std::shared_ptr<const Kept>> kept;
};

Store& store() {
    static Store* s = new Store;  // lives as long as the process: objects may be saved from static destructors
    return *s;
}

}  // namespace

void remember_kept(const MeshObject* mesh, std::shared_ptr<const Kept> kept) {
    Store& s = store();
    std::lock_guard<std::mutex> guard(s.lock);
    s.kept[mesh] = std::move(kept);
}

std::shared_ptr<const Kept> kept_for(const MeshObject& mesh) {
    Store& s = store();
    std::shared_ptr<const Kept> kept;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        auto found = s.kept.find(&mesh);
        if (found == s.kept.end()) return nullptr;
        kept = found->second;
    }
    if (kept->filename != mesh.filename || kept->layers.size() != mesh.layers.size()) return nullptr;
    return kept;
}

bool same_layer(const TextureLayer& a, const TextureLayer& b) {
    return a.type == b.type && a.projection == b.projection && a.axis == b.axis && a.image == b.image &&
           a.uv_map == b.uv_map;
}

}  // namespace lwhost::lwo2

// Fuzz target: the scene file loader (load_lws over bytes in memory) on any
// bytes. A load either throws FileFormatError and leaves the scene it was
// given untouched, or replaces it with a scene that passes the model's
// invariant check. A loaded scene is then evaluated at a few times on every
// channel, written as text (compose_lws, what save_lws writes) and loaded
// from that text again: the second load must succeed with the same items,
// parents and keys. Object files go to a stand-in loader that makes a small
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

namespace {

using lwhost::ItemId;
using lwhost::ItemType;
using lwhost::Scene;

void load(Scene& scene, std::span<const std::byte> bytes) {
    lwhost::SceneLoadOptions options;
    options.load_object = [](Scene& into, const std::filesystem::path& file) {
        lwhost::MeshBuilder mesh = lwhost::SceneBuilder(into).mesh(file.string());
        mesh.triangle(mesh.point(0, 0, 0), mesh.point(1, 0, 0), mesh.point(0, 1, 0));
        return mesh.index();
    };
    lwhost::load_lws(scene, "fuzz.lws", bytes, options);
}

void evaluate(const lwhost::Item& item) {
    for (const lwhost::Envelope& envelope : item.motion) {
        if (envelope.keys.empty()) continue;
        const double first = envelope.keys.front().time, last = envelope.keys.back().time;
        for (double time : {first - 1.0, 0.5 * first + 0.5 * last, last + 0.75, last + 100.0}) envelope.evaluate(time, 0.0);
    }
}

// The second load against the first: what a scene file carries comes back.
void expect_same(const Scene& a, const Scene& b) {
    for (ItemType type : {ItemType::Object, ItemType::Light, ItemType::Camera}) {
        FUZZ_CHECK(a.items(type) == b.items(type));
        for (ItemId id : a.items(type)) {
            std::vector<ItemId> ids{id};
            if (type == ItemType::Object) {
                FUZZ_CHECK(a.bones_of(id) == b.bones_of(id));
                ids.insert(ids.end(), a.bones_of(id).begin(), a.bones_of(id).end());
            }
            for (ItemId each : ids) {
                const lwhost::Item& x = *a.item(each);
                const lwhost::Item& y = *b.item(each);
                FUZZ_CHECK(x.name == y.name && x.parent == y.parent && x.target == y.target);
                const int channels = type == ItemType::Camera ? lwhost::kScaleX : lwhost::kChannelCount;
                for (int c = 0; c < channels; ++c) {
                    const auto& kx = x.motion[std::size_t(c)].keys;
                    const auto& ky = y.motion[std::size_t(c)].keys;
                    FUZZ_CHECK(kx.size() == ky.size() || (kx.empty() && ky.size() == 1));
                    for (std::size_t k = 0; k < kx.size() && kx.size() == ky.size(); ++k)
                        FUZZ_CHECK(kx[k].time == ky[k].time && kx[k].value == ky[k].value && kx[k].shape == ky[k].shape);
                }
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Scene scene;
    lwhost::SceneBuilder(scene).null_object("before");
    try {
        load(scene, std::as_bytes(std::span<const std::uint8_t>(data, size)));
    } catch (const lwhost::FileFormatError& e) {
        FUZZ_CHECK(std::string(e.what()).rfind("fuzz.lws: ", 0) == 0);
        FUZZ_CHECK(scene.items(ItemType::Object).size() == 1 && scene.find_item("before") == 0x10000000u);
        return 0;
    }
    FUZZ_CHECK(lwhost::check_scene(scene).empty());
    for (ItemType type : {ItemType::Object, ItemType::Light, ItemType::Camera})
        for (ItemId id : scene.items(type)) {
            evaluate(*scene.item(id));
            for (ItemId bone : scene.bones_of(id)) evaluate(*scene.item(bone));
        }

    const std::string text = lwhost::compose_lws(scene, "fuzz.lws");
    Scene again;
    load(again, std::as_bytes(std::span<const char>(text.data(), text.size())));
    expect_same(scene, again);
    return 0;
}

// Shared set-up of the reference exporter's tests: a host with a scene, and
// a RefExportState filled the way the activation fills it (the selected
// object, its frozen mesh info and counts, the services), then allocated and
// collected.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <lwhost.h>
#include <lwrender.h>

#include "host.h"
#include "ref_state.h"
#include "scene_builder.h"
#include "writer.h"
#include "../common/corner_normal.h"
#include "../common/smd_text.h"

namespace reftest {

inline LWItemID lw_item(lwhost::ItemId id) { return reinterpret_cast<LWItemID>(static_cast<std::uintptr_t>(id)); }

inline LWPntID lw_point(const lwhost::MeshBuilder& mesh, std::uint32_t point) {
    return reinterpret_cast<LWPntID>(lwhost::point_handle(mesh.index(), mesh.layer_index(), point));
}

inline LWPolID lw_polygon(const lwhost::MeshBuilder& mesh, std::uint32_t polygon) {
    return reinterpret_cast<LWPolID>(lwhost::polygon_handle(mesh.index(), mesh.layer_index(), polygon));
}

struct RefFixture {
    lwhost::Host host;
    lwhost::SceneBuilder builder{host.scene};
    RefExportState state{};

    ~RefFixture() { ref_release(state); }

    // Services, object, mesh and counts, as the activation sets them.
    void prepare(lwhost::ItemId object) {
        state.global = &lwhost::Host::global_function;
        state.item_info = static_cast<const LWItemInfo*>(host.global(LWITEMINFO_GLOBAL, 0));
        state.object_info = static_cast<const LWObjectInfo*>(host.global(LWOBJECTINFO_GLOBAL, 0));
        state.messages = static_cast<const LWMessageFuncs*>(host.global(LWMESSAGEFUNCS_GLOBAL, 0));
        ASSERT_NE(state.item_info, nullptr);
        ASSERT_NE(state.object_info, nullptr);
        state.object = lw_item(object);
        if (const char* file = state.object_info->filename(state.object)) state.object_file = file;
        state.mesh = state.object_info->meshInfo(state.object, 1);
        ASSERT_NE(state.mesh, nullptr);
        state.geometry.point_count = state.mesh->numPoints(state.mesh);
        state.geometry.polygon_count = state.mesh->numPolygons(state.mesh);
    }

    void collect(lwhost::ItemId object) {
        prepare(object);
        ASSERT_EQ(ref_allocate(state), EXPORT_OK);
        ASSERT_EQ(ref_collect(state), EXPORT_OK);
    }

    const ExportPolygon& polygon(const lwhost::MeshBuilder& mesh, std::uint32_t index) const {
        const LWPolID id = lw_polygon(mesh, index);
        for (const ExportPolygon& p : state.geometry.polygons) {
            if (p.id == id) return p;
        }
        ADD_FAILURE() << "polygon " << index << " not recorded";
        return state.geometry.polygons.front();
    }

    const ExportPoint* point(const lwhost::MeshBuilder& mesh, std::uint32_t index) const {
        void* found = nullptr;
        if (intmap_get(&state.geometry.point_map, host_id_key(lw_point(mesh, index)), &found) != MAP_OK) return nullptr;
        return static_cast<const ExportPoint*>(found);
    }

    const RefBone* bone(const std::string& name) const {
        for (int i = 0; i < state.bone_count; ++i) {
            if (state.bones[static_cast<std::size_t>(i)].name == name) return &state.bones[static_cast<std::size_t>(i)];
        }
        return nullptr;
    }

    // The whole file ref_write_smd produces, and its result code.
    std::string write(int* out_rc = nullptr) const {
        return smdtest::capture_stream([this](std::FILE* stream) { return ref_write_smd(state, stream); }, out_rc);
    }
};

using smdtest::lines_of;

// The lines between a section keyword line and the next "end".
inline std::vector<std::string> section(const std::string& text, const std::string& keyword) {
    std::vector<std::string> all = lines_of(text);
    std::vector<std::string> out;
    bool inside = false;
    for (const std::string& line : all) {
        if (!inside) {
            inside = line == keyword;
            continue;
        }
        if (line == "end") break;
        out.push_back(line);
    }
    return out;
}

inline void normalize3(double v[3]) {
    const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    for (int k = 0; k < 3; ++k) v[k] /= length;
}

constexpr double kDegree = 3.14159265358979323846 / 180.0;

}  // namespace reftest

// Shared set-up of the static exporter's tests: a host with a scene, and a
// MeshExportState filled the way the activation fills it (services, an open
// mesh edit over the current object, the object's name), then allocated and
// collected; plus a way to run the whole activation in-process.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <lwcmdseq.h>
#include <lwhost.h>
#include <lwmeshedt.h>
#include <lwmodeler.h>

#include "host.h"
#include "mesh_edit.h"
#include "mesh_state.h"
#include "meshwriter.h"
#include "scene_builder.h"
#include "writer.h"
#include "../common/corner_normal.h"
#include "../common/smd_text.h"
#include "smd_reader.h"
#include "test_files.h"

namespace meshtest {

inline LWPntID lw_point(int mesh, int layer, std::uint32_t point) {
    return reinterpret_cast<LWPntID>(lwhost::point_handle(mesh, layer, point));
}

inline LWPolID lw_polygon(int mesh, int layer, std::uint32_t polygon) {
    return reinterpret_cast<LWPolID>(lwhost::polygon_handle(mesh, layer, polygon));
}

struct MeshFixture {
    lwhost::Host host;
    lwhost::SceneBuilder builder{host.scene};
    MeshExportState state;
    MeshEditOp* edit = nullptr;

    ~MeshFixture() {
        end_edit(0);
        mesh_release(state);
    }

    // Services, the edit and the object's name, as the activation sets them.
    void begin(int mesh) {
        host.scene.current_mesh = mesh;
        state.global = &lwhost::Host::global_function;
        state.messages = static_cast<const LWMessageFuncs*>(host.global(LWMESSAGEFUNCS_GLOBAL, 0));
        edit = lwhost::begin_mesh_edit(host, 0, 0, OPSEL_MODIFY | OPSEL_DIRECT);
        ASSERT_NE(edit, nullptr);
        state.edit = edit;
        auto* query = static_cast<const LWStateQueryFuncs*>(host.global(LWSTATEQUERYFUNCS_GLOBAL, 0));
        ASSERT_NE(query, nullptr);
        if (const char* name = query->object()) state.object_name = name;
    }

    void collect(int mesh) {
        begin(mesh);
        ASSERT_EQ(mesh_allocate(state), EXPORT_OK);
        ASSERT_EQ(mesh_collect(state), EXPORT_OK);
    }

    void end_edit(int selection_mode) {
        if (edit != nullptr) edit->done(edit->state, EDERR_NONE, selection_mode);
        edit = nullptr;
    }

    const ExportPolygon& polygon(int mesh, int layer, std::uint32_t index) const {
        const LWPolID id = lw_polygon(mesh, layer, index);
        for (const ExportPolygon& p : state.geometry.polygons) {
            if (p.id == id) return p;
        }
        ADD_FAILURE() << "polygon " << index << " of layer " << layer << " not recorded";
        static const ExportPolygon none{};
        return none;
    }

    // The whole file mesh_write_smd produces, and its result code.
    std::string write(int* out_rc = nullptr) const {
        return smdtest::capture_stream([this](std::FILE* stream) { return mesh_write_smd(state, stream); }, out_rc);
    }
};

// Runs "SMD Export" in-process, as the host would: the activation with a
// command local whose editBegin opens an edit over the current object
// (editBegin carries no context, so `host` must be the current one).
inline int run_export(lwhost::Host& host, GlobalFunc* global = &lwhost::Host::global_function) {
    EXPECT_EQ(lwhost::Host::current(), &host);
    LWModCommand local{};
    local.editBegin = [](int points, int polygons, EltOpSelect select) -> MeshEditOp* {
        return lwhost::begin_mesh_edit(*lwhost::Host::current(), points, polygons, select);
    };
    return mesh_activate(LWMODCOMMAND_VERSION, global, &local, nullptr);
}

using smdtest::lines_of;

// The lines between the "triangles" line and the next "end".
inline std::vector<std::string> triangles_of(const std::string& text) {
    return test_support::smd_triangle_lines(text);
}

using test_support::read_file;

inline void normalize3(double v[3]) {
    const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    for (int k = 0; k < 3; ++k) v[k] /= length;
}

constexpr double kDegree = 3.14159265358979323846 / 180.0;

}  // namespace meshtest

// Shared set-up of the mesh importer's tests: a host whose current object
// is an empty mesh, a MeshImport filled the way the activation fills it
// (global function, a command local over the host, messages), a way to
// import a text through mesh_import_run, and readers of the mesh it built.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <lwcmdseq.h>
#include <lwhost.h>
#include <lwmeshedt.h>

#include "host.h"
#include "import_state.h"
#include "mesh_edit.h"
#include "scene.h"
#include "scene_builder.h"
#include "smd_files.h"

namespace importtest {

// The points of a face in Modeler's order, and its surface.
struct Face {
    std::string surface;
    std::vector<std::uint32_t> points;
};

struct Importer {
    lwhost::Host host;
    lwhost::SceneBuilder builder{host.scene};
    int mesh = -1;
    std::size_t layer_index = 0;  // the layer the readers below look at
    LWModCommand local{};
    MeshImport state;

    Importer() {
        mesh = builder.mesh("/models/imported.lwo").index();
        host.scene.current_mesh = mesh;
        local.data = &host;
        local.editBegin = [](int points, int polygons, EltOpSelect select) -> MeshEditOp* {
            return lwhost::begin_mesh_edit(*lwhost::Host::current(), points, polygons, select);
        };
        local.evaluate = [](void* data, const char* text) {
            return static_cast<lwhost::Host*>(data)->modeler_command(text);
        };
        state.global = &lwhost::Host::global_function;
        state.command = &local;
        state.messages = static_cast<const LWMessageFuncs*>(host.global(LWMESSAGEFUNCS_GLOBAL, 0));
    }

    // mesh_import_run over the text, read from memory (every byte, NULs too).
    int import(const std::string& text) {
        std::string bytes = text;
        std::FILE* file = bytes.empty() ? std::tmpfile() : fmemopen(bytes.data(), bytes.size(), "r");
        EXPECT_NE(file, nullptr);
        if (file == nullptr) return -1;
        const int rc = mesh_import_run(state, file);
        EXPECT_EQ(state.reader.file, nullptr) << "no pointer to the closed file";
        std::fclose(file);
        return rc;
    }

    const lwhost::Layer& layer() const { return host.scene.meshes[std::size_t(mesh)]->layers.at(layer_index); }
    std::size_t point_count() const { return layer().points.size(); }
    std::size_t polygon_count() const { return layer().polygons.size(); }

    std::vector<Face> faces() const {
        std::vector<Face> out;
        const lwhost::Layer& l = layer();
        const auto& tags = host.scene.meshes[std::size_t(mesh)]->tags;
        for (const lwhost::Polygon& p : l.polygons) {
            Face face;
            if (p.surface_tag >= 0) face.surface = tags[std::size_t(p.surface_tag)];
            face.points.assign(l.vertices(p), l.vertices(p) + p.vertex_count);
            out.push_back(face);
        }
        return out;
    }

    std::vector<double> position(std::uint32_t point) const {
        const double* p = layer().points.at(point).position;
        return {p[0], p[1], p[2]};
    }

    // A per-point value, or an empty vector when the map or the value is absent.
    std::vector<float> value(std::uint32_t type, const std::string& map, std::uint32_t point) const {
        const lwhost::VertexMap* m = layer().find_vmap(type, map);
        const float* v = m != nullptr ? m->get(point) : nullptr;
        return v != nullptr ? std::vector<float>(v, v + m->dimension) : std::vector<float>{};
    }
    std::vector<float> uv(const std::string& map, std::uint32_t point) const {
        return value(lwhost::kTexUV, map, point);
    }
    std::vector<float> weight(const std::string& map, std::uint32_t point) const {
        return value(lwhost::kWeight, map, point);
    }
    std::vector<float> corner_uv(const std::string& map, std::uint32_t polygon, std::uint32_t point) const {
        const lwhost::VertexMap* m = layer().find_vmap(lwhost::kTexUV, map);
        const float* v = m != nullptr ? m->get_for_polygon(polygon, point) : nullptr;
        return v != nullptr ? std::vector<float>(v, v + 2) : std::vector<float>{};
    }
    // Per-polygon values of every TXUV map.
    std::size_t corner_uv_count() const {
        std::size_t count = 0;
        for (const lwhost::VertexMap& m : layer().vmaps) count += m.polygon_value_count();
        return count;
    }
    std::vector<std::string> map_names(std::uint32_t type) const {
        std::vector<std::string> names;
        for (const lwhost::VertexMap& m : layer().vmaps)
            if (m.type == type) names.push_back(m.name);
        return names;
    }

    std::vector<std::string> message_texts() const {
        std::vector<std::string> texts;
        for (const lwhost::Message& m : host.messages) {
            EXPECT_EQ(m.level, lwhost::MessageLevel::Error) << m.line1;
            EXPECT_FALSE(m.has_line2) << m.line1;
            texts.push_back(m.line1);
        }
        return texts;
    }
};

}  // namespace importtest

// Writing one object of the scene model as an object file.
//
// The file is made in memory, then written through the common safe save
// (a temporary beside the target, renamed over it once complete). Layout:
//   FORM LWO2
//     TAGS, chunks kept from before the first layer
//     per layer: LAYR, PNTS, BBOX, VMAP..., then per run of polygons of one
//       type: POLS, PTAG..., VMAD... (their indices are relative to that
//       POLS), then the layer's kept chunks
//     CLIP..., SURF..., kept chunks from the end of the loaded file
// What the object kept from loading is written where it still fits: its
// polygon tags, flags and unknown chunks only when the layer has the point
// and polygon counts it was loaded with.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "formats/lwo2.h"
#include "formats/lwo2_internal.h"
#include "lwmeshedt.h"
#include "safe_file.h"

namespace lwhost {
namespace {

using namespace lwo2;

constexpr std::uint32_t kDiff = fourcc('D', 'I', 'F', 'F');
constexpr std::uint32_t kRgb = fourcc('R', 'G', 'B', ' ');

// The file in memory. Chunks are opened and closed; closing fills in the
// length and adds the pad byte.
class Out {
public:
    explicit Out(const std::filesystem::path& file) : file_(file) {}
    [[noreturn]] void fail(const std::string& what) const { throw FileFormatError(file_, what); }

    std::vector<std::uint8_t> bytes;

    void u1(unsigned v) { bytes.push_back(std::uint8_t(v)); }
    void u2(unsigned v) {
        bytes.push_back(std::uint8_t(v >> 8));
        bytes.push_back(std::uint8_t(v));
    }
    void u4(std::uint32_t v) {
        const std::uint8_t b[4] = {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
        bytes.insert(bytes.end(), b, b + 4);
    }
    void f4(double v) {
        const float f = float(v);
        std::uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        u4(bits);
    }
    void vx(std::uint32_t index) {
        if (index < 0xFF00) u2(index);
        else u4(index | 0xFF000000u);
    }
    // Up to the first NUL, which a name cannot carry in the file.
    void s0(const std::string& text) {
        const std::size_t length = std::min(text.size(), std::strlen(text.c_str()));
        bytes.insert(bytes.end(), text.begin(), text.begin() + std::ptrdiff_t(length));
        u1(0);
        if ((length + 1) % 2) u1(0);
    }
    void raw(const std::vector<std::uint8_t>& data) { bytes.insert(bytes.end(), data.begin(), data.end()); }

    std::size_t open(std::uint32_t id) {
        u4(id);
        u4(0);
        return bytes.size();
    }
    void close(std::size_t start) {
        const std::size_t length = bytes.size() - start;
        if (length > 0xFFFFFFFFu - 4) fail("a chunk is larger than an object file can hold (4 GB)");
        put_u4(start - 4, std::uint32_t(length));
        if (length % 2) u1(0);
    }
    std::size_t open_sub(std::uint32_t id) {
        u4(id);
        u2(0);
        return bytes.size();
    }
    void close_sub(std::size_t start) {
        const std::size_t length = bytes.size() - start;
        if (length > 0xFFFF) fail("a surface or clip sub-chunk is longer than 65,535 bytes");
        bytes[start - 2] = std::uint8_t(length >> 8);
        bytes[start - 1] = std::uint8_t(length);
        if (length % 2) u1(0);
    }
    void raw_chunk(const RawChunk& chunk) {
        const std::size_t at = open(chunk.id);
        raw(chunk.data);
        close(at);
    }
    void raw_sub(const RawChunk& chunk) {
        const std::size_t at = open_sub(chunk.id);
        raw(chunk.data);
        close_sub(at);
    }
    void put_u4(std::size_t at, std::uint32_t v) {
        bytes[at] = std::uint8_t(v >> 24);
        bytes[at + 1] = std::uint8_t(v >> 16);
        bytes[at + 2] = std::uint8_t(v >> 8);
        bytes[at + 3] = std::uint8_t(v);
    }

private:
    const std::filesystem::path& file_;
};

std::size_t estimated_size(const MeshObject& mesh) {
    std::size_t size = 4096;
    for (const Layer& layer : mesh.layers) {
        size += layer.points.size() * 12 + layer.polygons.size() * 8 + layer.vertex_pool.size() * 4;
        for (const VertexMap& map : layer.vmaps)
            size += map.value_count() * (4 + 4 * std::size_t(map.dimension)) +
                    map.polygon_value_count() * (8 + 4 * std::size_t(map.dimension));
    }
    return size;
}

class Saver {
public:
    Saver(const Scene& scene, int mesh, const std::filesystem::path& file)
        : scene_(scene), mesh_index_(mesh), mesh_(*scene.meshes[std::size_t(mesh)]), out_(file),
          kept_(kept_for(mesh_)) {}

    std::vector<std::uint8_t> make();

private:
    const KeptLayer* kept_layer(std::size_t l) const;
    void write_tags();
    void write_layer(std::size_t l);
    void write_maps(const Layer& layer);
    void write_polygon_run(const Layer& layer, const KeptLayer* kept, std::uint32_t first, std::uint32_t end);
    void write_run_tags(const Layer& layer, const KeptLayer* kept, std::uint32_t first, std::uint32_t end);
    void number_clips();
    void write_kept_clip(const KeptClip& clip);
    void write_new_clips();
    void write_trailer();
    void write_surface(const Surface& surface);
    void write_block(const TextureLayer& layer, const std::string& ordinal);
    std::uint32_t clip_of(int image) const;

    const Scene& scene_;
    int mesh_index_;
    const MeshObject& mesh_;
    Out out_;
    std::shared_ptr<const Kept> kept_;
    std::vector<std::pair<int, std::uint32_t>> clips_;      // image -> CLIP index
    std::vector<std::pair<int, std::uint32_t>> new_clips_;  // the ones no kept clip stands for
};

const KeptLayer* Saver::kept_layer(std::size_t l) const {
    if (!kept_) return nullptr;
    const KeptLayer& kept = kept_->layers[l];
    const Layer& layer = mesh_.layers[l];
    if (kept.point_count != layer.points.size() || kept.polygon_count != layer.polygons.size()) return nullptr;
    return &kept;
}

void Saver::write_tags() {
    if (mesh_.tags.empty()) return;
    const std::size_t at = out_.open(kTags);
    for (const std::string& tag : mesh_.tags) out_.s0(tag);
    out_.close(at);
}

void Saver::write_maps(const Layer& layer) {
    for (const VertexMap& map : layer.vmaps) {
        // A map with only per-polygon values is written as VMAD alone.
        if (map.value_count() == 0 && map.polygon_value_count() > 0) continue;
        const std::size_t at = out_.open(kVmap);
        out_.u4(map.type);
        out_.u2(unsigned(map.dimension));
        out_.s0(map.name);
        for (const VertexMap::PointValue row : map.point_values()) {
            out_.vx(row.point);
            for (int k = 0; k < map.dimension; ++k) out_.f4(row.value[k]);
        }
        out_.close(at);
    }
}

void Saver::write_run_tags(const Layer& layer, const KeptLayer* kept, std::uint32_t first, std::uint32_t end) {
    for (int kind = 0; kind < 2; ++kind) {
        std::size_t at = 0;
        for (std::uint32_t p = first; p < end; ++p) {
            const std::int32_t tag = kind == 0 ? layer.polygons[p].surface_tag : layer.polygons[p].part_tag;
            if (tag < 0) continue;
            if (!at) {
                at = out_.open(kPtag);
                out_.u4(kind == 0 ? kSurfTag : kPartTag);
            }
            out_.vx(p - first);
            out_.u2(unsigned(tag));
        }
        if (at) out_.close(at);
    }
    if (!kept) return;
    for (const KeptPolygonTags& tags : kept->polygon_tags) {
        std::size_t at = 0;
        for (const auto& [polygon, tag] : tags.tags) {
            if (polygon < first || polygon >= end) continue;
            if (!at) {
                at = out_.open(kPtag);
                out_.u4(tags.type);
            }
            out_.vx(polygon - first);
            out_.u2(tag);
        }
        if (at) out_.close(at);
    }
}

void Saver::write_polygon_run(const Layer& layer, const KeptLayer* kept, std::uint32_t first, std::uint32_t end) {
    const std::uint32_t type = layer.polygons[first].type;
    const bool curve = type == kCurve;
    // Kept flag bits, in polygon order as they were read.
    auto flag = kept ? std::lower_bound(kept->polygon_flags.begin(), kept->polygon_flags.end(),
                                        std::pair<std::uint32_t, std::uint16_t>(first, 0))
                     : std::vector<std::pair<std::uint32_t, std::uint16_t>>::const_iterator();
    const std::size_t at = out_.open(kPols);
    out_.u4(type);
    for (std::uint32_t p = first; p < end; ++p) {
        const Polygon& polygon = layer.polygons[p];
        unsigned bits = 0;
        if (kept) {
            while (flag != kept->polygon_flags.end() && flag->first < p) ++flag;
            if (flag != kept->polygon_flags.end() && flag->first == p) bits = flag->second;
        }
        unsigned word;
        if (curve) {
            if (polygon.vertex_count > 0x3FFF) out_.fail("a curve has more than 16,383 points");
            bits &= ~0x0C00u;
            bits |= ((polygon.flags & EDPF_CCSTART) ? 0x0400u : 0u) | ((polygon.flags & EDPF_CCEND) ? 0x0800u : 0u);
            word = (polygon.vertex_count & 0x03FF) | ((polygon.vertex_count & 0x3C00) << 2) | bits;
        } else {
            if (polygon.vertex_count > 0x03FF)
                out_.fail("polygon " + std::to_string(p) + " has more than 1,023 points");
            word = polygon.vertex_count | (bits & 0xFC00u);
        }
        out_.u2(word);
        const std::uint32_t* v = layer.vertices(polygon);
        for (std::uint32_t k = 0; k < polygon.vertex_count; ++k) out_.vx(v[k]);
    }
    out_.close(at);
    write_run_tags(layer, kept, first, end);
    for (const VertexMap& map : layer.vmaps) {
        if (map.polygon_value_count() == 0) continue;
        std::size_t vmad = 0;
        for (const VertexMap::PolygonValue row : map.polygon_values()) {
            if (row.polygon < first || row.polygon >= end) continue;
            if (!vmad) {
                vmad = out_.open(kVmad);
                out_.u4(map.type);
                out_.u2(unsigned(map.dimension));
                out_.s0(map.name);
            }
            out_.vx(row.point);
            out_.vx(row.polygon - first);
            for (int k = 0; k < map.dimension; ++k) out_.f4(row.value[k]);
        }
        if (vmad) out_.close(vmad);
    }
}

void Saver::write_layer(std::size_t l) {
    const Layer& layer = mesh_.layers[l];
    const KeptLayer* kept = kept_layer(l);
    if (layer.points.size() > std::size_t(kMaxIndex) + 1)
        out_.fail("layer " + std::to_string(layer.number) + " has more points than an object layer can hold (16,777,216)");
    if (layer.polygons.size() > std::size_t(kMaxIndex) + 1)
        out_.fail("layer " + std::to_string(layer.number) + " has more polygons than an object layer can hold (16,777,216)");
    if (layer.number < 0 || layer.number > 0xFFFF) out_.fail("layer number " + std::to_string(layer.number) + " is not 0 to 65,535");

    std::size_t at = out_.open(kLayr);
    out_.u2(unsigned(layer.number));
    out_.u2((layer.hidden ? 1u : 0u) | (kept_ ? kept_->layers[l].flags : 0u));
    for (double v : layer.pivot) out_.f4(v);
    out_.s0(layer.name);
    if (layer.parent >= 0 && layer.parent < 0xFFFF) out_.u2(unsigned(layer.parent));
    out_.close(at);

    at = out_.open(kPnts);
    double low[3] = {0, 0, 0}, high[3] = {0, 0, 0};
    for (std::size_t i = 0; i < layer.points.size(); ++i) {
        const double* p = layer.points[i].position;
        for (int k = 0; k < 3; ++k) {
            out_.f4(p[k]);
            low[k] = i ? std::min(low[k], p[k]) : p[k];
            high[k] = i ? std::max(high[k], p[k]) : p[k];
        }
    }
    out_.close(at);
    if (!layer.points.empty()) {
        at = out_.open(kBbox);
        for (double v : low) out_.f4(v);
        for (double v : high) out_.f4(v);
        out_.close(at);
    }
    write_maps(layer);
    for (std::uint32_t first = 0; first < layer.polygons.size();) {
        std::uint32_t end = first + 1;
        while (end < layer.polygons.size() && layer.polygons[end].type == layer.polygons[first].type) ++end;
        write_polygon_run(layer, kept, first, end);
        first = end;
    }
    if (kept)
        for (const RawChunk& chunk : kept->chunks) out_.raw_chunk(chunk);
}

std::uint32_t Saver::clip_of(int image) const {
    for (const auto& [i, clip] : clips_)
        if (i == image) return clip;
    return 0;
}

// Kept clips keep their numbers; images the surfaces use that no kept clip
// stands for are numbered after them.
void Saver::number_clips() {
    std::uint32_t next = 1;
    if (kept_)
        for (const KeptClip& clip : kept_->clips) {
            next = std::max(next, clip.index + 1);
            if (clip.image >= 0 && std::size_t(clip.image) < scene_.images.size())
                clips_.emplace_back(clip.image, clip.index);
        }
    for (const auto& surface : scene_.surfaces) {
        if (surface->mesh != mesh_index_) continue;
        for (const TextureLayer& layer : surface->color_texture) {
            if (layer.image < 0 || std::size_t(layer.image) >= scene_.images.size() || clip_of(layer.image)) continue;
            if (next > kMaxIndex) out_.fail("more images than an object file can number");
            clips_.emplace_back(layer.image, next);
            new_clips_.emplace_back(layer.image, next++);
        }
    }
}

void Saver::write_kept_clip(const KeptClip& clip) {
    const bool image_kept = clip.image >= 0 && std::size_t(clip.image) < scene_.images.size();
    const std::size_t at = out_.open(kClip);
    out_.u4(clip.index);
    for (std::size_t s = 0; s < clip.sub_chunks.size(); ++s) {
        if (s == 0 && image_kept && scene_.images[std::size_t(clip.image)]->filename != clip.filename) {
            const std::size_t sub = out_.open_sub(kStil);
            out_.s0(scene_.images[std::size_t(clip.image)]->filename);
            out_.close_sub(sub);
        } else {
            out_.raw_sub(clip.sub_chunks[s]);
        }
    }
    out_.close(at);
}

void Saver::write_new_clips() {
    for (const auto& [image, index] : new_clips_) {
        const std::size_t at = out_.open(kClip);
        out_.u4(index);
        const std::size_t sub = out_.open_sub(kStil);
        out_.s0(scene_.images[std::size_t(image)]->filename);
        out_.close_sub(sub);
        out_.close(at);
    }
}

// An image texture layer as the host program writes one: the header with
// its channel and opacity, a neutral texture map, the projection and image.
void Saver::write_block(const TextureLayer& layer, const std::string& ordinal) {
    const std::size_t block = out_.open_sub(kBlok);
    std::size_t header = out_.open_sub(fourcc('I', 'M', 'A', 'P'));
    out_.s0(ordinal);
    std::size_t sub = out_.open_sub(fourcc('C', 'H', 'A', 'N'));
    out_.u4(kColr);
    out_.close_sub(sub);
    sub = out_.open_sub(fourcc('O', 'P', 'A', 'C'));
    out_.u2(0);
    out_.f4(1.0);
    out_.vx(0);
    out_.close_sub(sub);
    sub = out_.open_sub(fourcc('E', 'N', 'A', 'B'));
    out_.u2(1);
    out_.close_sub(sub);
    out_.close_sub(header);

    header = out_.open_sub(fourcc('T', 'M', 'A', 'P'));
    const double sizes[3][3] = {{0, 0, 0}, {1, 1, 1}, {0, 0, 0}};
    const std::uint32_t vectors[3] = {fourcc('C', 'N', 'T', 'R'), fourcc('S', 'I', 'Z', 'E'), fourcc('R', 'O', 'T', 'A')};
    for (int v = 0; v < 3; ++v) {
        sub = out_.open_sub(vectors[v]);
        for (double x : sizes[v]) out_.f4(x);
        out_.vx(0);
        out_.close_sub(sub);
    }
    sub = out_.open_sub(fourcc('C', 'S', 'Y', 'S'));
    out_.u2(0);
    out_.close_sub(sub);
    out_.close_sub(header);

    sub = out_.open_sub(fourcc('P', 'R', 'O', 'J'));
    out_.u2(unsigned(layer.projection));
    out_.close_sub(sub);
    sub = out_.open_sub(fourcc('A', 'X', 'I', 'S'));
    out_.u2(unsigned(std::clamp(layer.axis, 0, 2)));
    out_.close_sub(sub);
    sub = out_.open_sub(fourcc('I', 'M', 'A', 'G'));
    out_.vx(clip_of(layer.image));
    out_.close_sub(sub);
    sub = out_.open_sub(fourcc('W', 'R', 'A', 'P'));
    out_.u2(1);
    out_.u2(1);
    out_.close_sub(sub);
    if (layer.projection == Projection::UV) {
        sub = out_.open_sub(kVmap);
        out_.s0(layer.uv_map);
        out_.close_sub(sub);
    }
    out_.close_sub(block);
}

// Ordinals for new blocks: one byte from 0x80 up, then 0xFF-led ones, so
// that they sort in the order given and never end in byte 1.
std::string new_ordinal(std::size_t index) {
    return std::string(index / 126, '\xFF') + char(0x80 + index % 126);
}

void Saver::write_surface(const Surface& surface) {
    const KeptSurface* kept = nullptr;
    if (kept_)
        for (const KeptSurface& k : kept_->surfaces)
            if (k.name == surface.name) kept = &k;
    const std::size_t at = out_.open(kSurf);
    out_.s0(surface.name);
    out_.s0(kept ? kept->source : "");
    bool wrote_color = false, wrote_smoothing = false, wrote_vcol = false;
    std::size_t layer = 0;  // base-colour layers met so far
    std::string last_ordinal;
    if (kept) {
        for (const RawChunk& sub : kept->sub_chunks) {
            if (sub.id == kColr && sub.data.size() >= 12) {
                const std::size_t s = out_.open_sub(kColr);
                for (double v : surface.color) out_.f4(v);
                out_.bytes.insert(out_.bytes.end(), sub.data.begin() + 12, sub.data.end());
                out_.close_sub(s);
                wrote_color = true;
            } else if (sub.id == kSman) {
                if (surface.smoothing_angle == kept->smoothing_angle) {
                    out_.raw_sub(sub);
                } else {
                    const std::size_t s = out_.open_sub(kSman);
                    out_.f4(surface.smoothing_angle);
                    out_.close_sub(s);
                }
                wrote_smoothing = true;
            } else if (sub.id == kVcol) {
                if (surface.color_vmap == kept->color_vmap) out_.raw_sub(sub), wrote_vcol = true;
            } else if (sub.id == kBlok && layer < kept->color_texture.size() &&
                       kept->color_texture[layer].block == sub.data) {
                const KeptTextureLayer& was = kept->color_texture[layer];
                last_ordinal = was.ordinal;
                if (layer < surface.color_texture.size()) {
                    const TextureLayer& now = surface.color_texture[layer];
                    if (same_layer(now, was.layer)) out_.raw_sub(sub);
                    else if (now.type == TextureLayerType::Image) write_block(now, was.ordinal);
                }
                ++layer;
            } else {
                out_.raw_sub(sub);
            }
        }
    }
    const bool color_changed = kept && !std::equal(surface.color, surface.color + 3, kept->color);
    if (!wrote_color && (!kept || color_changed)) {
        std::size_t s = out_.open_sub(kColr);
        for (double v : surface.color) out_.f4(v);
        out_.vx(0);
        out_.close_sub(s);
        if (!kept) {
            s = out_.open_sub(kDiff);
            out_.f4(1.0);
            out_.vx(0);
            out_.close_sub(s);
        }
    }
    if (!wrote_smoothing && surface.smoothing_angle > 0) {
        const std::size_t s = out_.open_sub(kSman);
        out_.f4(surface.smoothing_angle);
        out_.close_sub(s);
    }
    if (!wrote_vcol && !surface.color_vmap.empty()) {
        const std::size_t s = out_.open_sub(kVcol);
        out_.f4(1.0);
        out_.vx(0);
        out_.u4(kRgb);
        out_.s0(surface.color_vmap);
        out_.close_sub(s);
    }
    // Layers added since loading sort after the last kept one.
    for (std::size_t extra = 0; layer < surface.color_texture.size(); ++layer, ++extra)
        if (surface.color_texture[layer].type == TextureLayerType::Image)
            write_block(surface.color_texture[layer], last_ordinal + new_ordinal(extra));
    out_.close(at);
}

// Clips, surfaces and chunks kept from the end of the file in their loaded
// order; then new clips, then surfaces that were not in the file.
void Saver::write_trailer() {
    std::vector<bool> written(scene_.surfaces.size(), false);
    const auto write_named = [&](const std::string& name) {
        for (std::size_t s = 0; s < scene_.surfaces.size(); ++s)
            if (!written[s] && scene_.surfaces[s]->mesh == mesh_index_ && scene_.surfaces[s]->name == name) {
                write_surface(*scene_.surfaces[s]);
                written[s] = true;
                return;
            }
    };
    if (kept_) {
        for (const auto& [what, index] : kept_->trailer) {
            if (what == Kept::Trailer::Chunk) out_.raw_chunk(kept_->tail[index]);
            else if (what == Kept::Trailer::Clip) write_kept_clip(kept_->clips[index]);
            else write_named(kept_->surfaces[index].name);
        }
    }
    write_new_clips();
    for (std::size_t s = 0; s < scene_.surfaces.size(); ++s)
        if (!written[s] && scene_.surfaces[s]->mesh == mesh_index_) write_surface(*scene_.surfaces[s]);
}

std::vector<std::uint8_t> Saver::make() {
    out_.bytes.reserve(estimated_size(mesh_));
    const std::size_t form = out_.open(kForm);
    out_.u4(kLwo2);
    write_tags();
    if (kept_)
        for (const RawChunk& chunk : kept_->head) out_.raw_chunk(chunk);
    for (std::size_t l = 0; l < mesh_.layers.size(); ++l) write_layer(l);
    number_clips();
    write_trailer();
    out_.close(form);
    return std::move(out_.bytes);
}

}  // namespace

std::vector<std::uint8_t> lwo2_file_bytes(const Scene& scene, int mesh, const std::filesystem::path& file) {
    if (mesh < 0 || std::size_t(mesh) >= scene.meshes.size())
        throw FileFormatError(file, "there is no object " + std::to_string(mesh) + " to save");
    try {
        return Saver(scene, mesh, file).make();
    } catch (const std::bad_alloc&) {
        throw FileFormatError(file, "not enough memory to save it");
    }
}

void save_lwo2(const Scene& scene, int mesh, const std::filesystem::path& file) {
    const std::vector<std::uint8_t> bytes = lwo2_file_bytes(scene, mesh, file);
    SafeFile out;
    const int opened = safe_file_open(out, file.c_str());
    if (opened == SAFE_FILE_NO_MEMORY) throw FileFormatError(file, "not enough memory to save it");
    if (opened != SAFE_FILE_OK)
        throw FileFormatError(file, "cannot be written (a folder, a read-only file, or no room for a file beside it)");
    int rc = 0;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out.stream) != bytes.size()) rc = 1;
    if (safe_file_commit(out, rc) != 0)
        throw FileFormatError(file, "could not be written completely (is the disk full?); the file is as it was");
}

}  // namespace lwhost

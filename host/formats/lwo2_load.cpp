// Reading an object file into the scene model.
//
// The whole file is read first and checked as it is read: every length
// against what is left of its chunk, every index against what it indexes.
// The object is built into a scene of its own and moved into the caller's
// scene only when the file has been read to its end, so a file that fails
// leaves nothing behind.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "big_block.h"
#include "formats/lwo2.h"
#include "formats/lwo2_internal.h"
#include "lwmeshedt.h"
#include "scene_builder.h"

namespace lwhost {
namespace {

using namespace lwo2;

constexpr std::uint32_t kEnvl = fourcc('E', 'N', 'V', 'L');
constexpr std::uint32_t kImap = fourcc('I', 'M', 'A', 'P');
constexpr std::uint32_t kProc = fourcc('P', 'R', 'O', 'C');
constexpr std::uint32_t kGrad = fourcc('G', 'R', 'A', 'D');
constexpr std::uint32_t kShdr = fourcc('S', 'H', 'D', 'R');
constexpr std::uint32_t kChan = fourcc('C', 'H', 'A', 'N');
constexpr std::uint32_t kProj = fourcc('P', 'R', 'O', 'J');
constexpr std::uint32_t kAxis = fourcc('A', 'X', 'I', 'S');
constexpr std::uint32_t kImag = fourcc('I', 'M', 'A', 'G');
constexpr std::uint32_t kLwob = fourcc('L', 'W', 'O', 'B');
constexpr std::uint32_t kLwlo = fourcc('L', 'W', 'L', 'O');

std::string id_text(std::uint32_t id) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((id >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

bool readable_id(std::uint32_t id) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned c = (id >> shift) & 0xFF;
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

// A cursor over one chunk's data. Every read checks what is left and
// throws the loader's error naming `where` (the chunk being read).
class Cursor {
public:
    Cursor(const std::uint8_t* at, const std::uint8_t* end, const std::filesystem::path& file, std::string where)
        : at_(at), end_(end), file_(&file), where_(std::move(where)) {}

    std::size_t left() const { return std::size_t(end_ - at_); }
    bool done() const { return at_ == end_; }
    const std::uint8_t* at() const { return at_; }
    const std::string& where() const { return where_; }

    [[noreturn]] void fail(const std::string& what) const { throw FileFormatError(*file_, where_ + ": " + what); }

    void need(std::size_t bytes, const char* what) const {
        if (left() < bytes) fail(std::string(what) + " runs past the end of the chunk");
    }
    std::uint8_t u1(const char* what) {
        need(1, what);
        return *at_++;
    }
    std::uint16_t u2(const char* what) {
        need(2, what);
        const std::uint16_t v = std::uint16_t((at_[0] << 8) | at_[1]);
        at_ += 2;
        return v;
    }
    std::uint32_t u4(const char* what) {
        need(4, what);
        const std::uint32_t v = (std::uint32_t(at_[0]) << 24) | (std::uint32_t(at_[1]) << 16) |
                                (std::uint32_t(at_[2]) << 8) | std::uint32_t(at_[3]);
        at_ += 4;
        return v;
    }
    float f4(const char* what) {
        const std::uint32_t bits = u4(what);
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    // A VX index: two bytes, or four when the first is 0xFF.
    std::uint32_t vx(const char* what) {
        need(1, what);
        if (*at_ == 0xFF) return u4(what) & kMaxIndex;
        return u2(what);
    }
    // An S0 string: up to its NUL, then a pad byte when needed for an even
    // length. A pad missing at the very end of the chunk is forgiven.
    std::string s0(const char* what) {
        const std::uint8_t* nul = static_cast<const std::uint8_t*>(std::memchr(at_, 0, left()));
        if (!nul) fail(std::string(what) + " has no end (no NUL before the end of the chunk)");
        std::string text(reinterpret_cast<const char*>(at_), std::size_t(nul - at_));
        std::size_t used = std::size_t(nul - at_) + 1;
        if (used % 2) ++used;
        at_ += std::min(used, left());
        return text;
    }
    void skip(std::size_t bytes) { at_ += std::min(bytes, left()); }
    // The next sub-chunk (ID4, U2 length, data, pad): its ID and a cursor over its data.
    Cursor sub_chunk(std::uint32_t& out_id) {
        out_id = u4("sub-chunk header");
        const std::uint16_t length = u2("sub-chunk header");
        const std::string name = where_ + " " + id_text(out_id);
        if (!readable_id(out_id)) fail("unreadable sub-chunk ID");
        if (length > left()) fail(id_text(out_id) + " sub-chunk runs past the end of its chunk");
        Cursor inner(at_, at_ + length, *file_, name);
        at_ += length;
        if (length % 2 && left() > 0) ++at_;
        return inner;
    }

private:
    const std::uint8_t* at_;
    const std::uint8_t* end_;
    const std::filesystem::path* file_;
    std::string where_;
};

std::vector<std::uint8_t> bytes_of(const Cursor& c) { return std::vector<std::uint8_t>(c.at(), c.at() + c.left()); }

std::string base_name(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A surface's texture layer as read, before its clip is matched to an image.
struct PendingLayer {
    int surface;         // index in the loader's own scene
    std::size_t layer;   // in the surface's color_texture
    std::uint32_t clip;  // 0: none
};

class Loader {
public:
    Loader(const std::filesystem::path& file, std::span<const std::byte> bytes)
        : file_(file),
          begin_(reinterpret_cast<const std::uint8_t*>(bytes.data())),
          end_(begin_ + bytes.size()),
          builder_(scratch_),
          mesh_(builder_.mesh(file.string())),
          kept_(std::make_shared<Kept>()) {}

    int load_into(Scene& scene);

private:
    [[noreturn]] void fail(const std::string& what) const { throw FileFormatError(file_, what); }

    void read_header(std::size_t& out_form_end);
    void read_chunk(std::uint32_t id, Cursor& c);
    Layer& current_layer();
    void read_tags(Cursor& c);
    void read_layer(Cursor& c);
    void read_points(Cursor& c);
    void read_polygons(Cursor& c);
    void read_polygon_tags(Cursor& c);
    void read_vertex_map(Cursor& c, bool per_polygon);
    void read_clip(Cursor& c);
    void read_surface(Cursor& c);
    void read_block(Cursor& c, int surface, KeptSurface& kept);
    void finish();
    void keep_unknown(std::uint32_t id, const Cursor& c);
    KeptLayer& kept_layer() { return kept_->layers[std::size_t(mesh_.layer_index())]; }

    const std::filesystem::path& file_;
    const std::uint8_t* begin_;
    const std::uint8_t* end_;
    Scene scratch_;
    SceneBuilder builder_;
    MeshBuilder mesh_;
    std::shared_ptr<Kept> kept_;

    bool in_layer_ = false;       // a LAYR (or geometry standing in for one) was met
    bool past_geometry_ = false;  // a CLIP or SURF was met: unknown chunks go to the tail
    std::vector<int> layer_numbers_;
    // The most recent PNTS and POLS of the current layer, which indices in
    // later chunks are relative to.
    std::uint32_t point_base_ = 0, point_span_ = 0;
    std::uint32_t polygon_base_ = 0, polygon_span_ = 0;
    std::vector<PendingLayer> pending_;
    std::vector<std::uint32_t> vertices_;  // one polygon's, reused
};

void Loader::read_header(std::size_t& out_form_end) {
    const std::size_t size = std::size_t(end_ - begin_);
    if (size < 12) fail("not an object file (too short for a FORM header)");
    Cursor c(begin_, end_, file_, "FORM");
    const std::uint32_t form = c.u4("header");
    const std::uint32_t length = c.u4("header");
    const std::uint32_t type = c.u4("header");
    if (form != kForm) fail("not an object file (no FORM header)");
    if (type == kLwob || type == kLwlo)
        fail("not an LWO2 object file (an older " + id_text(type) + " object; save it again as LWO2)");
    if (type != kLwo2) fail("not an LWO2 object file (FORM type " + id_text(type) + ")");
    if (length < 4) fail("FORM size " + std::to_string(length) + " is too small");
    if (length > size - 8)
        fail("FORM size " + std::to_string(length) + " runs past the end of the file (" + std::to_string(size) +
             " bytes): the file is cut short");
    out_form_end = 8 + std::size_t(length);
}

Layer& Loader::current_layer() {
    if (!in_layer_) {
        // Geometry before any LAYR belongs to a layer 0 of its own.
        in_layer_ = true;
        layer_numbers_.push_back(0);
        kept_->layers.emplace_back();
    }
    return mesh_.current_layer();
}

void Loader::read_tags(Cursor& c) {
    auto& tags = mesh_.object().tags;
    while (!c.done()) tags.push_back(c.s0("tag string"));
}

void Loader::read_layer(Cursor& c) {
    const int number = c.u2("layer number");
    const std::uint16_t flags = c.u2("layer flags");
    double pivot[3];
    for (double& v : pivot) v = c.f4("pivot");
    std::string name = c.s0("layer name");
    int parent = -1;
    if (c.left() >= 2) {
        const std::uint16_t p = c.u2("parent");
        parent = p == 0xFFFF ? -1 : int(p);
    }
    if (std::find(layer_numbers_.begin(), layer_numbers_.end(), number) != layer_numbers_.end())
        fail("LAYR: layer number " + std::to_string(number) + " appears twice");
    if (!in_layer_) {
        // The builder made an empty first layer; this LAYR is it.
        mesh_.current_layer().number = number;
        mesh_.layer(number, name);
    } else {
        mesh_.layer(number, name);
    }
    in_layer_ = true;
    layer_numbers_.push_back(number);
    Layer& layer = mesh_.current_layer();
    layer.hidden = flags & 1;
    layer.parent = parent;
    std::copy(pivot, pivot + 3, layer.pivot);
    kept_->layers.emplace_back().flags = std::uint16_t(flags & ~1u);
    point_base_ = point_span_ = polygon_base_ = polygon_span_ = 0;
}

void Loader::read_points(Cursor& c) {
    Layer& layer = current_layer();
    if (c.left() % 12) fail("PNTS: length " + std::to_string(c.left()) + " is not a whole number of points (12 bytes each)");
    const std::size_t count = c.left() / 12;
    if (count > kMaxIndex + 1) fail("PNTS: more points than a VX index can reach");
    if (layer.points.size() + count > 0xFFFFFFFEu) fail("PNTS: too many points in one layer");
    point_base_ = std::uint32_t(layer.points.size());
    point_span_ = std::uint32_t(count);
    layer.points.reserve(layer.points.size() + count);
    for (std::size_t i = 0; i < count; ++i) {
        const float x = c.f4("point"), y = c.f4("point"), z = c.f4("point");
        mesh_.point(x, y, z);
    }
}

// Counts the polygons and corners ahead, so that a large mesh is read into
// vectors of the right size rather than into doubled ones.
void reserve_polygons(Cursor c, bool curve, Layer& layer) {
    std::size_t polygons = 0, corners = 0;
    const std::size_t most_corners = c.left() / 2;  // a damaged count claims more than is there
    while (c.left() >= 2) {
        const std::uint16_t word = c.u2("polygon");
        const std::uint32_t count = curve ? (word & 0x03FFu) | ((word >> 2) & 0x3C00u) : (word & 0x03FFu);
        for (std::uint32_t k = 0; k < count && !c.done(); ++k) c.skip(*c.at() == 0xFF ? 4 : 2);
        ++polygons;
        corners += count;
    }
    layer.polygons.reserve(layer.polygons.size() + polygons);
    layer.vertex_pool.reserve(layer.vertex_pool.size() + std::min(corners, most_corners));
}

void Loader::read_polygons(Cursor& c) {
    Layer& layer = current_layer();
    const std::uint32_t type = c.u4("polygon type");
    const bool curve = type == kCurve;
    polygon_base_ = std::uint32_t(layer.polygons.size());
    KeptLayer& kept = kept_layer();
    reserve_polygons(c, curve, layer);
    std::uint32_t count_read = 0;
    while (!c.done()) {
        const std::uint16_t word = c.u2("polygon");
        // CURV counts use four of the flag bits as well; its two lowest flag
        // bits mark the start and end control points.
        const std::uint32_t count = curve ? (word & 0x03FFu) | ((word >> 2) & 0x3C00u) : (word & 0x03FFu);
        const std::uint16_t flag_bits = std::uint16_t(word & (curve ? 0x0C00u : 0xFC00u));
        if (count == 0) fail("POLS: polygon " + std::to_string(count_read) + " has no points");
        vertices_.resize(count);
        for (std::uint32_t k = 0; k < count; ++k) {
            const std::uint32_t v = c.vx("polygon point index");
            if (v >= point_span_)
                fail("POLS: polygon " + std::to_string(count_read) + " uses point " + std::to_string(v) +
                     ", but its PNTS has " + std::to_string(point_span_) + " points");
            vertices_[k] = point_base_ + v;
        }
        const std::uint32_t index = mesh_.polygon(vertices_.data(), count, "", type);
        if (flag_bits) {
            kept.polygon_flags.emplace_back(index, flag_bits);
            if (curve)
                mesh_.polygon_flags(index, ((flag_bits & 0x0400) ? EDPF_CCSTART : 0u) |
                                               ((flag_bits & 0x0800) ? EDPF_CCEND : 0u));
        }
        if (++count_read > kMaxIndex + 1) fail("POLS: more polygons than a VX index can reach");
    }
    polygon_span_ = count_read;
}

void Loader::read_polygon_tags(Cursor& c) {
    current_layer();  // tags met before any LAYR open the layer they belong to
    const std::uint32_t type = c.u4("tag type");
    const std::size_t tag_count = mesh_.object().tags.size();
    KeptPolygonTags* other = nullptr;
    if (type != kSurfTag && type != kPartTag) {
        other = &kept_layer().polygon_tags.emplace_back();
        other->type = type;
    }
    while (!c.done()) {
        const std::uint32_t polygon = c.vx("polygon index");
        const std::uint16_t tag = c.u2("tag");
        if (polygon >= polygon_span_)
            fail("PTAG: polygon " + std::to_string(polygon) + " out of range (its POLS has " +
                 std::to_string(polygon_span_) + " polygons)");
        if (other) {
            other->tags.emplace_back(polygon_base_ + polygon, tag);
            continue;
        }
        if (tag >= tag_count)
            fail("PTAG " + id_text(type) + ": tag " + std::to_string(tag) + " out of range (TAGS has " +
                 std::to_string(tag_count) + " strings)");
        if (type == kSurfTag) mesh_.surface_tag(polygon_base_ + polygon, tag);
        else mesh_.part_tag(polygon_base_ + polygon, tag);
    }
}

void Loader::read_vertex_map(Cursor& c, bool per_polygon) {
    Layer& layer = current_layer();
    const std::uint32_t type = c.u4("map type");
    const int dimension = c.u2("map dimension");
    const std::string name = c.s0("map name");
    const std::string what = std::string(per_polygon ? "VMAD " : "VMAP ") + id_text(type) + " '" + name + "'";
    if (const VertexMap* found = layer.find_vmap(type, name); found && found->dimension != dimension)
        fail(what + ": dimension " + std::to_string(dimension) + " differs from the same map's earlier " +
             std::to_string(found->dimension));
    std::vector<float> values(std::size_t(std::max(dimension, 1)));
    const std::size_t value_bytes = std::size_t(dimension) * 4;
    while (!c.done()) {
        const std::uint32_t point = c.vx("point index");
        const std::uint32_t polygon = per_polygon ? c.vx("polygon index") : 0;
        if (c.left() < value_bytes) fail(what + ": the chunk ends inside an entry");
        for (int k = 0; k < dimension; ++k) values[std::size_t(k)] = c.f4("value");
        if (point >= point_span_)
            fail(what + ": point " + std::to_string(point) + " out of range (its PNTS has " +
                 std::to_string(point_span_) + " points)");
        if (!per_polygon) {
            mesh_.value(type, name, dimension, point_base_ + point, values.data());
            continue;
        }
        if (polygon >= polygon_span_)
            fail(what + ": polygon " + std::to_string(polygon) + " out of range (its POLS has " +
                 std::to_string(polygon_span_) + " polygons)");
        const Polygon& p = layer.polygons[polygon_base_ + polygon];
        const std::uint32_t* v = layer.vertices(p);
        if (std::find(v, v + p.vertex_count, point_base_ + point) == v + p.vertex_count)
            fail(what + ": point " + std::to_string(point) + " is not a corner of polygon " + std::to_string(polygon));
        mesh_.value_for_polygon(type, name, dimension, polygon_base_ + polygon, point_base_ + point, values.data());
    }
    // A map without entries still names a map.
    if (!layer.find_vmap(type, name)) layer.vmap(type, name, dimension);
}

void Loader::read_clip(Cursor& c) {
    past_geometry_ = true;
    KeptClip clip;
    clip.index = c.u4("clip index");
    for (const KeptClip& other : kept_->clips)
        if (other.index == clip.index) fail("CLIP: index " + std::to_string(clip.index) + " appears twice");
    bool first = true;
    while (!c.done()) {
        std::uint32_t id;
        Cursor sub = c.sub_chunk(id);
        clip.sub_chunks.push_back(RawChunk{id, bytes_of(sub)});
        if (first && id == kStil) {
            clip.filename = sub.s0("file name");
            clip.image = builder_.image(base_name(clip.filename), 0, 0, clip.filename);
        }
        first = false;
    }
    kept_->trailer.emplace_back(Kept::Trailer::Clip, kept_->clips.size());
    kept_->clips.push_back(std::move(clip));
}

void Loader::read_block(Cursor& c, int surface, KeptSurface& kept) {
    const std::vector<std::uint8_t> block = bytes_of(c);
    std::uint32_t header_id;
    Cursor header = c.sub_chunk(header_id);
    if (header_id != kImap && header_id != kProc && header_id != kGrad && header_id != kShdr) return;
    const std::string ordinal = header.s0("ordinal");
    std::uint32_t channel = 0;
    while (!header.done()) {
        std::uint32_t id;
        Cursor sub = header.sub_chunk(id);
        if (id == kChan) channel = sub.u4("channel");
    }
    if (channel != kColr || header_id == kShdr) return;
    TextureLayer layer;
    layer.type = header_id == kImap ? TextureLayerType::Image
               : header_id == kProc ? TextureLayerType::Procedural
                                    : TextureLayerType::Gradient;
    std::uint32_t clip = 0;
    while (!c.done()) {
        std::uint32_t id;
        Cursor sub = c.sub_chunk(id);
        if (id == kProj) {
            const std::uint16_t projection = sub.u2("projection");
            if (projection > 5) sub.fail("projection " + std::to_string(projection) + " is none of 0 to 5");
            layer.projection = Projection(projection);
        } else if (id == kAxis) {
            layer.axis = sub.u2("axis");
        } else if (id == kImag) {
            clip = sub.vx("clip index");
        } else if (id == kVmap) {
            layer.uv_map = sub.s0("UV map name");
        }
    }
    Surface& s = *scratch_.surfaces[std::size_t(surface)];
    pending_.push_back(PendingLayer{surface, s.color_texture.size(), clip});
    s.color_texture.push_back(layer);
    kept.color_texture.push_back(KeptTextureLayer{layer, block, ordinal});
}

void Loader::read_surface(Cursor& c) {
    past_geometry_ = true;
    KeptSurface kept;
    kept.name = c.s0("surface name");
    kept.source = c.s0("source surface name");
    for (const KeptSurface& other : kept_->surfaces)
        if (other.name == kept.name) fail("SURF: surface '" + kept.name + "' appears twice");
    SurfaceBuilder& surface_builder = builder_.surface(mesh_, kept.name);
    Surface& surface = surface_builder.surface();
    const int index = int(scratch_.surfaces.size()) - 1;
    while (!c.done()) {
        std::uint32_t id;
        Cursor sub = c.sub_chunk(id);
        kept.sub_chunks.push_back(RawChunk{id, bytes_of(sub)});
        if (id == kColr) {
            for (double& v : surface.color) v = sub.f4("colour");
        } else if (id == kSman) {
            const float angle = sub.f4("smoothing angle");
            surface_builder.smoothing_radians(angle > 0 ? angle : 0.0);
        } else if (id == kVcol) {
            sub.f4("intensity");
            sub.vx("envelope");
            sub.u4("map type");
            surface.color_vmap = sub.s0("map name");
        } else if (id == kBlok) {
            read_block(sub, index, kept);
        }
    }
    kept.smoothing_angle = surface.smoothing_angle;
    std::copy(surface.color, surface.color + 3, kept.color);
    kept.color_vmap = surface.color_vmap;
    kept_->trailer.emplace_back(Kept::Trailer::Surface, kept_->surfaces.size());
    kept_->surfaces.push_back(std::move(kept));
}

void Loader::keep_unknown(std::uint32_t id, const Cursor& c) {
    RawChunk raw{id, bytes_of(c)};
    if (past_geometry_) {
        kept_->trailer.emplace_back(Kept::Trailer::Chunk, kept_->tail.size());
        kept_->tail.push_back(std::move(raw));
    }
    else if (in_layer_) kept_layer().chunks.push_back(std::move(raw));
    else kept_->head.push_back(std::move(raw));
}

void Loader::read_chunk(std::uint32_t id, Cursor& c) {
    switch (id) {
    case kTags: read_tags(c); break;
    case kLayr: read_layer(c); break;
    case kPnts: read_points(c); break;
    case kPols: read_polygons(c); break;
    case kPtag: read_polygon_tags(c); break;
    case kVmap: read_vertex_map(c, false); break;
    case kVmad: read_vertex_map(c, true); break;
    case kClip: read_clip(c); break;
    case kSurf: read_surface(c); break;
    case kBbox: break;  // worked out again from the points when saved
    case kEnvl:
        past_geometry_ = true;
        keep_unknown(id, c);
        break;
    default: keep_unknown(id, c); break;
    }
}

void Loader::finish() {
    MeshObject& object = mesh_.object();
    // Images of the surfaces' layers, now that every clip is known.
    for (const PendingLayer& p : pending_) {
        int image = -1;
        for (const KeptClip& clip : kept_->clips)
            if (p.clip && clip.index == p.clip) image = clip.image;
        scratch_.surfaces[std::size_t(p.surface)]->color_texture[p.layer].image = image;
        kept_->surfaces[std::size_t(p.surface)].color_texture[p.layer].layer.image = image;
    }
    // Every surface name a polygon uses is a surface, with or without a SURF.
    std::vector<bool> used(object.tags.size(), false);
    for (const Layer& layer : object.layers)
        for (const Polygon& polygon : layer.polygons)
            if (polygon.surface_tag >= 0) used[std::size_t(polygon.surface_tag)] = true;
    for (std::size_t t = 0; t < used.size(); ++t)
        if (used[t] && !scratch_.find_surface(mesh_.index(), object.tags[t])) builder_.surface(mesh_, object.tags[t]);
    kept_->filename = object.filename;
    for (std::size_t l = 0; l < object.layers.size(); ++l) {
        if (l >= kept_->layers.size()) kept_->layers.emplace_back();
        kept_->layers[l].point_count = object.layers[l].points.size();
        kept_->layers[l].polygon_count = object.layers[l].polygons.size();
    }
}

int Loader::load_into(Scene& scene) {
    std::size_t form_end = 0;
    read_header(form_end);
    const std::uint8_t* at = begin_ + 12;
    const std::uint8_t* end = begin_ + form_end;
    while (at != end) {
        const std::size_t offset = std::size_t(at - begin_);
        if (std::size_t(end - at) < 8)
            fail("the file ends inside a chunk header at byte " + std::to_string(offset));
        Cursor header(at, end, file_, "chunk header");
        const std::uint32_t id = header.u4("ID");
        const std::uint32_t length = header.u4("length");
        if (!readable_id(id)) fail("unreadable chunk ID at byte " + std::to_string(offset) + " (not an object file, or damaged)");
        at += 8;
        if (length > std::size_t(end - at))
            fail(id_text(id) + " chunk at byte " + std::to_string(offset) + " runs past the end of the file (length " +
                 std::to_string(length) + ", " + std::to_string(end - at) + " bytes left)");
        Cursor c(at, at + length, file_, id_text(id));
        read_chunk(id, c);
        at += length;
        if (length % 2 && at != end) ++at;
    }
    finish();

    // Into the caller's scene: room first, so that nothing below can fail.
    const int mesh = int(scene.meshes.size());
    const int image_base = int(scene.images.size());
    scene.meshes.reserve(scene.meshes.size() + 1);
    scene.surfaces.reserve(scene.surfaces.size() + scratch_.surfaces.size());
    scene.images.reserve(scene.images.size() + scratch_.images.size());
    for (KeptClip& clip : kept_->clips)
        if (clip.image >= 0) clip.image += image_base;
    for (KeptSurface& surface : kept_->surfaces)
        for (KeptTextureLayer& layer : surface.color_texture)
            if (layer.layer.image >= 0) layer.layer.image += image_base;
    scratch_.meshes[0]->kept_file_data = std::move(kept_);

    scene.meshes.push_back(std::move(scratch_.meshes[0]));
    for (auto& image : scratch_.images) scene.images.push_back(std::move(image));
    for (auto& surface : scratch_.surfaces) {
        surface->mesh = mesh;
        for (TextureLayer& layer : surface->color_texture)
            if (layer.image >= 0) layer.image += image_base;
        scene.surfaces.push_back(std::move(surface));
    }
    return mesh;
}

// Room for a file's bytes, not zeroed, in a big block: reading 60 MB into
// small pages spends as long in page faults as the loader spends reading
// the chunks.
struct FreeBytes {
    std::size_t bytes = 0;
    void operator()(std::byte* block) const { big_block_free(block, bytes); }
};
using Bytes = std::unique_ptr<std::byte[], FreeBytes>;

Bytes file_buffer(std::size_t bytes) {
    void* memory = big_block_allocate(bytes);
    if (!memory) throw std::bad_alloc();
    return Bytes(static_cast<std::byte*>(memory), FreeBytes{bytes});
}

}  // namespace

int load_lwo2(Scene& scene, const std::filesystem::path& file, std::span<const std::byte> bytes) {
    try {
        Loader loader(file, bytes);
        return loader.load_into(scene);
    } catch (const FileFormatError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw FileFormatError(file, "not enough memory to load it");
    } catch (const std::exception& e) {
        throw FileFormatError(file, std::string("cannot be loaded: ") + e.what());
    }
}

int load_lwo2(Scene& scene, const std::filesystem::path& file) {
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) throw FileFormatError(file, std::string("cannot be opened: ") + std::strerror(errno));
    // Read straight into a buffer of the file's size, neither zeroed first
    // nor copied after. One byte more shows the end; a file that grew since
    // its size was taken is read on to its end.
    Bytes data;
    std::size_t size = 0, capacity = 1;
    bool failed = false;
    try {
        if (std::fseek(f, 0, SEEK_END) == 0) {
            const long length = std::ftell(f);
            if (length > 0) capacity = std::size_t(length) + 1;
            std::rewind(f);
        }
        data = file_buffer(capacity);
        std::size_t got;
        while ((got = std::fread(data.get() + size, 1, capacity - size, f)) > 0) {
            size += got;
            if (size < capacity) continue;
            Bytes larger = file_buffer(capacity * 2);
            std::memcpy(larger.get(), data.get(), size);
            data = std::move(larger);
            capacity *= 2;
        }
        failed = std::ferror(f) != 0;
    } catch (const std::bad_alloc&) {
        std::fclose(f);
        throw FileFormatError(file, "not enough memory to read it");
    }
    const int saved_errno = errno;
    std::fclose(f);
    if (failed) throw FileFormatError(file, std::string("cannot be read: ") + std::strerror(saved_errno));
    return load_lwo2(scene, file, std::span<const std::byte>(data.get(), size));
}

}  // namespace lwhost

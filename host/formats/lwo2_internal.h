// What the object file loader and saver share: what a loaded file carried
// that the scene model has no place for, and where it is kept.
//
// The scene model holds what the host and the plug-ins use (layers, points,
// polygons, tags, vertex maps of every type, surfaces' smoothing, colour and
// base-colour layers, images). Everything else a file held is kept here, as
// bytes, so that saving a loaded object gives it back: unknown chunks, the
// sub-chunks of surfaces and clips, polygon tags other than SURF and PART,
// polygon flag bits and layer flag bits.
//
// Kept data travels with its MeshObject (kept_file_data). The object may
// have been edited since it was loaded; the saver only uses what still fits
// (the file name and the layers' point and polygon counts are compared).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "scene.h"

namespace lwhost::lwo2 {

inline constexpr std::uint32_t kForm = fourcc('F', 'O', 'R', 'M');
inline constexpr std::uint32_t kLwo2 = fourcc('L', 'W', 'O', '2');
inline constexpr std::uint32_t kMetaball = fourcc('M', 'B', 'A', 'L');
inline constexpr std::uint32_t kTags = fourcc('T', 'A', 'G', 'S');
inline constexpr std::uint32_t kLayr = fourcc('L', 'A', 'Y', 'R');
inline constexpr std::uint32_t kPnts = fourcc('P', 'N', 'T', 'S');
inline constexpr std::uint32_t kBbox = fourcc('B', 'B', 'O', 'X');
inline constexpr std::uint32_t kVmap = fourcc('V', 'M', 'A', 'P');
inline constexpr std::uint32_t kVmad = fourcc('V', 'M', 'A', 'D');
inline constexpr std::uint32_t kPols = fourcc('P', 'O', 'L', 'S');
inline constexpr std::uint32_t kPtag = fourcc('P', 'T', 'A', 'G');
inline constexpr std::uint32_t kClip = fourcc('C', 'L', 'I', 'P');
inline constexpr std::uint32_t kSurf = fourcc('S', 'U', 'R', 'F');
inline constexpr std::uint32_t kStil = fourcc('S', 'T', 'I', 'L');
inline constexpr std::uint32_t kColr = fourcc('C', 'O', 'L', 'R');
inline constexpr std::uint32_t kSman = fourcc('S', 'M', 'A', 'N');
inline constexpr std::uint32_t kVcol = fourcc('V', 'C', 'O', 'L');
inline constexpr std::uint32_t kBlok = fourcc('B', 'L', 'O', 'K');
// 24-bit indices: the largest a VX can hold.
inline constexpr std::uint32_t kMaxIndex = 0x00FFFFFFu;

// A chunk or sub-chunk as it was in the file: its ID and its data, without
// the header and the pad byte.
struct RawChunk {
    std::uint32_t id = 0;
    std::vector<std::uint8_t> data;
    bool operator==(const RawChunk&) const = default;
};

// Polygon tags of one type the model does not hold (SMGP, COLR, ...), by the
// polygon's index in its layer.
struct KeptPolygonTags {
    std::uint32_t type = 0;
    std::vector<std::pair<std::uint32_t, std::uint16_t>> tags;
};

struct KeptLayer {
    std::size_t point_count = 0, polygon_count = 0;  // when loaded: kept rows below index them
    std::uint16_t flags = 0;                          // LAYR flags but the hidden bit
    std::vector<KeptPolygonTags> polygon_tags;
    // Flag bits of the POLS count word (0xFC00; CURV: the two lowest are
    // the model's EDPF bits), only for polygons that have any.
    std::vector<std::pair<std::uint32_t, std::uint16_t>> polygon_flags;
    std::vector<RawChunk> chunks;  // unknown chunks met inside this layer
};

struct KeptClip {
    std::uint32_t index = 0;  // the CLIP index surfaces refer to
    int image = -1;           // its image in the loading scene (Scene::images), -1: no still image
    std::string filename;     // the STIL name when loaded
    std::vector<RawChunk> sub_chunks;
};

// A texture layer as loaded, to tell whether the model still has it unchanged.
struct KeptTextureLayer {
    TextureLayer layer;
    std::vector<std::uint8_t> block;  // the whole BLOK data
    std::string ordinal;
};

struct KeptSurface {
    std::string name, source;
    std::vector<RawChunk> sub_chunks;  // every one, in file order
    double smoothing_angle = 0.0;
    double color[3] = {0, 0, 0};
    std::string color_vmap;
    std::vector<KeptTextureLayer> color_texture;  // the BLOKs whose channel is COLR, in order
};

struct Kept {
    std::string filename;
    std::vector<KeptLayer> layers;
    std::vector<RawChunk> head;  // unknown chunks before the first layer
    std::vector<RawChunk> tail;  // unknown chunks after the first CLIP, SURF or ENVL
    std::vector<KeptClip> clips;
    std::vector<KeptSurface> surfaces;
    // The order in which clips, surfaces and tail chunks came, so that a
    // saved file keeps it.
    enum class Trailer { Chunk, Clip, Surface };
    std::vector<std::pair<Trailer, std::size_t>> trailer;  // what, index in its list
};

// What was kept for this object, or null when nothing was or it no longer
// belongs to it (another file name or layer count).
std::shared_ptr<const Kept> kept_for(const MeshObject& mesh);

bool same_layer(const TextureLayer& a, const TextureLayer& b);

}  // namespace lwhost::lwo2

// An object file walker of the tests' own, written from the file layout
// alone and sharing nothing with the loader: it lists the chunks, checks the
// container's lengths, padding and order rules, and counts what the
// geometry chunks hold, so that saved files are judged by something other
// than the code that reads them back.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace lwo2_walk {

inline std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
inline std::uint16_t be16(const std::uint8_t* p) { return std::uint16_t((p[0] << 8) | p[1]); }

struct Chunk {
    std::string id;
    std::size_t offset = 0;  // of the header
    std::vector<std::uint8_t> data;
};

struct LayerCounts {
    std::size_t points = 0;
    std::map<std::string, std::size_t> polygons;  // by type
    std::size_t corners = 0;
    std::set<std::string> maps;                    // "VMAP TXUV name", "VMAD TXUV name"
    std::map<std::string, std::size_t> map_entries;  // distinct points (VMAP) or corners (VMAD) given
};

struct Walk {
    std::vector<std::string> faults;  // layout rules broken, one line each
    std::vector<Chunk> chunks;
    std::vector<LayerCounts> layers;
    std::vector<std::string> tags, surfaces;
    std::size_t clips = 0;
    std::size_t wide_vx = 0, narrow_vx = 0;  // VX forms met in POLS, VMAP, VMAD and PTAG
};

namespace detail {

struct Reader {
    const std::uint8_t* at;
    const std::uint8_t* end;
    Walk* walk;
    std::string where;
    bool ok = true;

    bool has(std::size_t n) {
        if (std::size_t(end - at) < n) {
            if (ok) walk->faults.push_back(where + ": runs past its end");
            ok = false;
        }
        return ok;
    }
    std::uint32_t u4() {
        if (!has(4)) return 0;
        at += 4;
        return be32(at - 4);
    }
    std::uint16_t u2() {
        if (!has(2)) return 0;
        at += 2;
        return be16(at - 2);
    }
    std::string id() {
        std::uint32_t v = u4();
        return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    }
    // A VX must use the short form below 0xFF00 and the long one from there.
    std::uint32_t vx() {
        if (!has(1)) return 0;
        if (*at == 0xFF) {
            std::uint32_t v = u4() & 0xFFFFFFu;
            ++walk->wide_vx;
            if (v < 0xFF00) walk->faults.push_back(where + ": index " + std::to_string(v) + " in the 4-byte form");
            return v;
        }
        ++walk->narrow_vx;
        return u2();
    }
    std::string s0() {
        const void* nul = std::memchr(at, 0, std::size_t(end - at));
        if (!nul) {
            walk->faults.push_back(where + ": string without NUL");
            ok = false;
            at = end;
            return "";
        }
        std::string s(reinterpret_cast<const char*>(at), static_cast<const std::uint8_t*>(nul) - at);
        std::size_t used = s.size() + 1;
        if (used % 2) {
            if (used < std::size_t(end - at) && at[used] != 0) walk->faults.push_back(where + ": S0 pad byte not 0");
            ++used;
        }
        if (used > std::size_t(end - at)) walk->faults.push_back(where + ": S0 without its pad byte");
        at += std::min(used, std::size_t(end - at));
        return s;
    }
};

}  // namespace detail

// Walks a whole file. `faults` lists every broken rule of the container
// (FORM size, lengths, pad bytes), of the order (TAGS before PTAG, LAYR
// before PNTS, PNTS before VMAP/POLS, POLS before PTAG/VMAD) and of the VX
// forms; the counts come from the geometry chunks.
inline Walk walk(const std::vector<std::uint8_t>& file) {
    Walk w;
    if (file.size() < 12 || std::memcmp(file.data(), "FORM", 4) != 0 || std::memcmp(file.data() + 8, "LWO2", 4) != 0) {
        w.faults.push_back("no FORM LWO2 header");
        return w;
    }
    if (be32(file.data() + 4) != file.size() - 8) w.faults.push_back("FORM size is not the file size less 8");
    std::size_t at = 12;
    bool seen_layr = false, seen_tags = false;
    std::size_t points_in_recent = 0, polygons_in_recent = 0;
    bool seen_pnts_in_layer = false, seen_pols_in_layer = false;
    while (at + 8 <= file.size()) {
        Chunk c;
        c.offset = at;
        c.id.assign(reinterpret_cast<const char*>(file.data() + at), 4);
        const std::uint32_t length = be32(file.data() + at + 4);
        at += 8;
        if (length > file.size() - at) {
            w.faults.push_back(c.id + " runs past the end of the file");
            return w;
        }
        c.data.assign(file.begin() + std::ptrdiff_t(at), file.begin() + std::ptrdiff_t(at + length));
        at += length;
        if (length % 2) {
            if (at >= file.size() || file[at] != 0) w.faults.push_back(c.id + ": odd length without a 0 pad byte");
            ++at;
        }
        for (char ch : c.id)
            if (ch < 0x20 || ch > 0x7E) w.faults.push_back("unreadable chunk ID at " + std::to_string(c.offset));
        detail::Reader r{c.data.data(), c.data.data() + c.data.size(), &w, c.id};
        if (c.id == "TAGS") {
            seen_tags = true;
            while (r.at < r.end && r.ok) w.tags.push_back(r.s0());
        } else if (c.id == "LAYR") {
            seen_layr = true;
            seen_pnts_in_layer = seen_pols_in_layer = false;
            w.layers.emplace_back();
        } else if (c.id == "PNTS") {
            if (!seen_layr) w.faults.push_back("PNTS before any LAYR");
            if (length % 12) w.faults.push_back("PNTS length not a multiple of 12");
            if (w.layers.empty()) w.layers.emplace_back();
            points_in_recent = length / 12;
            w.layers.back().points += points_in_recent;
            seen_pnts_in_layer = true;
        } else if (c.id == "POLS" || c.id == "VMAP" || c.id == "VMAD") {
            if (!seen_pnts_in_layer) w.faults.push_back(c.id + " before its layer's PNTS");
            if (c.id == "VMAD" && !seen_pols_in_layer) w.faults.push_back("VMAD before its layer's POLS");
            if (w.layers.empty()) w.layers.emplace_back();
            LayerCounts& layer = w.layers.back();
            const std::string type = r.id();
            if (c.id == "POLS") {
                polygons_in_recent = 0;
                seen_pols_in_layer = true;
                while (r.at < r.end && r.ok) {
                    const std::uint16_t word = r.u2();
                    // Curves count in 14 bits: four of the flag bits extend the count.
                    const std::size_t count = type == "CURV" ? ((word & 0x3FF) | ((word >> 2) & 0x3C00)) : (word & 0x3FF);
                    for (std::size_t k = 0; k < count && r.ok; ++k)
                        if (r.vx() >= points_in_recent) w.faults.push_back("POLS: point index out of range");
                    ++polygons_in_recent;
                    layer.corners += count;
                }
                layer.polygons[type] += polygons_in_recent;
            } else {
                const std::size_t dimension = r.u2();
                const std::string name = r.s0();
                const std::string key = c.id + " " + type + " " + name;
                layer.maps.insert(key);
                std::set<std::pair<std::uint32_t, std::uint32_t>> given;  // a later entry overrides
                while (r.at < r.end && r.ok) {
                    const std::uint32_t point = r.vx();
                    const std::uint32_t polygon = c.id == "VMAD" ? r.vx() : 0;
                    if (point >= points_in_recent) w.faults.push_back(key + ": point index out of range");
                    if (c.id == "VMAD" && polygon >= polygons_in_recent) w.faults.push_back(key + ": polygon index out of range");
                    if (!r.has(4 * dimension)) break;
                    r.at += 4 * dimension;
                    given.emplace(point, polygon);
                }
                layer.map_entries[key] += given.size();
            }
        } else if (c.id == "PTAG") {
            if (!seen_tags) w.faults.push_back("PTAG before TAGS");
            if (!seen_pols_in_layer) w.faults.push_back("PTAG before its layer's POLS");
            const std::string type = r.id();
            while (r.at < r.end && r.ok) {
                if (r.vx() >= polygons_in_recent) w.faults.push_back("PTAG: polygon index out of range");
                const std::uint16_t tag = r.u2();
                if ((type == "SURF" || type == "PART") && tag >= w.tags.size()) w.faults.push_back("PTAG: tag out of range");
            }
        } else if (c.id == "SURF") {
            w.surfaces.push_back(r.s0());
            r.s0();
            while (r.at < r.end && r.ok) {  // sub-chunks: U2 lengths, even padding
                r.id();
                const std::uint16_t sub = r.u2();
                if (!r.has(sub + (sub % 2))) break;
                if (sub % 2 && r.at[sub] != 0) w.faults.push_back("SURF sub-chunk pad byte not 0");
                r.at += sub + (sub % 2);
            }
        } else if (c.id == "CLIP") {
            ++w.clips;
        }
        w.chunks.push_back(std::move(c));
    }
    if (at != file.size()) w.faults.push_back("bytes after the last chunk");
    return w;
}

inline std::size_t polygon_total(const Walk& w, const std::string& type) {
    std::size_t n = 0;
    for (const LayerCounts& l : w.layers) {
        auto found = l.polygons.find(type);
        if (found != l.polygons.end()) n += found->second;
    }
    return n;
}

}  // namespace lwo2_walk

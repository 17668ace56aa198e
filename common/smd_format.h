// smd_format: the SMD text format shared by the three writers and the two
// readers: the line records, every piece of text the writers put out, the
// "%06.6f" real formatter, whole-line composers, checked write helpers and
// the host <-> file coordinate convention.
//
// Texts
//
//   Every piece a writer emits is a constant below (SMD_HEADER ...
//   SMD_LINK_FORMAT). The printf-style ones are composed by smd_append, which
//   reads the same constant at compile time, so a piece exists in one place
//   and a test can hold the composed bytes against snprintf of that constant.
//
// Numbers
//
//   smd_format_real(out, value)    writes exactly what snprintf(out, n,
//                                  "%06.6f", value) writes in the C locale,
//                                  NUL included, and returns the length
//                                  without the NUL. out must hold
//                                  SMD_REAL_BUFFER_SIZE bytes. The text never
//                                  depends on the process locale or on the
//                                  floating-point rounding mode (always
//                                  nearest, ties to even on the exact binary
//                                  value, which is what glibc does in its
//                                  default mode).
//   smd_append_real(out, value)    the same text without the NUL; returns the
//                                  end. At most SMD_REAL_MAX_LENGTH bytes.
//   smd_append_int(out, value)     "%d"; at most SMD_INT_MAX_LENGTH bytes.
//   smd_append<FORMAT>(out, args)  FORMAT is one of the constants below; its
//                                  literal text is copied and each "%d",
//                                  "%06.6f", "%s" is replaced by the next
//                                  argument (int, double or float,
//                                  std::string_view). A wrong argument count
//                                  or type does not compile. Returns the end;
//                                  no NUL. smd_format_max_length<FORMAT>() is
//                                  the most it can write (formats without
//                                  "%s").
//
// Line composers (no NUL is written; each returns the line's length)
//
//   smd_compose_bone_line(out, bone)               index, position, rotation
//   smd_compose_vertex_line(out, vertex)           reference-mesh vertex
//   smd_compose_static_vertex_line(out, vertex)    static-mesh vertex
//   smd_compose_time_line(out, frame)              "time %d\n "
//       out must hold SMD_LINE_CAPACITY bytes (the worst case: a vertex line
//       with SMD_MAX_LINKS links and every real at -DBL_MAX).
//   smd_compose_node_line(out, capacity, node)     index, name, parent,
//       optional null-bone comment. The name is not bounded, so the caller
//       gives the capacity: the line's length is returned either way, and
//       when it is above capacity nothing is written.
//
// Writing (each returns EXPORT_OK, or EXPORT_WRITE_FAILED when the stream is null or
// took fewer bytes than given; nothing is flushed or closed)
//
//   smd_write_text(stream, text[, length])         a constant or a composed
//                                                  line, in one fwrite
//   smd_write_node_line, smd_write_bone_line, smd_write_vertex_line,
//   smd_write_static_vertex_line, smd_write_time_line,
//   smd_write_material_line                        compose, then write
//   smd_write_triangle(stream, triangle)           material line (when the
//                                                  material is not null) and
//                                                  three reference vertex lines
//   smd_write_static_triangle(stream, triangle)    the same with static lines
//
// Coordinates (file x, y, z = host x, z, y; positions scaled, directions not;
// in and out may be the same array)
//
//   smd_position_from_host(host, scale, out_file)
//   smd_direction_from_host(host, out_file)
//   host_position_from_smd(file, scale, out_host)
//   host_direction_from_smd(file, out_host)
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>

#include "export_result.h"

// ---- Records -------------------------------------------------------------

// Links a vertex line can carry: the readers keep up to 15 (node, weight)
// pairs; the writers never write more than SMD_MAX_WRITTEN_LINKS.
constexpr int SMD_MAX_LINKS = 15;
constexpr int SMD_MAX_WRITTEN_LINKS = 3;

// A byte that would end a quoted name or its line early: the quote and every
// control character (tab, CR, LF ... and DEL). Node lines write such a byte
// of a name as '_'; every other byte goes out as the host gave it.
inline constexpr bool smd_breaks_name(char c) noexcept {
    const auto byte = static_cast<unsigned char>(c);
    return c == '"' || byte < 0x20 || byte == 0x7F;
}

// One line of the nodes section.
struct SmdNode {
    int index;
    const char* name;  // borrowed, not owned; null is written as an empty name;
                       // bytes that smd_breaks_name are written as '_'
    int parent;        // node number of the parent, -1 (any negative) for a root
    bool null_bone;    // add the null-bone comment after the parent
};

// One bone line of a frame block.
struct SmdBoneFrame {
    int node;
    double position[3];  // file axes, scaled
    double rotation[3];  // rx, ry, rz in radians
};

struct SmdLink {
    int node;
    double weight;
};

// One vertex line.
struct SmdVertex {
    int parent;          // node number; 0 (or any negative) when there is no bone
    double position[3];  // file axes, scaled
    double normal[3];    // file axes, unit length, never scaled
    double u;
    double v;
    int link_count;      // 0: no link list; above SMD_MAX_LINKS: SMD_MAX_LINKS written
    SmdLink links[SMD_MAX_LINKS];
};

// One material line and three vertex lines.
struct SmdTriangle {
    const char* material;  // borrowed; already one token (underscore_material in export_names.h)
    SmdVertex vertices[3];
};

// ---- Texts ----------------------------------------------------------------

inline constexpr char SMD_HEADER[] = "version 1\n";
inline constexpr char SMD_NODES_OPENER[] = "nodes\n";
inline constexpr char SMD_SKELETON_OPENER[] = "skeleton\n";
inline constexpr char SMD_TRIANGLES_OPENER[] = "triangles\n";
inline constexpr char SMD_SECTION_END[] = "end\n";
inline constexpr char SMD_TIME_ZERO[] = "time 0\n";
// Animation files: the trailing blank makes the next line start with a blank.
inline constexpr char SMD_TIME_FORMAT[] = "time %d\n ";
// Nodes and skeleton of a file without bones.
inline constexpr char SMD_ROOT_NODE_LINE[] = "0 \"root\" -1\n";
inline constexpr char SMD_ZERO_BONE_LINE[] =
    "0 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000\n";

inline constexpr char SMD_NODE_INDEX_FORMAT[] = "%d\t";
inline constexpr char SMD_NODE_NAME_FORMAT[] = " \"%s\"\t";
inline constexpr char SMD_NODE_PARENT_FORMAT[] = " %d";
inline constexpr char SMD_NODE_ROOT_PARENT[] = " -1";
inline constexpr char SMD_NULL_BONE_COMMENT[] = "\t // null bone";
inline constexpr char SMD_LINE_END[] = "\n";

inline constexpr char SMD_BONE_INDEX_FORMAT[] = "%d ";
inline constexpr char SMD_BONE_POSITION_FORMAT[] = " %06.6f %06.6f %06.6f ";
inline constexpr char SMD_BONE_ROTATION_FORMAT[] = " %06.6f %06.6f %06.6f";

inline constexpr char SMD_MATERIAL_FORMAT[] = "%s\n";

inline constexpr char SMD_VERTEX_PARENT_FORMAT[] = "%d";
inline constexpr char SMD_VERTEX_NO_PARENT[] = "0";
inline constexpr char SMD_VERTEX_POSITION_FORMAT[] = " %06.6f %06.6f %06.6f ";
inline constexpr char SMD_STATIC_VERTEX_POSITION_FORMAT[] = "0 %06.6f %06.6f %06.6f ";
inline constexpr char SMD_VERTEX_NORMAL_FORMAT[] = "%06.6f %06.6f %06.6f ";
inline constexpr char SMD_VERTEX_UV_FORMAT[] = "%06.6f %06.6f ";
inline constexpr char SMD_STATIC_VERTEX_UV_FORMAT[] = "%06.6f %06.6f \n";
inline constexpr char SMD_LINK_COUNT_FORMAT[] = " %d ";
inline constexpr char SMD_LINK_FORMAT[] = "%d %06.6f ";

// The number format itself, for tests and for texts built outside the table.
inline constexpr char SMD_REAL_FORMAT[] = "%06.6f";

// ---- Numbers ----------------------------------------------------------------

// "-" and the 309 integer digits of DBL_MAX, the point and six decimals.
constexpr int SMD_REAL_MAX_LENGTH = 1 + 309 + 1 + 6;
constexpr int SMD_REAL_BUFFER_SIZE = SMD_REAL_MAX_LENGTH + 1;
constexpr int SMD_INT_MAX_LENGTH = 11;  // "-2147483648"

int smd_format_real(char* out, double value) noexcept;
char* smd_append_real(char* out, double value) noexcept;
char* smd_append_int(char* out, int value) noexcept;

// ---- Format constants at compile time ---------------------------------------

namespace smd_detail {

enum class Conversion { none, integer, real, text };

// The literal text in front of a conversion (or, for the last segment, in
// front of the format's end).
struct Segment {
    std::size_t literal_begin;
    std::size_t literal_length;
    Conversion conversion;
};

consteval std::size_t conversion_count(const char* format) {
    std::size_t count = 0;
    for (std::size_t i = 0; format[i] != '\0'; ++i) {
        if (format[i] == '%') ++count;
    }
    return count;
}

consteval bool starts_with(const char* text, const char* prefix) {
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (text[i] != prefix[i]) return false;
    }
    return true;
}

// Only the three conversions of the file format are understood; anything else
// stops compilation (the throw is never evaluated at run time).
template <std::size_t N>
consteval std::array<Segment, N> parse_format(const char* format) {
    std::array<Segment, N> segments{};
    std::size_t at = 0;
    std::size_t literal_begin = 0;
    std::size_t index = 0;
    while (format[at] != '\0') {
        if (format[at] != '%') {
            ++at;
            continue;
        }
        Segment segment{literal_begin, at - literal_begin, Conversion::none};
        if (starts_with(format + at, "%d")) {
            segment.conversion = Conversion::integer;
            at += 2;
        } else if (starts_with(format + at, "%06.6f")) {
            segment.conversion = Conversion::real;
            at += 6;
        } else if (starts_with(format + at, "%s")) {
            segment.conversion = Conversion::text;
            at += 2;
        } else {
            throw "SMD formats use only %d, %06.6f and %s";
        }
        segments[index++] = segment;
        literal_begin = at;
    }
    segments[index] = Segment{literal_begin, at - literal_begin, Conversion::none};
    return segments;
}

template <const char* Format>
struct ParsedFormat {
    static constexpr std::size_t count = conversion_count(Format);
    static constexpr std::array<Segment, count + 1> segments = parse_format<count + 1>(Format);
};

template <const char* Format>
consteval std::size_t max_length() {
    std::size_t length = 0;
    for (const Segment& segment : ParsedFormat<Format>::segments) {
        length += segment.literal_length;
        if (segment.conversion == Conversion::integer) length += SMD_INT_MAX_LENGTH;
        if (segment.conversion == Conversion::real) length += SMD_REAL_MAX_LENGTH;
        if (segment.conversion == Conversion::text) throw "a %s format has no bound";
    }
    return length;
}

template <const char* Format, std::size_t I>
inline char* append_literal(char* out) noexcept {
    constexpr Segment segment = ParsedFormat<Format>::segments[I];
    std::memcpy(out, Format + segment.literal_begin, segment.literal_length);
    return out + segment.literal_length;
}

template <const char* Format, std::size_t I, typename T>
inline char* append_segment(char* out, T argument) noexcept {
    constexpr Conversion conversion = ParsedFormat<Format>::segments[I].conversion;
    out = append_literal<Format, I>(out);
    if constexpr (conversion == Conversion::integer) {
        static_assert(std::is_same_v<T, int>, "%d takes an int");
        return smd_append_int(out, argument);
    } else if constexpr (conversion == Conversion::real) {
        static_assert(std::is_same_v<T, double> || std::is_same_v<T, float>,
                      "%06.6f takes a double or a float");
        return smd_append_real(out, static_cast<double>(argument));
    } else {
        static_assert(std::is_same_v<T, std::string_view>, "%s takes a std::string_view");
        if (!argument.empty()) std::memcpy(out, argument.data(), argument.size());
        return out + argument.size();
    }
}

template <const char* Format, std::size_t... I, typename... Args>
inline char* append_all(char* out, std::index_sequence<I...>, Args... arguments) noexcept {
    ((out = append_segment<Format, I>(out, arguments)), ...);
    return append_literal<Format, sizeof...(I)>(out);
}

}  // namespace smd_detail

template <const char* Format, typename... Args>
inline char* smd_append(char* out, Args... arguments) noexcept {
    static_assert(sizeof...(Args) == smd_detail::ParsedFormat<Format>::count,
                  "argument count differs from the format's conversions");
    return smd_detail::append_all<Format>(out, std::index_sequence_for<Args...>{}, arguments...);
}

template <const char* Format>
consteval std::size_t smd_format_max_length() {
    return smd_detail::max_length<Format>();
}

// ---- Lines ------------------------------------------------------------------

constexpr std::size_t SMD_BONE_LINE_MAX_LENGTH =
    smd_format_max_length<SMD_BONE_INDEX_FORMAT>() +
    smd_format_max_length<SMD_BONE_POSITION_FORMAT>() +
    smd_format_max_length<SMD_BONE_ROTATION_FORMAT>() + sizeof(SMD_LINE_END) - 1;

constexpr std::size_t SMD_VERTEX_LINE_MAX_LENGTH =
    smd_format_max_length<SMD_VERTEX_PARENT_FORMAT>() +
    smd_format_max_length<SMD_VERTEX_POSITION_FORMAT>() +
    smd_format_max_length<SMD_VERTEX_NORMAL_FORMAT>() +
    smd_format_max_length<SMD_VERTEX_UV_FORMAT>() +
    smd_format_max_length<SMD_LINK_COUNT_FORMAT>() +
    SMD_MAX_LINKS * smd_format_max_length<SMD_LINK_FORMAT>() + sizeof(SMD_LINE_END) - 1;

constexpr std::size_t SMD_STATIC_VERTEX_LINE_MAX_LENGTH =
    smd_format_max_length<SMD_STATIC_VERTEX_POSITION_FORMAT>() +
    smd_format_max_length<SMD_VERTEX_NORMAL_FORMAT>() +
    smd_format_max_length<SMD_STATIC_VERTEX_UV_FORMAT>();

// Room for any line but a node or material line (whose names are unbounded):
// the reference vertex line with 15 links at -DBL_MAX is the longest, 7520
// bytes; one more keeps room for a NUL a caller may add.
constexpr std::size_t SMD_LINE_CAPACITY = SMD_VERTEX_LINE_MAX_LENGTH + 1;
static_assert(SMD_VERTEX_LINE_MAX_LENGTH == 7520);
static_assert(SMD_LINE_CAPACITY > SMD_BONE_LINE_MAX_LENGTH);
static_assert(SMD_LINE_CAPACITY > SMD_STATIC_VERTEX_LINE_MAX_LENGTH);
static_assert(SMD_LINE_CAPACITY > smd_format_max_length<SMD_TIME_FORMAT>());

int smd_compose_node_line(char* out, std::size_t capacity, const SmdNode& node) noexcept;
int smd_compose_bone_line(char* out, const SmdBoneFrame& bone) noexcept;
int smd_compose_vertex_line(char* out, const SmdVertex& vertex) noexcept;
int smd_compose_static_vertex_line(char* out, const SmdVertex& vertex) noexcept;
int smd_compose_time_line(char* out, int frame) noexcept;

// ---- Writing ------------------------------------------------------------------

// Each write gives EXPORT_OK, or EXPORT_WRITE_FAILED when the stream did not
// take it in full (disk full, closed pipe, null stream).
ExportResult smd_write_text(std::FILE* stream, const char* text, std::size_t length) noexcept;
ExportResult smd_write_text(std::FILE* stream, const char* text) noexcept;
ExportResult smd_write_node_line(std::FILE* stream, const SmdNode& node) noexcept;
ExportResult smd_write_bone_line(std::FILE* stream, const SmdBoneFrame& bone) noexcept;
ExportResult smd_write_vertex_line(std::FILE* stream, const SmdVertex& vertex) noexcept;
ExportResult smd_write_static_vertex_line(std::FILE* stream, const SmdVertex& vertex) noexcept;
ExportResult smd_write_time_line(std::FILE* stream, int frame) noexcept;
ExportResult smd_write_material_line(std::FILE* stream, const char* material) noexcept;
ExportResult smd_write_triangle(std::FILE* stream, const SmdTriangle& triangle) noexcept;
ExportResult smd_write_static_triangle(std::FILE* stream, const SmdTriangle& triangle) noexcept;

// ---- Coordinates ----------------------------------------------------------------

// Default position factors; the plug-ins keep their scale as a 32-bit float.
constexpr float SMD_EXPORT_SCALE = 40.0f;
constexpr float SMD_IMPORT_SCALE = 0.025f;

// The swap is its own inverse, so each direction is the same operation; the
// four names say which way a call site goes.
inline void smd_swap_and_scale(const double in[3], double scale, double out[3]) noexcept {
    const double x = in[0] * scale;
    const double y = in[2] * scale;
    const double z = in[1] * scale;
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

inline void smd_position_from_host(const double host[3], double scale, double out_file[3]) noexcept {
    smd_swap_and_scale(host, scale, out_file);
}

// Normals and other directions: swapped, never scaled.
inline void smd_direction_from_host(const double host[3], double out_file[3]) noexcept {
    const double y = host[2];
    const double z = host[1];
    out_file[0] = host[0];
    out_file[1] = y;
    out_file[2] = z;
}

inline void host_position_from_smd(const double file[3], double scale, double out_host[3]) noexcept {
    smd_swap_and_scale(file, scale, out_host);
}

inline void host_direction_from_smd(const double file[3], double out_host[3]) noexcept {
    smd_direction_from_host(file, out_host);
}

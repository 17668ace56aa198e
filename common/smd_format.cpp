#include "smd_format.h"

#include <bit>
#include <charconv>
#include <cstdint>

namespace {

using u128 = unsigned __int128;

constexpr char DIGIT_PAIRS[] =
    "00010203040506070809"
    "10111213141516171819"
    "20212223242526272829"
    "30313233343536373839"
    "40414243444546474849"
    "50515253545556575859"
    "60616263646566676869"
    "70717273747576777879"
    "80818283848586878889"
    "90919293949596979899";

char* append_pair(char* out, unsigned value) noexcept {
    std::memcpy(out, DIGIT_PAIRS + 2 * value, 2);
    return out + 2;
}

char* append_u64(char* out, std::uint64_t value) noexcept {
    char digits[20];
    char* const end = digits + sizeof digits;
    char* at = end;
    while (value >= 100) {
        at -= 2;
        std::memcpy(at, DIGIT_PAIRS + 2 * (value % 100), 2);
        value /= 100;
    }
    if (value >= 10) {
        at -= 2;
        std::memcpy(at, DIGIT_PAIRS + 2 * value, 2);
    } else {
        *--at = static_cast<char>('0' + value);
    }
    const auto length = static_cast<std::size_t>(end - at);
    std::memcpy(out, at, length);
    return out + length;
}

// Exactly 19 digits, leading zeros kept.
char* append_19_digits(char* out, std::uint64_t value) noexcept {
    char* at = out + 19;
    for (int i = 0; i < 9; ++i) {
        at -= 2;
        std::memcpy(at, DIGIT_PAIRS + 2 * (value % 100), 2);
        value /= 100;
    }
    *--at = static_cast<char>('0' + value);
    return out + 19;
}

char* append_u128(char* out, u128 value) noexcept {
    if ((value >> 64) == 0) return append_u64(out, static_cast<std::uint64_t>(value));
    constexpr std::uint64_t TEN_POW_19 = 10000000000000000000ull;
    // value < 2^127, so the quotient stays below 2^64.
    out = append_u64(out, static_cast<std::uint64_t>(value / TEN_POW_19));
    return append_19_digits(out, static_cast<std::uint64_t>(value % TEN_POW_19));
}

char* append_point_and_micros(char* out, unsigned micros) noexcept {
    *out++ = '.';
    out = append_pair(out, micros / 10000);
    out = append_pair(out, micros / 100 % 100);
    return append_pair(out, micros % 100);
}

// glibc pads non-finite values to the width of 6 with blanks (the 0 flag does
// not apply to them) and keeps the sign of a NaN.
char* append_non_finite(char* out, bool negative, bool is_nan) noexcept {
    const char* text = is_nan ? (negative ? "  -nan" : "   nan") : (negative ? "  -inf" : "   inf");
    std::memcpy(out, text, 6);
    return out + 6;
}

constexpr int EXPONENT_BIAS = 1075;  // 1023 plus the 52 fraction bits
constexpr unsigned MICROS_PER_UNIT = 1000000;
// Up to 2^74 times a 53-bit mantissa the integer stays below 2^127.
constexpr int MAX_INTEGER_SHIFT = 74;
// 2^53 * 2^-75 = 2^-22 is below half a millionth: such values print as zero.
constexpr int MAX_FRACTION_SHIFT = 74;

}  // namespace

// value = mantissa * 2^exponent exactly. For a negative exponent the
// millionths are mantissa * 10^6 / 2^shift; the remainder of that division,
// compared with 2^(shift - 1), decides the rounding exactly, ties to even.
char* smd_append_real(char* out, double value) noexcept {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const bool negative = (bits >> 63) != 0;
    const auto biased = static_cast<int>((bits >> 52) & 0x7FF);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);

    if (biased == 0x7FF) return append_non_finite(out, negative, fraction != 0);
    const int exponent = biased - EXPONENT_BIAS;
    if (exponent > MAX_INTEGER_SHIFT) {
        // Beyond 2^127: an integer; to_chars prints it exactly and ignores the locale.
        return std::to_chars(out, out + SMD_REAL_MAX_LENGTH, value, std::chars_format::fixed, 6).ptr;
    }
    if (negative) *out++ = '-';
    // Zero and subnormals (below 2.3e-308), and anything below 2^-22, round to 0.
    if (biased == 0 || -exponent > MAX_FRACTION_SHIFT) {
        std::memcpy(out, "0.000000", 8);
        return out + 8;
    }

    const std::uint64_t mantissa = fraction | (std::uint64_t{1} << 52);
    if (exponent >= 0) {
        out = append_u128(out, static_cast<u128>(mantissa) << exponent);
        return append_point_and_micros(out, 0);
    }

    const int shift = -exponent;
    std::uint64_t integer_part = 0;
    std::uint64_t fraction_bits = mantissa;
    if (shift < 53) {
        integer_part = mantissa >> shift;
        fraction_bits = mantissa & ((std::uint64_t{1} << shift) - 1);
    }
    const u128 scaled = static_cast<u128>(fraction_bits) * MICROS_PER_UNIT;
    auto micros = static_cast<unsigned>(scaled >> shift);
    const u128 remainder = scaled - (static_cast<u128>(micros) << shift);
    const u128 half = static_cast<u128>(1) << (shift - 1);
    if (remainder > half || (remainder == half && (micros & 1) != 0)) {
        if (++micros == MICROS_PER_UNIT) {
            micros = 0;
            ++integer_part;
        }
    }
    out = append_u64(out, integer_part);
    return append_point_and_micros(out, micros);
}

int smd_format_real(char* out, double value) noexcept {
    char* end = smd_append_real(out, value);
    *end = '\0';
    return static_cast<int>(end - out);
}

char* smd_append_int(char* out, int value) noexcept {
    auto magnitude = static_cast<std::uint64_t>(value);
    if (value < 0) {
        *out++ = '-';
        magnitude = static_cast<std::uint64_t>(-static_cast<std::int64_t>(value));
    }
    return append_u64(out, magnitude);
}

// ---- Lines ------------------------------------------------------------------

namespace {

std::string_view node_name(const SmdNode& node) noexcept {
    return std::string_view(node.name != nullptr ? node.name : "");
}

// Copies a piece of a name, each byte that would break the line as '_'.
char* append_name_bytes(char* out, std::string_view name) noexcept {
    for (const char c : name) *out++ = smd_breaks_name(c) ? '_' : c;
    return out;
}

// Parent, optional comment and line end: everything after the name.
char* append_node_tail(char* out, const SmdNode& node) noexcept {
    out = node.parent < 0 ? smd_append<SMD_NODE_ROOT_PARENT>(out)
                          : smd_append<SMD_NODE_PARENT_FORMAT>(out, node.parent);
    if (node.null_bone) out = smd_append<SMD_NULL_BONE_COMMENT>(out);
    return smd_append<SMD_LINE_END>(out);
}

constexpr std::size_t NODE_TAIL_MAX_LENGTH = smd_format_max_length<SMD_NODE_PARENT_FORMAT>() +
                                             sizeof SMD_NULL_BONE_COMMENT - 1 +
                                             sizeof SMD_LINE_END - 1;

// The literal text of SMD_NODE_NAME_FORMAT before and after the name.
constexpr auto NODE_NAME_SEGMENTS = smd_detail::ParsedFormat<SMD_NODE_NAME_FORMAT>::segments;
static_assert(NODE_NAME_SEGMENTS.size() == 2);
constexpr std::size_t NODE_NAME_LITERALS =
    NODE_NAME_SEGMENTS[0].literal_length + NODE_NAME_SEGMENTS[1].literal_length;

}  // namespace

int smd_compose_node_line(char* out, std::size_t capacity, const SmdNode& node) noexcept {
    char index[smd_format_max_length<SMD_NODE_INDEX_FORMAT>()];
    const std::size_t index_length =
        static_cast<std::size_t>(smd_append<SMD_NODE_INDEX_FORMAT>(index, node.index) - index);
    char tail[NODE_TAIL_MAX_LENGTH];
    const std::size_t tail_length = static_cast<std::size_t>(append_node_tail(tail, node) - tail);
    const std::string_view name = node_name(node);
    const std::size_t length = index_length + NODE_NAME_LITERALS + name.size() + tail_length;
    if (length > capacity) return static_cast<int>(length);

    std::memcpy(out, index, index_length);
    char* at = smd_append<SMD_NODE_NAME_FORMAT>(out + index_length, name);
    append_name_bytes(out + index_length + NODE_NAME_SEGMENTS[0].literal_length, name);
    std::memcpy(at, tail, tail_length);
    return static_cast<int>(length);
}

int smd_compose_bone_line(char* out, const SmdBoneFrame& bone) noexcept {
    char* at = smd_append<SMD_BONE_INDEX_FORMAT>(out, bone.node);
    at = smd_append<SMD_BONE_POSITION_FORMAT>(at, bone.position[0], bone.position[1],
                                              bone.position[2]);
    at = smd_append<SMD_BONE_ROTATION_FORMAT>(at, bone.rotation[0], bone.rotation[1],
                                              bone.rotation[2]);
    at = smd_append<SMD_LINE_END>(at);
    return static_cast<int>(at - out);
}

int smd_compose_vertex_line(char* out, const SmdVertex& vertex) noexcept {
    char* at = vertex.parent < 0 ? smd_append<SMD_VERTEX_NO_PARENT>(out)
                                 : smd_append<SMD_VERTEX_PARENT_FORMAT>(out, vertex.parent);
    at = smd_append<SMD_VERTEX_POSITION_FORMAT>(at, vertex.position[0], vertex.position[1],
                                                vertex.position[2]);
    at = smd_append<SMD_VERTEX_NORMAL_FORMAT>(at, vertex.normal[0], vertex.normal[1],
                                              vertex.normal[2]);
    at = smd_append<SMD_VERTEX_UV_FORMAT>(at, vertex.u, vertex.v);
    const int count = vertex.link_count < SMD_MAX_LINKS ? vertex.link_count : SMD_MAX_LINKS;
    if (count >= 1) {
        at = smd_append<SMD_LINK_COUNT_FORMAT>(at, count);
        for (int i = 0; i < count; ++i) {
            at = smd_append<SMD_LINK_FORMAT>(at, vertex.links[i].node, vertex.links[i].weight);
        }
    }
    at = smd_append<SMD_LINE_END>(at);
    return static_cast<int>(at - out);
}

int smd_compose_static_vertex_line(char* out, const SmdVertex& vertex) noexcept {
    char* at = smd_append<SMD_STATIC_VERTEX_POSITION_FORMAT>(
        out, vertex.position[0], vertex.position[1], vertex.position[2]);
    at = smd_append<SMD_VERTEX_NORMAL_FORMAT>(at, vertex.normal[0], vertex.normal[1],
                                              vertex.normal[2]);
    at = smd_append<SMD_STATIC_VERTEX_UV_FORMAT>(at, vertex.u, vertex.v);
    return static_cast<int>(at - out);
}

int smd_compose_time_line(char* out, int frame) noexcept {
    return static_cast<int>(smd_append<SMD_TIME_FORMAT>(out, frame) - out);
}

// ---- Writing ------------------------------------------------------------------

ExportResult smd_write_text(std::FILE* stream, const char* text, std::size_t length) noexcept {
    if (stream == nullptr) return EXPORT_WRITE_FAILED;
    if (length == 0) return EXPORT_OK;
    return std::fwrite(text, 1, length, stream) == length ? EXPORT_OK : EXPORT_WRITE_FAILED;
}

ExportResult smd_write_text(std::FILE* stream, const char* text) noexcept {
    return smd_write_text(stream, text, std::strlen(text));
}

namespace {

// Node and material lines usually fit here; longer names go out in pieces.
constexpr std::size_t NAMED_LINE_BUFFER = 512;

// Literal segment I of a format, straight from the constant.
template <const char* Format, std::size_t I>
ExportResult write_literal(std::FILE* stream) noexcept {
    constexpr smd_detail::Segment segment = smd_detail::ParsedFormat<Format>::segments[I];
    return smd_write_text(stream, Format + segment.literal_begin, segment.literal_length);
}

}  // namespace

ExportResult smd_write_node_line(std::FILE* stream, const SmdNode& node) noexcept {
    char line[NAMED_LINE_BUFFER];
    const int length = smd_compose_node_line(line, sizeof line, node);
    if (static_cast<std::size_t>(length) <= sizeof line) {
        return smd_write_text(stream, line, static_cast<std::size_t>(length));
    }
    char* at = smd_append<SMD_NODE_INDEX_FORMAT>(line, node.index);
    ExportResult rc = smd_write_text(stream, line, static_cast<std::size_t>(at - line));
    if (rc == EXPORT_OK) rc = write_literal<SMD_NODE_NAME_FORMAT, 0>(stream);
    std::string_view name = node_name(node);
    while (rc == EXPORT_OK && !name.empty()) {
        const std::string_view piece = name.substr(0, sizeof line);
        rc = smd_write_text(stream, line, static_cast<std::size_t>(append_name_bytes(line, piece) - line));
        name.remove_prefix(piece.size());
    }
    if (rc == EXPORT_OK) rc = write_literal<SMD_NODE_NAME_FORMAT, 1>(stream);
    if (rc != EXPORT_OK) return rc;
    at = append_node_tail(line, node);
    return smd_write_text(stream, line, static_cast<std::size_t>(at - line));
}

ExportResult smd_write_bone_line(std::FILE* stream, const SmdBoneFrame& bone) noexcept {
    char line[SMD_LINE_CAPACITY];
    const int length = smd_compose_bone_line(line, bone);
    return smd_write_text(stream, line, static_cast<std::size_t>(length));
}

ExportResult smd_write_vertex_line(std::FILE* stream, const SmdVertex& vertex) noexcept {
    char line[SMD_LINE_CAPACITY];
    const int length = smd_compose_vertex_line(line, vertex);
    return smd_write_text(stream, line, static_cast<std::size_t>(length));
}

ExportResult smd_write_static_vertex_line(std::FILE* stream, const SmdVertex& vertex) noexcept {
    char line[SMD_LINE_CAPACITY];
    const int length = smd_compose_static_vertex_line(line, vertex);
    return smd_write_text(stream, line, static_cast<std::size_t>(length));
}

ExportResult smd_write_time_line(std::FILE* stream, int frame) noexcept {
    char line[SMD_LINE_CAPACITY];
    const int length = smd_compose_time_line(line, frame);
    return smd_write_text(stream, line, static_cast<std::size_t>(length));
}

ExportResult smd_write_material_line(std::FILE* stream, const char* material) noexcept {
    const std::string_view name(material != nullptr ? material : "");
    char line[NAMED_LINE_BUFFER];
    if (name.size() + sizeof SMD_MATERIAL_FORMAT <= sizeof line) {
        char* end = smd_append<SMD_MATERIAL_FORMAT>(line, name);
        return smd_write_text(stream, line, static_cast<std::size_t>(end - line));
    }
    ExportResult rc = write_literal<SMD_MATERIAL_FORMAT, 0>(stream);
    if (rc == EXPORT_OK) rc = smd_write_text(stream, name.data(), name.size());
    if (rc == EXPORT_OK) rc = write_literal<SMD_MATERIAL_FORMAT, 1>(stream);
    return rc;
}

ExportResult smd_write_triangle(std::FILE* stream, const SmdTriangle& triangle) noexcept {
    ExportResult rc = triangle.material != nullptr ? smd_write_material_line(stream, triangle.material) : EXPORT_OK;
    for (int corner = 0; corner < 3 && rc == EXPORT_OK; ++corner) {
        rc = smd_write_vertex_line(stream, triangle.vertices[corner]);
    }
    return rc;
}

ExportResult smd_write_static_triangle(std::FILE* stream, const SmdTriangle& triangle) noexcept {
    ExportResult rc = triangle.material != nullptr ? smd_write_material_line(stream, triangle.material) : EXPORT_OK;
    for (int corner = 0; corner < 3 && rc == EXPORT_OK; ++corner) {
        rc = smd_write_static_vertex_line(stream, triangle.vertices[corner]);
    }
    return rc;
}

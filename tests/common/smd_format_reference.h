// References for the SMD format tests: what snprintf prints in the C
// locale, lines composed as the file format writes them, and a stream read
// back whole.
#pragma once

#include "smd_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <limits>
#include <locale.h>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace smd_format_reference {

// Sanitizer builds run the sweeps roughly ten times slower; a tenth of the
// values keeps them quick while the release run covers the full count.
#if defined(__SANITIZE_ADDRESS__)
constexpr int SWEEP_DIVISOR = 10;
#else
constexpr int SWEEP_DIVISOR = 1;
#endif

inline std::string reference_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline std::string reference_text(const char* format, ...) {
    std::vector<char> buffer(8192);
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(buffer.data(), buffer.size(), format, arguments);
    va_end(arguments);
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

inline std::string formatted(double value) {
    char buffer[SMD_REAL_BUFFER_SIZE];
    const int length = smd_format_real(buffer, value);
    EXPECT_EQ(std::strlen(buffer), static_cast<std::size_t>(length));
    return std::string(buffer, static_cast<std::size_t>(length));
}

// Compares against the C library and keeps the report short when many fail.
struct SnprintfComparison {
    int mismatches = 0;

    void check(double value) {
        char expected[512];
        std::snprintf(expected, sizeof expected, SMD_REAL_FORMAT, value);
        const std::string actual = formatted(value);
        if (actual != expected && ++mismatches <= 10) {
            ADD_FAILURE() << "value " << std::hexfloat << value << std::defaultfloat << ": got "
                          << actual << ", snprintf gives " << expected;
        }
    }
};

inline std::string compose(int (*composer)(char*, const SmdVertex&), const SmdVertex& vertex) {
    std::vector<char> line(SMD_LINE_CAPACITY);
    const int length = composer(line.data(), vertex);
    return std::string(line.data(), static_cast<std::size_t>(length));
}

inline std::string compose_bone(const SmdBoneFrame& bone) {
    std::vector<char> line(SMD_LINE_CAPACITY);
    const int length = smd_compose_bone_line(line.data(), bone);
    return std::string(line.data(), static_cast<std::size_t>(length));
}

inline std::string compose_node(const SmdNode& node) {
    char line[1024];
    const int length = smd_compose_node_line(line, sizeof line, node);
    EXPECT_LE(length, static_cast<int>(sizeof line));
    return std::string(line, static_cast<std::size_t>(length));
}

// The line as the table's pieces print it through the C library.
inline std::string reference_vertex_line(const SmdVertex& vertex) {
    std::string line = vertex.parent < 0 ? std::string(SMD_VERTEX_NO_PARENT)
                                         : reference_text(SMD_VERTEX_PARENT_FORMAT, vertex.parent);
    line += reference_text(SMD_VERTEX_POSITION_FORMAT, vertex.position[0], vertex.position[1],
                           vertex.position[2]);
    line += reference_text(SMD_VERTEX_NORMAL_FORMAT, vertex.normal[0], vertex.normal[1],
                           vertex.normal[2]);
    line += reference_text(SMD_VERTEX_UV_FORMAT, vertex.u, vertex.v);
    if (vertex.link_count >= 1) {
        line += reference_text(SMD_LINK_COUNT_FORMAT, vertex.link_count);
        for (int i = 0; i < vertex.link_count; ++i) {
            line += reference_text(SMD_LINK_FORMAT, vertex.links[i].node, vertex.links[i].weight);
        }
    }
    return line + SMD_LINE_END;
}

inline std::string reference_bone_line(const SmdBoneFrame& bone) {
    return reference_text(SMD_BONE_INDEX_FORMAT, bone.node) +
           reference_text(SMD_BONE_POSITION_FORMAT, bone.position[0], bone.position[1],
                          bone.position[2]) +
           reference_text(SMD_BONE_ROTATION_FORMAT, bone.rotation[0], bone.rotation[1],
                          bone.rotation[2]) +
           SMD_LINE_END;
}

inline std::string read_all(std::FILE* stream) {
    std::rewind(stream);
    std::string text;
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) text.append(chunk, got);
    return text;
}

}  // namespace smd_format_reference

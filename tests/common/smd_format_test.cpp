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

namespace {

// Sanitizer builds run the sweeps roughly ten times slower; a tenth of the
// values keeps them quick while the release run covers the full count.
#if defined(__SANITIZE_ADDRESS__)
constexpr int SWEEP_DIVISOR = 10;
#else
constexpr int SWEEP_DIVISOR = 1;
#endif

std::string reference_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string reference_text(const char* format, ...) {
    std::vector<char> buffer(8192);
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(buffer.data(), buffer.size(), format, arguments);
    va_end(arguments);
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::string formatted(double value) {
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

std::string compose(int (*composer)(char*, const SmdVertex&), const SmdVertex& vertex) {
    std::vector<char> line(SMD_LINE_CAPACITY);
    const int length = composer(line.data(), vertex);
    return std::string(line.data(), static_cast<std::size_t>(length));
}

std::string compose_bone(const SmdBoneFrame& bone) {
    std::vector<char> line(SMD_LINE_CAPACITY);
    const int length = smd_compose_bone_line(line.data(), bone);
    return std::string(line.data(), static_cast<std::size_t>(length));
}

std::string compose_node(const SmdNode& node) {
    char line[1024];
    const int length = smd_compose_node_line(line, sizeof line, node);
    EXPECT_LE(length, static_cast<int>(sizeof line));
    return std::string(line, static_cast<std::size_t>(length));
}

// The line as the table's pieces print it through the C library.
std::string reference_vertex_line(const SmdVertex& vertex) {
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

std::string reference_bone_line(const SmdBoneFrame& bone) {
    return reference_text(SMD_BONE_INDEX_FORMAT, bone.node) +
           reference_text(SMD_BONE_POSITION_FORMAT, bone.position[0], bone.position[1],
                          bone.position[2]) +
           reference_text(SMD_BONE_ROTATION_FORMAT, bone.rotation[0], bone.rotation[1],
                          bone.rotation[2]) +
           SMD_LINE_END;
}

std::string read_all(std::FILE* stream) {
    std::rewind(stream);
    std::string text;
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) text.append(chunk, got);
    return text;
}

}  // namespace

// ---- Reals -------------------------------------------------------------------

// Expected texts worked out by hand from the exact binary values.
TEST(SmdRealFormat, KnownTexts) {
    EXPECT_EQ(formatted(1.5), "1.500000");
    EXPECT_EQ(formatted(-0.25), "-0.250000");
    EXPECT_EQ(formatted(0.0), "0.000000");
    EXPECT_EQ(formatted(40.0), "40.000000");

    // Signs survive rounding to zero.
    EXPECT_EQ(formatted(-0.0), "-0.000000");
    EXPECT_EQ(formatted(-1e-300), "-0.000000");
    EXPECT_EQ(formatted(-4e-7), "-0.000000");
    EXPECT_EQ(formatted(-6e-7), "-0.000001");
    EXPECT_EQ(formatted(-std::numeric_limits<double>::denorm_min()), "-0.000000");

    // k/128 with k odd is the only kind of exact tie at six decimals; it goes to even.
    EXPECT_EQ(formatted(1.0 / 128), "0.007812");
    EXPECT_EQ(formatted(3.0 / 128), "0.023438");
    EXPECT_EQ(formatted(-5.0 / 128), "-0.039062");
    EXPECT_EQ(formatted(2.0 + 127.0 / 128), "2.992188");
    // 1 - 2^-20 = 0.99999904... stays; 1 - 2^-21 = 0.99999952... carries into the units.
    EXPECT_EQ(formatted(1.0 - 1.0 / 1048576), "0.999999");
    EXPECT_EQ(formatted(1.0 - 1.0 / 2097152), "1.000000");
    EXPECT_EQ(formatted(-(1.0 - 1.0 / 2097152)), "-1.000000");
    EXPECT_EQ(formatted(999.9999999), "1000.000000");

    EXPECT_EQ(formatted(1e15), "1000000000000000.000000");
    EXPECT_EQ(formatted(1e16), "10000000000000000.000000");
    EXPECT_EQ(formatted(1e22), "10000000000000000000000.000000");
    EXPECT_EQ(formatted(9007199254740992.0), "9007199254740992.000000");
    EXPECT_EQ(formatted(18446744073709551616.0), "18446744073709551616.000000");
    EXPECT_EQ(formatted(std::ldexp(1.0, 100)), "1267650600228229401496703205376.000000");
    EXPECT_EQ(formatted(-std::ldexp(1.0, 127)),
              "-170141183460469231731687303715884105728.000000");
}

TEST(SmdRealFormat, MatchesSnprintfOnAwkwardValues) {
    const double values[] = {
        0.0, -0.0, 1e-300, -1e-300, 4e-7, -4e-7, 5e-7, -5e-7, 6e-7, -6e-7, 0.0000005,
        0.0000015, 0.0000025, 2.5e-7, 1.0000005, 1.0000015, 123.4565, 0.5, -0.5,
        4.999999999999999e-7, 5.000000000000001e-7, 1e15, 1e16, 1e17, 1e19, 1e22, 1e23,
        1e300, -1e300, DBL_MAX, -DBL_MAX, DBL_MIN, -DBL_MIN,
        std::numeric_limits<double>::denorm_min(), DBL_MIN / 3, -DBL_MIN / 7,
        std::ldexp(1.0, 53), std::ldexp(1.0, 53) + 2, std::ldexp(1.0, 63), std::ldexp(1.0, 64),
        std::ldexp(1.0, 100), std::ldexp(1.0, 126), std::ldexp(1.0, 127),
        std::ldexp(1.0, 127) - std::ldexp(1.0, 74), std::ldexp(1.0, 128), std::ldexp(1.0, -20),
        std::ldexp(1.0, -21), std::ldexp(1.0, -22), std::ldexp(1.0, -21) * 1.0000001,
        std::ldexp(1.0, 52) + 0.5, std::ldexp(1.0, 52) - 0.5, std::ldexp(1.0, 51) + 0.25,
        1.0, -1.0, 7.0, 1000.0, -1000.0, 2147483647.0, 4294967296.0, 0.1, 0.2, 0.3,
        std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
    };
    SnprintfComparison comparison;
    for (double value : values) comparison.check(value);
    for (int k = 1; k < 128 * 4; k += 2) {
        comparison.check(k / 128.0);
        comparison.check(-k / 128.0 - 1e6);
    }
    for (int e = -1074; e <= 1023; ++e) {
        const double power = std::ldexp(1.0, e);
        comparison.check(power);
        comparison.check(-std::nextafter(power, 0.0));
        comparison.check(std::nextafter(power, INFINITY));
    }
}

TEST(SmdRealFormat, MatchesSnprintfOnRandomSweep) {
    std::mt19937_64 random(20240611);
    SnprintfComparison comparison;

    // Any bit pattern: every exponent, subnormals, infinities and NaNs.
    for (int i = 0; i < 200000 / SWEEP_DIVISOR; ++i) {
        comparison.check(std::bit_cast<double>(random()));
    }
    // Uniform in ranges from 1e-9 to 1e19 wide, both signs.
    for (int decade = -9; decade <= 19; ++decade) {
        std::uniform_real_distribution<double> uniform(-std::pow(10.0, decade), std::pow(10.0, decade));
        for (int i = 0; i < 30000 / SWEEP_DIVISOR; ++i) comparison.check(uniform(random));
    }
    // Around the half-millionth boundaries, a few ulps either side.
    std::uniform_int_distribution<std::int64_t> micros(0, 2000000000000LL);
    for (int i = 0; i < 100000 / SWEEP_DIVISOR; ++i) {
        const std::int64_t k = micros(random) >> (random() % 40);
        const double boundary = (static_cast<double>(k) + 0.5) / 1e6;
        double value = boundary;
        for (int step = 0; step < 3; ++step) value = std::nextafter(value, 0.0);
        for (int step = 0; step < 6; ++step) {
            comparison.check(value);
            comparison.check(-value);
            value = std::nextafter(value, INFINITY);
        }
    }
    // Short binary fractions: the exact ties (odd/128) and their neighbours.
    for (int i = 0; i < 200000 / SWEEP_DIVISOR; ++i) {
        const int bits = 1 + static_cast<int>(random() % 30);
        const double integer = static_cast<double>(random() >> (11 + random() % 53));
        const double fraction = std::ldexp(static_cast<double>((random() >> (64 - bits)) | 1), -bits);
        comparison.check(integer + fraction);
        comparison.check(-(integer + fraction));
    }
    // Single-precision values, as the writers widen them.
    for (int i = 0; i < 200000 / SWEEP_DIVISOR; ++i) {
        const float value = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
        comparison.check(static_cast<double>(value));
    }
    EXPECT_EQ(comparison.mismatches, 0);
}

// The text must not follow the process locale: a host running with a comma
// decimal separator still writes points.
TEST(SmdRealFormat, IgnoresTheProcessLocale) {
    const char* candidates[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8",
                                "nl_NL.UTF-8", "it_IT.UTF-8", "es_ES.UTF-8", "ru_RU.UTF-8",
                                "pt_BR.UTF-8", "de_DE",       "fr_FR"};
    const char* found = nullptr;
    locale_t comma = nullptr;
    for (const char* name : candidates) {
        comma = newlocale(LC_NUMERIC_MASK, name, nullptr);
        if (comma != nullptr) {
            found = name;
            break;
        }
    }
    if (comma == nullptr) GTEST_SKIP() << "no locale with a decimal comma is installed";

    const double values[] = {1.5, -0.25, 123456.789012, -1e-300, 1e22, -DBL_MAX};
    {
        const locale_t previous = uselocale(comma);
        char probe[64];
        std::snprintf(probe, sizeof probe, SMD_REAL_FORMAT, 1.5);
        EXPECT_STREQ(probe, "1,500000") << found << " does not use a decimal comma";
        EXPECT_EQ(formatted(1.5), "1.500000");
        EXPECT_EQ(formatted(-0.25), "-0.250000");
        EXPECT_EQ(compose_bone(SmdBoneFrame{2, {0.5, 0, 0}, {0, 0, -1.25}}),
                  "2  0.500000 0.000000 0.000000  0.000000 0.000000 -1.250000\n");
        uselocale(previous);
    }
    {
        ASSERT_NE(std::setlocale(LC_NUMERIC, found), nullptr);
        std::vector<std::string> under_comma;
        for (double value : values) under_comma.push_back(formatted(value));
        std::setlocale(LC_NUMERIC, "C");
        for (std::size_t i = 0; i < std::size(values); ++i) {
            char expected[512];
            std::snprintf(expected, sizeof expected, SMD_REAL_FORMAT, values[i]);
            EXPECT_EQ(under_comma[i], expected);
        }
    }
    freelocale(comma);
}

TEST(SmdRealFormat, StaysInsideTheDeclaredBounds) {
    // The longest real and the longest int are exactly the declared maxima.
    EXPECT_EQ(formatted(-DBL_MAX).size(), static_cast<std::size_t>(SMD_REAL_MAX_LENGTH));
    char text[SMD_INT_MAX_LENGTH + 1] = {};
    EXPECT_EQ(smd_append_int(text, INT_MIN) - text, SMD_INT_MAX_LENGTH);
    EXPECT_EQ(std::string(text, SMD_INT_MAX_LENGTH), "-2147483648");

    // Nothing is written past the buffer the header asks for.
    std::vector<char> buffer(SMD_REAL_BUFFER_SIZE + 16, '#');
    smd_format_real(buffer.data(), -DBL_MAX);
    for (std::size_t i = SMD_REAL_BUFFER_SIZE; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], '#');

    // "%d" for the ints of every line.
    for (int value : {0, 7, -7, 10, 99, 100, -100, 254, 255, 65536, INT_MAX, INT_MIN}) {
        char out[SMD_INT_MAX_LENGTH];
        char* end = smd_append_int(out, value);
        EXPECT_EQ(std::string(out, end), reference_text("%d", value));
    }
}

// ---- Lines -------------------------------------------------------------------

TEST(SmdLines, NodeLine) {
    // Number, tab, blank, quoted name, tab, blank, parent.
    EXPECT_EQ(compose_node(SmdNode{3, "Bone", 1, false}), "3\t \"Bone\"\t 1\n");
    EXPECT_EQ(compose_node(SmdNode{0, "Pelvis", -1, false}), "0\t \"Pelvis\"\t -1\n");
    EXPECT_EQ(compose_node(SmdNode{12, "left upper arm", 4, false}),
              "12\t \"left upper arm\"\t 4\n");
    EXPECT_EQ(compose_node(SmdNode{5, "Null", 2, true}), "5\t \"Null\"\t 2\t // null bone\n");
    EXPECT_EQ(compose_node(SmdNode{6, nullptr, -1, true}), "6\t \"\"\t -1\t // null bone\n");

    // The same lines through the table's pieces and the C library.
    EXPECT_EQ(compose_node(SmdNode{12, "left upper arm", 4, true}),
              reference_text(SMD_NODE_INDEX_FORMAT, 12) +
                  reference_text(SMD_NODE_NAME_FORMAT, "left upper arm") +
                  reference_text(SMD_NODE_PARENT_FORMAT, 4) + SMD_NULL_BONE_COMMENT + SMD_LINE_END);
    EXPECT_EQ(compose_node(SmdNode{0, "root", -1, false}),
              reference_text(SMD_NODE_INDEX_FORMAT, 0) + reference_text(SMD_NODE_NAME_FORMAT, "root") +
                  SMD_NODE_ROOT_PARENT + SMD_LINE_END);

    // Too small a buffer: nothing written, the needed length returned.
    char small[8];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(smd_compose_node_line(small, sizeof small, SmdNode{3, "Bone", 1, false}), 13);
    EXPECT_EQ(std::string(small, sizeof small), "########");
    char exact[13];
    EXPECT_EQ(smd_compose_node_line(exact, sizeof exact, SmdNode{3, "Bone", 1, false}), 13);
    EXPECT_EQ(std::string(exact, sizeof exact), "3\t \"Bone\"\t 1\n");
}

TEST(SmdLines, NodeNamesCannotBreakTheLine) {
    // A quote or any control character would end the quoted name or the line
    // early; each is written as '_'. Blanks and bytes above 127 stay.
    const std::string hostile = "a\"b\tc\rd\ne\x01" "f\x7f" "g h\xc3\xa9";
    const std::string written = "a_b_c_d_e_f_g h\xc3\xa9";
    EXPECT_EQ(compose_node(SmdNode{1, hostile.c_str(), 0, false}), "1\t \"" + written + "\"\t 0\n");

    // A name too long for the line buffer goes out in pieces, by the same rule.
    std::string long_hostile;
    std::string long_written;
    for (int i = 0; i < 300; ++i) {
        long_hostile += hostile;
        long_written += written;
    }
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(smd_write_node_line(stream, SmdNode{2, long_hostile.c_str(), -1, true}), 0);
    EXPECT_EQ(smd_write_node_line(stream, SmdNode{3, hostile.c_str(), 2, false}), 0);
    EXPECT_EQ(read_all(stream), "2\t \"" + long_written + "\"\t -1\t // null bone\n"
                                "3\t \"" + written + "\"\t 2\n");
    std::fclose(stream);
}

TEST(SmdLines, BoneLine) {
    // Two blanks after the number and between z and rx.
    EXPECT_EQ(compose_bone(SmdBoneFrame{1, {1.5, -2.0, 0.25}, {0.0, -0.0, 3.14159265}}),
              "1  1.500000 -2.000000 0.250000  0.000000 -0.000000 3.141593\n");

    const SmdBoneFrame bone{17, {-1e-9, 123456.5, -7.0000005}, {1.0 / 128, -2.5e-7, 6.25}};
    EXPECT_EQ(compose_bone(bone), reference_bone_line(bone));
}

TEST(SmdLines, ReferenceVertexLine) {
    SmdVertex vertex{};
    vertex.parent = 0;
    vertex.position[0] = 40.0;
    vertex.position[1] = -0.0;
    vertex.position[2] = 80.0;
    vertex.normal[2] = 1.0;
    vertex.u = 0.25;
    vertex.v = 0.75;

    // No link: the line ends with v, one blank and the newline.
    EXPECT_EQ(compose(smd_compose_vertex_line, vertex),
              "0 40.000000 -0.000000 80.000000 0.000000 0.000000 1.000000 0.250000 0.750000 \n");
    // A vertex without a bone may carry -1 from the writer; the file says 0.
    vertex.parent = -1;
    EXPECT_EQ(compose(smd_compose_vertex_line, vertex).substr(0, 2), "0 ");

    // Two links: v, two blanks, the count, then node and weight, each followed by a blank.
    vertex.parent = 3;
    vertex.link_count = 2;
    vertex.links[0] = SmdLink{3, 0.75};
    vertex.links[1] = SmdLink{5, 0.25};
    EXPECT_EQ(compose(smd_compose_vertex_line, vertex),
              "3 40.000000 -0.000000 80.000000 0.000000 0.000000 1.000000 0.250000 0.750000  "
              "2 3 0.750000 5 0.250000 \n");
    EXPECT_EQ(compose(smd_compose_vertex_line, vertex), reference_vertex_line(vertex));

    // One link of weight 1.
    vertex.link_count = 1;
    vertex.links[0] = SmdLink{7, 1.0};
    const std::string one = compose(smd_compose_vertex_line, vertex);
    EXPECT_EQ(one.substr(one.size() - 24), "0.750000  1 7 1.000000 \n");

    // A negative count writes no list; more than the readers keep writes 15.
    vertex.link_count = -2;
    EXPECT_EQ(compose(smd_compose_vertex_line, vertex),
              "3 40.000000 -0.000000 80.000000 0.000000 0.000000 1.000000 0.250000 0.750000 \n");
    vertex.link_count = 40;
    for (int i = 0; i < SMD_MAX_LINKS; ++i) vertex.links[i] = SmdLink{i, i / 16.0};
    SmdVertex fifteen = vertex;
    fifteen.link_count = SMD_MAX_LINKS;
    EXPECT_EQ(compose(smd_compose_vertex_line, vertex), reference_vertex_line(fifteen));
}

TEST(SmdLines, StaticVertexAndTimeLines) {
    SmdVertex vertex{};
    vertex.parent = 9;  // static lines always name node 0 and never carry links
    vertex.position[0] = -1.0;
    vertex.position[1] = 2.0;
    vertex.position[2] = 3.5;
    vertex.normal[0] = 1.0;
    vertex.u = 1.0;
    vertex.v = 0.0;
    vertex.link_count = 2;
    EXPECT_EQ(compose(smd_compose_static_vertex_line, vertex),
              "0 -1.000000 2.000000 3.500000 1.000000 0.000000 0.000000 1.000000 0.000000 \n");
    EXPECT_EQ(compose(smd_compose_static_vertex_line, vertex),
              reference_text(SMD_STATIC_VERTEX_POSITION_FORMAT, -1.0, 2.0, 3.5) +
                  reference_text(SMD_VERTEX_NORMAL_FORMAT, 1.0, 0.0, 0.0) +
                  reference_text(SMD_STATIC_VERTEX_UV_FORMAT, 1.0, 0.0));

    // The time line ends with a blank after the newline.
    char line[SMD_LINE_CAPACITY];
    EXPECT_EQ(std::string(line, smd_compose_time_line(line, 12)), "time 12\n ");
    EXPECT_EQ(std::string(line, smd_compose_time_line(line, -3)), reference_text(SMD_TIME_FORMAT, -3));
}

TEST(SmdLines, RandomLinesMatchSnprintfOfTheTableFormats) {
    std::mt19937_64 random(77);
    std::uniform_real_distribution<double> coordinate(-1000.0, 1000.0);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_real_distribution<double> texture(0.0, 1.0);
    int mismatches = 0;
    for (int i = 0; i < 20000 / SWEEP_DIVISOR && mismatches < 5; ++i) {
        SmdVertex vertex{};
        vertex.parent = static_cast<int>(random() % 300) - 1;
        for (int axis = 0; axis < 3; ++axis) {
            vertex.position[axis] = coordinate(random);
            vertex.normal[axis] = unit(random);
        }
        vertex.u = texture(random);
        vertex.v = texture(random);
        vertex.link_count = static_cast<int>(random() % (SMD_MAX_WRITTEN_LINKS + 1));
        for (int link = 0; link < vertex.link_count; ++link) {
            vertex.links[link] = SmdLink{static_cast<int>(random() % 255), texture(random)};
        }
        const std::string line = compose(smd_compose_vertex_line, vertex);
        if (line != reference_vertex_line(vertex)) {
            ++mismatches;
            ADD_FAILURE() << line << " differs from " << reference_vertex_line(vertex);
        }

        const SmdBoneFrame bone{static_cast<int>(random() % 255),
                                {coordinate(random), coordinate(random), coordinate(random)},
                                {unit(random) * 3.2, unit(random) * 3.2, unit(random) * 3.2}};
        if (compose_bone(bone) != reference_bone_line(bone)) {
            ++mismatches;
            ADD_FAILURE() << compose_bone(bone) << " differs from " << reference_bone_line(bone);
        }
    }
}

TEST(SmdLines, WorstCaseFitsTheLineCapacity) {
    SmdVertex vertex{};
    vertex.parent = INT_MAX;  // the longest parent written: a negative one becomes 0
    for (int axis = 0; axis < 3; ++axis) {
        vertex.position[axis] = -DBL_MAX;
        vertex.normal[axis] = -DBL_MAX;
    }
    vertex.u = -DBL_MAX;
    vertex.v = -DBL_MAX;
    vertex.link_count = SMD_MAX_LINKS;
    for (SmdLink& link : vertex.links) link = SmdLink{INT_MIN, -DBL_MAX};

    std::vector<char> line(SMD_LINE_CAPACITY + 64, '#');
    const int length = smd_compose_vertex_line(line.data(), vertex);
    EXPECT_EQ(std::string(line.data(), static_cast<std::size_t>(length)), reference_vertex_line(vertex));
    // 10 + (4 + 3 * 317) + (3 + 3 * 317) + (2 + 2 * 317) + 4 + 15 * (2 + 11 + 317) + 1
    EXPECT_EQ(length, 7510);
    EXPECT_LE(static_cast<std::size_t>(length), SMD_VERTEX_LINE_MAX_LENGTH);
    for (std::size_t i = SMD_LINE_CAPACITY; i < line.size(); ++i) EXPECT_EQ(line[i], '#');
}

// ---- Writing -----------------------------------------------------------------

// A whole static file without bones, written with the constants and helpers.
TEST(SmdWriting, FileWithoutBones) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    SmdTriangle triangle{};
    triangle.material = "Skin_Mat";
    for (int corner = 0; corner < 3; ++corner) {
        triangle.vertices[corner].position[corner] = 40.0;
        triangle.vertices[corner].normal[1] = 1.0;
        triangle.vertices[corner].u = corner * 0.5;
    }
    int rc = 0;
    for (const char* piece : {SMD_HEADER, SMD_NODES_OPENER, SMD_ROOT_NODE_LINE, SMD_SECTION_END,
                              SMD_SKELETON_OPENER, SMD_TIME_ZERO, SMD_ZERO_BONE_LINE,
                              SMD_SECTION_END, SMD_TRIANGLES_OPENER}) {
        rc |= smd_write_text(stream, piece);
    }
    rc |= smd_write_static_triangle(stream, triangle);
    rc |= smd_write_text(stream, SMD_SECTION_END);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(read_all(stream),
              "version 1\n"
              "nodes\n"
              "0 \"root\" -1\n"
              "end\n"
              "skeleton\n"
              "time 0\n"
              "0 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000\n"
              "end\n"
              "triangles\n"
              "Skin_Mat\n"
              "0 40.000000 0.000000 0.000000 0.000000 1.000000 0.000000 0.000000 0.000000 \n"
              "0 0.000000 40.000000 0.000000 0.000000 1.000000 0.000000 0.500000 0.000000 \n"
              "0 0.000000 0.000000 40.000000 0.000000 1.000000 0.000000 1.000000 0.000000 \n"
              "end\n");
    std::fclose(stream);
}

TEST(SmdWriting, LinesWithEveryHelper) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    const std::string long_name(3000, 'n');
    SmdTriangle triangle{};
    triangle.material = nullptr;  // no material line
    triangle.vertices[1].link_count = 1;
    triangle.vertices[1].links[0] = SmdLink{4, 1.0};
    int rc = 0;
    rc |= smd_write_node_line(stream, SmdNode{1, "arm", 0, true});
    rc |= smd_write_node_line(stream, SmdNode{2, long_name.c_str(), 1, false});
    rc |= smd_write_time_line(stream, 5);
    rc |= smd_write_bone_line(stream, SmdBoneFrame{1, {1, 2, 3}, {0, 0, 0}});
    rc |= smd_write_material_line(stream, long_name.c_str());
    rc |= smd_write_triangle(stream, triangle);
    EXPECT_EQ(rc, 0);
    const std::string zero_vertex =
        "0 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 ";
    EXPECT_EQ(read_all(stream), "1\t \"arm\"\t 0\t // null bone\n"
                                "2\t \"" + long_name + "\"\t 1\n"
                                "time 5\n "
                                "1  1.000000 2.000000 3.000000  0.000000 0.000000 0.000000\n" +
                                    long_name + "\n" + zero_vertex + "\n" + zero_vertex +
                                    " 1 4 1.000000 \n" + zero_vertex + "\n");
    std::fclose(stream);
}

TEST(SmdWriting, ReportsShortWrites) {
    EXPECT_EQ(smd_write_text(nullptr, SMD_HEADER), EXPORT_WRITE_FAILED);
    EXPECT_EQ(smd_write_bone_line(nullptr, SmdBoneFrame{}), EXPORT_WRITE_FAILED);

    std::FILE* full = std::fopen("/dev/full", "w");
    if (full == nullptr) GTEST_SKIP() << "/dev/full is not available";
    std::setvbuf(full, nullptr, _IONBF, 0);  // unbuffered: the write itself fails
    const std::string long_name(3000, 'n');
    SmdTriangle triangle{};
    triangle.material = "m";
    EXPECT_EQ(smd_write_text(full, SMD_HEADER), EXPORT_WRITE_FAILED);
    EXPECT_EQ(smd_write_node_line(full, SmdNode{0, "a", -1, false}), EXPORT_WRITE_FAILED);
    EXPECT_EQ(smd_write_node_line(full, SmdNode{0, long_name.c_str(), -1, false}), EXPORT_WRITE_FAILED);
    EXPECT_EQ(smd_write_vertex_line(full, SmdVertex{}), EXPORT_WRITE_FAILED);
    EXPECT_EQ(smd_write_static_vertex_line(full, SmdVertex{}), EXPORT_WRITE_FAILED);
    EXPECT_EQ(smd_write_time_line(full, 1), EXPORT_WRITE_FAILED);
    EXPECT_EQ(smd_write_material_line(full, long_name.c_str()), EXPORT_WRITE_FAILED);
    EXPECT_EQ(smd_write_triangle(full, triangle), EXPORT_WRITE_FAILED);
    EXPECT_EQ(smd_write_static_triangle(full, triangle), EXPORT_WRITE_FAILED);
    std::fclose(full);
}

// ---- Coordinates -------------------------------------------------------------

TEST(SmdCoordinates, SwapAndScale) {
    const double host[3] = {1.0, 2.0, 3.0};
    double file[3];
    smd_position_from_host(host, SMD_EXPORT_SCALE, file);
    EXPECT_EQ(file[0], 40.0);
    EXPECT_EQ(file[1], 120.0);
    EXPECT_EQ(file[2], 80.0);

    // Directions swap and keep their length whatever the scale.
    const double normal[3] = {0.0, 0.6, -0.8};
    smd_direction_from_host(normal, file);
    EXPECT_EQ(file[0], 0.0);
    EXPECT_EQ(file[1], -0.8);
    EXPECT_EQ(file[2], 0.6);

    // The importers' way: file (40, 80, 120) lands at host (1, 3, 2) at 0.025.
    const double from_file[3] = {40.0, 80.0, 120.0};
    double back[3];
    host_position_from_smd(from_file, SMD_IMPORT_SCALE, back);
    EXPECT_NEAR(back[0], 1.0, 1e-6);
    EXPECT_NEAR(back[1], 3.0, 1e-6);
    EXPECT_NEAR(back[2], 2.0, 1e-6);
    host_direction_from_smd(file, back);
    EXPECT_EQ(back[0], normal[0]);
    EXPECT_EQ(back[1], normal[1]);
    EXPECT_EQ(back[2], normal[2]);

    // Scale 1 (scaling switched off) only swaps; in place works.
    double in_place[3] = {-4.5, 7.25, 0.125};
    smd_position_from_host(in_place, 1.0, in_place);
    EXPECT_EQ(in_place[0], -4.5);
    EXPECT_EQ(in_place[1], 0.125);
    EXPECT_EQ(in_place[2], 7.25);
}

TEST(SmdCoordinates, RoundTripWithTheDefaultFactors) {
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> coordinate(-100.0, 100.0);
    for (int i = 0; i < 1000; ++i) {
        const double host[3] = {coordinate(random), coordinate(random), coordinate(random)};
        double file[3];
        double back[3];
        smd_position_from_host(host, SMD_EXPORT_SCALE, file);
        host_position_from_smd(file, SMD_IMPORT_SCALE, back);
        // 40 times the float nearest 0.025 is 1 + 1.5e-8.
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_NEAR(back[axis], host[axis], std::abs(host[axis]) * 2e-8);
        }

        smd_direction_from_host(host, file);
        host_direction_from_smd(file, back);
        for (int axis = 0; axis < 3; ++axis) EXPECT_EQ(back[axis], host[axis]);
    }
}

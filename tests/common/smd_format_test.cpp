// The SMD format's reals, printed as "%06.6f" prints them in the C locale
// whatever the process locale, and its coordinate convention.
#include "smd_format.h"

#include <gtest/gtest.h>

#include "smd_format_reference.h"

using namespace smd_format_reference;

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

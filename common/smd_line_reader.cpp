#include "smd_line_reader.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdarg>
#include <cstring>
#include <memory>

#include "host_glue.h"

namespace {

// The C locale's white space, which "%s" skips and stops at.
bool is_c_space(char c) noexcept {
    // '\t', '\n', '\v', '\f' and '\r' are the codes 9 to 13.
    return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t';
}

// The C locale's tolower: only ASCII letters change, so a byte of another
// character set never matches a keyword letter.
char lower_ascii(char c) noexcept { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

}  // namespace

namespace {

// Large enough that reading costs a few system calls per megabyte.
constexpr std::size_t READ_AHEAD_SIZE = 64 * 1024;

}  // namespace

// What fgets(line_buffer, SMD_LINE_BUFFER_SIZE, file) gives, from blocks
// read ahead: fgets locks the stream and scans it a character at a time,
// which costs more than all the parsing of a large file.
bool smd_read_line(SmdLineReader& reader) noexcept {
    if (!reader.file) return false;
    if (reader.ahead_file != reader.file) {
        reader.ahead_begin = reader.ahead_end = 0;
        reader.ahead_file = reader.file;
    }
    if (!reader.block) {
        try {
            reader.block = std::make_unique_for_overwrite<char[]>(READ_AHEAD_SIZE);
        } catch (...) {
            return std::fgets(reader.line_buffer, SMD_LINE_BUFFER_SIZE, reader.file) != nullptr;
        }
    }
    std::size_t length = 0;
    while (length < std::size_t(SMD_LINE_BUFFER_SIZE) - 1) {
        if (reader.ahead_begin == reader.ahead_end) {
            const std::size_t got = std::fread(reader.block.get(), 1, READ_AHEAD_SIZE, reader.file);
            if (got == 0) break;
            reader.ahead_begin = 0;
            reader.ahead_end = got;
        }
        const char* start = reader.block.get() + reader.ahead_begin;
        const std::size_t room = std::min(reader.ahead_end - reader.ahead_begin,
                                          std::size_t(SMD_LINE_BUFFER_SIZE) - 1 - length);
        const char* newline = static_cast<const char*>(std::memchr(start, '\n', room));
        const std::size_t take = newline != nullptr ? std::size_t(newline - start) + 1 : room;
        std::memcpy(reader.line_buffer + length, start, take);
        length += take;
        reader.ahead_begin += take;
        if (newline != nullptr) break;
    }
    if (length == 0) return false;
    reader.line_buffer[length] = '\0';
    return true;
}

void smd_attach(SmdLineReader& reader, std::FILE* file) noexcept {
    reader.file = file;
    reader.ahead_file = file;
    reader.ahead_begin = reader.ahead_end = 0;
}

void smd_rewind(SmdLineReader& reader) noexcept {
    if (!reader.file) return;
    std::rewind(reader.file);
    reader.ahead_begin = reader.ahead_end = 0;
    reader.ahead_file = reader.file;
}

int smd_keyword_equal(const char* a, const char* b) noexcept {
    for (;; ++a, ++b) {
        if (lower_ascii(*a) != lower_ascii(*b)) return 1;
        if (*a == '\0') return 0;
    }
}

bool smd_first_token(const char* line, char (&out_token)[SMD_TOKEN_BUFFER_SIZE]) noexcept {
    const char* p = line;
    while (is_c_space(*p)) ++p;
    if (*p == '\0') return false;
    std::size_t length = 0;
    while (p[length] != '\0' && !is_c_space(p[length]) && length < SMD_TOKEN_BUFFER_SIZE - 1) {
        out_token[length] = p[length];
        ++length;
    }
    out_token[length] = '\0';
    return true;
}

bool smd_first_token_is(const SmdLineReader& reader, const char* keyword) noexcept {
    // In place: the token equals a keyword (shorter than the 255 characters
    // a token keeps) when it starts with it and ends right after it.
    const char* p = reader.line_buffer;
    while (is_c_space(*p)) ++p;
    if (*p == '\0' || *keyword == '\0') return false;
    for (; *keyword != '\0'; ++p, ++keyword)
        if (lower_ascii(*p) != lower_ascii(*keyword)) return false;
    return *p == '\0' || is_c_space(*p);
}

int smd_find_section(SmdLineReader& reader, const char* keyword) noexcept {
    while (smd_read_line(reader)) {
        if (smd_first_token_is(reader, keyword)) return 0;
    }
    return 1;
}

void smd_underscore_quoted_blanks(char* line) noexcept {
    char* p = std::strchr(line, '"');
    if (!p) return;
    for (++p; *p != '\0' && *p != '"'; ++p) {
        if (*p == ' ') *p = '_';
    }
}

std::size_t smd_unquote_name(const char* token, const char** out_start) noexcept {
    const char* open = std::strchr(token, '"');
    if (!open) return 0;
    const char* close = std::strchr(open + 1, '"');
    if (!close) return 0;
    *out_start = open + 1;
    return std::size_t(close - open - 1);
}

int smd_scan(const char* line, const char* format, ...) noexcept {
    CNumericLocale c_locale;
    va_list args;
    va_start(args, format);
    const int fields = std::vsscanf(line, format, args);
    va_end(args);
    return fields;
}

int smd_int_from_long(long value) noexcept {
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return int(value);
}

namespace {

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// A field ends a fast scan only where sscanf would end it too: at white
// space or the end of the line.
bool ends_field(char c) noexcept { return c == '\0' || is_c_space(c); }

// [+-]digits, decimal, without a leading zero (those are octal or hex to
// "%li"), followed by white space or the end. False, and nothing consumed,
// for anything else or on overflow.
bool fast_integer(const char* p, long* out_value, const char** out_end) noexcept {
    const char* q = p;
    const bool negative = *q == '-';
    if (*q == '+' || *q == '-') ++q;
    if (!is_digit(*q)) return false;
    if (*q == '0') {
        if (!ends_field(q[1])) return false;
        *out_value = 0;
        *out_end = q + 1;
        return true;
    }
    // Up to 18 digits cannot overflow a long; longer numbers are checked
    // digit by digit (sscanf saturates: those are left to sscanf).
    const char* const digits = q;
    unsigned long magnitude = 0;
    for (; is_digit(*q); ++q) magnitude = magnitude * 10 + unsigned(*q - '0');
    if (!ends_field(*q)) return false;
    if (q - digits > 18) {
        const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1 : LONG_MAX;
        magnitude = 0;
        for (const char* c = digits; c != q; ++c) {
            const unsigned digit = unsigned(*c - '0');
            if (magnitude > (limit - digit) / 10) return false;
            magnitude = magnitude * 10 + digit;
        }
    }
    *out_value = negative ? static_cast<long>(0UL - magnitude) : static_cast<long>(magnitude);
    *out_end = q;
    return true;
}

// Exact powers of ten in double.
constexpr double POWERS_OF_TEN[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The nearest float to mantissa x 10^exponent, when one double operation
// gets it: a mantissa below 2^53 and a power of ten up to 1e22 are exact in
// double, so the product or quotient is the nearest double (Clinger's fast
// path). Rounding that double to float gives the nearest float unless it
// sits exactly halfway between two floats, where the first rounding may
// have decided the tie; those (and zeros, infinities) are left to the full
// conversion.
bool near_float(std::uint64_t mantissa, int exponent, bool negative, float* out_value) noexcept {
    if (mantissa >= (std::uint64_t(1) << 53) || exponent < -22 || exponent > 22) return false;
    const double m = static_cast<double>(mantissa);
    const double d = exponent >= 0 ? m * POWERS_OF_TEN[exponent] : m / POWERS_OF_TEN[-exponent];
    const float f = static_cast<float>(d);
    if (f == 0.0f || !std::isfinite(f)) return false;
    const double below = static_cast<double>(f);
    if (below != d) {
        if (f >= FLT_MIN) {
            // A normal float keeps 24 of the double's 53 significant bits: d
            // lies halfway between two floats exactly when the 29 bits below
            // those are 1 followed by zeros.
            const std::uint64_t dropped = std::bit_cast<std::uint64_t>(d) & ((std::uint64_t(1) << 29) - 1);
            if (dropped == std::uint64_t(1) << 28) return false;
        } else {
            const double beyond = static_cast<double>(std::nextafter(f, d > below ? HUGE_VALF : -HUGE_VALF));
            if (d - below == beyond - d) return false;
        }
    }
    *out_value = negative ? -f : f;
    return true;
}

// [+-](digits[.digits] | .digits)[(e|E)[+-]digits], followed by white space
// or the end, converted with the correct rounding strtof gives. False for
// anything else, and for results out of float range (sscanf's strtof gives
// infinity or a rounded zero there).
bool fast_real(const char* p, float* out_value, const char** out_end) noexcept {
    const char* q = p;
    const char* number = q;
    bool negative = false;
    if (*q == '+') number = ++q;  // from_chars takes only a minus
    else if (*q == '-') negative = true, ++q;
    // The digits as one integer, in the same pass; it is used only when
    // there are at most 19 of them, which always fit (more may wrap).
    std::uint64_t mantissa = 0;
    const char* const whole = q;
    for (; is_digit(*q); ++q) mantissa = mantissa * 10 + unsigned(*q - '0');
    std::size_t digits = std::size_t(q - whole), fraction_digits = 0;
    if (*q == '.') {
        const char* const fraction = ++q;
        for (; is_digit(*q); ++q) mantissa = mantissa * 10 + unsigned(*q - '0');
        fraction_digits = std::size_t(q - fraction);
        digits += fraction_digits;
    }
    if (digits == 0) return false;
    int exponent = 0;
    bool exponent_fits = true;
    if (*q == 'e' || *q == 'E') {
        ++q;
        const bool exponent_negative = *q == '-';
        if (*q == '+' || *q == '-') ++q;
        if (!is_digit(*q)) return false;
        for (; is_digit(*q); ++q) {
            if (exponent < 100000) exponent = exponent * 10 + (*q - '0');
            else exponent_fits = false;
        }
        if (exponent_negative) exponent = -exponent;
    }
    if (!ends_field(*q)) return false;
    float value = 0.0f;
    if (digits <= 19 && exponent_fits) {
        if (mantissa == 0) {  // every power of ten of 0 is a zero of the number's sign
            *out_value = negative ? -0.0f : 0.0f;
            *out_end = q;
            return true;
        }
        if (near_float(mantissa, exponent - int(fraction_digits), negative, &value)) {
            *out_value = value;
            *out_end = q;
            return true;
        }
    }
    const std::from_chars_result result = std::from_chars(number, q, value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != q) return false;
    *out_value = value;
    *out_end = q;
    return true;
}

}  // namespace

int smd_scan_numbers(const char* line, const char* kinds, long* out_integers, float* out_reals) noexcept {
    const char* p = line;
    int fields = 0;
    for (const char* kind = kinds; *kind != '\0'; ++kind) {
        while (is_c_space(*p)) ++p;
        // What sscanf calls an input failure: EOF before the first field.
        if (*p == '\0') return fields == 0 ? EOF : fields;
        const char* end = nullptr;
        int consumed = 0;
        if (*kind == 'i') {
            long value = 0;
            if (!fast_integer(p, &value, &end)) {
                if (smd_scan(p, "%li%n", &value, &consumed) != 1) return fields;
                end = p + consumed;
            }
            *out_integers++ = value;
        } else {
            float value = 0.0f;
            if (!fast_real(p, &value, &end)) {
                if (smd_scan(p, "%f%n", &value, &consumed) != 1) return fields;
                end = p + consumed;
            }
            *out_reals++ = value;
        }
        ++fields;
        p = end;
    }
    return fields;
}

SmdNodeLineResult smd_parse_node_line(char* line, SmdNodeFields& out_fields, const char** out_name,
                                      std::size_t* out_length) noexcept {
    smd_underscore_quoted_blanks(line);
    long index = 0, parent = 0;
    if (smd_scan(line, "%li%255s%li", &index, out_fields.name_token, &parent) < 3) return SMD_NODE_LINE_SKIPPED;
    out_fields.index = smd_int_from_long(index);
    out_fields.parent = smd_int_from_long(parent);
    if (index < 0 || index >= SMD_MAX_NODES) return SMD_NODE_LINE_BAD_INDEX;
    const char* start = nullptr;
    const std::size_t length = smd_unquote_name(out_fields.name_token, &start);
    if (length == 0) return SMD_NODE_LINE_BAD_NAME;
    *out_name = start;
    *out_length = length;
    return SMD_NODE_LINE_OK;
}

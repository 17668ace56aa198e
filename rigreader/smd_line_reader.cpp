#include "smd_line_reader.h"

#include <climits>
#include <cstdarg>
#include <cstring>

#include "host_glue.h"

namespace {

// The C locale's white space, which "%s" skips and stops at.
bool is_c_space(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The C locale's tolower: only ASCII letters change, so a byte of another
// character set never matches a keyword letter.
char lower_ascii(char c) noexcept { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

}  // namespace

bool smd_read_line(SmdLineReader& reader) noexcept {
    if (!reader.file) return false;
    return std::fgets(reader.line_buffer, SMD_LINE_BUFFER_SIZE, reader.file) != nullptr;
}

int smd_keyword_equal(const char* a, const char* b) noexcept {
    for (;; ++a, ++b) {
        if (lower_ascii(*a) != lower_ascii(*b)) return 1;
        if (*a == '\0') return 0;
    }
}

bool smd_first_token_is(const SmdLineReader& reader, const char* keyword) noexcept {
    const char* p = reader.line_buffer;
    while (is_c_space(*p)) ++p;
    if (*p == '\0') return false;
    // As "%255s" would: at most 255 characters of the token.
    char token[SMD_TOKEN_BUFFER_SIZE];
    std::size_t length = 0;
    while (p[length] != '\0' && !is_c_space(p[length]) && length < SMD_TOKEN_BUFFER_SIZE - 1) {
        token[length] = p[length];
        ++length;
    }
    token[length] = '\0';
    return smd_keyword_equal(token, keyword) == 0;
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

// The SMD line reader both importers share: one line at a time into a fixed
// buffer, the first-token keyword test, the section search and the node-name
// helpers. Both importers link it (lwsmd_linereader), each with its own reader.
//
//   smd_read_line(reader)            the next line (as fgets reads it: up to
//                                    and including the newline, at most
//                                    2047 characters, so a longer line comes
//                                    in pieces) into reader.line_buffer;
//                                    false at the end of the file or on a
//                                    read error. The file is read in large
//                                    blocks, so its position runs ahead of
//                                    the lines handed out.
//   smd_rewind(reader)               back to the start of the file (use it,
//                                    not rewind(), while reading: it drops
//                                    the lines read ahead).
//   smd_attach(reader, file)         reads `file` from its position now,
//                                    nothing of an earlier file kept; null
//                                    detaches (a closed FILE's address may
//                                    come back for the next file opened).
//   smd_first_token(line, token)     the line's first blank-separated token,
//                                    as "%255s" scans it in the C locale (at
//                                    most 255 characters); false when the
//                                    line has none.
//   smd_first_token_is(reader, kw)   the line's whole first blank-separated
//                                    token equals the keyword kw, ignoring
//                                    case. A line without a token matches
//                                    nothing. For keywords shorter than 255
//                                    characters (all there are) this is the
//                                    "%255s" token's test.
//   smd_keyword_equal(a, b)          0 when the whole strings are equal
//                                    ignoring case (tolower per character).
//   smd_find_section(reader, kw)     reads lines until one whose first token
//                                    is kw: 0, reading goes on after it; 1 at
//                                    the end of the file.
//   smd_underscore_quoted_blanks(line)   every space (not tab) between the
//                                    first two double quotes becomes '_'.
//   smd_unquote_name(token, &start)  the length of the text between the
//                                    token's first two double quotes, with
//                                    start at its first character; 0 when a
//                                    quote is missing or nothing stands
//                                    between them.
//   smd_scan_numbers(line, kinds, integers, reals)
//                                    the numeric fields of a line, as sscanf
//                                    with one "%li" per 'i' and one "%f" per
//                                    'f' of kinds would scan them in the C
//                                    locale (the same count, EOF included,
//                                    the same values), the 'i' fields into
//                                    integers and the 'f' fields into reals
//                                    in order. Plain decimal numbers take a
//                                    fast path; every other form (hex,
//                                    octal, inf, nan, a number glued to the
//                                    next) is left to sscanf, one field at a
//                                    time.
//   smd_scan(line, format, ...)      sscanf in the C locale, whatever the
//                                    process locale: the writers print
//                                    numbers so. Integers are scanned with
//                                    "%li" into long and narrowed with
//                                    smd_int_from_long, which saturates, so
//                                    an out-of-range index never wraps onto
//                                    a valid one.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

constexpr int SMD_LINE_BUFFER_SIZE = 2048;
constexpr int SMD_TOKEN_BUFFER_SIZE = 256;
// Node indices the importers keep: 0..254.
constexpr int SMD_MAX_NODES = 255;

struct SmdLineReader {
    std::FILE* file = nullptr;
    char line_buffer[SMD_LINE_BUFFER_SIZE] = {};

    // Read ahead from `file`: block[ahead_begin, ahead_end) is still to be
    // handed out. It belongs to `ahead_file`; a reader given another file
    // starts afresh. Without memory for a block, lines are read with fgets.
    std::unique_ptr<char[]> block;
    std::size_t ahead_begin = 0, ahead_end = 0;
    std::FILE* ahead_file = nullptr;
};

// One node line as scanned, before the name is checked.
struct SmdNodeFields {
    int index = 0;
    char name_token[SMD_TOKEN_BUFFER_SIZE] = {};
    int parent = 0;
};

bool smd_read_line(SmdLineReader& reader) noexcept;
void smd_rewind(SmdLineReader& reader) noexcept;
void smd_attach(SmdLineReader& reader, std::FILE* file) noexcept;
bool smd_first_token(const char* line, char (&out_token)[SMD_TOKEN_BUFFER_SIZE]) noexcept;
bool smd_first_token_is(const SmdLineReader& reader, const char* keyword) noexcept;
int smd_keyword_equal(const char* a, const char* b) noexcept;
int smd_find_section(SmdLineReader& reader, const char* keyword) noexcept;
void smd_underscore_quoted_blanks(char* line) noexcept;
std::size_t smd_unquote_name(const char* token, const char** out_start) noexcept;
int smd_scan(const char* line, const char* format, ...) noexcept __attribute__((format(scanf, 2, 3)));
int smd_int_from_long(long value) noexcept;
int smd_scan_numbers(const char* line, const char* kinds, long* out_integers, float* out_reals) noexcept;

// One line of a node section for both importers: blanks inside the first
// quoted stretch become '_', then "%i%255s%i" (index, name token, parent)
// is scanned and checked.
// SMD_NODE_LINE_SKIPPED: fewer than three fields. SMD_NODE_LINE_BAD_INDEX:
// an index outside 0..254. SMD_NODE_LINE_BAD_NAME: the index and parent are
// good but the quoted name is missing or empty. SMD_NODE_LINE_OK: the name
// is out_name, out_length characters, not terminated, pointing into
// out_fields.name_token.
enum SmdNodeLineResult {
    SMD_NODE_LINE_OK,
    SMD_NODE_LINE_SKIPPED,
    SMD_NODE_LINE_BAD_INDEX,
    SMD_NODE_LINE_BAD_NAME,
};
SmdNodeLineResult smd_parse_node_line(char* line, SmdNodeFields& out_fields, const char** out_name,
                                      std::size_t* out_length) noexcept;

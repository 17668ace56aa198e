// Fuzz target: the SMD line reader both importers share, on any bytes. The
// lines it hands out must be fgets's pieces, byte for byte, also across its
// read-ahead blocks and after a rewind. Every helper runs on every line,
// checked where that is cheap: first tokens as "%255s" takes them, numeric
// scans as sscanf gives them in the C locale (the process locale here), the
// quote helpers within their text. A last pass checks the section search
// against the keywords the line pass saw.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_input_file.h"
#include "smd_line_reader.h"

namespace {

bool is_c_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

char lower_ascii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool equal_ignoring_case(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (lower_ascii(*a) != lower_ascii(*b)) return false;
    }
    return *a == *b;
}

// The kinds the importers scan with: the vertex-line count, a frame line, a
// whole vertex line; and a few short mixes.
constexpr const char* KINDS[] = {
    "i", "iffffff", ("iffffffffi" "ififififififififififififififif"), "f", "fi", "ii",
};
constexpr int MAX_FIELDS = 40;

// smd_scan_numbers against one sscanf call with the same conversions: the
// same count (EOF included) and the same bits in every scanned field.
void check_scan(const char* line, const char* kinds) {
    const std::size_t count = std::strlen(kinds);
    long integers[MAX_FIELDS];
    float reals[MAX_FIELDS];
    const int fields = smd_scan_numbers(line, kinds, integers, reals);
    FUZZ_CHECK(fields == EOF || (fields >= 0 && std::size_t(fields) <= count));

    std::string format;
    long want_integers[MAX_FIELDS] = {};
    float want_reals[MAX_FIELDS] = {};
    void* targets[MAX_FIELDS] = {};
    int next_integer = 0, next_real = 0;
    for (std::size_t k = 0; k < count; ++k) {
        if (kinds[k] == 'i') {
            format += "%li";
            targets[k] = &want_integers[next_integer++];
        } else {
            format += "%f";
            targets[k] = &want_reals[next_real++];
        }
    }
    // Arguments past the format's conversions are ignored by sscanf.
    const int want = std::sscanf(line, format.c_str(), targets[0], targets[1], targets[2], targets[3], targets[4],
                                 targets[5], targets[6], targets[7], targets[8], targets[9], targets[10],
                                 targets[11], targets[12], targets[13], targets[14], targets[15], targets[16],
                                 targets[17], targets[18], targets[19], targets[20], targets[21], targets[22],
                                 targets[23], targets[24], targets[25], targets[26], targets[27], targets[28],
                                 targets[29], targets[30], targets[31], targets[32], targets[33], targets[34],
                                 targets[35], targets[36], targets[37], targets[38], targets[39]);
    FUZZ_CHECK(fields == want);
    int i = 0, r = 0;
    for (int k = 0; k < fields; ++k) {
        if (kinds[k] == 'i') {
            FUZZ_CHECK(integers[i] == want_integers[i]);
            ++i;
        } else {
            FUZZ_CHECK(std::memcmp(&reals[r], &want_reals[r], sizeof(float)) == 0);
            ++r;
        }
    }
}

// The quoted name inside a token: between the first two quotes, no quote in
// it, not empty.
void check_unquote(const char* text) {
    const char* start = nullptr;
    const std::size_t length = smd_unquote_name(text, &start);
    if (length == 0) return;
    const char* first = std::strchr(text, '"');
    FUZZ_CHECK(first != nullptr && start == first + 1);
    FUZZ_CHECK(std::memchr(start, '"', length) == nullptr);
    FUZZ_CHECK(start[length] == '"');
}

// Blanks between the first two quotes become '_', nothing else changes.
void check_underscores(const char* line) {
    char changed[SMD_LINE_BUFFER_SIZE];
    std::strcpy(changed, line);
    smd_underscore_quoted_blanks(changed);
    const char* open = std::strchr(line, '"');
    const char* close = open ? std::strchr(open + 1, '"') : nullptr;
    const std::size_t length = std::strlen(line);
    FUZZ_CHECK(std::strlen(changed) == length);
    for (std::size_t k = 0; k < length; ++k) {
        const bool inside = open && line + k > open && (close == nullptr || line + k < close);
        const char want = inside && line[k] == ' ' ? '_' : line[k];
        FUZZ_CHECK(changed[k] == want);
    }
}

void check_node_line(const char* line) {
    char copy[SMD_LINE_BUFFER_SIZE];
    std::strcpy(copy, line);
    SmdNodeFields fields;
    const char* name = nullptr;
    std::size_t length = 0;
    const SmdNodeLineResult result = smd_parse_node_line(copy, fields, &name, &length);
    if (result == SMD_NODE_LINE_SKIPPED) return;
    const std::size_t token_length = std::strlen(fields.name_token);
    FUZZ_CHECK(token_length >= 1 && token_length < SMD_TOKEN_BUFFER_SIZE);
    if (result == SMD_NODE_LINE_BAD_INDEX) {
        FUZZ_CHECK(fields.index < 0 || fields.index >= SMD_MAX_NODES);
        return;
    }
    FUZZ_CHECK(fields.index >= 0 && fields.index < SMD_MAX_NODES);
    if (result == SMD_NODE_LINE_BAD_NAME) return;
    FUZZ_CHECK(result == SMD_NODE_LINE_OK);
    FUZZ_CHECK(length >= 1 && name > fields.name_token && name + length < fields.name_token + token_length);
    for (std::size_t k = 0; k < length; ++k) FUZZ_CHECK(name[k] != '"' && !is_c_space(name[k]));
}

// The input repeated beyond one read-ahead block (64 KiB) and a long line,
// so block ends fall inside lines, at places that move with the input's
// length. The lines must be what fgets gives, NULs included (the length of
// a piece is what fgets moved the file position by), before and after a
// rewind at a line chosen by the input.
void check_against_fgets(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> text;
    while (size > 0 && text.size() < 64 * 1024 + 4 * SMD_LINE_BUFFER_SIZE) text.insert(text.end(), data, data + size);
    FuzzInputFile ours(text.data(), text.size());
    FuzzInputFile theirs(text.data(), text.size());
    if (!ours.get() || !theirs.get()) return;
    SmdLineReader reader;
    smd_attach(reader, ours.get());
    char want[SMD_LINE_BUFFER_SIZE];
    const std::size_t rewind_after = size % 64;
    bool rewound = false;
    for (std::size_t lines = 1;; ++lines) {
        const long before = std::ftell(theirs.get());
        const bool expected = std::fgets(want, sizeof want, theirs.get()) != nullptr;
        FUZZ_CHECK(smd_read_line(reader) == expected);
        if (!expected) break;
        const long length = std::ftell(theirs.get()) - before;
        FUZZ_CHECK(length >= 1 && length < SMD_LINE_BUFFER_SIZE);
        FUZZ_CHECK(std::memcmp(reader.line_buffer, want, std::size_t(length) + 1) == 0);
        if (!rewound && lines == rewind_after) {
            smd_rewind(reader);
            std::rewind(theirs.get());
            rewound = true;
        }
    }
    FUZZ_CHECK(!smd_read_line(reader));
}

constexpr const char* SECTIONS[] = {"nodes", "skeleton", "time", "triangles", "end"};
constexpr int SECTION_COUNT = int(std::size(SECTIONS));

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    check_against_fgets(data, size);

    FuzzInputFile input(data, size);
    if (!input.get()) return 0;
    SmdLineReader reader;
    smd_attach(reader, input.get());

    int keyword_lines[SECTION_COUNT] = {};
    while (smd_read_line(reader)) {
        const char* line = reader.line_buffer;
        FUZZ_CHECK(std::strlen(line) < std::size_t(SMD_LINE_BUFFER_SIZE));

        char token[SMD_TOKEN_BUFFER_SIZE];
        const bool has_token = smd_first_token(line, token);
        char want[SMD_TOKEN_BUFFER_SIZE] = {};
        FUZZ_CHECK(has_token == (std::sscanf(line, "%255s", want) == 1));
        if (has_token) {
            FUZZ_CHECK(std::strcmp(token, want) == 0);
            const std::size_t length = std::strlen(token);
            FUZZ_CHECK(length >= 1 && length < std::size_t(SMD_TOKEN_BUFFER_SIZE));
            for (std::size_t k = 0; k < length; ++k) FUZZ_CHECK(!is_c_space(token[k]));
            // Keywords are shorter than the 255 characters a token keeps; a
            // token cut there is not compared with one of that length.
            if (length < std::size_t(SMD_TOKEN_BUFFER_SIZE - 1)) FUZZ_CHECK(smd_first_token_is(reader, token));
            char upper[SMD_TOKEN_BUFFER_SIZE];
            for (std::size_t k = 0; k <= length; ++k)
                upper[k] = token[k] >= 'a' && token[k] <= 'z' ? char(token[k] - 'a' + 'A') : token[k];
            FUZZ_CHECK(smd_keyword_equal(token, upper) == 0);
            for (int s = 0; s < SECTION_COUNT; ++s) {
                const bool is_keyword = equal_ignoring_case(token, SECTIONS[s]);
                FUZZ_CHECK(smd_first_token_is(reader, SECTIONS[s]) == is_keyword);
                keyword_lines[s] += is_keyword;
            }
            check_unquote(token);
        } else {
            for (const char* keyword : SECTIONS) FUZZ_CHECK(!smd_first_token_is(reader, keyword));
        }

        for (const char* kinds : KINDS) check_scan(line, kinds);
        check_unquote(line);
        check_underscores(line);
        check_node_line(line);
    }

    // The section search finds exactly the keyword lines the first pass saw,
    // and reading goes on after each.
    for (int s = 0; s < SECTION_COUNT; ++s) {
        smd_rewind(reader);
        int found = 0;
        while (smd_find_section(reader, SECTIONS[s]) == 0) {
            FUZZ_CHECK(smd_first_token_is(reader, SECTIONS[s]));
            ++found;
        }
        FUZZ_CHECK(found == keyword_lines[s]);
    }
    return 0;
}

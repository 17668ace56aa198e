// Fuzz target: the skeleton importer's reading on any bytes, driven the way
// an import drives it (frame count and rewind, "nodes", the nodes section,
// "time", the first block, further blocks while they follow), over a bone
// table allocated as the activation allocates it. The reader calls no host
// service, so none is set up. The same file is read twice into one table,
// as a reference and then a sequence share the table of one panel opening.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "fuzz_check.h"
#include "fuzz_input_file.h"
#include "import_state.h"

namespace {

bool is_c_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// One import's reading; the checks that hold whatever the file holds.
void read_blocks(SkeletonImport& state) {
    state.more_frames = 0;
    const int frames = skeleton_count_frames(state, state.reader);
    FUZZ_CHECK(frames >= 0);
    if (smd_find_section(state.reader, "nodes") != 0) return;
    const int nodes_before = state.node_count;
    const int nodes = skeleton_read_nodes(state, state.reader);
    FUZZ_CHECK(nodes == SKELETON_OK || nodes == SKELETON_READ_FAILED);
    FUZZ_CHECK(state.node_count >= nodes_before);
    if (nodes != SKELETON_OK) return;
    if (smd_find_section(state.reader, "time") != 0) return;
    // Every block the reader enters begins at a "time" line the count saw.
    int blocks = 1;
    int result = skeleton_read_frame(state, state.reader);
    if (result != FRAME_EOF && state.more_frames) {
        while (result == FRAME_NEXT) {
            ++blocks;
            result = skeleton_read_frame(state, state.reader);
        }
    }
    FUZZ_CHECK(result == FRAME_END || result == FRAME_EOF);
    FUZZ_CHECK(blocks <= frames);
    FUZZ_CHECK(state.more_frames == (blocks > 1));
}

void read_like_an_import(SkeletonImport& state, std::FILE* file) {
    smd_attach(state.reader, file);
    read_blocks(state);
    smd_attach(state.reader, nullptr);  // the file is closed after this import
}

// A named row holds the name between the quotes of one token, filed under
// its own index.
void check_table(const SkeletonImport& state) {
    for (int i = 0; i < SMD_MAX_NODES; ++i) {
        const ImportBone& row = state.bone_table[i];
        if (!row.name) continue;
        FUZZ_CHECK(row.index == i);
        const std::size_t length = std::strlen(row.name.get());
        FUZZ_CHECK(length >= 1 && length <= std::size_t(SMD_TOKEN_BUFFER_SIZE - 3));
        for (std::size_t k = 0; k < length; ++k) FUZZ_CHECK(row.name[k] != '"' && !is_c_space(row.name[k]));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SkeletonImport state{};
    state.scale = static_cast<float>(SKELETON_IMPORT_SCALE);
    state.default_rest_length = static_cast<float>(SKELETON_DEFAULT_REST_LENGTH);
    if (skeleton_allocate_table(state) != SKELETON_OK) return 0;
    for (int sequence_mode = 0; sequence_mode < 2; ++sequence_mode) {
        FuzzInputFile input(data, size);
        if (!input.get()) break;
        state.sequence_mode = sequence_mode;
        read_like_an_import(state, input.get());
        check_table(state);
    }
    skeleton_release(state);
    return 0;
}

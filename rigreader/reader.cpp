// The skeleton importer's reader: the nodes section and the frame blocks of
// a reference or sequence file into the bone table, and the frame-count
// pre-pass. It talks to no host service.
#include <climits>
#include <cstring>
#include <new>

#include "import_state.h"

namespace {

void add_saturating(int& count) noexcept {
    if (count < INT_MAX) ++count;
}

}  // namespace

SkeletonResult skeleton_read_nodes(SkeletonImport& state, SmdLineReader& reader) noexcept {
    if (!state.bone_table) return SKELETON_READ_FAILED;
    for (;;) {
        if (!smd_read_line(reader)) return SKELETON_READ_FAILED;
        if (smd_first_token_is(reader, "end")) return SKELETON_OK;
        SmdNodeFields fields;
        const char* name = nullptr;
        std::size_t length = 0;
        const SmdNodeLineResult result = smd_parse_node_line(reader.line_buffer, fields, &name, &length);
        if (result == SMD_NODE_LINE_SKIPPED) continue;
        if (result == SMD_NODE_LINE_BAD_INDEX) return SKELETON_READ_FAILED;
        // The row takes the index and parent before the name is checked, so a
        // line whose name is bad still leaves them in the row.
        ImportBone& row = state.bone_table[fields.index];
        row.index = fields.index;
        row.parent = fields.parent;
        if (result != SMD_NODE_LINE_OK) return SKELETON_READ_FAILED;
        std::unique_ptr<char[]> copy(new (std::nothrow) char[length + 1]);
        if (!copy) return SKELETON_READ_FAILED;
        std::memcpy(copy.get(), name, length);
        copy[length] = '\0';
        row.name = std::move(copy);
        add_saturating(state.node_count);
    }
}

FrameResult skeleton_read_frame(SkeletonImport& state, SmdLineReader& reader) noexcept {
    for (;;) {
        if (!smd_read_line(reader)) return FRAME_EOF;
        if (smd_first_token_is(reader, "end")) return FRAME_END;
        if (smd_first_token_is(reader, "time")) {
            state.more_frames = 1;
            return FRAME_NEXT;
        }
        // "%i%f%f%f%f%f%f": node index, position, rotation.
        long index = 0;
        float values[6];
        if (smd_scan_numbers(reader.line_buffer, "iffffff", &index, values) < 7) continue;
        // Scanned as a long: an index beyond the int range is out of range
        // here too, never wrapped onto a row.
        if (index < 0 || index >= SMD_MAX_NODES || !state.bone_table) return FRAME_END;
        ImportBone& row = state.bone_table[index];
        for (int k = 0; k < 3; ++k) {
            row.position[k] = values[k];
            row.rotation[k] = values[3 + k];
        }
    }
}

int skeleton_count_frames(SkeletonImport&, SmdLineReader& reader) noexcept {
    int frames = 0;
    while (smd_find_section(reader, "time") == 0) add_saturating(frames);
    smd_rewind(reader);
    return frames;
}

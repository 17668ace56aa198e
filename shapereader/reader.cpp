// The mesh importer's reading: one import run, the vertex-line count that
// sizes the records, the nodes section (names for the weight maps) and the
// triangles section, whose lines go to the builder as they are read.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include <lwmodeler.h>

#include "host_glue.h"
#include "import_state.h"

namespace {

constexpr char MESSAGE_NO_MEMORY[] = "Out of memory!";
constexpr char MESSAGE_NO_GEOMETRY[] = "This file has no geometry data!";
constexpr char MESSAGE_NO_NODES[] = "Cannot find nodes section!";
constexpr char MESSAGE_BAD_NODES[] = "Error parsing nodes section!";
constexpr char MESSAGE_NO_TRIANGLES[] = "Cannot find triangles section!";
constexpr char MESSAGE_NO_EDIT[] = "Bad global: editBegin !";

// A vertex line, as "%i %f %f %f %f %f %f %f %f %i" and 15 times " %i %f":
// parent, position, normal, u, v, the link count, then up to 15 (node,
// weight) pairs; 40 conversions. Integers are scanned as long and narrowed
// with saturation, so an index too large for int never wraps onto a node.
constexpr char VERTEX_LINE_KINDS[] = "iffffffffi" "ififififififififififififififif";
static_assert(sizeof VERTEX_LINE_KINDS - 1 == 40);
// The fields before the first link: parent, 3 + 3 + 2 reals, the count.
constexpr int FIELDS_BEFORE_LINKS = 10;
constexpr int FIELDS_OF_A_VERTEX = 9;

MeshAllocHook g_alloc_hook = nullptr;

// A heap copy of `length` characters with a NUL after them; null when memory
// runs out.
std::unique_ptr<char[]> copy_name(const char* text, std::size_t length) noexcept {
    if (!mesh_allocation_allowed(MESH_ALLOC_NAME, length + 1)) return nullptr;
    std::unique_ptr<char[]> copy(new (std::nothrow) char[length + 1]);
    if (copy) {
        std::memcpy(copy.get(), text, length);
        copy[length] = '\0';
    }
    return copy;
}

using NameTable = std::unique_ptr<std::unique_ptr<char[]>[]>;

NameTable allocate_names(int count) noexcept {
    const std::size_t bytes = std::size_t(count) * sizeof(std::unique_ptr<char[]>);
    if (!mesh_allocation_allowed(MESH_ALLOC_NAME_TABLES, bytes)) return nullptr;
    return NameTable(new (std::nothrow) std::unique_ptr<char[]>[std::size_t(count)]());
}

bool is_c_space(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// True when the line's first token is a whole integer as "%i" reads one
// (sign, then decimal, octal or hexadecimal digits, nothing else): only
// such a line is a vertex line, so "01_body.tga" is a material.
bool first_token_is_integer(const char* line) noexcept {
    const char* p = line;
    while (is_c_space(*p)) ++p;
    const char* q = p + (*p == '+' || *p == '-');
    if (*q < '0' || *q > '9') return false;  // an integer starts with a digit after its sign
    if (*q != '0') {  // decimal, the common case, needs no token copy
        while (*q >= '0' && *q <= '9') ++q;
        return *q == '\0' || is_c_space(*q);
    }
    if (q[1] == '\0' || is_c_space(q[1])) return true;
    // Octal or hexadecimal, or not an integer at all ("0x", "08", "01_a").
    char token[SMD_TOKEN_BUFFER_SIZE];
    if (!smd_first_token(p, token)) return false;
    char* end = nullptr;
    std::strtol(token, &end, 0);
    return end != token && *end == '\0';
}

// True for a line of nothing but white space: the newline piece of a line
// exactly as long as the buffer, or an empty line some tools write between
// triangles.
bool is_blank(const char* line) noexcept {
    for (const char* p = line; *p != '\0'; ++p)
        if (!is_c_space(*p)) return false;
    return true;
}

// The position index, one empty slot for every two vertex lines counted
// (a group per line at most), so probes stay short.
bool allocate_position_index(MeshImport& state) noexcept {
    const std::size_t slots = 2 * std::size_t(state.vertex_line_count) + 1;
    if (!mesh_allocation_allowed(MESH_ALLOC_POSITION_INDEX, slots * sizeof(PositionSlot))) return false;
    state.position_index = mesh_big_array<PositionSlot>(slots);
    if (!state.position_index) {
        state.position_slots = 0;
        return false;
    }
    std::memset(state.position_index.get(), 0, slots * sizeof(PositionSlot));
    state.position_slots = slots;
    return true;
}

// Scans one line; returns what the scan returned (EOF for a line without
// any field). The link pairs actually present decide: the first link's node
// replaces the parent, the count is never used.
int scan_vertex_line(const char* line, MeshVertexLine& out) noexcept {
    long integers[2 + MESH_MAX_LINKS] = {};  // parent, link count, link nodes
    float reals[8 + MESH_MAX_LINKS];          // position, normal, uv, weights
    const int fields = smd_scan_numbers(line, VERTEX_LINE_KINDS, integers, reals);
    float* const targets[8] = {&out.position[0], &out.position[1], &out.position[2], &out.normal[0],
                               &out.normal[1],   &out.normal[2],   &out.uv[0],       &out.uv[1]};
    const int scanned_reals = fields < 2 ? 0 : fields < 10 ? fields - 1 : 8 + (fields - 10) / 2;
    for (int r = 0; r < scanned_reals && r < 8; ++r) *targets[r] = reals[r];
    out.weights_scanned = std::max(0, scanned_reals - 8);
    for (int k = 0; k < out.weights_scanned; ++k) out.weights[k] = reals[8 + k];
    // The parent stands as node 0 until a link names one.
    out.bones_scanned = fields >= 1 ? 1 : 0;
    if (fields >= 1) out.bones[0] = smd_int_from_long(integers[0]);
    for (int k = 0; k < MESH_MAX_LINKS && fields > FIELDS_BEFORE_LINKS + 2 * k; ++k) {
        out.bones[k] = smd_int_from_long(integers[2 + k]);
        out.bones_scanned = k + 1;
    }
    return fields;
}

}  // namespace

void mesh_set_alloc_hook(MeshAllocHook hook) noexcept { g_alloc_hook = hook; }

bool mesh_allocation_allowed(MeshAllocation what, std::size_t bytes) noexcept {
    return g_alloc_hook == nullptr || g_alloc_hook(what, bytes);
}

MeshImport::~MeshImport() { mesh_import_release(*this); }

void mesh_import_release(MeshImport& state) noexcept {
    // The maps first: their keys point into the names and the arena.
    strmap_free(&state.material_map);
    strmap_free(&state.material_texts);
    state.material_list.clear();
    state.material_list.shrink_to_fit();
    state.last_registered = NO_RECORD;
    state.position_index.reset();
    state.position_slots = 0;
    state.records.clear();
    state.arena.clear();
    state.node_names.reset();
    state.material_names.reset();
    state.vertex_line_count = 0;
    state.groups_used = 0;
    state.vertices_read = 0;
    state.materials_used = 0;
}

int mesh_count_vertex_lines(MeshImport& state) noexcept {
    SmdLineReader& reader = state.reader;
    state.vertex_line_count = 0;
    if (smd_find_section(reader, "triangles") != 0) return 0;
    int count = 0;
    while (smd_read_line(reader)) {
        if (smd_first_token_is(reader, "end")) break;
        if (first_token_is_integer(reader.line_buffer) && count < INT_MAX) ++count;
    }
    smd_rewind(reader);
    state.vertex_line_count = count;
    return count;
}

MeshImportResult mesh_read_nodes(MeshImport& state) noexcept {
    SmdLineReader& reader = state.reader;
    if (!state.node_names) return MESH_IMPORT_FAILED;
    while (smd_read_line(reader)) {
        if (smd_first_token_is(reader, "end")) return MESH_IMPORT_OK;
        SmdNodeFields fields;
        const char* name = nullptr;
        std::size_t length = 0;
        const SmdNodeLineResult result = smd_parse_node_line(reader.line_buffer, fields, &name, &length);
        if (result == SMD_NODE_LINE_SKIPPED) continue;
        if (result != SMD_NODE_LINE_OK) return MESH_IMPORT_FAILED;
        // The parent is read and dropped: the mesh needs only the names.
        std::unique_ptr<char[]> copy = copy_name(name, length);
        if (!copy) return MESH_IMPORT_FAILED;
        state.node_names[fields.index] = std::move(copy);
    }
    return MESH_IMPORT_FAILED;
}

MeshImportResult mesh_read_triangles(MeshImport& state) noexcept {
    SmdLineReader& reader = state.reader;
    if (!state.position_index) return MESH_IMPORT_FAILED;
    // None until the first material line: the vertex lines before it belong
    // to no material and are passed over (a written file always starts each
    // triangle with its material).
    bool have_material = false;
    std::uint32_t material = 0;
    MeshCorner corners[3] = {};
    int corner = 0;
    // One vertex line waits while the next is scanned (its position's slot
    // is on its way from memory meanwhile); everything else first builds it.
    MeshVertexLine lines[2];
    MeshVertexLine* waiting = nullptr;
    const auto build_waiting = [&]() noexcept {
        if (waiting == nullptr) return;
        share_or_create_point(state, *waiting, corners[corner++]);
        if (corner == 3) {
            create_triangle(state, corners, waiting->material);
            corner = 0;
        }
        waiting = nullptr;
    };
    while (smd_read_line(reader)) {
        if (is_blank(reader.line_buffer)) continue;
        if (smd_first_token_is(reader, "end")) {
            build_waiting();
            return MESH_IMPORT_OK;
        }
        if (!first_token_is_integer(reader.line_buffer)) {
            build_waiting();
            char token[SMD_TOKEN_BUFFER_SIZE];
            smd_first_token(reader.line_buffer, token);
            corner = 0;  // a triangle cut short by a material line is dropped
            // Every triangle of a written file starts with its material line,
            // mostly the one before again.
            if (have_material && std::strcmp(token, state.material_list[material]) == 0) continue;
            // Without memory for its text the material is unusable: its
            // vertex lines are passed over like those before any material.
            have_material = mesh_intern_material(state, token, material);
            continue;
        }
        // Never past the lines counted (the count comes from the first
        // "triangles" line, which need not be the one read here).
        if (state.vertices_read >= state.vertex_line_count) break;
        MeshVertexLine& line = waiting == &lines[0] ? lines[1] : lines[0];
        if (scan_vertex_line(reader.line_buffer, line) < FIELDS_OF_A_VERTEX) break;
        if (!have_material) continue;
        ++state.vertices_read;
        line.material = material;
        mesh_locate_position(state, line);
        build_waiting();
        waiting = &line;
    }
    build_waiting();
    return MESH_IMPORT_FAILED;
}

namespace {

MeshImportResult import_from(MeshImport& state) noexcept {
    state.node_names = allocate_names(SMD_MAX_NODES);
    state.material_names = allocate_names(MESH_MAX_MATERIALS);
    if (!state.node_names || !state.material_names) {
        report_error(state.messages, MESSAGE_NO_MEMORY);
        return MESH_IMPORT_FAILED;
    }
    if (mesh_count_vertex_lines(state) <= 2) {
        report_error(state.messages, MESSAGE_NO_GEOMETRY);
        return MESH_IMPORT_FAILED;
    }
    // A map that cannot be sized starts without slots and allocates at its
    // first insert.
    strmap_init(&state.material_map, MESH_MAX_MATERIALS);
    strmap_init(&state.material_texts, MESH_MAX_MATERIALS);
    // The position index and the first chunks of records, links and texts.
    bool prepared = allocate_position_index(state) && state.records.prepare() && state.arena.prepare();
    try {
        state.material_list.reserve(MESH_MAX_MATERIALS);
    } catch (...) {
        prepared = false;
    }
    if (!prepared) {
        report_error(state.messages, MESSAGE_NO_MEMORY);
        return MESH_IMPORT_FAILED;
    }
    if (smd_find_section(state.reader, "nodes") != 0) {
        report_error(state.messages, MESSAGE_NO_NODES);
        return MESH_IMPORT_FAILED;
    }
    if (mesh_read_nodes(state) != MESH_IMPORT_OK) {
        report_error(state.messages, MESSAGE_BAD_NODES);
        return MESH_IMPORT_FAILED;
    }
    if (smd_find_section(state.reader, "triangles") != 0) {
        report_error(state.messages, MESSAGE_NO_TRIANGLES);
        return MESH_IMPORT_FAILED;
    }
    MeshEditOp* edit = state.command != nullptr && state.command->editBegin != nullptr
                           ? state.command->editBegin(0, 0, OPSEL_GLOBAL)
                           : nullptr;
    if (edit == nullptr) {
        report_error(state.messages, MESSAGE_NO_EDIT);
        return MESH_IMPORT_FAILED;
    }
    state.edit_op = edit;
    // Whatever was built before a bad line stays: the result is not used.
    static_cast<void>(mesh_read_triangles(state));
    edit->done(edit->state, EDERR_NONE, 0);
    state.edit_op = nullptr;
    send_surface_commands(state);
    return MESH_IMPORT_OK;
}

}  // namespace

MeshImportResult mesh_import_run(MeshImport& state, std::FILE* file) noexcept {
    mesh_import_release(state);
    smd_attach(state.reader, file);
    const MeshImportResult rc = import_from(state);
    // The caller closes the file: keep no pointer to it.
    smd_attach(state.reader, nullptr);
    return rc;
}

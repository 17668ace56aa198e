// The mesh importer's reading: one import run, the vertex-line count that
// sizes the records, the nodes section (names for the weight maps) and the
// triangles section, whose lines go to the builder as they are read.
#include <climits>
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

bool allocate_records(MeshImport& state) noexcept {
    const std::size_t count = std::size_t(state.vertex_line_count);
    if (!mesh_allocation_allowed(MESH_ALLOC_RECORDS, count * sizeof(MeshVertex))) return false;
    state.vertex_records.reset(new (std::nothrow) MeshVertex[count]());
    return state.vertex_records != nullptr;
}

// The record before a line is scanned into it: zero, with no weights and no
// corner UV. (A line that was scanned but not kept may have left values.)
void prepare_record(MeshVertex& vertex, MeshVertexLinks& links) noexcept {
    vertex = MeshVertex{};
    links = MeshVertexLinks{};
    for (float& weight : links.weights) weight = MESH_NOT_SET;
    vertex.uv_corner[0] = vertex.uv_corner[1] = MESH_NOT_SET;
    vertex.normal[0] = MESH_NOT_SET;
}

// Scans one line into the record; returns what the scan returned (EOF for a
// line without any field). The link pairs actually present decide: the first
// link's node replaces the parent, the count is never used.
int scan_vertex_line(const char* line, MeshVertex& v, MeshVertexLinks& links) noexcept {
    long integers[2 + MESH_MAX_LINKS] = {};  // parent, link count, link nodes
    float reals[8 + MESH_MAX_LINKS];          // position, normal, uv, weights
    const int fields = smd_scan_numbers(line, VERTEX_LINE_KINDS, integers, reals);
    // Only what was scanned is stored, field by field, as the scan would.
    const int scanned_reals = fields < 2 ? 0 : fields < 10 ? fields - 1 : 8 + (fields - 10) / 2;
    float* const targets[8] = {&v.position[0], &v.position[1], &v.position[2], &v.normal[0],
                               &v.normal[1],   &v.normal[2],   &v.uv[0],       &v.uv[1]};
    for (int r = 0; r < scanned_reals; ++r) *(r < 8 ? targets[r] : &links.weights[r - 8]) = reals[r];
    if (fields >= 1) links.bones[0] = smd_int_from_long(integers[0]);
    for (int k = 0; k < MESH_MAX_LINKS && fields > FIELDS_BEFORE_LINKS + 2 * k; ++k)
        links.bones[k] = smd_int_from_long(integers[2 + k]);
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
    strmap_free(&state.position_map);
    strmap_free(&state.material_map);
    strmap_free(&state.material_texts);
    state.arena.clear();
    state.node_names.reset();
    state.material_names.reset();
    state.vertex_records.reset();
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
        long number = 0;
        if (smd_scan_numbers(reader.line_buffer, "i", &number, nullptr) == 1 && count < INT_MAX) ++count;
    }
    std::rewind(reader.file);
    state.vertex_line_count = count;
    return count;
}

int mesh_read_nodes(MeshImport& state) noexcept {
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

int mesh_read_triangles(MeshImport& state) noexcept {
    SmdLineReader& reader = state.reader;
    if (!state.vertex_records) return MESH_IMPORT_FAILED;
    // None until the first material line: the vertex lines before it belong
    // to no material and are passed over (a written file always starts each
    // triangle with its material).
    const char* material = nullptr;
    MeshVertex* corners[3] = {};
    int corner = 0;
    while (smd_read_line(reader)) {
        if (smd_first_token_is(reader, "end")) return MESH_IMPORT_OK;
        // Never past the records counted (the count comes from the first
        // "triangles" line, which need not be the one read here).
        if (state.vertices_read >= state.vertex_line_count) return MESH_IMPORT_FAILED;
        MeshVertex& vertex = state.vertex_records[std::size_t(state.vertices_read)];
        MeshVertexLinks links;
        prepare_record(vertex, links);
        const int fields = scan_vertex_line(reader.line_buffer, vertex, links);
        if (fields == 0) {
            char token[SMD_TOKEN_BUFFER_SIZE];
            // Without memory for its text the material is unusable: its
            // vertex lines are passed over like those before any material.
            if (smd_first_token(reader.line_buffer, token)) material = mesh_intern_material(state, token);
            corner = 0;  // a triangle cut short by a material line is dropped
            continue;
        }
        if (fields < FIELDS_OF_A_VERTEX) return MESH_IMPORT_FAILED;
        if (material == nullptr) continue;
        ++state.vertices_read;
        share_or_create_point(state, vertex, links, material);
        corners[corner++] = &vertex;
        if (corner == 3) {
            create_triangle(state, corners, material);
            corner = 0;
        }
    }
    return MESH_IMPORT_FAILED;
}

namespace {

int import_from(MeshImport& state) noexcept {
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
    strmap_init(&state.position_map, state.vertex_line_count);
    strmap_init(&state.material_map, MESH_MAX_MATERIALS);
    strmap_init(&state.material_texts, MESH_MAX_MATERIALS);
    // The records, and the first chunk of the position groups.
    if (!allocate_records(state) || !state.arena.prepare()) {
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
    mesh_read_triangles(state);
    edit->done(edit->state, EDERR_NONE, 0);
    state.edit_op = nullptr;
    send_surface_commands(state);
    return MESH_IMPORT_OK;
}

}  // namespace

int mesh_import_run(MeshImport& state, std::FILE* file) noexcept {
    mesh_import_release(state);
    state.reader.file = file;
    const int rc = import_from(state);
    // The caller closes the file: keep no pointer to it.
    state.reader.file = nullptr;
    return rc;
}

// Fuzz target: the mesh importer's whole run (mesh_import_run) on any bytes,
// over a stand-in Modeler that accepts every call and checks what it is
// handed: points and polygons it made, three corners per face, a UV of two
// and a weight of one value, nothing edited outside an edit or after done.
// Handles carry bits above 32, as the real host's do, so one cut to 32 bits
// is not taken for one of ours. The file is imported twice into one state,
// as two presses of the button: weights on at the default scale, then off
// at scale 1.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <lwcmdseq.h>
#include <lwhost.h>
#include <lwmeshedt.h>

#include "fuzz_check.h"
#include "fuzz_input_file.h"
#include "import_state.h"

namespace {

constexpr std::uintptr_t POINT_BASE = std::uintptr_t(1) << 32;
constexpr std::uintptr_t POLYGON_BASE = std::uintptr_t(2) << 32;

struct StandIn {
    std::uintptr_t points = 0;
    std::uintptr_t polygons = 0;
    bool editing = false;
    int edits_begun = 0;
    int edits_done = 0;
    int errors = 0;
    int commands = 0;
};
StandIn g_host;

bool made_point(LWPntID point) {
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(point);
    return value > POINT_BASE && value <= POINT_BASE + g_host.points;
}

bool made_polygon(LWPolID polygon) {
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(polygon);
    return value > POLYGON_BASE && value <= POLYGON_BASE + g_host.polygons;
}

// Reads every byte of a name, so the sanitizer sees a name that is not one.
void check_name(const char* name) {
    FUZZ_CHECK(name != nullptr);
    FUZZ_CHECK(std::strlen(name) < SMD_LINE_BUFFER_SIZE);
}

void edit_done(EDStateRef, EDError error, int) {
    FUZZ_CHECK(g_host.editing);
    FUZZ_CHECK(error == EDERR_NONE);
    g_host.editing = false;
    ++g_host.edits_done;
}

LWPntID add_point(EDStateRef, double* xyz) {
    FUZZ_CHECK(g_host.editing);
    FUZZ_CHECK(xyz != nullptr);
    volatile double sum = xyz[0] + xyz[1] + xyz[2];
    (void)sum;
    return reinterpret_cast<LWPntID>(POINT_BASE + ++g_host.points);
}

LWPolID add_face(EDStateRef, const char* surface, int count, const LWPntID* points) {
    FUZZ_CHECK(g_host.editing);
    check_name(surface);
    FUZZ_CHECK(count == 3);
    // add_point never answers null, so every corner has a point of ours.
    for (int k = 0; k < count; ++k) FUZZ_CHECK(made_point(points[k]));
    return reinterpret_cast<LWPolID>(POLYGON_BASE + ++g_host.polygons);
}

void check_value(LWID type, int dimension, const float* values) {
    FUZZ_CHECK(type == LWVMAP_TXUV || type == LWVMAP_WGHT);
    FUZZ_CHECK(dimension == (type == LWVMAP_TXUV ? 2 : 1));
    FUZZ_CHECK(values != nullptr);
    volatile float sum = 0.0f;
    for (int k = 0; k < dimension; ++k) sum = sum + values[k];
}

EDError point_vmap(EDStateRef, LWPntID point, LWID type, const char* name, int dimension, float* values) {
    FUZZ_CHECK(g_host.editing);
    FUZZ_CHECK(made_point(point));
    check_name(name);
    check_value(type, dimension, values);
    return EDERR_NONE;
}

EDError point_polygon_vmap(EDStateRef, LWPntID point, LWPolID polygon, LWID type, const char* name, int dimension,
                           float* values) {
    FUZZ_CHECK(g_host.editing);
    FUZZ_CHECK(made_point(point));
    FUZZ_CHECK(made_polygon(polygon));
    FUZZ_CHECK(type == LWVMAP_TXUV);
    check_name(name);
    check_value(type, dimension, values);
    return EDERR_NONE;
}

// Every other function stays null: a call to one crashes, which is a finding.
MeshEditOp g_edit = [] {
    MeshEditOp op{};
    op.done = edit_done;
    op.addPoint = add_point;
    op.addFace = add_face;
    op.pntVMap = point_vmap;
    op.pntVPMap = point_polygon_vmap;
    return op;
}();

MeshEditOp* edit_begin(int, int, EltOpSelect) {
    FUZZ_CHECK(!g_host.editing);
    g_host.editing = true;
    ++g_host.edits_begun;
    return &g_edit;
}

int evaluate(void*, const char* command) {
    FUZZ_CHECK(!g_host.editing);
    check_name(command);
    ++g_host.commands;
    return 1;
}

void message_error(const char* line1, const char*) {
    check_name(line1);
    ++g_host.errors;
}
void message_other(const char* line1, const char*) { check_name(line1); }

// No service is looked up during an import; the surface commands only need
// the global function to be there.
void* global(const char*, int) { return nullptr; }

const LWModCommand g_command = [] {
    LWModCommand command{};
    command.editBegin = edit_begin;
    command.evaluate = evaluate;
    return command;
}();

const LWMessageFuncs g_messages = [] {
    LWMessageFuncs messages{};
    messages.info = message_other;
    messages.error = message_error;
    messages.warning = message_other;
    return messages;
}();

void import_once(MeshImport& state, const std::uint8_t* data, std::size_t size) {
    FuzzInputFile input(data, size);
    if (!input.get()) return;
    g_host = StandIn{};
    const int result = mesh_import_run(state, input.get());
    FUZZ_CHECK(result == MESH_IMPORT_OK || result == MESH_IMPORT_FAILED);
    // One message exactly when the import failed, and every edit closed.
    FUZZ_CHECK(g_host.errors == (result == MESH_IMPORT_FAILED ? 1 : 0));
    FUZZ_CHECK(!g_host.editing && g_host.edits_begun == g_host.edits_done && g_host.edits_begun <= 1);
    FUZZ_CHECK(state.edit_op == nullptr && state.reader.file == nullptr);
    FUZZ_CHECK(state.vertices_read >= 0 && state.vertices_read <= state.vertex_line_count);
    FUZZ_CHECK(g_host.points <= std::uintptr_t(state.vertices_read));
    FUZZ_CHECK(g_host.polygons * 3 <= std::uintptr_t(state.vertices_read));
    // Two surface commands per material of a face, at most 255 materials,
    // none when the import failed.
    FUZZ_CHECK(g_host.commands % 2 == 0);
    FUZZ_CHECK(std::uintptr_t(g_host.commands / 2) <= g_host.polygons);
    FUZZ_CHECK(g_host.commands / 2 <= MESH_MAX_MATERIALS);
    FUZZ_CHECK(result == MESH_IMPORT_OK || g_host.commands == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MeshImport state;
    state.global = global;
    state.command = &g_command;
    state.messages = &g_messages;
    import_once(state, data, size);
    state.import_weights = 0;
    state.scale = 1.0f;
    import_once(state, data, size);
    return 0;
}

// import_state: the mesh importer's one state record, the vertex records, the
// position groups, and every step that reads an SMD reference file and
// builds its triangles in Modeler's current layer.
//
// Order of calls in one activation
//
//   MeshImport state;        every member zero or empty, scale 0.025; the
//                            activation sets global, command, messages
//   per press of the import button (panel.cpp), with the file open:
//     mesh_import_run(state, file)   0, or 1 after its message was shown:
//         mesh_import_release (what the previous import left), the name
//         tables, mesh_count_vertex_lines, the maps, the vertex records and
//         the first arena chunk, the "nodes" section and mesh_read_nodes, the "triangles" section,
//         editBegin(0, 0, OPSEL_GLOBAL), mesh_read_triangles (each vertex
//         line to share_or_create_point, each third one to create_triangle),
//         done(EDERR_NONE, 0), send_surface_commands.
//   mesh_import_release(state)   at the end of the activation.
//
// Who frees what: the state owns the name tables and every name in them,
// the vertex records, the arena (position groups, key texts, material
// texts), and the three maps' slot arrays. Service records, the command local, the edit, point and
// polygon IDs and the panel belong to the host. The maps keep pointers into
// the state's own storage (names, key texts, groups), none of which moves
// while the maps live, so the state is neither copied nor moved.
//
// Position groups. Vertices whose position prints the same ("%6.6f" three
// times, unscaled) are kept in one group, found by that text through
// position_map; a group holds at most POSITION_GROUP_SIZE vertices, in the
// order they were added. Groups, their entry blocks and their key texts are
// taken from a chunked arena as positions turn up, so memory follows the
// distinct positions of the file, not its line count.
//
// Materials. Each material text of the file is kept once (material_texts),
// so a vertex record can say which material it was read under. A point is
// shared by equal vertices whatever their material; its UV goes into the map
// of every material that uses it (a vertex of another material than the
// point's first one is recorded in the group as that material's reference).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include <lwcmdseq.h>
#include <lwhost.h>
#include <lwmeshedt.h>
#include <lwpanel.h>
#include <lwserver.h>

#include "../rigreader/smd_line_reader.h"
#include "mapkit.h"
#include "smd_format.h"

// Result codes of mesh_import_run and the reading steps.
constexpr int MESH_IMPORT_OK = 0;
constexpr int MESH_IMPORT_FAILED = 1;  // run: failed, message shown; steps: stopped early

constexpr int MESH_MAX_LINKS = 15;             // (node, weight) pairs per vertex line
constexpr int MESH_MAX_MATERIALS = 255;        // registered materials
constexpr int POSITION_GROUP_SIZE = 128;       // distinct vertices per position text
constexpr float MESH_NOT_SET = -1.0f;          // a weight or corner UV that was not given
constexpr float MESH_DEFAULT_SCALE = 0.025f;

// One vertex line of the triangles section, as the records keep it for the
// equal vertices that follow. Its links are only needed while the line's
// own point is made, so they travel beside the record (MeshVertexLinks)
// instead of in it: a record is 56 bytes rather than 176, which is most of
// the import's memory for a large file.
struct MeshVertex {
    LWPntID point;                 // the Modeler point standing for it; null: none
    float position[3];             // as read: SMD axes and units
    float uv[2];                   // as read
    float uv_corner[2];            // the UV its polygon corner needs when the shared
                                   // point carries another; MESH_NOT_SET: none
    float normal[3];               // as read
    const char* material;          // the material line in force (the interned text)
};

// The links of the vertex line being read.
struct MeshVertexLinks {
    std::int32_t bones[MESH_MAX_LINKS];  // link nodes; bones[0] is the parent without links
    float weights[MESH_MAX_LINKS];       // MESH_NOT_SET (exactly -1.0): no weight given
};

// Entries of a position group come in small blocks chained one after the
// other; a group starts with one block inline.
constexpr int POSITION_BLOCK_ENTRIES = 4;

struct PositionBlock {
    MeshVertex* entries[POSITION_BLOCK_ENTRIES];
    PositionBlock* next;
};

struct PositionGroup {
    int count;             // entries recorded, at most POSITION_GROUP_SIZE
    PositionBlock* last;   // the block the next entry goes into
    PositionBlock first;
};

// Hands out zeroed, suitably aligned pieces of memory that never move until
// clear(). Chunks grow from 16 KiB to 1 MiB.
class ImportArena {
public:
    bool prepare() noexcept;  // the first chunk, unless there is one; false when memory runs out
    void* take(std::size_t bytes, std::size_t alignment) noexcept;  // null when memory runs out
    void clear() noexcept;

private:
    std::vector<std::unique_ptr<unsigned char[]>> chunks_;
    std::size_t chunk_size_ = 0;  // of the last chunk
    std::size_t used_ = 0;        // bytes of the last chunk handed out
};

// The panel's controls (panel.cpp).
struct MeshImportControls {
    LWControl* scale_box;
    LWControl* scale_value;
    LWControl* weights_box;
    LWControl* hint;
    LWControl* import_button;
};

struct MeshImport {
    MeshImport() = default;
    MeshImport(const MeshImport&) = delete;
    MeshImport& operator=(const MeshImport&) = delete;
    ~MeshImport();

    // ---- Host (set by the activation; edit_op only during a build) --------------
    MeshEditOp* edit_op = nullptr;
    GlobalFunc* global = nullptr;
    LWPanelFuncs* panel_funcs = nullptr;
    LWPanelID panel = nullptr;
    MeshImportControls controls{};
    const LWMessageFuncs* messages = nullptr;  // "Info Messages 2"
    const LWModCommand* command = nullptr;     // editBegin and evaluate

    // ---- One import's tables (released by the next import and at the end) --------
    StringMap material_map{};   // material name -> its material_names entry
    StringMap position_map{};   // position text -> PositionGroup*
    StringMap material_texts{}; // each material text of the file -> its one copy in the arena
    ImportArena arena;          // the groups, their blocks, their key texts, the material texts
    int groups_used = 0;
    int materials_used = 0;
    std::unique_ptr<std::unique_ptr<char[]>[]> node_names;      // SMD_MAX_NODES entries
    std::unique_ptr<std::unique_ptr<char[]>[]> material_names;  // MESH_MAX_MATERIALS entries
    std::unique_ptr<MeshVertex[]> vertex_records;               // vertex_line_count records
    int vertex_line_count = 0;
    int vertices_read = 0;

    // ---- Settings (read at each press of the import button) -----------------------
    float scale = MESH_DEFAULT_SCALE;
    int import_weights = 1;

    SmdLineReader reader;  // the open file and this importer's line buffer
};

// ---- reader.cpp ------------------------------------------------------------------

// One whole import from an open file (the caller closes it). Returns
// MESH_IMPORT_OK, or MESH_IMPORT_FAILED after showing one of "Out of
// memory!", "This file has no geometry data!", "Cannot find nodes section!",
// "Error parsing nodes section!", "Cannot find triangles section!", "Bad
// global: editBegin !". Triangles read before a bad line stay built.
int mesh_import_run(MeshImport& state, std::FILE* file) noexcept;

// Counts, from the first "triangles" line to the next "end" (or the end of
// the file), the lines that begin with an integer. Sets and returns
// vertex_line_count (saturating at INT_MAX) and rewinds the file, unless
// there is no "triangles" line (then 0, not rewound).
int mesh_count_vertex_lines(MeshImport& state) noexcept;

// The node lines after the "nodes" line, up to "end": each name into
// node_names[index]. MESH_IMPORT_OK at "end"; MESH_IMPORT_FAILED at the end
// of the file, for an index outside 0..254, a missing or empty quoted name,
// or a name that cannot be copied. Lines with fewer than three fields are
// skipped.
int mesh_read_nodes(MeshImport& state) noexcept;

// The lines after the "triangles" line: material lines and vertex lines,
// built as they come. MESH_IMPORT_OK at "end"; MESH_IMPORT_FAILED at the end
// of the file, at a line with 1 to 8 fields or none at all, or when every
// counted record is used. Vertex lines before the first material line
// belong to no material and are passed over.
int mesh_read_triangles(MeshImport& state) noexcept;

// Frees every table, name, record, group and map of the last import and
// sets the counters to 0. Safe on a fresh state and when called twice.
void mesh_import_release(MeshImport& state) noexcept;

// ---- builder.cpp -----------------------------------------------------------------

// Writes the position text of a vertex ("%6.6f%6.6f%6.6f" of its unscaled
// position, in the C locale) into `out` with its NUL; returns the length.
constexpr std::size_t POSITION_KEY_SIZE = 3 * SMD_REAL_MAX_LENGTH + 1;  // three reals of any magnitude
std::size_t mesh_position_key(const MeshVertex& vertex, char (&out)[POSITION_KEY_SIZE]) noexcept;

// The one copy of a material text (kept until the next import); null when
// memory runs out.
const char* mesh_intern_material(MeshImport& state, const char* text) noexcept;

// Shares the point of an equal earlier vertex (same position and normal,
// exactly) or creates one: sets vertex.point, and uv_corner when the shared
// point carries another UV in this material's map. A new point gets its UV
// in the TXUV map named `material`, and, with import_weights, its weights in
// WGHT maps named after the nodes; a shared point first used by this
// material gets its UV in this material's map. `material` must be the
// interned text (mesh_intern_material).
void share_or_create_point(MeshImport& state, MeshVertex& vertex, MeshVertexLinks& links,
                           const char* material) noexcept;

// Registers the material, adds the face (corners in the order c, b, a of the
// reading order a, b, c) on the surface `material`, and gives corners with a
// uv_corner their per-polygon UV.
void create_triangle(MeshImport& state, MeshVertex* const corners[3], const char* material) noexcept;

// ---- surfaces.cpp ----------------------------------------------------------------

// After the edit: per registered material, in order of first use,
// "Surf_SetSurf  <name> Unnamed" and "Surf_SetFloat   SmoothingAngle 3.142".
// Nothing without the command local or the global function.
void send_surface_commands(MeshImport& state) noexcept;

// ---- panel.cpp -------------------------------------------------------------------

// Creates, opens (modal) and destroys the panel. 0 once it was shown; 1 when
// it could not be made (no panel, a panel version other than 19, a control
// refused); the caller then shows "Error creating user interface !".
int mesh_run_panel(MeshImport& state, LWPanelFuncs* panels) noexcept;
// The events: the scale toggle and the import button.
void mesh_scale_toggled(LWControlID control, void* data) noexcept;
void mesh_import_pressed(LWControlID control, void* data) noexcept;

// ---- Allocation failures on purpose (tests) ----------------------------------------

// What an import allocates, as the hook is told.
enum MeshAllocation {
    MESH_ALLOC_NAME_TABLES,  // node_names and material_names
    MESH_ALLOC_RECORDS,      // vertex_records
    MESH_ALLOC_NAME,         // one node or material name
    MESH_ALLOC_ARENA,        // a chunk of position groups, key and material texts
};
// When a hook is set, every allocation above asks it first and fails when
// it answers false. nullptr (the default) allows all.
using MeshAllocHook = bool (*)(MeshAllocation what, std::size_t bytes);
void mesh_set_alloc_hook(MeshAllocHook hook) noexcept;
bool mesh_allocation_allowed(MeshAllocation what, std::size_t bytes) noexcept;

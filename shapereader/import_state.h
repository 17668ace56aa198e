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
//         tables, mesh_count_vertex_lines, the maps, the position index, the
//         first chunks of records and arena, the "nodes" section and
//         mesh_read_nodes, the "triangles" section, editBegin(0, 0,
//         OPSEL_GLOBAL), mesh_read_triangles (each vertex line to
//         share_or_create_point, each third one to create_triangle),
//         done(EDERR_NONE, 0), send_surface_commands.
//   mesh_import_release(state)   at the end of the activation.
//
// Who frees what: the state owns the name tables and every name in them,
// the vertex records, the position index, the arena (links, material
// texts), and the two maps' slot arrays. Service records, the command
// local, the edit, point and polygon IDs and the panel belong to the host.
// The maps keep pointers into the state's own storage (names, material
// texts), none of which moves while the maps live, so the state is neither
// copied nor moved.
//
// Position groups. Vertices whose position prints the same ("%6.6f" three
// times, unscaled) form one group; a group holds at most
// POSITION_GROUP_SIZE vertices, in the order they were added. The group of
// a position is found through position_index, a table of group heads keyed
// by MeshPositionKey: the three numbers that text prints, without printing
// it. The vertices of a group are chained through their records
// (next_in_group), so a group costs nothing beyond its records.
//
// Sharing. A vertex shares the point of an earlier one in its group when
// position and normal are exactly equal and, when weights are imported, the
// two would write the same weights: two cloth layers at one place keep
// their own points and weights.
//
// Materials. Each material text of the file is kept once (material_texts),
// so a vertex record says which material it was read under by number. A
// point is shared by equal vertices whatever their material; its UV goes
// into the map of every material that uses it (a vertex of another material
// than the point's first one is recorded in the group as that material's
// reference).
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

#include "smd_line_reader.h"
#include "big_block.h"
#include "mapkit.h"
#include "smd_format.h"

// Result codes of mesh_import_run and the reading steps.
enum [[nodiscard]] MeshImportResult : int {
    MESH_IMPORT_OK = 0,
    MESH_IMPORT_FAILED = 1,  // run: failed, message shown; steps: stopped early
};

constexpr int MESH_MAX_LINKS = 15;             // (node, weight) pairs per vertex line
constexpr int MESH_MAX_MATERIALS = 255;        // registered materials
constexpr int POSITION_GROUP_SIZE = 128;       // distinct vertices per position text
constexpr float MESH_DEFAULT_SCALE = 0.025f;

// One weight a vertex gives its point: a node and its weight.
struct MeshLink {
    std::uint8_t node;  // 0..SMD_MAX_NODES-1, a node whose name was read
    float weight;
};

// A recorded vertex line: what a later equal vertex compares and uses. Only
// vertices that got a point of their own, or that are the first of their
// material at a shared point, are recorded; the records of one import live
// in fixed chunks and never move.
struct MeshVertex {
    LWPntID point;                 // the Modeler point standing for it; null: none
    const MeshLink* links;         // the weights its point was given, in the arena
    float position[3];             // as read: SMD axes and units
    float normal[3];               // as read
    float uv[2];                   // as read
    std::uint32_t material;        // number of the material text it was read under
    std::uint32_t next_in_group;   // record number of the next vertex of its group, or NO_RECORD
    std::uint8_t link_count;
};
constexpr std::uint32_t NO_RECORD = 0xFFFFFFFFu;

// The vertex line being read, as scanned: the first `links_scanned` nodes
// and the first `weights_scanned` weights were on the line (the parent
// node counts as node 0 when the line has no links).
struct MeshVertexLine {
    float position[3];
    float normal[3];
    float uv[2];
    std::int32_t bones[MESH_MAX_LINKS];
    float weights[MESH_MAX_LINKS];
    int bones_scanned;
    int weights_scanned;
    std::uint32_t material;         // number of the material text in force
    std::uint32_t position_hash;    // of mesh_position_key(position), set by mesh_locate_position
};

// A polygon corner as the triangle needs it: the point, and the UV the
// corner carries when the shared point has another in this material's map.
struct MeshCorner {
    LWPntID point;
    float uv[2];
    bool has_corner_uv;
};

// The three numbers "%6.6f" prints for each coordinate of a position, as the
// bits of exact doubles: two positions print alike exactly when their keys
// are equal.
struct MeshPositionKey {
    std::uint64_t coordinate[3];
    bool operator==(const MeshPositionKey&) const = default;
};

// The import's big tables (the position index, the vertex records) live in
// big blocks (big_block.h); each array remembers its size to free it.
class MeshBigBlockFree {
public:
    MeshBigBlockFree(std::size_t bytes = 0) noexcept : bytes_(bytes) {}
    void operator()(void* block) const noexcept { big_block_free(block, bytes_); }

private:
    std::size_t bytes_;
};
template <class T>
using MeshBigArray = std::unique_ptr<T[], MeshBigBlockFree>;
template <class T>
MeshBigArray<T> mesh_big_array(std::size_t count) noexcept {  // not zeroed; null when memory runs out
    const std::size_t bytes = count * sizeof(T);
    return MeshBigArray<T>(static_cast<T*>(big_block_allocate(bytes)), MeshBigBlockFree(bytes));
}

// A slot of the position index: a group's first record (plus one; 0 is an
// empty slot) and its key's hash.
struct PositionSlot {
    std::uint32_t hash;
    std::uint32_t head_plus_one;
};

// The records of one import, in chunks of 2^RECORD_CHUNK_BITS, so a record
// number finds its record in O(1) and no record ever moves.
class VertexRecords {
public:
    bool prepare() noexcept;  // the first chunk, unless there is one; false when memory runs out
    // A new zeroed record and its number; null when memory runs out.
    MeshVertex* add(std::uint32_t& out_number) noexcept;
    MeshVertex& operator[](std::uint32_t number) noexcept {
        return chunks_[number >> RECORD_CHUNK_BITS][number & RECORD_CHUNK_MASK];
    }
    std::uint32_t size() const noexcept { return count_; }
    void clear() noexcept;

    static constexpr unsigned RECORD_CHUNK_BITS = 15;  // 2 MiB of records: one huge page
    static constexpr std::uint32_t RECORD_CHUNK_MASK = (1u << RECORD_CHUNK_BITS) - 1;

private:
    std::vector<MeshBigArray<MeshVertex>> chunks_;
    std::uint32_t count_ = 0;
};

// Hands out zeroed, suitably aligned pieces of memory that never move until
// clear(): the links of recorded vertices and the material texts. Chunks
// grow from 16 KiB to 1 MiB.
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
    StringMap material_map{};    // material name -> its material_names entry
    StringMap material_texts{};  // each material text of the file -> its number plus one
    std::vector<const char*> material_list;  // material texts by number (copies in the arena)
    std::uint32_t last_registered = NO_RECORD;  // the material of the last triangle built, if any
    MeshBigArray<PositionSlot> position_index;  // open addressing over MeshPositionKey hashes
    std::size_t position_slots = 0;
    VertexRecords records;       // the recorded vertices
    ImportArena arena;           // links of recorded vertices, material texts
    int groups_used = 0;
    int materials_used = 0;
    std::unique_ptr<std::unique_ptr<char[]>[]> node_names;      // SMD_MAX_NODES entries
    std::unique_ptr<std::unique_ptr<char[]>[]> material_names;  // MESH_MAX_MATERIALS entries
    int vertex_line_count = 0;   // vertex lines counted by the pre-pass
    int vertices_read = 0;       // vertex lines accepted so far

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
MeshImportResult mesh_import_run(MeshImport& state, std::FILE* file) noexcept;

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
MeshImportResult mesh_read_nodes(MeshImport& state) noexcept;

// The lines after the "triangles" line: material lines and vertex lines,
// built as they come. MESH_IMPORT_OK at "end"; MESH_IMPORT_FAILED at the end
// of the file, at a line with 1 to 8 fields or none at all, or when every
// counted record is used. Vertex lines before the first material line
// belong to no material and are passed over.
MeshImportResult mesh_read_triangles(MeshImport& state) noexcept;

// Frees every table, name, record, group and map of the last import and
// sets the counters to 0. Safe on a fresh state and when called twice.
void mesh_import_release(MeshImport& state) noexcept;

// ---- builder.cpp -----------------------------------------------------------------

// The key of a position: for each coordinate, the number "%6.6f" prints
// (its magnitude rounded to millionths, ties to even, with the sign; all
// NaNs of one sign alike), kept as the bits of an exact double. Every float
// times 10^6 is exact in double, so no text is needed.
MeshPositionKey mesh_position_key(const float position[3]) noexcept;

// The number of a material text (kept until the next import); false when
// memory runs out.
bool mesh_intern_material(MeshImport& state, const char* text, std::uint32_t& out_number) noexcept;

// Hashes the line's position key and starts fetching its slot of the
// position index, so that the reader can scan the next line meanwhile.
void mesh_locate_position(const MeshImport& state, MeshVertexLine& line) noexcept;

// Shares the point of an equal earlier vertex (same position and normal,
// exactly, and with import_weights the same weights) or creates one, and
// fills the corner: its point, and its own UV when the shared point carries
// another in this material's map. A new point gets its UV in the TXUV map
// of the material, and, with import_weights, its weights in WGHT maps named
// after the nodes; a shared point first used by this material gets its UV
// in this material's map. The line must have been located
// (mesh_locate_position).
void share_or_create_point(MeshImport& state, const MeshVertexLine& line, MeshCorner& out_corner) noexcept;

// Registers the material, adds the face (corners in the order c, b, a of the
// reading order a, b, c) on the surface of the material, and gives corners
// that carry their own UV a per-polygon UV.
void create_triangle(MeshImport& state, const MeshCorner corners[3], std::uint32_t material) noexcept;

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
    MESH_ALLOC_NAME_TABLES,     // node_names and material_names
    MESH_ALLOC_POSITION_INDEX,  // position_index, sized from the vertex-line count
    MESH_ALLOC_RECORDS,         // a chunk of vertex records
    MESH_ALLOC_NAME,            // one node or material name
    MESH_ALLOC_ARENA,           // a chunk of links and material texts
};
// When a hook is set, every allocation above asks it first and fails when
// it answers false. nullptr (the default) allows all.
using MeshAllocHook = bool (*)(MeshAllocation what, std::size_t bytes);
void mesh_set_alloc_hook(MeshAllocHook hook) noexcept;
bool mesh_allocation_allowed(MeshAllocation what, std::size_t bytes) noexcept;

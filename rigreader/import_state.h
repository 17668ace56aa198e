// import_state: the skeleton importer's one context record and every step
// that reads a file into it and drives Layout from it. The activation
// (activate.cpp) owns the context; the panel (panel.cpp) runs one import per
// button press; the reader (reader.cpp) fills the bone table; the builder
// (builder.cpp) turns the table into bones and keys by Layout commands.
//
// Order of calls in one activation
//
//   SkeletonImport state{};              value-initialised: all zero
//   skeleton_allocate_table(state)       255 zeroed rows; SKELETON_NO_MEMORY
//                                        when they cannot be had (no import
//                                        may run then)
//   skeleton_run_panel(state, panels)    the panel; each button press runs
//                                        skeleton_import_file, which opens
//                                        the chosen file and calls
//                                        skeleton_import_run
//   skeleton_release(state)              every row's name, then the table
//
// One import (skeleton_import_run), as the reader is driven:
//   skeleton_count_frames (rewinds), smd_find_section "nodes",
//   skeleton_read_nodes, smd_find_section "time", skeleton_read_frame for
//   the first block, then for an animation further skeleton_read_frame calls
//   until one returns something other than FRAME_NEXT.
//
// The table lives for the whole panel opening: each import overwrites the
// rows its file mentions, while `item`, `created` and `rest_length` keep what
// earlier imports gave them, so a sequence imported after a reference keys
// the bones the reference created.
//
// Who frees what: the context owns the table and every row's name. Service
// records, item IDs, the panel and the generic's local belong to the host;
// the file belongs to the caller of skeleton_import_run.
#pragma once

#include <cstdio>
#include <memory>

#include <lwgeneric.h>
#include <lwhost.h>
#include <lwpanel.h>
#include <lwrender.h>
#include <lwserver.h>

#include "smd_line_reader.h"

// Result codes of the steps.
enum [[nodiscard]] SkeletonResult : int {
    SKELETON_OK = 0,
    SKELETON_READ_FAILED = 1,  // the file does not hold what an import needs (also a name copy failing)
    SKELETON_NO_MEMORY = 2,    // the bone table could not be allocated
    SKELETON_NO_PANEL = 3,     // the panel could not be created
};

// Results of skeleton_read_frame.
enum [[nodiscard]] FrameResult : int {
    FRAME_END = 1,   // "end", or a bone line whose index lies outside 0..254
    FRAME_NEXT = 2,  // a further "time" line: another block follows
    FRAME_EOF = 3,   // the file ended inside the block
};

constexpr double SKELETON_IMPORT_SCALE = 0.025;
constexpr double SKELETON_DEFAULT_REST_LENGTH = 0.2;

// One row of the bone table: a node as read and its Layout bone.
struct ImportBone {
    LWItemID item;                  // the Layout bone standing for this node; null = none
    int index;                      // node index as read
    int parent;                     // parent index as read, -1 for a root; not range-checked
    std::unique_ptr<char[]> name;   // without quotes, blanks as '_'; null = row empty
    double position[3];             // of the most recently read frame, SMD axes and units
    double rotation[3];             // of the most recently read frame, radians
    double rest_length;             // set by set_rest_lengths
    int created;                    // 1 once this panel opening created the bone
};

// The panel's controls, in creation order.
struct SkeletonPanel {
    LWControl* scale_box;
    LWControl* calc_lengths_box;
    LWControl* scale_value;
    LWControl* reference_text;
    LWControl* sequence_text;
    LWControl* reference_button;
    LWControl* sequence_button;
};

struct SkeletonImport {
    GlobalFunc* global;
    const LWLayoutGeneric* generic;     // the host's generic local; commands go through it
    const LWMessageFuncs* messages;
    const LWItemInfo* item_info;
    float scale;                        // applied to positions and computed lengths
    float default_rest_length;          // sent when lengths are not calculated
    int calc_lengths;                   // "Calculate bones length:" at the button press
    int sequence_mode;                  // 0 reference button, 1 sequence button
    LWItemID target;                    // the object carrying the bones; null when none was selected
    std::unique_ptr<ImportBone[]> bone_table;  // SMD_MAX_NODES rows, indexed by node index
    int node_count;                     // node lines accepted since the panel opened (saturates)
    int more_frames;                    // the first block was ended by a further "time" line
    SmdLineReader reader;               // the file of the running import and its one line buffer
    LWPanelFuncs* panel_funcs;
    LWPanelID panel;
    SkeletonPanel controls;             // valid while `panel` is
};

// ---- Reading (reader.cpp) ----------------------------------------------------

// The nodes section after its keyword line, up to "end": SKELETON_OK at
// "end"; SKELETON_READ_FAILED at the end of the file, at an index outside
// 0..254, at a missing or empty quoted name, or when a name cannot be
// copied (rows filled so far stay). Lines of fewer than three fields are
// skipped. A later line with the same index overwrites the row.
SkeletonResult skeleton_read_nodes(SkeletonImport& state, SmdLineReader& reader) noexcept;

// One frame block after its "time" line: FRAME_END at "end" or at a bone line
// whose index lies outside 0..254 (the block ends there), FRAME_NEXT at a
// further "time" line (sets more_frames), FRAME_EOF at the end of the file.
// Lines of fewer than seven fields are skipped; rows a block does not
// mention keep their pose.
FrameResult skeleton_read_frame(SkeletonImport& state, SmdLineReader& reader) noexcept;

// Lines of the whole file whose first token is "time" (saturating); the file
// is rewound to its start.
int skeleton_count_frames(SkeletonImport& state, SmdLineReader& reader) noexcept;

// ---- Building (builder.cpp) ---------------------------------------------------

// One import of the open file: SKELETON_OK, or SKELETON_READ_FAILED when
// "nodes" is missing, the nodes section fails, no "time" line follows it or
// the file ends inside the first frame block (nothing more is sent then;
// the preview range may already be extended). The caller closes the file.
SkeletonResult skeleton_import_run(SkeletonImport& state, std::FILE* file) noexcept;

// The steps of the run, in the order it calls them. They expect the table
// to be allocated (skeleton_import_run checks it).
void extend_preview_range(SkeletonImport& state) noexcept;
LWItemID find_target_object(SkeletonImport& state) noexcept;
void match_bones_by_name(SkeletonImport& state) noexcept;
void create_bone(SkeletonImport& state, ImportBone& row) noexcept;
LWItemID first_selected_bone(const SkeletonImport& state) noexcept;
void send_pose(const SkeletonImport& state, const ImportBone& row, bool rest) noexcept;
void set_rest_lengths(SkeletonImport& state) noexcept;
void animate_frames(SkeletonImport& state) noexcept;
void activate_bones(const SkeletonImport& state) noexcept;
void bind_weight_maps(const SkeletonImport& state) noexcept;

// "SelectItem " with the whole item ID in hex.
void select_item(const SkeletonImport& state, LWItemID item) noexcept;

// The last preview frame that shows `frames` blocks keyed from the current
// time: 1 and out_last when the range must be extended, 0 when it already
// reaches far enough or the current frame is not a finite number. Every
// conversion to int is range-checked: a sum beyond INT_MAX gives INT_MAX.
int preview_last_frame_needed(double frames_per_second, double current_time, int preview_end, int frames,
                              int* out_last) noexcept;

// ---- Panel and activation (panel.cpp, activate.cpp) ---------------------------

// SKELETON_OK after the panel was shown and closed; SKELETON_NO_PANEL when it
// could not be created (no control may be missing) or the toolkit is not
// version 19.
SkeletonResult skeleton_run_panel(SkeletonImport& state, LWPanelFuncs* panels) noexcept;

// One button press: scale and length settings from the panel, the file
// request, the import, and its messages.
void skeleton_import_file(SkeletonImport& state, int sequence_mode) noexcept;

SkeletonResult skeleton_allocate_table(SkeletonImport& state) noexcept;
void skeleton_release(SkeletonImport& state) noexcept;

// anim_state: the animation exporter's one state record and every step that
// fills, samples, writes and releases it. The generic "SMD Animation"
// (activate.cpp, panel.cpp) owns the state; the item motion handler
// "SMD_Anim_Motion" (motion_handler.cpp) reaches it through the host memory
// block "smd_anim_mem" while the generic steps Layout through the frames.
//
// Order of calls in one activation
//
//   AnimExportState state{};                 value-initialised: all zero
//   prepare_bones(state)    publishes the state in the shared block, counts
//                           the object's bones (boneCount), sizes `bones`
//                           and `boneMap`. boneCount stays 0 when the block
//                           cannot be had or memory runs out, so every later
//                           step sees no record.
//   collect_bones(state)    fills `bones` parent-first, tree by tree; returns
//                           EXPORT_OK, or EXPORT_NO_SERVICE when "LW Bone Info 3"
//                           is missing (nothing is added; records from
//                           bonesAdded on stay zero: id null, no samples).
//   per save: alloc_bone_samples(state), then the host calls the handler,
//                           which calls sample_bone_pose for each bone and
//                           frame; write_anim_smd / save_anim_file.
//   release_export_state(state)   release_bones, withdraw_export_state,
//                           frees sceneFile. Safe on a half-filled state and
//                           when called twice.
//
// Who frees what: the state owns `bones` (and each record's name and sample
// arrays), `boneMap` and `sceneFile`; service records, item IDs, the panel
// and the generic's local belong to the host. Texts from the host are copied.
// The state must not move while it is published: the block holds its address.
//
// Samples: triple k of a record's `positions` and `rotations` belongs to
// frame firstFrame + k, for k in 0 .. frameCount - 1. A record has both
// arrays or neither. Positions are in the host's axes, unscaled; rotations
// are heading, pitch, bank in radians.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include <lwgeneric.h>
#include <lwhost.h>
#include <lwmotion.h>
#include <lwpanel.h>
#include <lwrender.h>
#include <lwserver.h>

#include "export_result.h"
#include "mapkit.h"
#include "rotation.h"
#include "smd_format.h"

// Slots of the panel's control table.
constexpr int ANIM_CONTROL_COUNT = 10;
constexpr int ANIM_CTL_OBJECT = 0;       // "TextControl", only when the object has a file name
constexpr int ANIM_CTL_SCENE_LIST = 1;   // "MultiListBoxControl"
constexpr int ANIM_CTL_SCALE_ON = 2;     // "Scale geometry:"
constexpr int ANIM_CTL_SCALE = 3;        // the scale value
constexpr int ANIM_CTL_SAVE = 4;         // "Save animation SMD file"
constexpr int ANIM_CTL_FIRST = 7;        // "First frame:"
constexpr int ANIM_CTL_LAST = 8;         // "Last frame:"
constexpr int ANIM_CTL_NULL_BONES = 9;   // "Include null bones"

// A frame's position and rotation triples.
using AnimSamples = std::unique_ptr<double[][3]>;

struct AnimBone {
    LWItemID id;                    // null for a record the collection never filled
    LWItemID parentBone;            // the parent when it is a bone; null for a root
    int nodeIndex;                  // position in `bones`: the node number written
    std::unique_ptr<char[]> name;   // copy of the bone's name; null when absent or not copied
    int isNull;                     // 1: no weight map
    AnimSamples positions;          // frameCount triples, or null
    AnimSamples rotations;          // frameCount triples, or null
};

struct AnimExportState {
    LWItemID object;
    std::unique_ptr<char[]> sceneFile;  // copy of the scene's file name; null when it has none
    int boneCount;                      // bones the host enumerates for `object`; size of `bones`
    int nullBoneCount;
    int frameCount;                     // of the last save; 0 when its range was empty
    int firstFrame;
    int lastFrame;                      // inclusive
    int frameStep;                      // Layout's preview step, shown only
    float scale;                        // applied to positions when written
    float scaleKept;                    // the scale field's last good value (panel_scale_setting)
    std::unique_ptr<AnimBone[]> bones;  // boneCount records
    LWPanelFuncs* panelFuncs;
    LWPanelID panel;
    LWControl** controls;               // ANIM_CONTROL_COUNT handles while the panel exists
    const LWMessageFuncs* msgFuncs;
    const LWItemInfo* itemInfo;
    GlobalFunc* global;
    const LWLayoutGeneric* generic;
    const LWObjectInfo* objectInfo;
    int includeNullBones;
    IntMap boneMap;                     // bone item ID -> its AnimBone
    int bonesAdded;
};

// ---- Sampling (sampling.cpp) ---------------------------------------------

void prepare_bones(AnimExportState& state) noexcept;
ExportResult collect_bones(AnimExportState* state) noexcept;

// Sets frameCount = lastFrame - firstFrame + 1 (0 when the range is empty)
// and gives every record new zero-filled arrays, releasing earlier ones.
// EXPORT_OK, also for an empty range (no arrays then); EXPORT_NO_MEMORY when the
// range holds more frames than an int counts or an array cannot be
// allocated: then no record keeps any samples and frameCount is 0.
ExportResult alloc_bone_samples(AnimExportState& state) noexcept;

// Records the bone's pose at access.frame into triple frame - firstFrame;
// nothing when the record has no samples or the frame lies outside them.
void sample_bone_pose(AnimExportState& state, AnimBone& bone, const LWItemMotionAccess& access) noexcept;

// Frees every record's name and samples, then `bones` and `boneMap`.
void release_bones(AnimExportState& state) noexcept;

// matrix = matrix x local(item) x local(parent) x ... with
// local = translation(-pivot) x HPB(rotation) x HPB(pivot rotation), for the
// item and every ancestor, whatever its type.
void item_chain_matrix(const LWItemInfo* info, LWItemID item, LWTime time, Mat4& matrix) noexcept;
// The item's world rotation as angles and as a matrix.
void item_world_angles(const LWItemInfo* info, LWItemID item, LWTime time, double out_angles[3],
                       Mat4& out_matrix) noexcept;
// The angles that give `item` the world matrix `world` under its parent;
// `fallback` when it has no parent. A singular parent chain counts as the
// identity.
void parent_relative_angles(const LWItemInfo* info, LWItemID item, LWTime time, const double fallback[3],
                            const Mat4& world, double out_angles[3]) noexcept;
// The goal's world orientation in the space of the bone's parent.
void goal_aligned_angles(const LWItemInfo* info, LWItemID goal, LWItemID bone, LWTime time,
                         double out_angles[3]) noexcept;

// ---- The shared block (motion_handler.cpp) ---------------------------------

// Finds or creates "smd_anim_mem" through the state's global function and
// stores the state's address. EXPORT_OK, or EXPORT_NO_SERVICE when the pool or
// a block that holds a pointer cannot be had.
ExportResult publish_export_state(AnimExportState& state) noexcept;
// Stores null in "smd_anim_mem" when the block exists.
void withdraw_export_state(const AnimExportState& state) noexcept;

// ---- Writing (writer.cpp) ----------------------------------------------------

// The whole file to an open stream: header, nodes, skeleton. EXPORT_OK;
// EXPORT_WRITE_FAILED when the stream refused a write (writing stops). A null
// stream writes nothing and gives EXPORT_OK. Only reads the state.
ExportResult write_anim_smd(const AnimExportState& state, std::FILE* stream) noexcept;
ExportResult write_anim_nodes(std::FILE* stream, const AnimExportState& state) noexcept;
// One time block per sampled frame, labelled with its scene frame number; a
// record without samples gets no pose lines.
ExportResult write_anim_frames(std::FILE* stream, const AnimExportState& state) noexcept;
// Writes the file through the common safe save (safe_file.h): a temporary
// file beside `path`, renamed over it only when every write, the flush and
// the close succeeded, and removed otherwise. EXPORT_OK; EXPORT_FILE_NOT_OPENED when
// the target cannot be written at all (no such folder, a folder, a file we
// may not write) or nothing could be created beside it; EXPORT_WRITE_FAILED or
// EXPORT_NO_MEMORY.
ExportResult save_anim_file(const AnimExportState& state, const char* path) noexcept;

// ---- Panel and activation (panel.cpp, activate.cpp) ------------------------

// 0 after the panel was shown and closed; 1 when it could not be created.
int open_anim_panel(AnimExportState& state, LWPanelFuncs* panels) noexcept;
// The save button: file request, sampling of the range, writing.
void export_animation(LWControl* control, AnimExportState& state) noexcept;
// Whether the range from firstFrame to lastFrame may be saved: the save
// button is ghosted whenever it may not, from the panel's opening on.
bool anim_range_savable(const AnimExportState& state) noexcept;
// "GoToFrame" and "RefreshNow" for every frame from firstFrame to lastFrame.
void step_frames(AnimExportState& state) noexcept;
// Writes "smd" over the first occurrence of the three-letter `pattern`;
// 1 when replaced, 0 otherwise (also for a null or empty text).
int replace_scene_extension(char* text, const char* pattern) noexcept;

// Applies (remove 0) or removes (remove 1) "SMD_Anim_Motion" on every
// collected bone, after "EditBones".
void set_bone_motion_handlers(const LWLayoutGeneric* generic, const AnimExportState* state, int remove) noexcept;
// The first selected item that is an object, or null.
LWItemID find_selected_object(const LWItemInfo* info, GlobalFunc* global) noexcept;
void release_export_state(AnimExportState& state) noexcept;

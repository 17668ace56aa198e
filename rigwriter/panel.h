// The reference exporter's panel, its events and the save.
//
//   ref_run_panel(state, panels)
//       Builds the panel "SMD Reference Mesh Exporter by Tolvane" (520 x 432)
//       over the collected state, opens it modal (blocking, with cancel) and
//       destroys it when the user closes it. Returns 0, or 1 when the panel
//       cannot be created, the toolkit is not interface version 19, or a
//       control is refused (nothing is left open then). The caller shows
//       "Error creating user interface !" for 1.
//
//   ref_build_panel(state, panels, controls) / ref_destroy_panel(state)
//       The two halves of ref_run_panel around `open`: create the panel and
//       its controls (state.panel, state.panel_data = &controls), or destroy
//       it and clear those fields. `controls` must outlive the panel. Tests
//       use them to call the events without a user.
//
//   ref_refresh_panel(state)
//       Redraws both lists with the current counts, ghosts "UV Template
//       Image Options" when the scene has no UV map, and shows "Save SMD
//       file" only while there is a triangle to write.
//
//   ref_group_of_item(state, index)
//       The GroupBy that popup item `index` stands for: with UV maps the items
//       are "UV Texture Map Name", "Surface Name", "Surface Texture Image
//       Name"; without, the first is left out. An index the popup does not
//       have stands for its first item.
//
//   ref_panel_scale(state)
//       The factor a save uses: the float field while "Scale geometry:" is
//       on, 1.0 while it is off.
//
//   ref_save(control, data)                                      (save.cpp)
//       The "Save SMD file" event (data: the RefExportState). Asks "File
//       Request 2" for a name ("Save SMD File", file type "SMD File", the
//       object's file name with its first "lwo", else "LWO", made "smd"),
//       takes the scale from the panel and writes the file with
//       ref_write_file. Shows "Unable to save file!" when the file cannot be
//       opened and "Error saving SMD file!" when writing it failed; nothing
//       when the requester is missing, fails or is cancelled.
//
//   ref_write_file(state, path)                                  (save.cpp)
//       Writes the reference file to a new temporary file beside `path` and
//       renames it over `path` only when the writer, the flush and the close
//       all succeeded; the temporary is removed otherwise, so a failed save
//       never replaces a good file. A target that exists but is not a regular
//       file (a device such as a terminal) is written in place. Returns 0,
//       EXPORT_FILE_NOT_OPENED when `path` cannot be written at all (no such or
//       unwritable folder, a folder or a write-protected file of that name),
//       or the writer's or EXPORT_WRITE_FAILED's code when the writing failed.
//
//   ref_find_selected_object(item_info, global)               (activate.cpp)
//       The first of "LW Interface Info 3" selItems whose type is an object,
//       or null (also when a service is missing).
#pragma once

#include <string>

#include <lwpanel.h>
#include <lwrender.h>

#include "ref_state.h"
#include "smd_format.h"

// The panel's controls, in the order they are added. Owned by whoever calls
// ref_build_panel; the state points at it while the panel exists.
struct RefPanel {
    LWControl* object = nullptr;              // TextControl "Object: <file>"
    LWControl* group_by = nullptr;            // "Group Triangles by:"
    LWControl* verify = nullptr;              // "Don't verify UV information"
    LWControl* valid_list = nullptr;          // "Valid Geometry List"
    LWControl* invalid_list = nullptr;        // "Invalid Geometry List"
    LWControl* uv_template = nullptr;         // "UV Template Image Options"
    LWControl* scale_box = nullptr;           // "Scale geometry:"
    LWControl* scale_value = nullptr;         // the unlabelled FloatControl
    float scale_kept = SMD_EXPORT_SCALE;      // its last good value (panel_scale_setting)
    LWControl* include_null_bones = nullptr;  // "Include null bones"
    LWControl* save_hint = nullptr;           // "Click Save SMD File to export SMD file:"
    LWControl* save = nullptr;                // "Save SMD file"
    std::string object_label;                 // the text control's label
    char cell[16] = {};                       // the count a list callback hands out
};

int ref_run_panel(RefExportState& state, LWPanelFuncs* panels) noexcept;
int ref_build_panel(RefExportState& state, LWPanelFuncs* panels, RefPanel& controls) noexcept;
void ref_destroy_panel(RefExportState& state) noexcept;
void ref_refresh_panel(RefExportState& state) noexcept;
int ref_group_of_item(const RefExportState& state, int index) noexcept;
float ref_panel_scale(const RefExportState& state) noexcept;

void ref_save(LWControlID control, void* data) noexcept;
LWItemID ref_find_selected_object(const LWItemInfo* item_info, GlobalFunc* global) noexcept;
ExportResult ref_write_file(const RefExportState& state, const char* path) noexcept;

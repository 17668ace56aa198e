// The static mesh exporter, "SMD Export" (a Modeler command sequence): its
// activation and its panel.
//
//   mesh_activate(version, global, local, server data)
//       The server's activation. Returns AFUNC_OK (0) when done and after
//       every handled failure, AFUNC_BADVERSION (1) when version is not 3,
//       AFUNC_BADGLOBAL (2) when "LWPanelServices", "LWM: State Query 3" or
//       "Info Messages 2" is missing, AFUNC_BADLOCAL (3) when the mesh edit
//       cannot begin. Opens the edit, shows "No geometry to export !" for an
//       object without polygons, runs the panel, and ends the edit with
//       selection mode 8 so that the polygons the user asked to see in the
//       "Invalid Geometry List" become Modeler's polygon selection.
//
//   mesh_run_panel(state, panels)
//       Builds the "SMD Static Mesh Exporter by Tolvane" panel, collects the
//       geometry (mesh_allocate, mesh_collect), opens the panel blocking and
//       destroys it when the user closes it. 0 after the panel was shown; 1
//       when it could not be made (no panel, a toolkit of another version, a
//       control refused), with nothing collected.
//
//   mesh_refresh_panel(state)
//       Redraws both lists; ghosts "UV Template Image Options" when the
//       object has no UV map and "Save SMD file" when no triangle would be
//       written.
//
//   mesh_save(control, state)
//       The "Save SMD file" event: takes the scale from the panel, asks for a
//       file name (the object's name with its first "lwo" turned into
//       "smd"), and saves through mesh_write_file; shows "Unable to save
//       file!" or "Error saving SMD file!" when that fails. The requester's
//       buffers are kept while the plug-in is loaded, so the folder chosen
//       last is offered again.
#pragma once

#include <lwpanel.h>
#include <lwserver.h>

#include "mesh_state.h"

int mesh_activate(int version, GlobalFunc* global, void* local, void* server_data) noexcept;

int mesh_run_panel(MeshExportState& state, LWPanelFuncs* panels) noexcept;
void mesh_refresh_panel(MeshExportState& state) noexcept;
void mesh_save(LWControlID control, void* state) noexcept;

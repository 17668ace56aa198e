// The surface commands after an import: each registered material becomes
// Modeler's current surface and gets a smoothing angle of half a turn.
#include "host_glue.h"
#include "import_state.h"

namespace {

// The command words keep their trailing blanks, so the texts read
// "Surf_SetSurf  <name> Unnamed" and "Surf_SetFloat   SmoothingAngle 3.142".
constexpr char SET_SURFACE[] = "Surf_SetSurf ";
constexpr char SET_FLOAT[] = "Surf_SetFloat  ";
constexpr double SMOOTHING_ANGLE = 3.14159265;

}  // namespace

void send_surface_commands(MeshImport& state) noexcept {
    if (state.command == nullptr || state.global == nullptr || !state.material_names) return;
    for (int i = 0; i < MESH_MAX_MATERIALS; ++i) {
        const char* name = state.material_names[std::size_t(i)].get();
        if (name == nullptr) continue;
        send_modeler_command(state.command, SET_SURFACE, "%s Unnamed", name);
        send_modeler_command(state.command, SET_FLOAT, "%s %3.3f", "SmoothingAngle", SMOOTHING_ANGLE);
    }
}

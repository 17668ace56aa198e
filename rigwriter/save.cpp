// "Save SMD file": the common save flow (smd_save) with this exporter's name
// rule, scale and writer.
#include <cstdio>

#include "panel.h"
#include "safe_file.h"
#include "smd_save.h"
#include "writer.h"

namespace {

ExportResult write_reference(const void* data, std::FILE* stream) noexcept {
    return ref_write_smd(*static_cast<const RefExportState*>(data), stream);
}

void take_scale(void* data) noexcept {
    auto* state = static_cast<RefExportState*>(data);
    state->scale = ref_panel_scale(*state);
}

}  // namespace

ExportResult ref_write_file(const RefExportState& state, const char* path) noexcept {
    return save_export_file(path, write_reference, &state);
}

void ref_save(LWControlID, void* data) noexcept {
    auto* state = static_cast<RefExportState*>(data);
    if (state == nullptr) return;
    smd_save_requested(SmdSaveJob{state->global, state->messages, state->object_file.c_str(), SMD_NAME_LOWER_OR_UPPER,
                                  take_scale, write_reference, state});
}

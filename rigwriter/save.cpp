// "Save SMD file": the requester, the scale, and a write that never leaves a
// half-written file in place of a good one.
#include <cstdio>

#include "host_glue.h"
#include "panel.h"
#include "safe_file.h"
#include "smd_format.h"
#include "writer.h"

namespace {

// Kept for the life of the loaded plug-in, so the folder chosen last is
// offered again (the UV template requester keeps its own).
FileNameBuffers smd_buffers;

constexpr char REQUEST_TITLE[] = "Save SMD File";
constexpr char REQUEST_FILE_TYPE[] = "SMD File";
// The base name is renamed only while "lwo" -> "smd" cannot be cut off by
// the buffer's end.
constexpr std::size_t MAX_RENAMED_BASE = 1019;

constexpr char MESSAGE_UNABLE_TO_SAVE[] = "Unable to save file!";
constexpr char MESSAGE_SAVE_FAILED[] = "Error saving SMD file!";

}  // namespace

ExportResult ref_write_file(const RefExportState& state, const char* path) noexcept {
    return save_export_file(
        path,
        [](const void* data, std::FILE* stream) noexcept {
            return ref_write_smd(*static_cast<const RefExportState*>(data), stream);
        },
        &state);
}

void ref_save(LWControlID, void* data) noexcept {
    auto* state = static_cast<RefExportState*>(data);
    if (state == nullptr || get_service<LWFileActivateFunc>(state->global, LWFILEACTIVATEFUNC_GLOBAL) == nullptr)
        return;
    LWFileReqLocal request{};
    fill_file_request(request, smd_buffers, FREQ_SAVE, REQUEST_TITLE, REQUEST_FILE_TYPE);
    state->scale = ref_panel_scale(*state);
    if (set_base_name(smd_buffers, state->object_file.c_str()) < MAX_RENAMED_BASE)
        smd_default_name(smd_buffers.base_name, SMD_NAME_LOWER_OR_UPPER);
    if (!run_file_request(state->global, request)) return;

    const ExportResult rc = ref_write_file(*state, smd_buffers.full_name);
    if (rc == EXPORT_FILE_NOT_OPENED) {
        report_error(state->messages, MESSAGE_UNABLE_TO_SAVE);
    } else if (rc != EXPORT_OK) {
        report_error(state->messages, MESSAGE_SAVE_FAILED);
    }
}

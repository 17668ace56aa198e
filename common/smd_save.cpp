#include "smd_save.h"

#include <cstddef>

#include "host_glue.h"

namespace {

// Kept for the life of the loaded plug-in (the UV template requester keeps
// its own).
FileNameBuffers smd_buffers;

constexpr char REQUEST_TITLE[] = "Save SMD File";
constexpr char REQUEST_FILE_TYPE[] = "SMD File";
// The base name is renamed only while "lwo" -> "smd" cannot be cut off by
// the buffer's end.
constexpr std::size_t MAX_RENAMED_BASE = 1019;

constexpr char MESSAGE_UNABLE_TO_SAVE[] = "Unable to save file!";
constexpr char MESSAGE_SAVE_FAILED[] = "Error saving SMD file!";

}  // namespace

void smd_save_requested(const SmdSaveJob& job) noexcept {
    if (get_service<LWFileActivateFunc>(job.global, LWFILEACTIVATEFUNC_GLOBAL) == nullptr) return;
    LWFileReqLocal request{};
    fill_file_request(request, smd_buffers, FREQ_SAVE, REQUEST_TITLE, REQUEST_FILE_TYPE);
    job.take_settings(job.data);
    if (set_base_name(smd_buffers, job.object_name) < MAX_RENAMED_BASE)
        smd_default_name(smd_buffers.base_name, job.name_rule);
    if (!run_file_request(job.global, request)) return;

    const ExportResult rc = save_export_file(smd_buffers.full_name, job.write, job.data);
    if (rc == EXPORT_FILE_NOT_OPENED) {
        report_error(job.messages, MESSAGE_UNABLE_TO_SAVE);
    } else if (rc != EXPORT_OK) {
        report_error(job.messages, MESSAGE_SAVE_FAILED);
    }
}

// "Save SMD file": the requester, the scale, and a write that never leaves a
// half-written file in place of a good one.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "host_glue.h"
#include "panel.h"
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

// What is at `path` now.
enum class Target { Missing, RegularFile, Other, Unusable };

// A target that exists must be writable by us (a read-only file is refused,
// as opening it for writing would be, rather than renamed over), and only a
// regular file is replaced by renaming; a folder cannot be written at all.
Target inspect_target(const char* path) noexcept {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) return Target::Missing;
    if (error || status.type() == std::filesystem::file_type::directory) return Target::Unusable;
    // "r+" opens for writing without truncating anything.
    std::FILE* probe = std::fopen(path, "r+");
    if (probe == nullptr) return Target::Unusable;
    std::fclose(probe);
    return status.type() == std::filesystem::file_type::regular ? Target::RegularFile : Target::Other;
}

// A new file beside `path` that no one else is writing: "<path>.tmp", or
// with a number after it when that exists already. Null (out_name empty)
// when none can be created for any other reason.
std::FILE* open_beside(const char* path, std::string& out_name) {
    constexpr int ATTEMPTS = 100;
    for (int attempt = 0; attempt < ATTEMPTS; ++attempt) {
        out_name.assign(path);
        out_name += ".tmp";
        if (attempt > 0) out_name += std::to_string(attempt);
        errno = 0;
        // "x": fails instead of truncating a file that is there already.
        if (std::FILE* stream = std::fopen(out_name.c_str(), "wx")) return stream;
        if (errno != EEXIST) break;
    }
    out_name.clear();
    return nullptr;
}

// The writer's result, or SMD_WRITE_FAILED when the stream reports an error
// at the flush or the close; the stream is closed either way.
int write_and_close(const RefExportState& state, std::FILE* stream) noexcept {
    int rc = ref_write_smd(state, stream);
    if ((std::fflush(stream) != 0 || std::ferror(stream) != 0) && rc == 0) rc = SMD_WRITE_FAILED;
    if (std::fclose(stream) != 0 && rc == 0) rc = SMD_WRITE_FAILED;
    return rc;
}

}  // namespace

int ref_write_file(const RefExportState& state, const char* path) noexcept {
    if (path == nullptr || path[0] == '\0') return REF_FILE_NOT_OPENED;
    try {
        const Target target = inspect_target(path);
        if (target == Target::Unusable) return REF_FILE_NOT_OPENED;
        if (target == Target::Other) {
            // A device or pipe cannot be replaced by renaming; what it takes
            // is gone anyway, so it is written directly.
            std::FILE* stream = std::fopen(path, "w");
            if (stream == nullptr) return REF_FILE_NOT_OPENED;
            return write_and_close(state, stream);
        }
        std::string temporary;
        std::FILE* stream = open_beside(path, temporary);
        if (stream == nullptr) return REF_FILE_NOT_OPENED;
        int rc = write_and_close(state, stream);
        if (rc == 0 && std::rename(temporary.c_str(), path) != 0) rc = SMD_WRITE_FAILED;
        if (rc != 0) std::remove(temporary.c_str());
        return rc;
    } catch (...) {
        return REF_NO_MEMORY;
    }
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

    const int rc = ref_write_file(*state, smd_buffers.full_name);
    if (rc == REF_FILE_NOT_OPENED) {
        report_error(state->messages, MESSAGE_UNABLE_TO_SAVE);
    } else if (rc != 0) {
        report_error(state->messages, MESSAGE_SAVE_FAILED);
    }
}

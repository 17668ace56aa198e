// Saves go through a temporary file so that a disk that fills up or an I/O
// error half-way through leaves the previous file in place.
#include "safe_file.h"

#include <cerrno>
#include <filesystem>
#include <new>

#include "export_result.h"

namespace {

// What is at a save's target now.
enum class Target { Missing, RegularFile, Other, Unusable };

// A target that exists must be writable by us: a read-only file is refused,
// as opening it for writing would be, rather than renamed over; a folder
// cannot be written at all; and only a regular file is replaced by renaming.
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

// Longer chains of symbolic links than the system follows are loops.
constexpr int MAX_LINK_HOPS = 40;

// The file a save replaces: `path`, or the file its symbolic links lead to
// (a relative link counts from the link's folder). The temporary is made and
// renamed beside that file, so the user's link keeps pointing at the new
// content instead of being replaced by it. False for a chain of links
// too long to end. Throws std::bad_alloc.
bool resolve_links(const char* path, std::string& out_path) {
    std::filesystem::path at(path);
    for (int hop = 0; hop < MAX_LINK_HOPS; ++hop) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(at, error))) {
            out_path = at.string();
            return true;
        }
        const std::filesystem::path next = std::filesystem::read_symlink(at, error);
        if (error) return false;
        at = next.is_absolute() ? next : at.parent_path() / next;
    }
    return false;
}

// A new file beside `path` that no one else is writing: "<path>.tmp", or
// with a number after it when that exists already. Null (out_name empty)
// when none can be created for any other reason. Throws std::bad_alloc.
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

}  // namespace

SafeFileResult safe_file_open(SafeFile& file, const char* path) noexcept {
    file.stream = nullptr;
    file.target.clear();
    file.temporary.clear();
    if (path == nullptr || path[0] == '\0') return SAFE_FILE_NOT_OPENED;
    try {
        const Target target = inspect_target(path);
        if (target == Target::Unusable) return SAFE_FILE_NOT_OPENED;
        if (target == Target::Other) {
            // A device or pipe cannot be replaced by renaming; what it takes
            // is gone anyway, so it is written directly (through any link).
            file.target.assign(path);
            file.stream = std::fopen(path, "w");
        } else {
            if (!resolve_links(path, file.target)) return SAFE_FILE_NOT_OPENED;
            file.stream = open_beside(file.target.c_str(), file.temporary);
        }
        return file.stream != nullptr ? SAFE_FILE_OK : SAFE_FILE_NOT_OPENED;
    } catch (...) {
        return SAFE_FILE_NO_MEMORY;
    }
}

int safe_file_commit(SafeFile& file, int rc) noexcept {
    if (file.stream == nullptr) return rc != 0 ? rc : EXPORT_WRITE_FAILED;
    if ((std::fflush(file.stream) != 0 || std::ferror(file.stream) != 0) && rc == 0) rc = EXPORT_WRITE_FAILED;
    if (std::fclose(file.stream) != 0 && rc == 0) rc = EXPORT_WRITE_FAILED;
    file.stream = nullptr;
    if (file.temporary.empty()) return rc;
    if (rc == 0 && std::rename(file.temporary.c_str(), file.target.c_str()) != 0) rc = EXPORT_WRITE_FAILED;
    if (rc != 0) std::remove(file.temporary.c_str());
    return rc;
}

ExportResult save_export_file(const char* path, ExportWriter write, const void* data) noexcept {
    SafeFile file;
    switch (safe_file_open(file, path)) {
        case SAFE_FILE_OK:
            break;
        case SAFE_FILE_NOT_OPENED:
            return EXPORT_FILE_NOT_OPENED;
        default:
            return EXPORT_NO_MEMORY;
    }
    // The commit adds only EXPORT_WRITE_FAILED to the writer's result.
    return static_cast<ExportResult>(safe_file_commit(file, write(data, file.stream)));
}

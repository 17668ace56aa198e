// safe_file: saving a file so that a failed write never replaces a good one.
// The three exporters save this way.
//
//   safe_file_open(file, path)
//       Opens a stream for a save to `path`. A missing target or a regular
//       file is written to a new temporary beside it ("<path>.tmp", or with a
//       number after it when that exists already); a device or pipe, which
//       renaming would replace, is opened directly. A target that exists but
//       cannot be opened for writing (a folder, a read-only file) is refused
//       rather than renamed over. A symbolic link is followed: the file it
//       leads to is the target, so the link stays and shows the new content.
//       SAFE_FILE_OK; SAFE_FILE_NOT_OPENED when the target is refused or no
//       file could be created beside it (nothing is left open);
//       SAFE_FILE_NO_MEMORY when a name could not be made.
//
//   safe_file_commit(file, rc)
//       Ends a save that safe_file_open began; `rc` is the writer's result.
//       Flushes, checks the stream's error flag and closes it; then, when
//       `rc` and every one of those steps was 0, renames the temporary over
//       the target, and otherwise removes the temporary (the target is as it
//       was). Returns `rc` when it is not 0, else EXPORT_WRITE_FAILED when the
//       flush, close or rename failed, else 0. The file is closed either way.
//
//   save_export_file(path, write, data)
//       An exporter's whole save: safe_file_open, write(data, stream),
//       safe_file_commit. EXPORT_FILE_NOT_OPENED when the target is refused
//       or no file could be made beside it ("Unable to save file!"),
//       EXPORT_NO_MEMORY when a name could not be made, else the writer's
//       result or EXPORT_WRITE_FAILED from the commit.
#pragma once

#include <cstdio>
#include <string>

#include "export_result.h"

enum [[nodiscard]] SafeFileResult : int {
    SAFE_FILE_OK = 0,
    SAFE_FILE_NO_MEMORY = 1,
    SAFE_FILE_NOT_OPENED = 2,
};

struct SafeFile {
    std::FILE* stream = nullptr;  // what the writer writes to
    std::string target;           // the file replaced: `path` with its links followed
    std::string temporary;        // empty when the target is written directly
};

SafeFileResult safe_file_open(SafeFile& file, const char* path) noexcept;
// `rc` and the result are the caller's codes (an ExportResult for the
// exporters); only EXPORT_WRITE_FAILED is added.
[[nodiscard]] int safe_file_commit(SafeFile& file, int rc) noexcept;

using ExportWriter = ExportResult (*)(const void* data, std::FILE* stream) noexcept;
ExportResult save_export_file(const char* path, ExportWriter write, const void* data) noexcept;

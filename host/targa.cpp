#include "targa.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace lwhost {

void targa_header(int width, int height, std::uint8_t out[kTargaHeaderSize]) {
    for (int i = 0; i < kTargaHeaderSize; ++i) out[i] = 0;
    out[2] = 2;  // uncompressed true colour
    out[12] = std::uint8_t(width & 0xFF);
    out[13] = std::uint8_t((width >> 8) & 0xFF);
    out[14] = std::uint8_t(height & 0xFF);
    out[15] = std::uint8_t((height >> 8) & 0xFF);
    out[16] = 24;
    out[17] = 0;  // origin lower left, no alpha bits
}

namespace {

// What is at a save's target, by the rule the plug-ins' own saves keep: an
// existing file we may not write (a read-only file, a folder) is refused
// rather than renamed over, and only a regular file is replaced by renaming.
enum class Target { Missing, RegularFile, Other, Unusable };

Target inspect_target(const char* path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) return Target::Missing;
    if (error || status.type() == std::filesystem::file_type::directory) return Target::Unusable;
    std::FILE* probe = std::fopen(path, "r+");  // opens for writing, changes nothing
    if (!probe) return Target::Unusable;
    std::fclose(probe);
    return status.type() == std::filesystem::file_type::regular ? Target::RegularFile : Target::Other;
}

// The file a symbolic link leads to, so that the new picture is renamed
// beside it and the link keeps pointing at it; false for a loop.
bool resolve_links(const char* path, std::string& out_path) {
    std::filesystem::path at(path);
    for (int hop = 0; hop < 40; ++hop) {
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

// A fresh name beside the target; "x" makes fopen fail rather than reuse a
// file someone else is writing.
std::FILE* open_temporary(const std::string& path, std::string& out_name) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        out_name = path + ".tmp" + std::to_string(long(getpid())) + "-" + std::to_string(counter++);
        if (std::FILE* f = std::fopen(out_name.c_str(), "wbx")) return f;
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

int write_rows(std::FILE* f, int width, int height, const std::uint8_t* rgb) {
    std::uint8_t header[kTargaHeaderSize];
    targa_header(width, height, header);
    if (std::fwrite(header, 1, sizeof header, f) != sizeof header) return TARGA_WRITE_FAILED;
    std::size_t row_bytes = std::size_t(width) * 3;
    std::vector<std::uint8_t> row(row_bytes);
    for (int y = height - 1; y >= 0; --y) {
        const std::uint8_t* in = rgb + std::size_t(y) * row_bytes;
        for (std::size_t x = 0; x < row_bytes; x += 3) {
            row[x] = in[x + 2];
            row[x + 1] = in[x + 1];
            row[x + 2] = in[x];
        }
        if (std::fwrite(row.data(), 1, row_bytes, f) != row_bytes) return TARGA_WRITE_FAILED;
    }
    return TARGA_OK;
}

}  // namespace

int targa_save(const char* path, int width, int height, const std::uint8_t* rgb) {
    if (!path || !*path || !rgb || width < 1 || height < 1 || width > kTargaMaxSide || height > kTargaMaxSide)
        return TARGA_BAD_IMAGE;
    std::string target;
    std::string temporary;
    int rc = TARGA_OK;
    try {
        const Target found = inspect_target(path);
        if (found == Target::Unusable) return TARGA_OPEN_FAILED;
        std::FILE* f = nullptr;
        if (found == Target::Other) {
            // A device or pipe cannot be replaced by renaming: written directly.
            target = path;
            f = std::fopen(path, "wb");
        } else if (resolve_links(path, target)) {
            f = open_temporary(target, temporary);
        }
        if (!f) return TARGA_OPEN_FAILED;
        try {
            rc = write_rows(f, width, height, rgb);
        } catch (...) {
            rc = TARGA_WRITE_FAILED;  // the row buffer could not be had
        }
        if (std::fflush(f) != 0 || std::ferror(f)) rc = rc ? rc : TARGA_WRITE_FAILED;
        if (std::fclose(f) != 0) rc = rc ? rc : TARGA_WRITE_FAILED;
        if (!temporary.empty()) {
            if (rc == TARGA_OK && std::rename(temporary.c_str(), target.c_str()) != 0) rc = TARGA_WRITE_FAILED;
            if (rc != TARGA_OK) std::remove(temporary.c_str());
        }
    } catch (...) {
        return TARGA_OPEN_FAILED;  // only making names can throw; no file is open then
    }
    return rc;
}

}  // namespace lwhost

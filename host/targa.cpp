#include "targa.h"

#include <cstdio>
#include <vector>

#include "safe_file.h"

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

// Saved the way the plug-ins save their files (safe_file): through a
// temporary beside the target, read-only targets refused, links followed.
int targa_save(const char* path, int width, int height, const std::uint8_t* rgb) {
    if (!path || !*path || !rgb || width < 1 || height < 1 || width > kTargaMaxSide || height > kTargaMaxSide)
        return TARGA_BAD_IMAGE;
    SafeFile file;
    if (safe_file_open(file, path) != SAFE_FILE_OK) return TARGA_OPEN_FAILED;
    int rc = TARGA_OK;
    try {
        rc = write_rows(file.stream, width, height, rgb);
    } catch (...) {
        rc = TARGA_WRITE_FAILED;  // the row buffer could not be had
    }
    return safe_file_commit(file, rc) == 0 ? TARGA_OK : (rc ? rc : TARGA_WRITE_FAILED);
}

}  // namespace lwhost

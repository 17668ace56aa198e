// The host's one image saver, "Targa Format (.tga)": uncompressed 24-bit
// Targa files.
//
//   int targa_save(const char* path, int width, int height, const std::uint8_t* rgb)
//       `rgb` holds width x height pixels of three bytes (red, green, blue),
//       row 0 first, row 0 being the top of the picture. The file is:
//         an 18-byte header: id length 0, no colour map (type 0, zeroed
//           colour map fields), image type 2 (uncompressed true
//           colour), x and y origin 0, width and height (16 bits, little
//           endian), 24 bits per pixel, descriptor 0 (no alpha bits, origin
//           at the lower left);
//         then the rows from the bottom of the picture to the top, each pixel
//           as blue, green, red. No id field, colour map or footer.
//       The bytes go to a new file beside `path` (`path` + ".tmp<pid>-<n>"),
//       which is renamed over `path` only when every byte was written and the
//       file closed cleanly; on any failure it is removed, so `path` keeps
//       what it held before. As the plug-ins' own saves do: an existing
//       `path` that cannot be opened for writing (a read-only file, a folder)
//       is refused (TARGA_OPEN_FAILED) rather than renamed over; a symbolic
//       link is followed, so the new file is renamed beside the file it
//       leads to and the link stays; a device or pipe is written directly.
//       Returns TARGA_OK or one of the codes below.
//
//   void targa_header(int width, int height, std::uint8_t out[18])
//       The header alone, for callers that write their own rows.
#pragma once

#include <cstdint>

namespace lwhost {

enum TargaResult : int {
    TARGA_OK = 0,
    TARGA_BAD_IMAGE = 1,     // null path or pixels, or a size outside 1..65535
    TARGA_OPEN_FAILED = 2,   // the target is refused or the temporary file could not be made
    TARGA_WRITE_FAILED = 3,  // a write, flush, close or the final rename failed
};

constexpr int kTargaHeaderSize = 18;
constexpr int kTargaMaxSide = 65535;  // width and height are 16-bit fields

void targa_header(int width, int height, std::uint8_t out[kTargaHeaderSize]);
int targa_save(const char* path, int width, int height, const std::uint8_t* rgb);

}  // namespace lwhost

// The program's own BMP reader, the same on every backend.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "util/bitmap.h"
#include "ui/byte_source.h"
#include "util/picture_part.h"

namespace duskpane {

// Decodes the part of a BMP file that the request keeps, reading only the
// rows and columns of that part from an uncompressed file.
//
// Accepted: file header "BM"; info headers of 12 (OS/2), 40, 52, 56, 108 and
// 124 bytes; 1, 4 and 8 bits per pixel with a colour table, 16 and 32 bits
// with the default layout or bit-field masks, 24 bits; RLE8 and RLE4
// compression; bottom-up and top-down rows. The headers, the masks and the
// colour table must lie inside the data. Alpha is ignored.
//
// A file whose data ends before its picture does is damaged and fails: an
// uncompressed file missing any pixel of its rows (the last row may lack its
// padding), a run-length file whose data runs out before its end-of-bitmap
// code while rows are still to come. A run-length file may skip pixels on
// purpose (moves, ends of line, an early end of bitmap): those pixels are
// black, and so are colour indexes beyond the colour table.
std::optional<DecodedPicture> DecodeBmp(ByteSource& file, const PictureRequest& request);

// The whole picture of BMP bytes in memory.
std::optional<Bitmap32> DecodeBmpBytes(const uint8_t* data, std::size_t size);

}  // namespace duskpane

// The picture decoders on Linux: BMP by the program's own reader, JPEG through libjpeg-turbo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "ui/bitmap.h"

namespace duskpane {

// The largest picture either decoder accepts. A side of 16384 covers any
// screen a wallpaper is shown on several times over, and 128 megapixels
// (512 MB of 32-bit pixels) covers every camera photo in common use; both
// are checked against the header before anything is allocated, so a file
// that merely claims to be huge fails at once instead of allocating
// gigabytes.
constexpr int kPictureMaxSide = 16384;
constexpr int64_t kPictureMaxPixels = int64_t(128) * 1024 * 1024;
// Files longer than this are not read at all: the largest picture allowed,
// stored uncompressed at 32 bits per pixel, plus room for headers.
constexpr uint64_t kPictureMaxFileBytes = uint64_t(kPictureMaxPixels) * 4 + (uint64_t(1) << 20);
// A progressive JPEG may hold at most this many scans; real files have about
// ten, while a crafted file with thousands of tiny scans would take minutes.
constexpr int kJpegMaxScans = 500;

// True when a picture of that size may be decoded.
bool PictureSizeAllowed(int64_t width, int64_t height);

// Decodes BMP bytes. Accepted: file header "BM"; info headers of 12 (OS/2),
// 40, 52, 56, 108 and 124 bytes; 1, 4 and 8 bits per pixel with a colour
// table, 16 and 32 bits with the default layout or bit-field masks, 24 bits;
// RLE8 and RLE4 compression; bottom-up and top-down rows. The headers, the
// masks and the colour table must lie inside the data. An uncompressed file
// cut short decodes with its missing rows black as long as at least half of
// the rows are there; a header that claims more than twice the rows present
// is taken for a lie and fails. Colour indexes beyond the colour table, and
// pixels a compressed file leaves out, are black. Alpha is ignored.
std::optional<Bitmap32> DecodeBmpBytes(const uint8_t* data, std::size_t size);

// Decodes JPEG bytes: baseline, extended and progressive; YCbCr, RGB,
// grayscale, CMYK and YCCK (Adobe's inverted CMYK when an Adobe marker is
// present, plain CMYK otherwise). Corrupt or missing data is only a warning:
// a file cut short decodes with its missing part grey. When warnings is
// given it receives how many warnings the decoder raised (0 for a clean
// file). Fails for anything that is not a JPEG, fails the size limit or has
// more than kJpegMaxScans scans.
std::optional<Bitmap32> DecodeJpegBytes(const uint8_t* data, std::size_t size, int* warnings = nullptr);

// Reads a whole regular file (UTF-8 path, taken as bytes) and decodes it.
// A folder, a device, a pipe, a missing or unreadable file or one longer
// than kPictureMaxFileBytes fails.
class LinuxPictureDecoder : public PictureDecoder {
public:
    std::optional<Bitmap32> DecodeBmp(const std::string& path) override;
    std::optional<Bitmap32> DecodeJpeg(const std::string& path) override;
};

}  // namespace duskpane

// The picture decoders on Linux: BMP by the program's own reader, JPEG through
// libjpeg-turbo, both reading the file piece by piece as they need it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "util/bitmap.h"
#include "ui/byte_source.h"
#include "util/picture_part.h"

namespace duskpane {

// A progressive JPEG may hold at most this many scans; real files have about
// ten, while a crafted file with thousands of tiny scans would take minutes.
constexpr int kJpegMaxScans = 500;

// Decodes the part of a JPEG file that the request keeps: baseline, extended
// and progressive; YCbCr, RGB, grayscale, CMYK and YCCK (Adobe's inverted
// CMYK when an Adobe marker is present, plain CMYK otherwise). Only the kept
// rows are decoded to pixels, only the kept columns of each (libjpeg-turbo's
// skipped and cropped scanlines), one row at a time; a reduced picture is
// decoded at the reduced scale. Corrupt data is only a warning, but a file
// whose data ends before the picture does (the decoder's premature-end
// warning) fails. When warnings is given it receives how many warnings the
// decoder raised (0 for a clean file). Fails for anything that is not a
// JPEG, fails the size limits (a picture held whole while decoding, as a
// multi-scan file is, must be within the pixel limit) or has more than
// kJpegMaxScans scans.
std::optional<DecodedPicture> DecodeJpeg(ByteSource& file, const PictureRequest& request, int* warnings = nullptr);

// The whole picture of JPEG bytes in memory.
std::optional<Bitmap32> DecodeJpegBytes(const uint8_t* data, std::size_t size, int* warnings = nullptr);

// A regular file (UTF-8 path, taken as bytes) read where the decoder asks.
// It is opened without blocking, so that a pipe named like a picture cannot
// hang the caller, and then refused for not being a regular file.
class LinuxFileBytes final : public ByteSource {
public:
    // Null for a folder, a device, a pipe, a missing or unreadable file and
    // one longer than kPictureMaxFileBytes.
    static std::unique_ptr<LinuxFileBytes> Open(const std::string& path);
    ~LinuxFileBytes() override;
    LinuxFileBytes(const LinuxFileBytes&) = delete;
    LinuxFileBytes& operator=(const LinuxFileBytes&) = delete;

    // The size at opening: a file that grows meanwhile is read as it was.
    uint64_t Size() const override { return size_; }
    std::size_t ReadAt(uint64_t offset, uint8_t* into, std::size_t length) override;

private:
    LinuxFileBytes(int fd, uint64_t size) : fd_(fd), size_(size) {}

    int fd_;
    uint64_t size_;
};

class LinuxPictureDecoder : public PictureDecoder {
public:
    std::optional<DecodedPicture> DecodeBmp(const std::string& path, const PictureRequest& request) override;
    std::optional<DecodedPicture> DecodeJpeg(const std::string& path, const PictureRequest& request) override;
};

}  // namespace duskpane

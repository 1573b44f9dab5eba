// Picture decoding and the blend library for the headless backend: BMP files
// through the program's own reader, a small stand-in format for JPEG files,
// and the program's software blend.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/headless/headless_files.h"
#include "platform/platform.h"
#include "util/bitmap.h"

namespace duskpane {

// Makes the bytes of an uncompressed BMP file (24 or 32 bits per pixel,
// bottom-up rows, or top-down with topDown set) holding the bitmap.
std::vector<uint8_t> MakeBmpFile(const Bitmap32& bitmap, int bitsPerPixel = 24, bool topDown = false);

// The headless stand-in for a JPEG file, read only by HeadlessPictureDecoder:
// the eight bytes "DPJPEG01", the width and the height as 32-bit little-endian
// values, then the pixels row by row from the top, three bytes R, G, B each.
std::vector<uint8_t> MakeHeadlessJpegFile(const Bitmap32& bitmap);

// Decodes the requested part of the headless JPEG stand-in; nullopt when it
// is no such file, its size is beyond the limits or its pixels are cut short.
std::optional<DecodedPicture> DecodeHeadlessJpeg(const std::vector<uint8_t>& data, const PictureRequest& request);

// Decodes the files of a HeadlessFileSystem.
class HeadlessPictureDecoder : public PictureDecoder {
public:
    explicit HeadlessPictureDecoder(HeadlessFileSystem& files) : files_(files) {}

    std::optional<DecodedPicture> DecodeBmp(const std::string& path, const PictureRequest& request) override;
    std::optional<DecodedPicture> DecodeJpeg(const std::string& path, const PictureRequest& request) override;

    // How many files were asked for, whatever the outcome, and the last
    // request; the decoder may be called from several threads at once.
    std::atomic<int> decodeCount{0};
    PictureRequest LastRequest() const;

private:
    void Asked(const PictureRequest& request);

    HeadlessFileSystem& files_;
    mutable std::mutex mutex_;
    PictureRequest lastRequest_;
};

// The blend library with the program's software blend, BlendBitmaps.
class HeadlessBlendLibrary : public BlendLibrary {
public:
    std::unique_ptr<BlendFunction> Load() override;

    // The library or its blend function cannot be had: Load gives null.
    bool missing = false;

    // ---- observation
    int loadCount = 0;     // successful loads
    int releaseCount = 0;  // loaded functions destroyed again
    int blendCount = 0;
    int lastAlpha = -1;
    bool Loaded() const { return loadCount != releaseCount; }
};

}  // namespace duskpane

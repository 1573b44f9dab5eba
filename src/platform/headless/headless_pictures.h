// Picture decoding and the blend library for the headless backend: plain
// BMP files, a small stand-in format for JPEG files, and a software blend.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/headless/headless_files.h"
#include "platform/platform.h"
#include "ui/bitmap.h"

namespace duskpane {

// The largest picture side the headless decoders accept.
constexpr int kHeadlessPictureMaxSide = 16384;

// Makes the bytes of an uncompressed BMP file (24 or 32 bits per pixel,
// bottom-up rows, or top-down with topDown set) holding the bitmap.
std::vector<uint8_t> MakeBmpFile(const Bitmap32& bitmap, int bitsPerPixel = 24, bool topDown = false);

// The headless stand-in for a JPEG file, read only by HeadlessPictureDecoder:
// the eight bytes "DPJPEG01", the width and the height as 32-bit little-endian
// values, then the pixels row by row from the top, three bytes R, G, B each.
std::vector<uint8_t> MakeHeadlessJpegFile(const Bitmap32& bitmap);

// Parses BMP bytes: uncompressed 24- and 32-bit files with a 40-byte or
// longer info header; nullopt for anything else or when the sizes do not fit
// the data.
std::optional<Bitmap32> ParseBmp(const std::vector<uint8_t>& data);
// Parses the headless JPEG stand-in.
std::optional<Bitmap32> ParseHeadlessJpeg(const std::vector<uint8_t>& data);

// Decodes the files of a HeadlessFileSystem.
class HeadlessPictureDecoder : public PictureDecoder {
public:
    explicit HeadlessPictureDecoder(HeadlessFileSystem& files) : files_(files) {}

    std::optional<Bitmap32> DecodeBmp(const std::string& path) override;
    std::optional<Bitmap32> DecodeJpeg(const std::string& path) override;

    // How many files were asked for, whatever the outcome.
    int decodeCount = 0;

private:
    HeadlessFileSystem& files_;
};

// The blend library in software: each channel becomes
// round((src * alpha + dst * (255 - alpha)) / 255), so over black
// round(src * alpha / 255), as the system's blend gives it.
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

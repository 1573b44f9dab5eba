// Which part of a picture file the program decodes and keeps, and the limits
// every picture decoder holds to, whatever the backend.
#pragma once

#include <cstdint>
#include <optional>

#include "util/bitmap.h"

namespace duskpane {

// The largest picture any decoder accepts. A side of 16384 covers any screen
// a wallpaper is shown on several times over; it also bounds the work of a
// decode, since every row of the file has to be read even when only the
// middle of the picture is kept.
constexpr int kPictureMaxSide = 16384;
// The most pixels decoded and held at once: 128 megapixels, 512 MB of 32-bit
// pixels. The part kept of a picture is checked against it; so is the whole
// picture where the decoder has to hold all of it (a progressive JPEG keeps
// the coefficients of every block until its last scan).
constexpr int64_t kPictureMaxPixels = int64_t(128) * 1024 * 1024;
// Files longer than this are not read at all: the largest picture allowed,
// stored uncompressed at 32 bits per pixel, plus room for headers.
constexpr uint64_t kPictureMaxFileBytes =
    uint64_t(kPictureMaxSide) * uint64_t(kPictureMaxSide) * 4 + (uint64_t(1) << 20);

// True when the sides are within the limits (and the whole picture, when all
// of it is held, within the pixel limit).
bool PictureSidesAllowed(int64_t width, int64_t height);
bool PictureSizeAllowed(int64_t width, int64_t height);

// What of a picture the caller keeps.
struct PictureRequest {
    enum class Fit {
        // Every pixel.
        Whole,
        // Only the pixels a picture centred on an area of width x height
        // shows there: the whole picture when it is smaller, its middle when
        // it is larger, in each direction on its own.
        Centred,
        // The whole picture scaled down by 1/2, 1/4 or 1/8, as far as it
        // stays at least width x height (a preview that stretches it).
        Reduced,
        // The whole picture scaled down by 1/2, 1/4 or 1/8, as far as it
        // stays at least as large as the picture fitted into width x height
        // keeping its shape (a preview that fits it into a box): one of its
        // sides still reaches the box's.
        ReducedToFit,
    };
    Fit fit = Fit::Whole;
    int width = 0;
    int height = 0;

    static PictureRequest Whole() { return {}; }
    static PictureRequest Centred(int width, int height) { return {Fit::Centred, width, height}; }
    static PictureRequest Reduced(int width, int height) { return {Fit::Reduced, width, height}; }
    static PictureRequest ReducedToFit(int width, int height) { return {Fit::ReducedToFit, width, height}; }
};

// How a picture of a given size is decoded for a request: output pixel
// (i, j) is the picture's pixel (left + i * step, top + j * step).
struct PicturePlan {
    int width = 0;   // the whole picture
    int height = 0;
    int left = 0;    // first pixel kept
    int top = 0;
    int step = 1;    // 1, or 2, 4 or 8 for a reduced picture
    int outWidth = 0;
    int outHeight = 0;

    // The output row a picture row lands in; -1 when it is not kept.
    int OutputRow(int64_t y) const {
        if (y < top) return -1;
        const int64_t offset = y - top;
        if (offset % step != 0 || offset / step >= outHeight) return -1;
        return int(offset / step);
    }
    // The last picture column and row that are kept.
    int RightColumn() const { return left + (outWidth - 1) * step; }
    int BottomRow() const { return top + (outHeight - 1) * step; }
};

// The plan for a picture of width x height, or nullopt when the picture or
// the part kept is beyond the limits (the whole picture's pixel count is not
// checked here: see PictureSizeAllowed).
std::optional<PicturePlan> PlanPicture(int64_t width, int64_t height, const PictureRequest& request);

// The pixels kept of a picture and where they lie in it.
struct DecodedPicture {
    int width = 0;  // the whole picture, as its file states it
    int height = 0;
    int left = 0;   // the kept part's top-left pixel in the picture
    int top = 0;
    Bitmap32 pixels;
};

}  // namespace duskpane

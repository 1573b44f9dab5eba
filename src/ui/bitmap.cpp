// 32-bit pixel bitmaps.
#include "ui/bitmap.h"

#include <algorithm>
#include <cassert>

namespace duskpane {

Bitmap32::Bitmap32(int width, int height, Pixel fill) { Reset(width, height, fill); }

void Bitmap32::Reset(int width, int height, Pixel fill) {
    assert(width >= 0 && height >= 0 && "bitmap size must not be negative");
    width_ = width;
    height_ = height;
    const std::size_t count = std::size_t(width) * std::size_t(height);
    // A bitmap made much smaller gives its memory back: a cleared screen-sized
    // picture would otherwise keep megabytes it no longer shows.
    if (count < pixels_.capacity() / 2) std::vector<Pixel>().swap(pixels_);
    pixels_.assign(count, fill);
}

void Bitmap32::Fill(Pixel colour) { std::fill(pixels_.begin(), pixels_.end(), colour); }

}  // namespace duskpane

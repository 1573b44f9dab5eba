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
    pixels_.assign(std::size_t(width) * std::size_t(height), fill);
}

void Bitmap32::Fill(Pixel colour) { std::fill(pixels_.begin(), pixels_.end(), colour); }

}  // namespace duskpane

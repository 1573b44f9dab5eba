// 32-bit pixel bitmaps and their software blend.
#include "util/bitmap.h"

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

bool BlendBitmaps(Bitmap32& destination, const Bitmap32& source, uint8_t alpha) {
    if (destination.Width() != source.Width() || destination.Height() != source.Height()) return false;
    const unsigned share = alpha;
    const unsigned rest = 255u - share;
    // Channel by channel over the bytes of each row; t / 255 is worked out
    // as (t + 1 + (t >> 8)) >> 8, exact for every t a channel can reach
    // (at most 255 x 255 + 127), which lets the loop run on vector lanes.
    for (int y = 0; y < source.Height(); ++y) {
        const uint8_t* from = reinterpret_cast<const uint8_t*>(source.Row(y));
        uint8_t* to = reinterpret_cast<uint8_t*>(destination.Row(y));
        const int bytes = source.Width() * 4;
        for (int i = 0; i < bytes; ++i) {
            const unsigned t = from[i] * share + to[i] * rest + 127u;
            to[i] = uint8_t((t + 1u + (t >> 8)) >> 8);
        }
        Pixel* pixels = destination.Row(y);
        for (int x = 0; x < source.Width(); ++x) pixels[x] &= 0x00FFFFFFu;
    }
    return true;
}

}  // namespace duskpane

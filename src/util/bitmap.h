// 32-bit pixel bitmaps that all drawing goes into, identical on every backend.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace duskpane {

// A pixel as 0x00RRGGBB (byte order B, G, R, X in memory on little-endian).
using Pixel = uint32_t;

constexpr Pixel MakeRgb(uint8_t r, uint8_t g, uint8_t b) {
    return (Pixel(r) << 16) | (Pixel(g) << 8) | Pixel(b);
}
constexpr uint8_t RedOf(Pixel p) { return uint8_t(p >> 16); }
constexpr uint8_t GreenOf(Pixel p) { return uint8_t(p >> 8); }
constexpr uint8_t BlueOf(Pixel p) { return uint8_t(p); }

constexpr Pixel kBlack = 0;
constexpr Pixel kWhite = MakeRgb(255, 255, 255);

class Bitmap32 {
public:
    Bitmap32() = default;
    Bitmap32(int width, int height, Pixel fill = kBlack);

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }

    // Resizes and fills every pixel.
    void Reset(int width, int height, Pixel fill = kBlack);
    void Fill(Pixel colour);

    bool Contains(int x, int y) const {
        return x >= 0 && y >= 0 && x < width_ && y < height_;
    }
    Pixel At(int x, int y) const { return pixels_[std::size_t(y) * std::size_t(width_) + std::size_t(x)]; }
    void Set(int x, int y, Pixel p) { pixels_[std::size_t(y) * std::size_t(width_) + std::size_t(x)] = p; }
    // Sets a pixel when it lies inside; outside pixels are clipped.
    void Plot(int x, int y, Pixel p) {
        if (Contains(x, y)) Set(x, y, p);
    }

    const Pixel* Row(int y) const { return pixels_.data() + std::size_t(y) * std::size_t(width_); }
    Pixel* Row(int y) { return pixels_.data() + std::size_t(y) * std::size_t(width_); }
    const std::vector<Pixel>& Pixels() const { return pixels_; }

    bool operator==(const Bitmap32& other) const = default;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<Pixel> pixels_;
};

// One channel of the constant-alpha blend: round((src x alpha + dst x
// (255 - alpha)) / 255); over black round(src x alpha / 255), exactly what
// the system's blend gives on Windows.
constexpr uint8_t BlendChannel(unsigned source, unsigned destination, unsigned alpha) {
    return uint8_t((source * alpha + destination * (255u - alpha) + 127u) / 255u);
}

// Blends the source over the destination, channel by channel with
// BlendChannel; the fourth byte of each pixel stays 0. False, and the
// destination untouched, when their sizes differ.
bool BlendBitmaps(Bitmap32& destination, const Bitmap32& source, uint8_t alpha);

}  // namespace duskpane

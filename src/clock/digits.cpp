// Seven-segment digit pictures drawn by supersampling hexagonal segments in
// integer arithmetic, so every build draws the same pixels.
#include "clock/digits.h"

#include <array>
#include <cassert>
#include <cstdint>

namespace duskpane {

namespace {

// Each pixel is sampled on a kSamples x kSamples grid. Geometry is given in
// units of 1 / (2 * kSamples) pixel, so that sample centres fall on odd
// coordinates.
constexpr int kSamples = 20;
constexpr int kUnit = 2 * kSamples;
constexpr int kSamplesPerPixel = kSamples * kSamples;

// The outline of the digits: outer edges at 0.4 and 0.6 of a pixel, so a
// straight edge covers 60 % of its pixel and comes out grey 75.
constexpr int kLeft = 56;       // x 1.4
constexpr int kRight = 1384;    // x 34.6
constexpr int kTop = 176;       // y 4.4
constexpr int kBottom = 2424;   // y 60.6
constexpr int kThickness = 248; // 6.2 pixels
constexpr int kHalf = kThickness / 2;
// How far each segment end stays back from the corner point it points to.
constexpr int kGap = 44;

// Centre lines of the segments.
constexpr int kXLeft = kLeft + kHalf;
constexpr int kXRight = kRight - kHalf;
constexpr int kYTop = kTop + kHalf;
constexpr int kYMiddle = (kTop + kBottom) / 2;
constexpr int kYBottom = kBottom - kHalf;

// Grey levels of partly covered pixels run from kGreyLow to kGreyLow + kGreySpan.
constexpr int kGreyLow = 11;
constexpr int kGreySpan = 108;

struct Point {
    int32_t x;
    int32_t y;
};

// A segment: a hexagon with pointed 45-degree ends, as a convex polygon.
struct Segment {
    std::array<Point, 6> corners;
    int32_t minX, minY, maxX, maxY;
};

Segment Horizontal(int32_t x0, int32_t x1, int32_t y) {
    const int32_t a = x0 + kGap;
    const int32_t b = x1 - kGap;
    return {{{{a, y}, {a + kHalf, y - kHalf}, {b - kHalf, y - kHalf}, {b, y},
              {b - kHalf, y + kHalf}, {a + kHalf, y + kHalf}}},
            a, y - kHalf, b, y + kHalf};
}

Segment Vertical(int32_t x, int32_t y0, int32_t y1) {
    const int32_t a = y0 + kGap;
    const int32_t b = y1 - kGap;
    return {{{{x, a}, {x + kHalf, a + kHalf}, {x + kHalf, b - kHalf}, {x, b},
              {x - kHalf, b - kHalf}, {x - kHalf, a + kHalf}}},
            x - kHalf, a, x + kHalf, b};
}

// Segments a to g in the usual order: top, top right, bottom right, bottom,
// bottom left, top left, middle.
const std::array<Segment, 7>& Segments() {
    static const std::array<Segment, 7> segments = {
        Horizontal(kXLeft, kXRight, kYTop),
        Vertical(kXRight, kYTop, kYMiddle),
        Vertical(kXRight, kYMiddle, kYBottom),
        Horizontal(kXLeft, kXRight, kYBottom),
        Vertical(kXLeft, kYMiddle, kYBottom),
        Vertical(kXLeft, kYTop, kYMiddle),
        Horizontal(kXLeft, kXRight, kYMiddle),
    };
    return segments;
}

// Lit segments of each digit, bit 0 = a ... bit 6 = g.
constexpr std::array<uint8_t, 10> kDigitSegments = {
    0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F,
};

bool Inside(const Segment& segment, int32_t x, int32_t y) {
    if (x < segment.minX || x > segment.maxX || y < segment.minY || y > segment.maxY) return false;
    bool anyPositive = false;
    bool anyNegative = false;
    for (size_t i = 0; i < segment.corners.size(); ++i) {
        const Point& p = segment.corners[i];
        const Point& q = segment.corners[(i + 1) % segment.corners.size()];
        const int64_t cross = int64_t(q.x - p.x) * (y - p.y) - int64_t(q.y - p.y) * (x - p.x);
        if (cross > 0) anyPositive = true;
        if (cross < 0) anyNegative = true;
    }
    return !(anyPositive && anyNegative);
}

// Samples covered by any lit segment within pixel (px, py).
int Coverage(uint8_t lit, int px, int py) {
    const int32_t left = px * kUnit;
    const int32_t top = py * kUnit;
    const auto& segments = Segments();
    std::array<const Segment*, 7> near{};
    size_t nearCount = 0;
    for (size_t s = 0; s < segments.size(); ++s) {
        const Segment& segment = segments[s];
        if ((lit >> s & 1) == 0) continue;
        if (segment.maxX < left || segment.minX > left + kUnit || segment.maxY < top ||
            segment.minY > top + kUnit)
            continue;
        near[nearCount++] = &segment;
    }
    if (nearCount == 0) return 0;
    int covered = 0;
    for (int sy = 0; sy < kSamples; ++sy)
        for (int sx = 0; sx < kSamples; ++sx) {
            const int32_t x = left + 2 * sx + 1;
            const int32_t y = top + 2 * sy + 1;
            for (size_t s = 0; s < nearCount; ++s)
                if (Inside(*near[s], x, y)) {
                    ++covered;
                    break;
                }
        }
    return covered;
}

Pixel CoverageColour(int covered) {
    if (covered == 0) return kBlack;
    if (covered == kSamplesPerPixel) return kWhite;
    const auto grey = uint8_t(kGreyLow + kGreySpan * covered / kSamplesPerPixel);
    return MakeRgb(grey, grey, grey);
}

}  // namespace

Bitmap32 MakeDigitPicture(int index) {
    assert(index >= 0 && index < kDigitPictureCount && "digit picture index out of range");
    Bitmap32 picture(kDigitWidth, kDigitHeight, kBlack);
    if (index == kBlankDigitPicture) return picture;
    const uint8_t lit = kDigitSegments[size_t(index)];
    for (int y = 0; y < kDigitHeight; ++y)
        for (int x = 0; x < kDigitWidth; ++x) picture.Set(x, y, CoverageColour(Coverage(lit, x, y)));
    return picture;
}

Bitmap32 MakeColonPicture() {
    Bitmap32 picture(kColonWidth, kColonHeight, kBlack);
    for (int y = 0; y < 6; ++y)
        for (int x = 2; x <= 7; ++x) {
            picture.Set(x, 17 + y, kWhite);
            picture.Set(x, 41 + y, kWhite);
        }
    return picture;
}

ImageList::ImageList(int width, int height) : width_(width), height_(height) {
    assert(width > 0 && height > 0 && "image list pictures need a size");
}

int ImageList::Add(const Bitmap32& picture) {
    assert(picture.Width() == width_ && picture.Height() == height_ &&
           "picture size differs from the image list's");
    pictures_.push_back(picture);
    return Count() - 1;
}

const Bitmap32& ImageList::Picture(int index) const {
    assert(index >= 0 && index < Count() && "image list index out of range");
    return pictures_[size_t(index)];
}

void ImageList::Draw(Canvas& canvas, int x, int y, int index) const {
    canvas.DrawMasked(x, y, Picture(index));
}

ImageList MakeDigitImageList() {
    ImageList list(kDigitWidth, kDigitHeight);
    for (int i = 0; i < kDigitPictureCount; ++i) list.Add(MakeDigitPicture(i));
    return list;
}

}  // namespace duskpane

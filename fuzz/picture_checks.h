// What every picture a decoder returns must satisfy, shared by the picture
// fuzz targets: within the size limits, one pixel per place, nothing above
// the red channel, an exact blend into black, and parts decoded on their own
// that are exactly those parts of the whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/linux/linux_blend.h"
#include "platform/linux/linux_pictures.h"
#include "wallpaper/picture.h"

namespace duskpane::fuzz {

// Pictures up to this many pixels are also blended; larger ones would only
// slow the run down without reaching other code.
constexpr int64_t kBlendedPixels = 1 << 18;
// Pictures within the limits but larger than this are not decoded (see each
// target for why).
constexpr int64_t kDecodedPixels = 1 << 20;

[[noreturn]] inline void Fail(const char* target, const char* what, int width, int height) {
    std::fprintf(stderr, "%s: %s (picture %d x %d)\n", target, what, width, height);
    std::abort();
}

inline void CheckPicture(const char* target, PictureKind kind, const Bitmap32& bitmap, uint8_t alpha) {
    const int width = bitmap.Width(), height = bitmap.Height();
    if (!PictureSizeAllowed(width, height))
        Fail(target, "a picture beyond the size limits was returned", width, height);
    if (bitmap.Pixels().size() != std::size_t(width) * std::size_t(height))
        Fail(target, "the pixel count does not match the size", width, height);
    if (int64_t(width) * height > kBlendedPixels) return;

    for (const Pixel pixel : bitmap.Pixels())
        if (pixel >> 24 != 0) Fail(target, "a pixel has bits above its red channel", width, height);

    Picture picture;
    picture.kind = kind;
    picture.pixels = bitmap;
    LinuxBlendLibrary library;
    const auto blend = library.Load();
    if (!blend) Fail(target, "the blend library did not load", width, height);
    for (const uint8_t a : {uint8_t(0), alpha, uint8_t(255)}) {
        const Bitmap32 blended = BlendIntoBlack(*blend, picture, a);
        if (blended.Width() != width || blended.Height() != height)
            Fail(target, "the blend changed the size", width, height);
        for (std::size_t i = 0; i < blended.Pixels().size(); ++i) {
            const Pixel from = bitmap.Pixels()[i], to = blended.Pixels()[i];
            // Over black each channel is round(channel x alpha / 255).
            auto expect = [a](unsigned channel) { return uint8_t((channel * a + 127u) / 255u); };
            if (to != MakeRgb(expect(RedOf(from)), expect(GreenOf(from)), expect(BlueOf(from))))
                Fail(target, "a blended pixel is wrong", width, height);
        }
    }
}

// A centred part and a reduced copy decoded on their own (decode takes the
// request) must match the whole picture: the part pixel for pixel, the
// reduced copy in its planned size, and pixel for pixel too where the
// decoder reduces by taking every step-th pixel (sampled).
template <typename Decode>
void CheckParts(const char* target, const Bitmap32& whole, Decode decode, uint8_t seed, bool sampled) {
    const int width = whole.Width(), height = whole.Height();
    if (int64_t(width) * height > kBlendedPixels) return;
    const PictureRequest requests[] = {PictureRequest::Centred(1 + seed % width, 1 + (seed * 7) % height),
                                       PictureRequest::Reduced(1 + seed % 16, 1 + seed / 16)};
    for (const PictureRequest& request : requests) {
        const std::optional<PicturePlan> plan = PlanPicture(width, height, request);
        const std::optional<DecodedPicture> part = decode(request);
        if (!plan || !part) Fail(target, "a part of a decodable picture failed", width, height);
        if (part->width != width || part->height != height || part->left != plan->left || part->top != plan->top ||
            part->pixels.Width() != plan->outWidth || part->pixels.Height() != plan->outHeight)
            Fail(target, "a part is not where or as large as planned", width, height);
        if (request.fit == PictureRequest::Fit::Reduced && !sampled) continue;
        for (int y = 0; y < plan->outHeight; ++y)
            for (int x = 0; x < plan->outWidth; ++x)
                if (part->pixels.At(x, y) != whole.At(plan->left + x * plan->step, plan->top + y * plan->step))
                    Fail(target, "a part differs from the whole", width, height);
    }
}

}  // namespace duskpane::fuzz

// Feeds arbitrary bytes to the BMP decoder; a picture it returns must be
// within the size limits, hold exactly one pixel per place and blend into
// black exactly.
//
// A picture within the limits but larger than kDecodedPixels is not decoded:
// a compressed file of a few bytes may name 128 megapixels, and filling that
// many takes seconds under the sanitizers. Headers beyond the limits still go
// to the decoder, which must refuse them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/linux/linux_blend.h"
#include "platform/linux/linux_pictures.h"
#include "wallpaper/picture.h"

using namespace duskpane;

namespace {

// Pictures up to this many pixels are also blended; larger ones would only
// slow the run down without reaching other code.
constexpr int64_t kBlendedPixels = 1 << 18;
constexpr int64_t kDecodedPixels = 1 << 20;

// True when the header names a picture within the limits that is too large
// to decode here.
bool LargeButAllowed(const uint8_t* data, std::size_t size) {
    if (size < 26 || data[0] != 'B' || data[1] != 'M') return false;
    auto u16 = [data](std::size_t at) { return int64_t(data[at] | data[at + 1] << 8); };
    auto i32 = [data](std::size_t at) {
        return int64_t(int32_t(uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
                               uint32_t(data[at + 3]) << 24));
    };
    const bool core = i32(14) == 12;
    const int64_t width = core ? u16(18) : i32(18);
    const int64_t height = core ? u16(20) : i32(22);
    const int64_t rows = height < 0 ? -height : height;
    return PictureSizeAllowed(width, rows) && width * rows > kDecodedPixels;
}

[[noreturn]] void Fail(const char* what, int width, int height) {
    std::fprintf(stderr, "fuzz_bmp: %s (picture %d x %d)\n", what, width, height);
    std::abort();
}

void CheckPicture(const Bitmap32& bitmap, uint8_t alpha) {
    const int width = bitmap.Width(), height = bitmap.Height();
    if (!PictureSizeAllowed(width, height)) Fail("a picture beyond the size limits was returned", width, height);
    if (bitmap.Pixels().size() != std::size_t(width) * std::size_t(height))
        Fail("the pixel count does not match the size", width, height);
    if (int64_t(width) * height > kBlendedPixels) return;

    for (const Pixel pixel : bitmap.Pixels())
        if (pixel >> 24 != 0) Fail("a pixel has bits above its red channel", width, height);

    Picture picture;
    picture.kind = PictureKind::Bitmap;
    picture.pixels = bitmap;
    LinuxBlendLibrary library;
    const auto blend = library.Load();
    if (!blend) Fail("the blend library did not load", width, height);
    for (const uint8_t a : {uint8_t(0), alpha, uint8_t(255)}) {
        const Bitmap32 blended = BlendIntoBlack(*blend, picture, a);
        if (blended.Width() != width || blended.Height() != height)
            Fail("the blend changed the size", width, height);
        for (std::size_t i = 0; i < blended.Pixels().size(); ++i) {
            const Pixel from = bitmap.Pixels()[i], to = blended.Pixels()[i];
            // Over black each channel is round(channel x alpha / 255).
            auto expect = [a](unsigned channel) { return uint8_t((channel * a + 127u) / 255u); };
            if (to != MakeRgb(expect(RedOf(from)), expect(GreenOf(from)), expect(BlueOf(from))))
                Fail("a blended pixel is wrong", width, height);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (LargeButAllowed(data, size)) return -1;  // kept out of the corpus
    const std::optional<Bitmap32> picture = DecodeBmpBytes(data, size);
    if (picture) CheckPicture(*picture, size > 0 ? data[size - 1] : 128);
    return 0;
}

// Feeds arbitrary bytes to the JPEG decoder; a picture it returns must be
// within the size limits, hold exactly one pixel per place and blend into
// black exactly.
//
// A picture within the limits but larger than kDecodedPixels is not decoded:
// at the full 128 megapixels one decode takes longer than the run's time
// limit under the sanitizers. Headers beyond the limits still go to the
// decoder, which must refuse them.
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "platform/linux/linux_blend.h"
#include "platform/linux/linux_pictures.h"
#include "wallpaper/picture.h"

using namespace duskpane;

namespace {

// Pictures up to this many pixels are also blended; larger ones would only
// slow the run down without reaching other code.
constexpr int64_t kBlendedPixels = 1 << 18;
constexpr int64_t kDecodedPixels = 1 << 20;

struct HeaderErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void LeaveHeader(j_common_ptr info) {
    std::longjmp(reinterpret_cast<HeaderErrors*>(info->err)->jump, 1);
}

void Quiet(j_common_ptr, int) {}

// True when the header names a picture within the limits that is too large
// to decode here; false for anything else, an unreadable header included.
bool LargeButAllowed(const uint8_t* data, std::size_t size) {
    jpeg_decompress_struct info{};
    HeaderErrors errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = LeaveHeader;
    errors.manager.emit_message = Quiet;
    bool large = false;
    if (setjmp(errors.jump) == 0) {
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
        if (jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK) {
            const int64_t width = info.image_width, height = info.image_height;
            large = PictureSizeAllowed(width, height) && width * height > kDecodedPixels;
        }
    }
    jpeg_destroy_decompress(&info);
    return large;
}

[[noreturn]] void Fail(const char* what, int width, int height) {
    std::fprintf(stderr, "fuzz_jpeg: %s (picture %d x %d)\n", what, width, height);
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
    picture.kind = PictureKind::Jpeg;
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
    int warnings = -1;
    const std::optional<Bitmap32> picture = DecodeJpegBytes(data, size, &warnings);
    if (warnings < 0) Fail("the warning count was not given", 0, 0);
    if (picture) CheckPicture(*picture, size > 0 ? data[size - 1] : 128);
    return 0;
}

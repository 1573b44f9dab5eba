// Feeds arbitrary bytes to the JPEG decoder; a picture it returns must be
// within the size limits, hold exactly one pixel per place, blend into black
// exactly, and its centred parts decoded alone must be those parts of it.
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

#include "picture_checks.h"

using namespace duskpane;
using duskpane::fuzz::CheckPicture;
using duskpane::fuzz::kDecodedPixels;

namespace {

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
            large = PictureSidesAllowed(width, height) && width * height > kDecodedPixels;
        }
    }
    jpeg_destroy_decompress(&info);
    return large;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (LargeButAllowed(data, size)) return -1;  // kept out of the corpus
    int warnings = -1;
    const std::optional<Bitmap32> picture = DecodeJpegBytes(data, size, &warnings);
    if (warnings < 0) duskpane::fuzz::Fail("fuzz_jpeg", "the warning count was not given", 0, 0);
    if (!picture) return 0;
    const uint8_t seed = size > 0 ? data[size - 1] : 128;
    CheckPicture("fuzz_jpeg", PictureKind::Jpeg, *picture, seed);
    duskpane::fuzz::CheckParts(
        "fuzz_jpeg", *picture,
        [data, size](const PictureRequest& request) {
            MemoryBytes bytes(data, size);
            return DecodeJpeg(bytes, request);
        },
        seed, false);
    return 0;
}

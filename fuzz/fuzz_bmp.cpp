// Feeds arbitrary bytes to the BMP reader; a picture it returns must be
// within the size limits, hold exactly one pixel per place, blend into black
// exactly, and its parts decoded alone must be those parts of it.
//
// A picture within the limits but larger than kDecodedPixels is not decoded:
// a compressed file of a few bytes may name 128 megapixels, and filling that
// many takes seconds under the sanitizers. Headers beyond the limits still go
// to the decoder, which must refuse them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "picture_checks.h"
#include "ui/bmp_reader.h"

using namespace duskpane;
using duskpane::fuzz::CheckPicture;
using duskpane::fuzz::kDecodedPixels;

namespace {

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
    return PictureSidesAllowed(width, rows) && width * rows > kDecodedPixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (LargeButAllowed(data, size)) return -1;  // kept out of the corpus
    const std::optional<Bitmap32> picture = DecodeBmpBytes(data, size);
    if (!picture) return 0;
    const uint8_t seed = size > 0 ? data[size - 1] : 128;
    CheckPicture("fuzz_bmp", PictureKind::Bitmap, *picture, seed);
    duskpane::fuzz::CheckParts(
        "fuzz_bmp", *picture,
        [data, size](const PictureRequest& request) {
            MemoryBytes bytes(data, size);
            return DecodeBmp(bytes, request);
        },
        seed, true);
    return 0;
}

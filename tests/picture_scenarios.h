// Picture decoder scenarios run on every backend through a small probe: the
// part kept of a picture is exactly that part of its whole decode, a reduced
// picture is the whole at a smaller scale, and damaged files get one decision.
//
// A probe gives the backend's decoder, writes a file where that decoder reads
// it (Write), and makes the backend's JPEG file of a fixture (Jpeg): the
// fixture itself where the backend decodes real JPEG files.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bmp_files.h"
#include "platform/headless/headless_pictures.h"
#include "platform/platform.h"

namespace duskpane::picture_scenarios {

using Bytes = std::vector<uint8_t>;

// The fixtures' pattern: red across, green down, blue in cells of 3 x 5.
inline Bitmap32 Pattern(int width, int height) {
    Bitmap32 bitmap(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap.Set(x, y,
                       MakeRgb(uint8_t(width > 1 ? x * 255 / (width - 1) : 0),
                               uint8_t(height > 1 ? y * 255 / (height - 1) : 0), (x / 3 + y / 5) % 2 ? 230 : 40));
    return bitmap;
}

// The JPEG files of tests/fixtures/make_picture_fixtures.sh.
struct JpegFixture {
    const char* file;
    int width;
    int height;
};
inline const JpegFixture kJpegFixtures[] = {
    {"pattern_61x45_420.jpg", 61, 45},
    {"pattern_50x37_422_restart.jpg", 50, 37},
    {"pattern_45x61_420_progressive.jpg", 45, 61},
    {"pattern_45x61_440.jpg", 45, 61},
    {"pattern_50x37_444_progressive.jpg", 50, 37},
    {"pattern_61x45_grey.jpg", 61, 45},
};

inline Bytes ReadFixture(const std::string& name) {
    std::ifstream in(std::string(DUSKPANE_SOURCE_DIR) + "/tests/fixtures/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Probes of backends that decode real JPEG files.
inline Bytes FixtureJpeg(const JpegFixture& fixture) { return ReadFixture(fixture.file); }
// The headless backend's stand-in for a fixture.
inline Bytes StandInJpeg(const JpegFixture& fixture) {
    return MakeHeadlessJpegFile(Pattern(fixture.width, fixture.height));
}

// The whole picture of a file, as the decoder gives it.
inline std::optional<Bitmap32> WholeBmp(PictureDecoder& decoder, const std::string& path) {
    std::optional<DecodedPicture> picture = decoder.DecodeBmp(path, PictureRequest::Whole());
    if (!picture) return std::nullopt;
    return std::move(picture->pixels);
}
inline std::optional<Bitmap32> WholeJpeg(PictureDecoder& decoder, const std::string& path) {
    std::optional<DecodedPicture> picture = decoder.DecodeJpeg(path, PictureRequest::Whole());
    if (!picture) return std::nullopt;
    return std::move(picture->pixels);
}

inline Bitmap32 Crop(const Bitmap32& from, int left, int top, int width, int height) {
    Bitmap32 part(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) part.Set(x, y, from.At(left + x, top + y));
    return part;
}

// A run-length (RLE8) file of a picture of palette indexes, runs of equal
// indexes row by row from the bottom, each row ended and the picture too.
inline Bytes MakeRle8(const std::vector<Pixel>& palette, const std::vector<std::vector<uint8_t>>& rows) {
    bmp_files::BmpFile file;
    file.bits = 8;
    file.compression = 1;
    file.width = int32_t(rows[0].size());
    file.height = int32_t(rows.size());
    file.palette = palette;
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        for (std::size_t x = 0; x < row->size();) {
            std::size_t count = 1;
            while (x + count < row->size() && count < 255 && (*row)[x + count] == (*row)[x]) ++count;
            file.pixels.insert(file.pixels.end(), {uint8_t(count), (*row)[x]});
            x += count;
        }
        file.pixels.insert(file.pixels.end(), {0, 0});
    }
    file.pixels.insert(file.pixels.end(), {0, 1});
    return file.Bytes();
}

// A picture in each BMP layout: its file and the picture it holds.
struct BmpSample {
    std::string name;
    Bytes file;
    Bitmap32 picture;
};

inline std::vector<BmpSample> BmpSamples(int width, int height) {
    const Bitmap32 pattern = Pattern(width, height);
    std::vector<BmpSample> samples = {{"24 bits, bottom-up", MakeBmpFile(pattern, 24, false), pattern},
                                      {"32 bits, top-down", MakeBmpFile(pattern, 32, true), pattern}};
    // Indexed ones, each index standing for a colour of the table.
    std::vector<Pixel> palette;
    for (int i = 0; i < 16; ++i) palette.push_back(MakeRgb(uint8_t(i * 16), uint8_t(255 - i * 9), uint8_t(i * i)));
    for (const int bits : {1, 4}) {
        bmp_files::BmpFile file;
        file.bits = uint16_t(bits);
        file.width = width;
        file.height = height;
        file.palette.assign(palette.begin(), palette.begin() + (1 << bits));
        Bitmap32 picture(width, height);
        std::vector<std::vector<uint8_t>> stored;
        for (int y = height - 1; y >= 0; --y) {
            std::vector<uint8_t> row((std::size_t(width) * std::size_t(bits) + 7) / 8);
            for (int x = 0; x < width; ++x) {
                const unsigned index = unsigned(x / 2 + y) % (1u << bits);
                picture.Set(x, y, palette[index]);
                const std::size_t bit = std::size_t(x) * std::size_t(bits);
                row[bit / 8] |= uint8_t(index << (8 - bits - bit % 8));
            }
            stored.push_back(row);
        }
        file.pixels = bmp_files::Rows(stored);
        samples.push_back({std::to_string(bits) + " bits", file.Bytes(), picture});
    }
    auto indexes = std::vector<std::vector<uint8_t>>(std::size_t(height), std::vector<uint8_t>(std::size_t(width)));
    Bitmap32 runs(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            indexes[std::size_t(y)][std::size_t(x)] = uint8_t((x / 4 + y / 3) % 16);
            runs.Set(x, y, palette[indexes[std::size_t(y)][std::size_t(x)]]);
        }
    samples.push_back({"RLE8", MakeRle8(palette, indexes), runs});
    return samples;
}

// Areas to centre a picture of width x height on: smaller and larger in each
// direction, by odd and even amounts, and the same size.
inline std::vector<std::pair<int, int>> Areas(int width, int height) {
    auto at_least_1 = [](int side) { return std::max(1, side); };
    return {{at_least_1(width - 1), at_least_1(height - 1)},
            {at_least_1(width - 2), height + 3},
            {width + 5, at_least_1(height - 4)},
            {width / 2 + 1, at_least_1(height / 3)},
            {1, 1},
            {width, height},
            {2 * width, 2 * height}};
}

template <typename Probe>
class PictureDecoderTest : public ::testing::Test {
protected:
    enum class Format { Bmp, Jpeg };

    std::optional<DecodedPicture> Decode(Format format, const std::string& path, const PictureRequest& request) {
        PictureDecoder& decoder = probe.Decoder();
        return format == Format::Bmp ? decoder.DecodeBmp(path, request) : decoder.DecodeJpeg(path, request);
    }

    // Every centred part of the file equals that part of its whole decode.
    void ExpectPartsOfTheWhole(Format format, const std::string& path, const std::string& what) {
        const std::optional<DecodedPicture> whole = Decode(format, path, PictureRequest::Whole());
        ASSERT_TRUE(whole) << what;
        const int width = whole->width, height = whole->height;
        ASSERT_EQ(whole->pixels.Width(), width) << what;
        ASSERT_EQ(whole->pixels.Height(), height) << what;
        for (const auto& [areaWidth, areaHeight] : Areas(width, height)) {
            const std::optional<DecodedPicture> part =
                Decode(format, path, PictureRequest::Centred(areaWidth, areaHeight));
            ASSERT_TRUE(part) << what << " on " << areaWidth << " x " << areaHeight;
            const int keptWidth = std::min(width, areaWidth), keptHeight = std::min(height, areaHeight);
            EXPECT_EQ(part->width, width);
            EXPECT_EQ(part->height, height);
            EXPECT_EQ(part->left, (width - keptWidth) / 2) << what << " on " << areaWidth << " x " << areaHeight;
            EXPECT_EQ(part->top, (height - keptHeight) / 2) << what << " on " << areaWidth << " x " << areaHeight;
            EXPECT_EQ(part->pixels, Crop(whole->pixels, part->left, part->top, keptWidth, keptHeight))
                << what << " on " << areaWidth << " x " << areaHeight;
        }
    }

    Probe probe;
};

TYPED_TEST_SUITE_P(PictureDecoderTest);

TYPED_TEST_P(PictureDecoderTest, TheKeptPartOfAPictureIsThatPartOfItsWholeDecode) {
    using Format = typename TestFixture::Format;
    for (const JpegFixture& fixture : kJpegFixtures) {
        const std::string path = this->probe.Write(fixture.file, this->probe.Jpeg(fixture));
        this->ExpectPartsOfTheWhole(Format::Jpeg, path, fixture.file);
    }
    for (const auto& [width, height] : {std::pair{61, 45}, {13, 40}, {40, 1}}) {
        for (const BmpSample& sample : BmpSamples(width, height)) {
            const std::string what = sample.name + " " + std::to_string(width) + " x " + std::to_string(height);
            const std::string path = this->probe.Write("sample.bmp", sample.file);
            const std::optional<DecodedPicture> whole = this->Decode(Format::Bmp, path, PictureRequest::Whole());
            ASSERT_TRUE(whole) << what;
            EXPECT_EQ(whole->pixels, sample.picture) << what;
            this->ExpectPartsOfTheWhole(Format::Bmp, path, what);
        }
    }
}

TYPED_TEST_P(PictureDecoderTest, AReducedPictureIsTheWholeAtTheSmallestScaleStillAsLargeAsAsked) {
    using Format = typename TestFixture::Format;
    struct Case {
        int width, height;  // asked for, of a 61 x 45 picture
        int expectedWidth, expectedHeight;
    };
    const Case cases[] = {{12, 10, 16, 12}, {8, 6, 8, 6},     {16, 12, 16, 12}, {17, 12, 31, 23},
                          {31, 23, 31, 23}, {31, 24, 61, 45}, {62, 5, 61, 45}};
    const std::string jpeg = this->probe.Write("reduced.jpg", this->probe.Jpeg(kJpegFixtures[0]));
    const std::string bmp = this->probe.Write("reduced.bmp", MakeBmpFile(Pattern(61, 45)));
    for (const auto& [format, path] : {std::pair{Format::Jpeg, jpeg}, {Format::Bmp, bmp}}) {
        for (const Case& c : cases) {
            const std::optional<DecodedPicture> reduced =
                this->Decode(format, path, PictureRequest::Reduced(c.width, c.height));
            ASSERT_TRUE(reduced) << path << " " << c.width << " x " << c.height;
            EXPECT_EQ(reduced->pixels.Width(), c.expectedWidth) << path << " " << c.width << " x " << c.height;
            EXPECT_EQ(reduced->pixels.Height(), c.expectedHeight) << path << " " << c.width << " x " << c.height;
            EXPECT_EQ(reduced->width, 61);
            EXPECT_EQ(reduced->height, 45);
            // Red runs across and green down: the whole picture is there,
            // from edge to edge.
            const Bitmap32& p = reduced->pixels;
            EXPECT_LT(RedOf(p.At(0, p.Height() / 2)), 50) << path;
            EXPECT_GT(RedOf(p.At(p.Width() - 1, p.Height() / 2)), 205) << path;
            EXPECT_LT(GreenOf(p.At(p.Width() / 2, 0)), 50) << path;
            EXPECT_GT(GreenOf(p.At(p.Width() / 2, p.Height() - 1)), 205) << path;
        }
    }
}

TYPED_TEST_P(PictureDecoderTest, AFileWhoseDataEndsBeforeItsPictureFailsAndOnlyThen) {
    using Format = typename TestFixture::Format;
    using bmp_files::BmpFile;
    using bmp_files::Cut;
    const Pixel red = MakeRgb(255, 0, 0), green = MakeRgb(0, 255, 0);
    std::vector<Pixel> greys;
    for (int i = 0; i < 256; ++i) greys.push_back(MakeRgb(uint8_t(i), uint8_t(i), uint8_t(i)));
    auto rle = [&](int bits, int width, int height, const Bytes& codes) {
        BmpFile file;
        file.bits = uint16_t(bits);
        file.compression = bits == 8 ? 1 : 2;
        file.width = width;
        file.height = height;
        file.palette.assign(greys.begin(), greys.begin() + (1 << bits));
        file.pixels = codes;
        return file.Bytes();
    };
    // 7 x 6 at 24 bits: 54 bytes of headers, rows of 21 bytes padded to 24.
    const Bitmap32 small = Pattern(7, 6);
    const Bytes uncompressed = MakeBmpFile(small);
    // Four white pixels bottom left, a move 3 right and 2 up, two white, the
    // end of that line, one grey 7, the early end of the picture.
    const Bytes skipping = rle(8, 12, 8, {4, 255, 0, 2, 3, 2, 2, 255, 0, 0, 1, 7, 0, 1});
    Bitmap32 skipped(12, 8, kBlack);
    for (int x = 0; x < 4; ++x) skipped.Set(x, 7, kWhite);
    skipped.Set(7, 5, kWhite);
    skipped.Set(8, 5, kWhite);
    skipped.Set(0, 4, greys[7]);
    BmpFile indexed;
    indexed.bits = 8;
    indexed.width = 3;
    indexed.palette = {red, green};
    indexed.pixels = bmp_files::Rows({{1, 200, 0}});

    struct Case {
        const char* name;
        Format format;
        Bytes file;
        bool decodes;
        std::optional<Bitmap32> picture;  // what it shows, where the case says
    };
    const Bytes jpeg = this->probe.Jpeg(kJpegFixtures[0]);
    const Bytes progressive = this->probe.Jpeg(kJpegFixtures[2]);
    const Case cases[] = {
        {"uncompressed, whole", Format::Bmp, uncompressed, true, small},
        {"uncompressed, the last row without its padding", Format::Bmp, Cut(uncompressed, uncompressed.size() - 3),
         true, small},
        {"uncompressed, the last pixel's last byte missing", Format::Bmp, Cut(uncompressed, uncompressed.size() - 4),
         false, {}},
        {"uncompressed, half the rows missing", Format::Bmp, Cut(uncompressed, 54 + 3 * 24), false, {}},
        {"colour indexes past the colour table", Format::Bmp, indexed.Bytes(), true,
         bmp_files::Picture({{green, kBlack, red}})},
        {"run-length, skipping pixels on purpose", Format::Bmp, skipping, true, skipped},
        {"run-length, every row ended but no end of picture", Format::Bmp, rle(8, 2, 2, {2, 255, 0, 0, 2, 9, 0, 0}),
         true, bmp_files::Picture({{greys[9], greys[9]}, {kWhite, kWhite}})},
        {"run-length, the last row filled and nothing after", Format::Bmp, rle(8, 2, 2, {2, 255, 0, 0, 2, 9}),
         true, bmp_files::Picture({{greys[9], greys[9]}, {kWhite, kWhite}})},
        {"run-length, data ending with rows to come", Format::Bmp, rle(8, 2, 3, {2, 255, 0, 0}), false, {}},
        {"run-length, cut inside a run of pixels as they are", Format::Bmp, rle(8, 4, 1, {0, 4, 1, 2}), false,
         {}},
        {"run-length, four bits, data ending with rows to come", Format::Bmp, rle(4, 3, 2, {3, 0x12, 0, 0, 2}),
         false, {}},
        {"JPEG, whole", Format::Jpeg, jpeg, true, {}},
        {"JPEG, cut inside its scan", Format::Jpeg, Cut(jpeg, jpeg.size() * 3 / 5), false, {}},
        {"JPEG, without its end of image", Format::Jpeg, Cut(jpeg, jpeg.size() - 2), false, {}},
        {"progressive JPEG, cut inside its last scans", Format::Jpeg, Cut(progressive, progressive.size() * 4 / 5),
         false, {}},
    };
    for (const Case& c : cases) {
        const std::string path = this->probe.Write(c.format == Format::Bmp ? "damaged.bmp" : "damaged.jpg", c.file);
        // The decision is the same however little of the picture is kept.
        for (const PictureRequest& request : {PictureRequest::Whole(), PictureRequest::Centred(1, 1)}) {
            const std::optional<DecodedPicture> decoded = this->Decode(c.format, path, request);
            EXPECT_EQ(decoded.has_value(), c.decodes) << c.name;
            if (decoded && c.picture && request.fit == PictureRequest::Fit::Whole) {
                EXPECT_EQ(decoded->pixels, *c.picture) << c.name;
            }
        }
    }
}

REGISTER_TYPED_TEST_SUITE_P(PictureDecoderTest, TheKeptPartOfAPictureIsThatPartOfItsWholeDecode,
                            AReducedPictureIsTheWholeAtTheSmallestScaleStillAsLargeAsAsked,
                            AFileWhoseDataEndsBeforeItsPictureFailsAndOnlyThen);

}  // namespace duskpane::picture_scenarios

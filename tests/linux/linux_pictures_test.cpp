// Tests of the Linux JPEG decoder, the picture files and the software blend.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include <jpeglib.h>

#include "platform/headless/headless_pictures.h"
#include "platform/linux/linux_blend.h"
#include "platform/linux/linux_pictures.h"

namespace duskpane {

namespace {

struct JpegRecipe {
    int width = 32;
    int height = 32;
    J_COLOR_SPACE input = JCS_RGB;
    int components = 3;
    std::optional<J_COLOR_SPACE> stored;  // colour space in the file when not the default
    bool progressive = false;
    bool adobeMarker = true;
    std::vector<jpeg_scan_info> scans;  // a scan script of its own
};

// Compresses samples (rows from the top, `components` bytes a pixel) with libjpeg.
std::vector<uint8_t> MakeJpeg(const JpegRecipe& recipe, const std::vector<uint8_t>& samples) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long bufferSize = 0;
    jpeg_mem_dest(&info, &buffer, &bufferSize);
    info.image_width = JDIMENSION(recipe.width);
    info.image_height = JDIMENSION(recipe.height);
    info.input_components = recipe.components;
    info.in_color_space = recipe.input;
    jpeg_set_defaults(&info);
    if (recipe.stored) jpeg_set_colorspace(&info, *recipe.stored);
    if (!recipe.adobeMarker) info.write_Adobe_marker = FALSE;
    jpeg_set_quality(&info, 95, TRUE);
    if (recipe.progressive) jpeg_simple_progression(&info);
    if (!recipe.scans.empty()) {
        info.scan_info = recipe.scans.data();
        info.num_scans = int(recipe.scans.size());
    }
    jpeg_start_compress(&info, TRUE);
    const std::size_t rowSize = std::size_t(recipe.width) * std::size_t(recipe.components);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(samples.data() + info.next_scanline * rowSize);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<uint8_t> bytes(buffer, buffer + bufferSize);
    jpeg_destroy_compress(&info);
    free(buffer);
    return bytes;
}

// Four 16 × 16 quadrants: red, green / blue, white.
const Pixel kQuadrants[4] = {MakeRgb(255, 0, 0), MakeRgb(0, 255, 0), MakeRgb(0, 0, 255), kWhite};

std::vector<uint8_t> QuadrantSamples() {
    std::vector<uint8_t> samples;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const Pixel p = kQuadrants[(y / 16) * 2 + x / 16];
            samples.insert(samples.end(), {RedOf(p), GreenOf(p), BlueOf(p)});
        }
    return samples;
}

// Samples of one colour in any number of components.
std::vector<uint8_t> SolidSamples(int width, int height, std::vector<uint8_t> colour) {
    std::vector<uint8_t> samples;
    for (int i = 0; i < width * height; ++i) samples.insert(samples.end(), colour.begin(), colour.end());
    return samples;
}

::testing::AssertionResult Near(Pixel actual, Pixel expected, int tolerance) {
    const int dr = std::abs(RedOf(actual) - RedOf(expected));
    const int dg = std::abs(GreenOf(actual) - GreenOf(expected));
    const int db = std::abs(BlueOf(actual) - BlueOf(expected));
    if (dr <= tolerance && dg <= tolerance && db <= tolerance) return ::testing::AssertionSuccess();
    char text[80];
    std::snprintf(text, sizeof text, "got %06X, expected %06X (tolerance %d)", unsigned(actual),
                  unsigned(expected), tolerance);
    return ::testing::AssertionFailure() << text;
}

std::optional<Bitmap32> Decode(const std::vector<uint8_t>& bytes, int* warnings = nullptr) {
    return DecodeJpegBytes(bytes.data(), bytes.size(), warnings);
}

// The position of a marker's 0xFF byte.
std::size_t FindMarker(const std::vector<uint8_t>& bytes, uint8_t marker) {
    for (std::size_t i = 2; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == marker) return i;
    return bytes.size();
}

// The same file with the frame header claiming another size.
std::vector<uint8_t> WithClaimedSize(std::vector<uint8_t> bytes, uint16_t width, uint16_t height) {
    const std::size_t frame = FindMarker(bytes, 0xC0);
    EXPECT_LT(frame, bytes.size());
    bytes[frame + 5] = uint8_t(height >> 8);
    bytes[frame + 6] = uint8_t(height);
    bytes[frame + 7] = uint8_t(width >> 8);
    bytes[frame + 8] = uint8_t(width);
    return bytes;
}

// A grayscale progressive script: the DC scan, then every AC coefficient in
// a band of its own, sent at the given precision and refined bit by bit.
std::vector<jpeg_scan_info> ManyScans(int precisionBits) {
    std::vector<jpeg_scan_info> scans;
    scans.push_back({1, {0, 0, 0, 0}, 0, 0, 0, 0});
    for (int k = 1; k < 64; ++k) {
        scans.push_back({1, {0, 0, 0, 0}, k, k, 0, precisionBits});
        for (int bit = precisionBits; bit > 0; --bit) scans.push_back({1, {0, 0, 0, 0}, k, k, bit, bit - 1});
    }
    return scans;
}

}  // namespace

TEST(LinuxJpegTest, BaselineAndProgressiveDecodeToTheirColours) {
    JpegRecipe recipe;
    const std::vector<uint8_t> baseline = MakeJpeg(recipe, QuadrantSamples());
    recipe.progressive = true;
    const std::vector<uint8_t> progressive = MakeJpeg(recipe, QuadrantSamples());
    ASSERT_LT(FindMarker(baseline, 0xC0), baseline.size());
    ASSERT_LT(FindMarker(progressive, 0xC2), progressive.size());

    for (const auto* bytes : {&baseline, &progressive}) {
        int warnings = -1;
        const std::optional<Bitmap32> bitmap = Decode(*bytes, &warnings);
        ASSERT_TRUE(bitmap);
        EXPECT_EQ(warnings, 0);
        ASSERT_EQ(bitmap->Width(), 32);
        ASSERT_EQ(bitmap->Height(), 32);
        for (int quadrant = 0; quadrant < 4; ++quadrant) {
            const int left = (quadrant % 2) * 16, top = (quadrant / 2) * 16;
            EXPECT_TRUE(Near(bitmap->At(left + 2, top + 2), kQuadrants[quadrant], 6)) << quadrant;
            EXPECT_TRUE(Near(bitmap->At(left + 13, top + 13), kQuadrants[quadrant], 6)) << quadrant;
        }
        for (Pixel p : bitmap->Pixels()) ASSERT_EQ(p >> 24, 0u) << "the top byte of a pixel is always 0";
    }
}

TEST(LinuxJpegTest, GrayscaleDecodesToEqualChannels) {
    JpegRecipe recipe;
    recipe.input = JCS_GRAYSCALE;
    recipe.components = 1;
    std::vector<uint8_t> samples;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) samples.push_back(y < 16 ? 40 : 200);
    const std::optional<Bitmap32> bitmap = Decode(MakeJpeg(recipe, samples));
    ASSERT_TRUE(bitmap);
    EXPECT_TRUE(Near(bitmap->At(5, 5), MakeRgb(40, 40, 40), 3));
    EXPECT_TRUE(Near(bitmap->At(5, 28), MakeRgb(200, 200, 200), 3));
    for (Pixel p : bitmap->Pixels()) ASSERT_TRUE(RedOf(p) == GreenOf(p) && GreenOf(p) == BlueOf(p));
}

TEST(LinuxJpegTest, CmykFilesFollowTheAdobeMarker) {
    // Ink for orange-ish red with some black: C 0, M 128, Y 255, K 64, which
    // shows as R 191, G 95, B 0.
    const Pixel expected = MakeRgb(191, 95, 0);
    const std::vector<uint8_t> ink = {0, 128, 255, 64};
    const std::vector<uint8_t> inverted = {255, 127, 0, 191};

    JpegRecipe recipe;
    recipe.width = recipe.height = 16;
    recipe.input = JCS_CMYK;
    recipe.components = 4;
    recipe.stored = JCS_CMYK;
    // Adobe's inverted CMYK, stored as it is and as YCCK.
    const std::optional<Bitmap32> adobe = Decode(MakeJpeg(recipe, SolidSamples(16, 16, inverted)));
    recipe.stored = JCS_YCCK;
    const std::optional<Bitmap32> ycck = Decode(MakeJpeg(recipe, SolidSamples(16, 16, inverted)));
    // Plain ink values without the marker.
    recipe.stored = JCS_CMYK;
    recipe.adobeMarker = false;
    const std::optional<Bitmap32> plain = Decode(MakeJpeg(recipe, SolidSamples(16, 16, ink)));

    ASSERT_TRUE(adobe && ycck && plain);
    EXPECT_TRUE(Near(adobe->At(8, 8), expected, 4));
    EXPECT_TRUE(Near(ycck->At(8, 8), expected, 4));
    EXPECT_TRUE(Near(plain->At(8, 8), expected, 4));
}

TEST(LinuxJpegTest, TruncatedFileDecodesWithItsMissingPartGrey) {
    JpegRecipe recipe;
    recipe.width = recipe.height = 64;
    const std::vector<uint8_t> whole = MakeJpeg(recipe, SolidSamples(64, 64, {255, 0, 0}));
    const std::size_t scan = FindMarker(whole, 0xDA);
    ASSERT_LT(scan, whole.size());
    const std::size_t scanData = scan + 2 + (std::size_t(whole[scan + 2]) << 8 | whole[scan + 3]);
    const std::vector<uint8_t> cut(whole.begin(), whole.begin() + long(scanData + (whole.size() - 2 - scanData) / 2));

    int warnings = 0;
    const std::optional<Bitmap32> bitmap = Decode(cut, &warnings);
    ASSERT_TRUE(bitmap);
    EXPECT_GT(warnings, 0);
    EXPECT_EQ(bitmap->Width(), 64);
    EXPECT_EQ(bitmap->Height(), 64);
    EXPECT_TRUE(Near(bitmap->At(10, 2), MakeRgb(255, 0, 0), 6));
    EXPECT_TRUE(Near(bitmap->At(10, 62), MakeRgb(128, 128, 128), 3));

    // Cut inside the headers, nothing of the picture is there: it fails.
    for (std::size_t length : {std::size_t(0), std::size_t(1), std::size_t(2), scan / 2, scan})
        EXPECT_FALSE(Decode(std::vector<uint8_t>(whole.begin(), whole.begin() + long(length)))) << length;
}

TEST(LinuxJpegTest, GarbageAndEmptyDataFail) {
    EXPECT_FALSE(DecodeJpegBytes(nullptr, 0));
    const std::vector<uint8_t> empty;
    EXPECT_FALSE(Decode(empty));
    const std::vector<uint8_t> text = {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'};
    EXPECT_FALSE(Decode(text));
    EXPECT_FALSE(Decode({0xFF, 0xD8, 0xFF, 0xD9}));
    EXPECT_FALSE(Decode(MakeBmpFile(Bitmap32(4, 4, kWhite))));
}

TEST(LinuxJpegTest, SizeLimitIsCheckedBeforeDecoding) {
    JpegRecipe recipe;
    recipe.width = recipe.height = 16;
    const std::vector<uint8_t> small = MakeJpeg(recipe, SolidSamples(16, 16, {0, 0, 255}));
    // 65000 × 65000 would need 16.5 GB; it fails at the header.
    EXPECT_FALSE(Decode(WithClaimedSize(small, 65000, 65000)));
    EXPECT_FALSE(Decode(WithClaimedSize(small, 16385, 8)));
    EXPECT_FALSE(Decode(WithClaimedSize(small, 8, 16385)));
    EXPECT_FALSE(Decode(WithClaimedSize(small, 16384, 8193)));  // one row more than 128 megapixels
    // At the limit the picture decodes, its missing part grey.
    int warnings = 0;
    const std::optional<Bitmap32> widest = Decode(WithClaimedSize(small, 16384, 8), &warnings);
    ASSERT_TRUE(widest);
    EXPECT_EQ(widest->Width(), 16384);
    EXPECT_GT(warnings, 0);
    EXPECT_TRUE(Near(widest->At(16000, 4), MakeRgb(128, 128, 128), 3));
}

TEST(LinuxJpegTest, ProgressiveFileWithTooManyScansFails) {
    JpegRecipe recipe;
    recipe.width = recipe.height = 8;
    recipe.input = JCS_GRAYSCALE;
    recipe.components = 1;
    recipe.scans = ManyScans(4);  // 316 scans
    ASSERT_LE(recipe.scans.size(), std::size_t(kJpegMaxScans));
    const std::optional<Bitmap32> allowed = Decode(MakeJpeg(recipe, SolidSamples(8, 8, {90})));
    ASSERT_TRUE(allowed);
    EXPECT_TRUE(Near(allowed->At(4, 4), MakeRgb(90, 90, 90), 3));

    recipe.scans = ManyScans(10);  // 694 scans
    ASSERT_GT(recipe.scans.size(), std::size_t(kJpegMaxScans));
    EXPECT_FALSE(Decode(MakeJpeg(recipe, SolidSamples(8, 8, {90}))));
}

class LinuxPictureFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "duskpane-pictures-XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string path = folder_ + "/" + name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    std::streamsize(bytes.size()));
        return path;
    }

    LinuxPictureDecoder decoder_;
    std::string folder_;
};

TEST_F(LinuxPictureFilesTest, DecodesFilesByContent) {
    Bitmap32 picture(3, 2, kWhite);
    picture.Set(0, 0, MakeRgb(10, 20, 30));
    const std::string bmp = Write("壁紙.bmp", MakeBmpFile(picture));
    const std::string jpeg = Write("夏.jpg", MakeJpeg(JpegRecipe{}, QuadrantSamples()));
    const std::string jpegNamedBmp = Write("photo.bmp", MakeJpeg(JpegRecipe{}, QuadrantSamples()));

    const std::optional<Bitmap32> fromBmp = decoder_.DecodeBmp(bmp);
    ASSERT_TRUE(fromBmp);
    EXPECT_EQ(*fromBmp, picture);
    const std::optional<Bitmap32> fromJpeg = decoder_.DecodeJpeg(jpeg);
    ASSERT_TRUE(fromJpeg);
    EXPECT_TRUE(Near(fromJpeg->At(20, 20), kWhite, 6));

    // The content decides, not the name: a JPEG is no BMP and a BMP no JPEG.
    EXPECT_FALSE(decoder_.DecodeBmp(jpegNamedBmp));
    EXPECT_FALSE(decoder_.DecodeBmp(jpeg));
    EXPECT_FALSE(decoder_.DecodeJpeg(bmp));
}

TEST_F(LinuxPictureFilesTest, AnythingButAReadablePictureFileFails) {
    const std::string empty = Write("empty.jpg", {});
    const std::string emptyBmp = Write("empty.bmp", {});
    const std::string garbage = Write("garbage.jpg", {0x12, 0x34, 0x56, 0x78, 0x9A});
    ASSERT_EQ(mkdir((folder_ + "/folder.jpg").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo((folder_ + "/pipe.jpg").c_str(), 0644), 0);
    const std::string unreadable = Write("locked.bmp", MakeBmpFile(Bitmap32(2, 2, kWhite)));
    ASSERT_EQ(chmod(unreadable.c_str(), 0), 0);

    EXPECT_FALSE(decoder_.DecodeJpeg(empty));
    EXPECT_FALSE(decoder_.DecodeBmp(emptyBmp));
    EXPECT_FALSE(decoder_.DecodeJpeg(garbage));
    EXPECT_FALSE(decoder_.DecodeJpeg(folder_ + "/folder.jpg"));
    EXPECT_FALSE(decoder_.DecodeBmp(folder_ + "/folder.jpg"));
    EXPECT_FALSE(decoder_.DecodeJpeg(folder_ + "/pipe.jpg"));  // does not wait for a writer
    EXPECT_FALSE(decoder_.DecodeJpeg(folder_ + "/missing.jpg"));
    EXPECT_FALSE(decoder_.DecodeJpeg(""));
    if (geteuid() != 0) {
        EXPECT_FALSE(decoder_.DecodeBmp(unreadable));
    }
}

TEST(LinuxBlendTest, BlendOverBlackRoundsLikeTheSystemBlend) {
    LinuxBlendLibrary library;
    const std::unique_ptr<BlendFunction> blend = library.Load();
    ASSERT_NE(blend, nullptr);

    Bitmap32 source(256, 1);
    for (int s = 0; s < 256; ++s) source.Set(s, 0, MakeRgb(uint8_t(s), uint8_t(255 - s), uint8_t(s / 2)));
    for (int alpha = 0; alpha < 256; ++alpha) {
        Bitmap32 target(256, 1, kBlack);
        ASSERT_TRUE(blend->AlphaBlend(target, source, uint8_t(alpha)));
        for (int s = 0; s < 256; ++s) {
            auto rounded = [alpha](int value) { return uint8_t(std::lround(value * alpha / 255.0)); };
            ASSERT_EQ(target.At(s, 0), MakeRgb(rounded(s), rounded(255 - s), rounded(s / 2)))
                << "source " << s << " alpha " << alpha;
        }
    }

    Bitmap32 white(2, 2, kWhite), black(2, 2, kBlack);
    ASSERT_TRUE(blend->AlphaBlend(black, white, 200));
    EXPECT_EQ(black.At(1, 1), MakeRgb(200, 200, 200));
    black.Fill(kBlack);
    ASSERT_TRUE(blend->AlphaBlend(black, white, 128));
    EXPECT_EQ(black.At(0, 0), MakeRgb(128, 128, 128));
}

TEST(LinuxBlendTest, BlendOverColourMixesBothAndRefusesOtherSizes) {
    const std::unique_ptr<BlendFunction> blend = LinuxBlendLibrary().Load();
    for (unsigned s = 0; s < 256; s += 5)
        for (unsigned d = 0; d < 256; d += 3) {
            ASSERT_EQ(BlendChannel(s, d, 255), s);
            ASSERT_EQ(BlendChannel(s, d, 0), d);
            ASSERT_EQ(BlendChannel(s, d, 100), uint8_t(std::lround((s * 100 + d * 155) / 255.0)));
        }

    Bitmap32 target(1, 1, MakeRgb(255, 0, 100));
    ASSERT_TRUE(blend->AlphaBlend(target, Bitmap32(1, 1, MakeRgb(0, 255, 100)), 128));
    EXPECT_EQ(target.At(0, 0), MakeRgb(127, 128, 100));

    Bitmap32 wrong(3, 2, MakeRgb(1, 2, 3));
    EXPECT_FALSE(blend->AlphaBlend(wrong, Bitmap32(2, 3, kWhite), 128));
    EXPECT_EQ(wrong, Bitmap32(3, 2, MakeRgb(1, 2, 3)));
    Bitmap32 nothing;
    EXPECT_TRUE(blend->AlphaBlend(nothing, Bitmap32(), 128));
}

}  // namespace duskpane

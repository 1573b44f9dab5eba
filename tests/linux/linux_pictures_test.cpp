// Tests of the Linux JPEG decoder and the picture files, and the decoder
// scenarios every backend runs.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <tuple>
#include <vector>

#include <jpeglib.h>

#include "../picture_scenarios.h"
#include "platform/headless/headless_pictures.h"
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

// The same file with the frame header (baseline or progressive) claiming
// another size.
std::vector<uint8_t> WithClaimedSize(std::vector<uint8_t> bytes, uint16_t width, uint16_t height) {
    const std::size_t frame = std::min(FindMarker(bytes, 0xC0), FindMarker(bytes, 0xC2));
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

TEST(LinuxJpegTest, AFileCutShortFailsAndSaysWhy) {
    JpegRecipe recipe;
    recipe.width = recipe.height = 64;
    const std::vector<uint8_t> whole = MakeJpeg(recipe, SolidSamples(64, 64, {255, 0, 0}));
    const std::size_t scan = FindMarker(whole, 0xDA);
    ASSERT_LT(scan, whole.size());
    int warnings = -1;
    ASSERT_TRUE(Decode(whole, &warnings));
    EXPECT_EQ(warnings, 0);
    // Cut inside the scan, inside the headers, or before anything at all.
    for (std::size_t length : {whole.size() / 2 + scan / 2, scan, scan / 2, std::size_t(2), std::size_t(0)}) {
        EXPECT_FALSE(Decode(std::vector<uint8_t>(whole.begin(), whole.begin() + long(length)), &warnings))
            << length;
        EXPECT_TRUE(length < 2 || warnings > 0) << length;
    }
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

TEST(LinuxJpegTest, SizeLimitsAreCheckedBeforeDecoding) {
    JpegRecipe recipe;
    recipe.width = recipe.height = 16;
    const std::vector<uint8_t> small = MakeJpeg(recipe, SolidSamples(16, 16, {0, 0, 255}));
    recipe.progressive = true;
    const std::vector<uint8_t> progressive = MakeJpeg(recipe, SolidSamples(16, 16, {0, 0, 255}));
    const PictureRequest screen = PictureRequest::Centred(1920, 1080);
    auto decode = [&screen](const std::vector<uint8_t>& bytes) {
        MemoryBytes file(bytes);
        return DecodeJpeg(file, screen);
    };
    // 65000 x 65000 would take minutes to pass over; it fails at the header.
    EXPECT_FALSE(decode(WithClaimedSize(small, 65000, 65000)));
    EXPECT_FALSE(decode(WithClaimedSize(small, 16385, 8)));
    EXPECT_FALSE(decode(WithClaimedSize(small, 8, 16385)));
    // Within the sides a picture of 256 megapixels decodes, only the middle
    // kept (here grey: the data is corrupt, not cut short); a progressive
    // one, held whole as coefficients, fails for its size.
    const std::optional<DecodedPicture> middle = decode(WithClaimedSize(small, 16384, 16384));
    ASSERT_TRUE(middle);
    EXPECT_EQ(std::tuple(middle->pixels.Width(), middle->pixels.Height(), middle->left, middle->top),
              std::tuple(1920, 1080, 7232, 7652));
    EXPECT_TRUE(Near(middle->pixels.At(960, 540), MakeRgb(128, 128, 128), 3));
    EXPECT_FALSE(decode(WithClaimedSize(progressive, 16384, 16384)));
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

// The files in a folder of their own under the decoder scenarios.
class LinuxProbe {
public:
    LinuxProbe() {
        std::string pattern = (std::filesystem::temp_directory_path() / "duskpane-probe-XXXXXX");
        if (mkdtemp(pattern.data()) != nullptr) folder_ = pattern;
    }
    ~LinuxProbe() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    PictureDecoder& Decoder() { return decoder_; }
    const std::string& Folder() const { return folder_; }
    std::string Write(const std::string& name, const picture_scenarios::Bytes& bytes) {
        const std::string path = folder_ + "/" + name;
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    picture_scenarios::Bytes Jpeg(const picture_scenarios::JpegFixture& fixture) {
        return picture_scenarios::FixtureJpeg(fixture);
    }

private:
    LinuxPictureDecoder decoder_;
    std::string folder_;
};

class LinuxPictureFilesTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) { return probe_.Write(name, bytes); }
    std::string Folder() const { return probe_.Folder(); }
    std::optional<Bitmap32> DecodeBmp(const std::string& path) {
        return picture_scenarios::WholeBmp(probe_.Decoder(), path);
    }
    std::optional<Bitmap32> DecodeJpeg(const std::string& path) {
        return picture_scenarios::WholeJpeg(probe_.Decoder(), path);
    }

private:
    LinuxProbe probe_;
};

TEST_F(LinuxPictureFilesTest, DecodesFilesByContent) {
    Bitmap32 picture(3, 2, kWhite);
    picture.Set(0, 0, MakeRgb(10, 20, 30));
    const std::string bmp = Write("壁紙.bmp", MakeBmpFile(picture));
    const std::string jpeg = Write("夏.jpg", MakeJpeg(JpegRecipe{}, QuadrantSamples()));
    const std::string jpegNamedBmp = Write("photo.bmp", MakeJpeg(JpegRecipe{}, QuadrantSamples()));

    const std::optional<Bitmap32> fromBmp = DecodeBmp(bmp);
    ASSERT_TRUE(fromBmp);
    EXPECT_EQ(*fromBmp, picture);
    const std::optional<Bitmap32> fromJpeg = DecodeJpeg(jpeg);
    ASSERT_TRUE(fromJpeg);
    EXPECT_TRUE(Near(fromJpeg->At(20, 20), kWhite, 6));

    // The content decides, not the name: a JPEG is no BMP and a BMP no JPEG.
    EXPECT_FALSE(DecodeBmp(jpegNamedBmp));
    EXPECT_FALSE(DecodeBmp(jpeg));
    EXPECT_FALSE(DecodeJpeg(bmp));
}

TEST_F(LinuxPictureFilesTest, AnythingButAReadablePictureFileFails) {
    const std::string empty = Write("empty.jpg", {});
    const std::string emptyBmp = Write("empty.bmp", {});
    const std::string garbage = Write("garbage.jpg", {0x12, 0x34, 0x56, 0x78, 0x9A});
    ASSERT_EQ(mkdir((Folder() + "/folder.jpg").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo((Folder() + "/pipe.jpg").c_str(), 0644), 0);
    const std::string unreadable = Write("locked.bmp", MakeBmpFile(Bitmap32(2, 2, kWhite)));
    ASSERT_EQ(chmod(unreadable.c_str(), 0), 0);

    EXPECT_FALSE(DecodeJpeg(empty));
    EXPECT_FALSE(DecodeBmp(emptyBmp));
    EXPECT_FALSE(DecodeJpeg(garbage));
    EXPECT_FALSE(DecodeJpeg(Folder() + "/folder.jpg"));
    EXPECT_FALSE(DecodeBmp(Folder() + "/folder.jpg"));
    EXPECT_FALSE(DecodeJpeg(Folder() + "/pipe.jpg"));  // does not wait for a writer
    EXPECT_FALSE(DecodeJpeg(Folder() + "/missing.jpg"));
    EXPECT_FALSE(DecodeJpeg(""));
    if (geteuid() != 0) {
        EXPECT_FALSE(DecodeBmp(unreadable));
    }
}

}  // namespace duskpane

namespace duskpane::picture_scenarios {
INSTANTIATE_TYPED_TEST_SUITE_P(Linux, PictureDecoderTest, LinuxProbe);
}  // namespace duskpane::picture_scenarios

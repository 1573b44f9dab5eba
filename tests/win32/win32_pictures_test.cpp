// Picture decoding on Windows: JPEG files through WIC, BMP files through the
// program's reader from files in any script, files that are broken or lie
// about their size, and the decoder scenarios every backend runs.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../picture_scenarios.h"
#include "platform/win32/win32_pictures.h"
#include "platform/win32/win32_text.h"

namespace duskpane {
namespace {

using Bytes = std::vector<uint8_t>;

void PutLe16(Bytes& out, size_t at, uint32_t v) {
    out[at] = uint8_t(v);
    out[at + 1] = uint8_t(v >> 8);
}
void PutLe32(Bytes& out, size_t at, uint32_t v) {
    PutLe16(out, at, v & 0xFFFF);
    PutLe16(out, at + 2, v >> 16);
}

// An uncompressed BMP of 24 or 32 bits per pixel, or 8 bits with a grey
// colour table (the blue byte of each pixel as the index).
Bytes MakeBmp(const Bitmap32& picture, int bitsPerPixel, bool topDown) {
    const int width = picture.Width();
    const int height = picture.Height();
    const size_t stride = (size_t(width) * bitsPerPixel + 31) / 32 * 4;
    const size_t palette = bitsPerPixel == 8 ? 256 * 4 : 0;
    const size_t offset = 14 + 40 + palette;
    Bytes out(offset + stride * size_t(height), 0);
    out[0] = 'B';
    out[1] = 'M';
    PutLe32(out, 2, uint32_t(out.size()));
    PutLe32(out, 10, uint32_t(offset));
    PutLe32(out, 14, 40);
    PutLe32(out, 18, uint32_t(width));
    PutLe32(out, 22, uint32_t(topDown ? -height : height));
    PutLe16(out, 26, 1);
    PutLe16(out, 28, uint32_t(bitsPerPixel));
    for (size_t i = 0; i < palette / 4; ++i) {
        out[54 + i * 4] = out[55 + i * 4] = out[56 + i * 4] = uint8_t(i);
    }
    for (int y = 0; y < height; ++y) {
        const int stored = topDown ? y : height - 1 - y;
        uint8_t* row = out.data() + offset + size_t(stored) * stride;
        for (int x = 0; x < width; ++x) {
            const Pixel p = picture.At(x, y);
            if (bitsPerPixel == 8) {
                row[x] = BlueOf(p);
            } else {
                const size_t at = size_t(x) * size_t(bitsPerPixel / 8);
                row[at] = BlueOf(p);
                row[at + 1] = GreenOf(p);
                row[at + 2] = RedOf(p);
                if (bitsPerPixel == 32) row[at + 3] = 0x80;  // an alpha byte to be ignored
            }
        }
    }
    return out;
}

Bytes ReadFixture(const std::string& name) {
    const std::string path = std::string(DUSKPANE_SOURCE_DIR) + "/tests/fixtures/" + name;
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Where the frame header's height sits in a JPEG: two bytes, then the width.
size_t FrameSizeOffset(const Bytes& jpeg) {
    for (size_t i = 2; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) return i + 5;
    }
    return 0;
}

Bytes WithJpegSize(Bytes jpeg, uint32_t width, uint32_t height) {
    const size_t at = FrameSizeOffset(jpeg);
    jpeg[at] = uint8_t(height >> 8);
    jpeg[at + 1] = uint8_t(height);
    jpeg[at + 2] = uint8_t(width >> 8);
    jpeg[at + 3] = uint8_t(width);
    return jpeg;
}

bool Near(Pixel p, uint8_t r, uint8_t g, uint8_t b, int tolerance = 4) {
    return std::abs(RedOf(p) - r) <= tolerance && std::abs(GreenOf(p) - g) <= tolerance &&
           std::abs(BlueOf(p) - b) <= tolerance && (p >> 24) == 0;
}

// COM for the thread, as the program's entry sets it up, and a folder of
// files named in two scripts; also the probe of the decoder scenarios.
class Win32Probe {
public:
    Win32Probe() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        wchar_t base[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, base);
        folder_ = Narrow(std::wstring(base)) + "duskpane-probe 写真 " + std::to_string(GetCurrentProcessId());
        CreateDirectoryW(Widen(folder_).c_str(), nullptr);
    }
    ~Win32Probe() {
        for (const std::string& path : written_) DeleteFileW(Widen(path).c_str());
        RemoveDirectoryW(Widen(folder_).c_str());
        CoUninitialize();
    }
    PictureDecoder& Decoder() { return decoder_; }
    const std::string& Folder() const { return folder_; }
    std::string Write(const std::string& name, const Bytes& bytes) {
        const std::string path = folder_ + "\\" + name;
        const HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD done = 0;
        if (!bytes.empty()) WriteFile(file, bytes.data(), DWORD(bytes.size()), &done, nullptr);
        CloseHandle(file);
        written_.push_back(path);
        return path;
    }
    Bytes Jpeg(const picture_scenarios::JpegFixture& fixture) { return picture_scenarios::FixtureJpeg(fixture); }

private:
    Win32PictureDecoder decoder_;
    std::string folder_;
    std::vector<std::string> written_;
};

class Win32PicturesTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const Bytes& bytes) { return probe_.Write(name, bytes); }
    std::optional<Bitmap32> DecodeBmp(const std::string& path) { return picture_scenarios::WholeBmp(decoder, path); }
    std::optional<Bitmap32> DecodeJpeg(const std::string& path) {
        return picture_scenarios::WholeJpeg(decoder, path);
    }

    Win32Probe probe_;
    PictureDecoder& decoder = probe_.Decoder();
    const std::string& folder_ = probe_.Folder();
};

TEST_F(Win32PicturesTest, DecodesBmpFilesExactly) {
    Bitmap32 picture(3, 2);
    picture.Set(0, 0, MakeRgb(255, 0, 0));
    picture.Set(1, 0, MakeRgb(0, 255, 0));
    picture.Set(2, 0, MakeRgb(0, 0, 255));
    picture.Set(0, 1, MakeRgb(1, 2, 3));
    picture.Set(1, 1, MakeRgb(254, 253, 252));
    picture.Set(2, 1, kWhite);

    // Rows of 9 bytes padded to 12, stored bottom-up, under a name in two scripts.
    const auto bottomUp = DecodeBmp(Write("夜景 🌃.bmp", MakeBmp(picture, 24, false)));
    ASSERT_TRUE(bottomUp);
    EXPECT_EQ(*bottomUp, picture);
    const auto topDown = DecodeBmp(Write("top.bmp", MakeBmp(picture, 32, true)));
    ASSERT_TRUE(topDown);
    EXPECT_EQ(*topDown, picture);  // the stored alpha byte is dropped

    Bitmap32 grey(5, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const uint8_t level = uint8_t(x * 50 + y);
            grey.Set(x, y, MakeRgb(level, level, level));
        }
    }
    const auto indexed = DecodeBmp(Write("grey.bmp", MakeBmp(grey, 8, false)));
    ASSERT_TRUE(indexed);
    EXPECT_EQ(*indexed, grey);
}

TEST_F(Win32PicturesTest, DecodesBaselineAndProgressiveJpeg) {
    // Made with: convert -size 8x8 xc:'#ff0000' ... (four 8 x 8 quadrants:
    // red, green / blue, white), -sampling-factor 1x1 -quality 95; the
    // progressive one is the same picture re-encoded with -interlace JPEG.
    for (const char* name : {"quadrants_baseline.jpg", "quadrants_progressive.jpg"}) {
        const Bytes bytes = ReadFixture(name);
        ASSERT_FALSE(bytes.empty()) << name;
        const auto picture = DecodeJpeg(Write(std::string("写真 🌃 ") + name, bytes));
        ASSERT_TRUE(picture) << name;
        ASSERT_EQ(picture->Width(), 16);
        ASSERT_EQ(picture->Height(), 16);
        EXPECT_TRUE(Near(picture->At(3, 3), 255, 0, 0)) << name;
        EXPECT_TRUE(Near(picture->At(12, 3), 0, 255, 0)) << name;
        EXPECT_TRUE(Near(picture->At(3, 12), 0, 0, 255)) << name;
        EXPECT_TRUE(Near(picture->At(12, 12), 255, 255, 255)) << name;
    }
}

TEST_F(Win32PicturesTest, RejectsFilesThatAreNoPictureOfTheirKind) {
    const Bytes jpeg = ReadFixture("quadrants_baseline.jpg");
    const Bytes bmp = MakeBmp(Bitmap32(4, 4, kWhite), 24, false);
    Bytes garbage(4096);
    uint32_t state = 12345;
    for (uint8_t& byte : garbage) {
        state = state * 1103515245u + 12345u;
        byte = uint8_t(state >> 24);
    }
    Bytes bmpLike = garbage;
    bmpLike[0] = 'B';
    bmpLike[1] = 'M';
    Bytes jpegLike = garbage;
    jpegLike[0] = 0xFF;
    jpegLike[1] = 0xD8;

    for (const char* name : {"empty.bmp", "empty.jpg"}) {
        const std::string path = Write(name, {});
        EXPECT_FALSE(DecodeBmp(path));
        EXPECT_FALSE(DecodeJpeg(path));
    }
    EXPECT_FALSE(DecodeBmp(Write("garbage.bmp", garbage)));
    EXPECT_FALSE(DecodeJpeg(Write("garbage.jpg", garbage)));
    EXPECT_FALSE(DecodeBmp(Write("bmplike.bmp", bmpLike)));
    EXPECT_FALSE(DecodeJpeg(Write("jpeglike.jpg", jpegLike)));
    EXPECT_FALSE(DecodeJpeg(Write("soi.jpg", Bytes{0xFF, 0xD8})));
    // The decoder follows the caller's choice of format, not the content.
    EXPECT_FALSE(DecodeBmp(Write("jpeg.bmp", jpeg)));
    EXPECT_FALSE(DecodeJpeg(Write("bmp.jpg", bmp)));
    EXPECT_FALSE(DecodeBmp(folder_));
    EXPECT_FALSE(DecodeBmp("NUL"));  // a device answers the existence test
    EXPECT_FALSE(DecodeJpeg(folder_ + "\\missing.jpg"));
    EXPECT_FALSE(DecodeJpeg(""));
}

TEST_F(Win32PicturesTest, JpegSizeLimitsAreCheckedBeforeTheSystemSeesTheFile) {
    const Bytes jpeg = ReadFixture("quadrants_baseline.jpg");
    const Bytes progressive = ReadFixture("quadrants_progressive.jpg");
    ASSERT_NE(FrameSizeOffset(jpeg), 0u);
    EXPECT_FALSE(DecodeJpeg(Write("huge.jpg", WithJpegSize(jpeg, 65000, 65000))));
    EXPECT_FALSE(DecodeJpeg(Write("zero.jpg", WithJpegSize(jpeg, 16, 0))));
    // A progressive file is held whole: 256 megapixels are too many.
    EXPECT_FALSE(DecodeJpeg(Write("many.jpg", WithJpegSize(progressive, 16384, 16384))));
    // A sound JPEG of 16400 x 8 pixels (made with ImageMagick under a policy
    // file that raises its own 16K width limit).
    const Bytes wide = ReadFixture("too_wide_16400x8.jpg");
    ASSERT_FALSE(wide.empty());
    EXPECT_FALSE(DecodeJpeg(Write("wide.jpg", wide)));
}

// An RLE8 BMP with a grey palette (index i is grey i) and the given codes.
Bytes MakeRle8(int32_t width, int32_t height, const Bytes& codes) {
    Bytes bmp = MakeBmp(Bitmap32(1, 1), 8, false);
    bmp.resize(14 + 40 + 256 * 4);
    PutLe32(bmp, 18, uint32_t(width));
    PutLe32(bmp, 22, uint32_t(height));
    PutLe32(bmp, 30, 1);
    bmp.insert(bmp.end(), codes.begin(), codes.end());
    PutLe32(bmp, 2, uint32_t(bmp.size()));
    return bmp;
}

// The pixels a run-length picture skips on purpose are black, every time:
// the system's decoder leaves them as it found them.
TEST_F(Win32PicturesTest, PixelsARunLengthPictureSkipsAreBlack) {
    // Four white pixels at the bottom left, a jump of 96 right and 50 up,
    // four more, the end.
    const std::string path = Write("skips.bmp", MakeRle8(200, 200, {4, 255, 0, 2, 96, 50, 4, 255, 0, 1}));
    const auto first = DecodeBmp(path);
    const auto second = DecodeBmp(path);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->At(0, 199), kWhite);
    EXPECT_EQ(first->At(101, 149), kWhite);
    for (const auto& [x, y] : {std::pair{5, 199}, {50, 100}, {150, 10}, {199, 0}}) EXPECT_EQ(first->At(x, y), kBlack);
    EXPECT_EQ(*first, *second);
}

// A JPEG cut anywhere fails cleanly, even one still holding most of its
// rows, and so does one whose kept part is whole.
TEST_F(Win32PicturesTest, JpegFilesCutShortFailCleanly) {
    for (const char* name : {"quadrants_baseline.jpg", "quadrants_progressive.jpg"}) {
        const Bytes jpeg = ReadFixture(name);
        for (size_t length = 0; length < jpeg.size(); length += 7) {
            const std::string path = Write("cut.jpg", Bytes(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(length)));
            EXPECT_FALSE(DecodeJpeg(path)) << name << " " << length;
            EXPECT_FALSE(decoder.DecodeJpeg(path, PictureRequest::Centred(2, 2))) << name << " " << length;
        }
    }
}

TEST(Win32PictureHeaderTest, JpegSizesAndScansAreReadFromTheHeaders) {
    const Bytes jpeg = ReadFixture("quadrants_baseline.jpg");
    const auto header = ReadJpegHeader(jpeg.data(), jpeg.size());
    ASSERT_TRUE(header);
    EXPECT_EQ(header->width, 16);
    EXPECT_EQ(header->height, 16);
    EXPECT_FALSE(header->multipleScans);
    const Bytes patched = WithJpegSize(jpeg, 300, 200);
    EXPECT_EQ(ReadJpegHeader(patched.data(), patched.size())->width, 300);
    EXPECT_EQ(ReadJpegHeader(patched.data(), patched.size())->height, 200);
    const Bytes progressive = ReadFixture("quadrants_progressive.jpg");
    EXPECT_TRUE(ReadJpegHeader(progressive.data(), progressive.size())->multipleScans);

    const Bytes noFrame = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00, 0xFF, 0xDA, 0x00, 0x02};
    EXPECT_FALSE(ReadJpegHeader(noFrame.data(), noFrame.size()));
    const Bytes overrun = {0xFF, 0xD8, 0xFF, 0xE0, 0x40, 0x00, 0x00};
    EXPECT_FALSE(ReadJpegHeader(overrun.data(), overrun.size()));
}

}  // namespace
}  // namespace duskpane

namespace duskpane::picture_scenarios {
INSTANTIATE_TYPED_TEST_SUITE_P(Windows, PictureDecoderTest, Win32Probe);
}  // namespace duskpane::picture_scenarios

// Tests of the BMP reader on hand-made files, sound and broken, and of the
// plan of which pixels a decoder keeps.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <tuple>
#include <vector>

#include "bmp_files.h"
#include "platform/headless/headless_pictures.h"
#include "ui/bmp_reader.h"

namespace duskpane {

namespace {

using bmp_files::BmpFile;
using bmp_files::Picture;
using bmp_files::Rows;

std::optional<Bitmap32> Decode(const std::vector<uint8_t>& bytes) {
    return DecodeBmpBytes(bytes.data(), bytes.size());
}

const Pixel kRed = MakeRgb(255, 0, 0);
const Pixel kGreen = MakeRgb(0, 255, 0);
const Pixel kBlue = MakeRgb(0, 0, 255);
const Pixel kGrey = MakeRgb(90, 91, 92);

}  // namespace

TEST(BmpReaderTest, TrueColourFilesInBothRowOrders) {
    const Bitmap32 picture = Picture({{kRed, kGreen, kBlue}, {kWhite, kGrey, MakeRgb(1, 2, 3)}});
    for (int bits : {24, 32})
        for (bool topDown : {false, true}) {
            const std::optional<Bitmap32> bitmap = Decode(MakeBmpFile(picture, bits, topDown));
            ASSERT_TRUE(bitmap) << bits << " " << topDown;
            EXPECT_EQ(*bitmap, picture) << bits << " " << topDown;
        }
}

TEST(BmpReaderTest, IndexedFilesUseTheirColourTable) {
    BmpFile file;
    file.bits = 8;
    file.width = 5;
    file.height = 2;
    file.palette = {kRed, kGreen, kBlue, kGrey};
    file.coloursUsed = 4;
    // Index 200 lies beyond the table and shows black.
    file.pixels = Rows({{0, 1, 2, 3, 200}, {3, 3, 0, 0, 1}});
    const Bitmap32 expected = Picture({{kGrey, kGrey, kRed, kRed, kGreen}, {kRed, kGreen, kBlue, kGrey, kBlack}});
    EXPECT_EQ(Decode(file.Bytes()), expected);
    file.height = -2;
    const Bitmap32 flipped = Picture({{kRed, kGreen, kBlue, kGrey, kBlack}, {kGrey, kGrey, kRed, kRed, kGreen}});
    EXPECT_EQ(Decode(file.Bytes()), flipped);

    file.bits = 4;
    file.width = 3;
    file.height = 1;
    file.pixels = Rows({{0x21, 0x3F}});
    EXPECT_EQ(Decode(file.Bytes()), Picture({{kBlue, kGreen, kGrey}}));

    file.bits = 1;
    file.width = 10;
    file.palette = {kBlack, kWhite};
    file.coloursUsed = 0;
    file.pixels = Rows({{0xA5, 0x40}});
    EXPECT_EQ(Decode(file.Bytes()),
              Picture({{kWhite, kBlack, kWhite, kBlack, kBlack, kWhite, kBlack, kWhite, kBlack, kWhite}}));

    // An OS/2 file: three-byte entries, and a table shorter than the bits
    // allow, ending where the pixels begin.
    BmpFile os2;
    os2.headerSize = 12;
    os2.bits = 8;
    os2.width = 3;
    os2.height = 1;
    os2.palette = {kGrey, kBlue};
    os2.pixels = Rows({{1, 0, 1}});
    EXPECT_EQ(Decode(os2.Bytes()), Picture({{kBlue, kGrey, kBlue}}));
}

TEST(BmpReaderTest, SixteenAndThirtyTwoBitFilesFollowTheirMasks) {
    BmpFile file;
    file.bits = 16;
    file.width = 3;
    file.height = 1;
    // Default 5-5-5: the low bits repeat the high ones, so all ones is 255.
    file.pixels = Rows({{0xFF, 0x7F, 0x00, 0x7C, 0x10, 0x00}});
    EXPECT_EQ(Decode(file.Bytes()), Picture({{kWhite, kRed, MakeRgb(0, 0, 132)}}));

    file.compression = 3;
    file.masks = {0xF800, 0x07E0, 0x001F};
    file.pixels = Rows({{0x00, 0xF8, 0xE0, 0x07, 0x00, 0x04}});
    EXPECT_EQ(Decode(file.Bytes()), Picture({{kRed, kGreen, MakeRgb(0, 130, 0)}}));

    // 32 bits with the masks inside a 124-byte header, red in the low byte,
    // and unused bytes before the pixels.
    BmpFile wide;
    wide.headerSize = 124;
    wide.bits = 32;
    wide.compression = 3;
    wide.masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};
    wide.width = 2;
    wide.height = -1;
    wide.gap = 6;
    wide.pixels = {10, 20, 30, 0, 255, 0, 0, 128};
    EXPECT_EQ(Decode(wide.Bytes()), Picture({{MakeRgb(10, 20, 30), kRed}}));

    wide.masks = {0, 0x0000FF00, 0x00FF0000};
    EXPECT_FALSE(Decode(wide.Bytes()));
    wide.masks = {0x0F0F, 0x0000F000, 0x00FF0000};
    EXPECT_FALSE(Decode(wide.Bytes()));
    file.masks = {0x1F0000, 0x07E0, 0x001F};  // beyond 16 bits
    EXPECT_FALSE(Decode(file.Bytes()));
}

TEST(BmpReaderTest, RunLengthFilesDecode) {
    BmpFile file;
    file.bits = 8;
    file.compression = 1;
    file.width = 4;
    file.height = 3;
    file.palette = {kRed, kGreen, kBlue};
    file.pixels = {
        6, 1, 0, 0,           // bottom row: a run clipped at the row's end, end of line
        0, 3, 2, 1, 2, 0,     // an absolute run of three, padded, then
        0, 0,                 // end of line
        0, 2, 1, 0, 1, 2,     // one to the right, a run of one
        0, 1,                 // end of picture
        5, 0,                 // never read
    };
    EXPECT_EQ(Decode(file.Bytes()), Picture({{kBlack, kBlue, kBlack, kBlack},
                                             {kBlue, kGreen, kBlue, kBlack},
                                             {kGreen, kGreen, kGreen, kGreen}}));
    // Cut inside the absolute run: the picture is damaged.
    file.pixels.resize(8);
    EXPECT_FALSE(Decode(file.Bytes()));
    // Compressed rows never run top-down.
    file.height = -3;
    EXPECT_FALSE(Decode(file.Bytes()));

    BmpFile four;
    four.bits = 4;
    four.compression = 2;
    four.width = 7;
    four.height = 1;
    four.palette = {kRed, kGreen, kBlue};
    four.pixels = {3, 0x12, 0, 3, 0x01, 0x20, 0, 1};
    EXPECT_EQ(Decode(four.Bytes()), Picture({{kGreen, kBlue, kGreen, kRed, kGreen, kBlue, kBlack}}));
}

// Every cut of a file fails, but one that takes no more than the last row's
// padding: all of its pixels are there.
TEST(BmpReaderTest, AFileCutAnywhereBeforeItsLastPixelFails) {
    std::vector<std::vector<Pixel>> rows;
    for (int y = 0; y < 10; ++y) rows.push_back({MakeRgb(uint8_t(y * 20), 7, 9), kWhite, kBlue});
    const Bitmap32 picture = Picture(rows);
    const std::vector<uint8_t> whole = MakeBmpFile(picture);  // bottom-up, 9 bytes a row padded to 12
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        const std::optional<Bitmap32> bitmap = DecodeBmpBytes(whole.data(), length);
        EXPECT_EQ(bitmap.has_value(), length >= whole.size() - 3) << length;
        if (bitmap) {
            EXPECT_EQ(*bitmap, picture) << length;
        }
    }
}

TEST(BmpReaderTest, HeadersThatLieFail) {
    BmpFile file;
    file.width = 2;
    file.height = 2;
    file.pixels = Rows({{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}});
    ASSERT_TRUE(Decode(file.Bytes()));

    auto broken = [&](auto change) {
        BmpFile copy = file;
        change(copy);
        return !Decode(copy.Bytes());
    };
    EXPECT_TRUE(broken([](BmpFile& f) { f.width = 16384, f.height = 16384; }));
    EXPECT_TRUE(broken([](BmpFile& f) { f.width = 16385; }));
    EXPECT_TRUE(broken([](BmpFile& f) { f.width = 8192, f.height = 8192; }));  // within the limit, but a lie
    EXPECT_TRUE(broken([](BmpFile& f) { f.height = INT_MIN; }));
    EXPECT_TRUE(broken([](BmpFile& f) { f.width = -2; }));
    EXPECT_TRUE(broken([](BmpFile& f) { f.width = 0; }));
    EXPECT_TRUE(broken([](BmpFile& f) { f.height = 0; }));
    EXPECT_TRUE(broken([](BmpFile& f) { f.planes = 2; }));
    EXPECT_TRUE(broken([](BmpFile& f) { f.bits = 7; }));
    EXPECT_TRUE(broken([](BmpFile& f) { f.compression = 4; }));  // an embedded JPEG
    EXPECT_TRUE(broken([](BmpFile& f) { f.headerSize = 41; }));
    EXPECT_TRUE(broken([](BmpFile& f) { f.bits = 32, f.compression = 3; }));  // masks missing
    EXPECT_TRUE(broken([](BmpFile& f) { f.bits = 8; }));          // no colour table
    EXPECT_TRUE(broken([](BmpFile& f) { f.pixels.clear(); }));

    std::vector<uint8_t> bytes = file.Bytes();
    bytes[10] = 40;  // the pixels inside the headers
    EXPECT_FALSE(Decode(bytes));
    bytes[10] = 0xFF;  // the pixels after the end
    EXPECT_FALSE(Decode(bytes));
    bytes = file.Bytes();
    bytes[14] = 124;  // a header longer than the file
    EXPECT_FALSE(Decode(bytes));
}

TEST(BmpReaderTest, OnlyBmpContentDecodes) {
    EXPECT_FALSE(DecodeBmpBytes(nullptr, 0));
    EXPECT_FALSE(Decode({}));
    EXPECT_FALSE(Decode({'B', 'M'}));
    std::vector<uint8_t> bytes = MakeBmpFile(Bitmap32(2, 2, kWhite));
    bytes[1] = 'A';  // an OS/2 bitmap array
    EXPECT_FALSE(Decode(bytes));
    EXPECT_FALSE(Decode(MakeHeadlessJpegFile(Bitmap32(2, 2, kWhite))));
    EXPECT_FALSE(Decode({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1,
                         0, 0, 0xFF, 0xD9}));
}

// Damaged copies of sound files either fail or give a picture within the limits.
TEST(BmpReaderTest, DamagedFilesNeverBreakTheReader) {
    BmpFile indexed;
    indexed.bits = 8;
    indexed.compression = 1;
    indexed.width = 6;
    indexed.height = 4;
    indexed.palette = {kRed, kGreen};
    indexed.pixels = {3, 1, 0, 0, 0, 4, 0, 1, 1, 0, 0, 2, 1, 1, 2, 0, 0, 1};
    BmpFile masked;
    masked.headerSize = 108;
    masked.bits = 16;
    masked.compression = 3;
    masked.masks = {0xF800, 0x07E0, 0x001F};
    masked.width = 3;
    masked.height = 2;
    masked.pixels = Rows({{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}});
    const std::vector<std::vector<uint8_t>> sound = {
        MakeBmpFile(Picture({{kRed, kGreen, kBlue}, {kWhite, kGrey, kBlack}}), 32), indexed.Bytes(),
        masked.Bytes()};

    std::mt19937 random(1234);
    int decoded = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = sound[std::size_t(round) % sound.size()];
        for (int flips = 1 + int(random() % 4); flips > 0; --flips)
            bytes[random() % bytes.size()] = uint8_t(random());
        const std::optional<Bitmap32> bitmap = Decode(bytes);
        if (!bitmap) continue;
        ++decoded;
        ASSERT_TRUE(PictureSizeAllowed(bitmap->Width(), bitmap->Height()));
        ASSERT_EQ(bitmap->Pixels().size(), std::size_t(bitmap->Width()) * std::size_t(bitmap->Height()));
    }
    EXPECT_GT(decoded, 0);
}

// Which pixels a decoder keeps: a centred picture's middle as the centring
// places it, a reduced one's scale, and the limits.
TEST(PicturePlanTest, KeepsWhatTheRequestShowsWithinTheLimits) {
    struct Case {
        int64_t width, height;
        PictureRequest request;
        std::optional<PicturePlan> plan;  // width, height, left, top, step, outWidth, outHeight
    };
    const Case cases[] = {
        {1920, 1080, PictureRequest::Centred(1280, 1024), PicturePlan{1920, 1080, 320, 28, 1, 1280, 1024}},
        // (1280 - 1921) / 2 truncates to -320: the screen shows columns 320 on.
        {1921, 1023, PictureRequest::Centred(1280, 1024), PicturePlan{1921, 1023, 320, 0, 1, 1280, 1023}},
        {101, 30, PictureRequest::Centred(1280, 1024), PicturePlan{101, 30, 0, 0, 1, 101, 30}},
        {16384, 16384, PictureRequest::Centred(1920, 1080), PicturePlan{16384, 16384, 7232, 7652, 1, 1920, 1080}},
        {16384, 16384, PictureRequest::Whole(), std::nullopt},  // 256 megapixels to hold
        {16385, 2, PictureRequest::Centred(1920, 1080), std::nullopt},
        {2, 0, PictureRequest::Whole(), std::nullopt},
        {6000, 4000, PictureRequest::Reduced(128, 128), PicturePlan{6000, 4000, 0, 0, 8, 750, 500}},
        {1000, 130, PictureRequest::Reduced(128, 128), PicturePlan{1000, 130, 0, 0, 1, 1000, 130}},
        {1000, 257, PictureRequest::Reduced(128, 128), PicturePlan{1000, 257, 0, 0, 2, 500, 129}},
        {50, 50, PictureRequest::Reduced(128, 128), PicturePlan{50, 50, 0, 0, 1, 50, 50}},
        // Fitted into a 512 box keeping its shape, 4000 x 3000 shows as 512 x 384.
        {4000, 3000, PictureRequest::ReducedToFit(512, 512), PicturePlan{4000, 3000, 0, 0, 4, 1000, 750}},
        {16384, 16384, PictureRequest::ReducedToFit(512, 512), PicturePlan{16384, 16384, 0, 0, 8, 2048, 2048}},
        {1000, 2, PictureRequest::ReducedToFit(100, 100), PicturePlan{1000, 2, 0, 0, 8, 125, 1}},
        {300, 200, PictureRequest::ReducedToFit(512, 512), PicturePlan{300, 200, 0, 0, 1, 300, 200}},
    };
    for (const Case& c : cases) {
        const std::optional<PicturePlan> plan = PlanPicture(c.width, c.height, c.request);
        ASSERT_EQ(plan.has_value(), c.plan.has_value()) << c.width << " x " << c.height;
        if (!plan) continue;
        EXPECT_EQ(std::tuple(plan->width, plan->height, plan->left, plan->top, plan->step, plan->outWidth,
                             plan->outHeight),
                  std::tuple(c.plan->width, c.plan->height, c.plan->left, c.plan->top, c.plan->step,
                             c.plan->outWidth, c.plan->outHeight))
            << c.width << " x " << c.height;
    }
}

}  // namespace duskpane

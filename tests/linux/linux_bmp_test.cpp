// Tests of the BMP reader on hand-made files, sound and broken.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "platform/headless/headless_pictures.h"
#include "platform/linux/linux_pictures.h"

namespace duskpane {

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(value >> shift));
}

// A BMP file put together field by field.
struct BmpFile {
    uint32_t headerSize = 40;
    int32_t width = 1;
    int32_t height = 1;  // negative for top-down rows
    uint16_t planes = 1;
    uint16_t bits = 24;
    uint32_t compression = 0;
    uint32_t coloursUsed = 0;
    std::vector<Pixel> palette;
    std::vector<uint32_t> masks;  // after a 40-byte header, inside a longer one
    uint32_t gap = 0;             // unused bytes before the pixels
    std::vector<uint8_t> pixels;

    std::vector<uint8_t> Bytes() const {
        const bool core = headerSize == 12;
        const uint32_t masksAfter = headerSize == 40 ? uint32_t(masks.size()) * 4 : 0;
        const uint32_t offset =
            14 + headerSize + masksAfter + uint32_t(palette.size()) * (core ? 3 : 4) + gap;
        std::vector<uint8_t> out = {'B', 'M'};
        Put32(out, offset + uint32_t(pixels.size()));
        Put32(out, 0);
        Put32(out, offset);
        Put32(out, headerSize);
        if (core) {
            Put16(out, uint32_t(width));
            Put16(out, uint32_t(height));
            Put16(out, planes);
            Put16(out, bits);
        } else {
            for (uint32_t value : {uint32_t(width), uint32_t(height)}) Put32(out, value);
            Put16(out, planes);
            Put16(out, bits);
            for (uint32_t value : {compression, uint32_t(pixels.size()), 2835u, 2835u, coloursUsed, 0u})
                Put32(out, value);
            for (uint32_t mask : masks) Put32(out, mask);
            out.resize(14 + headerSize + masksAfter, 0);
        }
        for (Pixel p : palette) {
            out.insert(out.end(), {BlueOf(p), GreenOf(p), RedOf(p)});
            if (!core) out.push_back(0);
        }
        out.resize(out.size() + gap, 0xEE);
        out.insert(out.end(), pixels.begin(), pixels.end());
        return out;
    }
};

// Rows as stored, each padded to four bytes.
std::vector<uint8_t> Rows(const std::vector<std::vector<uint8_t>>& rows) {
    std::vector<uint8_t> out;
    for (const auto& row : rows) {
        out.insert(out.end(), row.begin(), row.end());
        out.resize((out.size() + 3) / 4 * 4, 0);
    }
    return out;
}

std::optional<Bitmap32> Decode(const std::vector<uint8_t>& bytes) {
    return DecodeBmpBytes(bytes.data(), bytes.size());
}

// A bitmap from rows of pixels, top row first.
Bitmap32 Picture(const std::vector<std::vector<Pixel>>& rows) {
    Bitmap32 bitmap(int(rows[0].size()), int(rows.size()));
    for (std::size_t y = 0; y < rows.size(); ++y)
        for (std::size_t x = 0; x < rows[y].size(); ++x) bitmap.Set(int(x), int(y), rows[y][x]);
    return bitmap;
}

const Pixel kRed = MakeRgb(255, 0, 0);
const Pixel kGreen = MakeRgb(0, 255, 0);
const Pixel kBlue = MakeRgb(0, 0, 255);
const Pixel kGrey = MakeRgb(90, 91, 92);

}  // namespace

TEST(LinuxBmpTest, TrueColourFilesInBothRowOrders) {
    const Bitmap32 picture = Picture({{kRed, kGreen, kBlue}, {kWhite, kGrey, MakeRgb(1, 2, 3)}});
    for (int bits : {24, 32})
        for (bool topDown : {false, true}) {
            const std::optional<Bitmap32> bitmap = Decode(MakeBmpFile(picture, bits, topDown));
            ASSERT_TRUE(bitmap) << bits << " " << topDown;
            EXPECT_EQ(*bitmap, picture) << bits << " " << topDown;
        }
}

TEST(LinuxBmpTest, IndexedFilesUseTheirColourTable) {
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

TEST(LinuxBmpTest, SixteenAndThirtyTwoBitFilesFollowTheirMasks) {
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

TEST(LinuxBmpTest, RunLengthFilesDecode) {
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
    // Cut inside the absolute run: what is there shows.
    file.pixels.resize(8);
    EXPECT_EQ(Decode(file.Bytes()), Picture({{kBlack, kBlack, kBlack, kBlack},
                                             {kBlue, kGreen, kBlack, kBlack},
                                             {kGreen, kGreen, kGreen, kGreen}}));
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

TEST(LinuxBmpTest, TruncatedFileKeepsItsRowsUntilHalfIsGone) {
    std::vector<std::vector<Pixel>> rows;
    for (int y = 0; y < 10; ++y) rows.push_back({MakeRgb(uint8_t(y * 20), 7, 9), kWhite, kBlue});
    const Bitmap32 picture = Picture(rows);
    const std::vector<uint8_t> whole = MakeBmpFile(picture);  // bottom-up, 12-byte rows
    const std::size_t pixelStart = 54;

    // Six rows of ten: the bottom six show, the rest is black.
    const std::optional<Bitmap32> cut =
        Decode(std::vector<uint8_t>(whole.begin(), whole.begin() + long(pixelStart + 6 * 12 + 5)));
    ASSERT_TRUE(cut);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(cut->At(x, y), y >= 4 ? picture.At(x, y) : kBlack) << x << "," << y;
    // Four rows of ten claim too much.
    EXPECT_FALSE(Decode(std::vector<uint8_t>(whole.begin(), whole.begin() + long(pixelStart + 4 * 12))));

    // No cut anywhere breaks the reader; cuts inside the headers fail.
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        const std::vector<uint8_t> prefix(whole.begin(), whole.begin() + long(length));
        const std::optional<Bitmap32> bitmap = DecodeBmpBytes(prefix.data(), prefix.size());
        EXPECT_TRUE(length > pixelStart || !bitmap) << length;
        EXPECT_TRUE(!bitmap || bitmap->Width() == 3) << length;
    }
}

TEST(LinuxBmpTest, HeadersThatLieFail) {
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

TEST(LinuxBmpTest, OnlyBmpContentDecodes) {
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
TEST(LinuxBmpTest, DamagedFilesNeverBreakTheReader) {
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

}  // namespace duskpane

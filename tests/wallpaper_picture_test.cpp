// Picture loading by extension, the headless BMP decoder and blend, and the
// 511-byte cut of the wallpaper's message texts.
#include <gtest/gtest.h>

#include "platform/headless/headless_files.h"
#include "platform/headless/headless_pictures.h"
#include "wallpaper/messages.h"
#include "wallpaper/picture.h"

namespace duskpane {
namespace {

// A small picture whose every pixel differs.
Bitmap32 Sample(int width, int height) {
    Bitmap32 bitmap(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap.Set(x, y, MakeRgb(uint8_t(x * 40 + 3), uint8_t(y * 50 + 7), uint8_t(x * y + 11)));
    return bitmap;
}

TEST(HeadlessPictures, BmpFilesRoundTripInEveryLayout) {
    const Bitmap32 picture = Sample(5, 3);  // 5 pixels: 15-byte rows padded to 16
    for (int bits : {24, 32})
        for (bool topDown : {false, true}) {
            auto decoded = ParseBmp(MakeBmpFile(picture, bits, topDown));
            ASSERT_TRUE(decoded) << bits << " bits, top-down " << topDown;
            EXPECT_EQ(*decoded, picture) << bits << " bits, top-down " << topDown;
        }
}

TEST(HeadlessPictures, BrokenBmpFilesAreRefusedWithoutReadingPastTheData) {
    const std::vector<uint8_t> good = MakeBmpFile(Sample(4, 4));
    auto truncated = good;
    truncated.pop_back();
    EXPECT_FALSE(ParseBmp(truncated)) << "one byte short of the last row";
    EXPECT_FALSE(ParseBmp({good.begin(), good.begin() + 40})) << "shorter than the headers";
    auto huge = good;
    huge[18] = 0xFF, huge[19] = 0xFF, huge[20] = 0xFF, huge[21] = 0x7F;  // width 2^31 - 1
    EXPECT_FALSE(ParseBmp(huge));
    auto minHeight = good;
    minHeight[22] = 0, minHeight[23] = 0, minHeight[24] = 0, minHeight[25] = 0x80;  // height -2^31
    EXPECT_FALSE(ParseBmp(minHeight));
    auto farOffset = good;
    farOffset[10] = 0xF0, farOffset[11] = 0xFF, farOffset[12] = 0xFF, farOffset[13] = 0xFF;
    EXPECT_FALSE(ParseBmp(farOffset));
    auto compressed = good;
    compressed[30] = 1;  // run-length encoded
    EXPECT_FALSE(ParseBmp(compressed));
    auto eightBit = good;
    eightBit[28] = 8;
    EXPECT_FALSE(ParseBmp(eightBit));
    auto notBmp = good;
    notBmp[0] = 'X';
    EXPECT_FALSE(ParseBmp(notBmp));
}

TEST(LoadPicture, ChoosesTheDecoderByTheExtensionWhateverItsCase) {
    HeadlessFileSystem files;
    HeadlessPictureDecoder decoder(files);
    const Bitmap32 bmp = Sample(2, 2), jpeg = Sample(3, 1);
    files.AddFile("C:\\p\\a.BMP", MakeBmpFile(bmp));
    files.AddFile("C:\\p\\b.Jpg", MakeHeadlessJpegFile(jpeg));
    files.AddFile("C:\\p\\c.jpeg", MakeHeadlessJpegFile(jpeg));
    files.AddFile("C:\\p\\d.png", MakeBmpFile(bmp));
    files.AddFile("C:\\p\\e.jpg", MakeBmpFile(bmp));  // a BMP named like a JPEG
    files.AddFolder("C:\\p\\f.bmp");

    Picture picture;
    ASSERT_TRUE(LoadPicture(decoder, "C:\\p\\a.BMP", picture));
    EXPECT_EQ(picture.kind, PictureKind::Bitmap);
    EXPECT_EQ(picture.pixels, bmp);
    ASSERT_TRUE(LoadPicture(decoder, "C:\\p\\b.Jpg", picture));
    EXPECT_EQ(picture.kind, PictureKind::Jpeg);
    EXPECT_EQ(picture.pixels, jpeg);
    ASSERT_TRUE(LoadPicture(decoder, "C:\\p\\c.jpeg", picture));

    // Every failure leaves the picture as it was.
    for (const char* path :
         {"C:\\p\\d.png", "C:\\p\\e.jpg", "C:\\p\\f.bmp", "C:\\p\\missing.bmp", "C:\\p\\bmp"}) {
        EXPECT_FALSE(LoadPicture(decoder, path, picture)) << path;
        EXPECT_EQ(picture.kind, PictureKind::Jpeg) << path;
        EXPECT_EQ(picture.pixels, jpeg) << path;
    }
}

TEST(BlendIntoBlack, EachChannelBecomesTheRoundedShareOfTheAlpha) {
    HeadlessBlendLibrary library;
    Picture picture{PictureKind::Bitmap, Bitmap32(2, 1)};
    picture.pixels.Set(0, 0, MakeRgb(255, 200, 1));
    picture.pixels.Set(1, 0, MakeRgb(3, 128, 254));
    {
        auto blend = library.Load();
        ASSERT_TRUE(blend);
        EXPECT_EQ(BlendIntoBlack(*blend, picture, 255), picture.pixels);
        EXPECT_EQ(BlendIntoBlack(*blend, picture, 0), Bitmap32(2, 1, kBlack));
        const Bitmap32 half = BlendIntoBlack(*blend, picture, 128);
        EXPECT_EQ(half.At(0, 0), MakeRgb(128, 100, 1));  // 127.5 -> 128, 100.39 -> 100, 0.50 -> 1
        EXPECT_EQ(half.At(1, 0), MakeRgb(2, 64, 127));   // 1.51 -> 2, 64.25 -> 64, 127.50 -> 127
        EXPECT_TRUE(BlendIntoBlack(*blend, Picture{}, 128).Empty());
        EXPECT_TRUE(library.Loaded());
    }
    EXPECT_EQ(library.loadCount, 1);
    EXPECT_EQ(library.releaseCount, 1);
    library.missing = true;
    EXPECT_FALSE(library.Load());
}

TEST(FormatMessageText, CutsAt511BytesButNeverInsideACharacter) {
    EXPECT_EQ(FormatMessageText("[%s]", std::string(509, 'a')), "[" + std::string(509, 'a') + "]");
    EXPECT_EQ(FormatMessageText("[%s]", std::string(600, 'a')), "[" + std::string(510, 'a'));
    // "あ" is three bytes: 1 + 170 * 3 = 511 bytes fit exactly ...
    std::string kana;
    for (int i = 0; i < 200; ++i) kana += "あ";
    EXPECT_EQ(FormatMessageText("[%s", kana), "[" + kana.substr(0, 510));
    // ... one byte more in front and the 171st character no longer fits.
    const std::string cut = FormatMessageText("[[%s", kana);
    EXPECT_EQ(cut, "[[" + kana.substr(0, 507));
    // A four-byte character straddling the limit is left out whole.
    const std::string emoji = FormatMessageText("%s\xF0\x9F\x98\x80tail", std::string(509, 'b'));
    EXPECT_EQ(emoji, std::string(509, 'b'));
}

}  // namespace
}  // namespace duskpane

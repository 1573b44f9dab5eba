// Picture loading by extension, the headless decoders, the software blend,
// and the 511-byte cut of the wallpaper's message texts.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "picture_scenarios.h"
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
    const PictureRequest whole = PictureRequest::Whole();
    ASSERT_TRUE(LoadPicture(decoder, "C:\\p\\a.BMP", whole, picture));
    EXPECT_EQ(picture.kind, PictureKind::Bitmap);
    EXPECT_EQ(picture.pixels, bmp);
    ASSERT_TRUE(LoadPicture(decoder, "C:\\p\\b.Jpg", whole, picture));
    EXPECT_EQ(picture.kind, PictureKind::Jpeg);
    EXPECT_EQ(picture.pixels, jpeg);
    // The request goes to the decoder, and what it kept is told.
    ASSERT_TRUE(LoadPicture(decoder, "C:\\p\\c.jpeg", PictureRequest::Centred(1, 1), picture));
    EXPECT_EQ(decoder.LastRequest().fit, PictureRequest::Fit::Centred);
    EXPECT_EQ(std::tuple(picture.width, picture.height, picture.left, picture.top), std::tuple(3, 1, 1, 0));
    EXPECT_EQ(picture.pixels, Bitmap32(1, 1, jpeg.At(1, 0)));
    ASSERT_TRUE(LoadPicture(decoder, "C:\\p\\c.jpeg", whole, picture));

    // Every failure leaves the picture as it was.
    for (const char* path :
         {"C:\\p\\d.png", "C:\\p\\e.jpg", "C:\\p\\f.bmp", "C:\\p\\missing.bmp", "C:\\p\\bmp"}) {
        EXPECT_FALSE(LoadPicture(decoder, path, whole, picture)) << path;
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

TEST(BlendBitmaps, OverBlackEachChannelIsRoundedAsTheSystemBlendGivesIt) {
    Bitmap32 source(256, 1);
    for (int s = 0; s < 256; ++s) source.Set(s, 0, MakeRgb(uint8_t(s), uint8_t(255 - s), uint8_t(s / 2)));
    for (int alpha = 0; alpha < 256; ++alpha) {
        Bitmap32 target(256, 1, kBlack);
        ASSERT_TRUE(BlendBitmaps(target, source, uint8_t(alpha)));
        for (int s = 0; s < 256; ++s) {
            auto rounded = [alpha](int value) { return uint8_t(std::lround(value * alpha / 255.0)); };
            ASSERT_EQ(target.At(s, 0), MakeRgb(rounded(s), rounded(255 - s), rounded(s / 2)))
                << "source " << s << " alpha " << alpha;
        }
    }
}

TEST(BlendBitmaps, OverColourMixesBothAndRefusesOtherSizes) {
    for (unsigned s = 0; s < 256; s += 5)
        for (unsigned d = 0; d < 256; d += 3) {
            ASSERT_EQ(BlendChannel(s, d, 255), s);
            ASSERT_EQ(BlendChannel(s, d, 0), d);
            ASSERT_EQ(BlendChannel(s, d, 100), uint8_t(std::lround((s * 100 + d * 155) / 255.0)));
        }
    Bitmap32 target(1, 1, MakeRgb(255, 0, 100));
    ASSERT_TRUE(BlendBitmaps(target, Bitmap32(1, 1, MakeRgb(0, 255, 100)), 128));
    EXPECT_EQ(target.At(0, 0), MakeRgb(127, 128, 100));

    Bitmap32 wrong(3, 2, MakeRgb(1, 2, 3));
    EXPECT_FALSE(BlendBitmaps(wrong, Bitmap32(2, 3, kWhite), 128));
    EXPECT_EQ(wrong, Bitmap32(3, 2, MakeRgb(1, 2, 3)));
    Bitmap32 nothing;
    EXPECT_TRUE(BlendBitmaps(nothing, Bitmap32(), 128));
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

namespace duskpane::picture_scenarios {
namespace {

// The headless files and decoders under the decoder scenarios.
struct HeadlessProbe {
    HeadlessFileSystem files;
    HeadlessPictureDecoder decoder{files};

    PictureDecoder& Decoder() { return decoder; }
    std::string Write(const std::string& name, const Bytes& bytes) {
        const std::string path = "C:\\pictures\\" + name;
        files.AddFile(path, bytes);
        return path;
    }
    Bytes Jpeg(const JpegFixture& fixture) { return StandInJpeg(fixture); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Headless, PictureDecoderTest, HeadlessProbe);

}  // namespace
}  // namespace duskpane::picture_scenarios

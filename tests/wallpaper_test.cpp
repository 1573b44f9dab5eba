// The wallpaper on the dimming window: fixed file and folder preparation with
// their error boxes, the slideshow over the fake clock, blending and centring.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/alpha_blend_form.h"
#include "app/forms.h"
#include "app/main_form.h"
#include "app/sub_form.h"
#include "wallpaper_scenarios.h"
#include "platform/headless/headless_user.h"

namespace duskpane {
namespace {

constexpr const char* kMissingFile =
    "壁紙表示対象のファイル[C:\\pics\\gone.bmp]が存在しません、壁紙ファイルの再設定を行って下さい。";

std::string NoPictureFolder(const std::string& folder) {
    return "設定された壁紙フォルダー[" + folder +
           "]には、有効な画像ファイルが存在しません。\n壁紙フォルダーの再設定を行って下さい。";
}

// A picture whose pixels all differ, to tell a blend from a copy.
Bitmap32 Gradient(int width, int height) {
    Bitmap32 bitmap(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap.Set(x, y, MakeRgb(uint8_t(255 - x * 7), uint8_t(y * 31 + 1), uint8_t((x + y) * 13)));
    return bitmap;
}

// The picks a slideshow makes from n pictures after seeding with a time:
// the generator of the C run-time library, one value drawn at seeding.
std::vector<int> ExpectedPicks(uint32_t seed, int n, int count) {
    uint32_t state = seed;
    auto next = [&state] {
        state = state * 22695477u + 1u;
        return int((state >> 16) & 0x7FFF);
    };
    next();
    std::vector<int> picks;
    for (int i = 0; i < count; ++i) picks.push_back(next() % n);
    return picks;
}

class WallpaperTest : public ::testing::Test {
protected:
    WallpaperTest() : program(platform.services) {
        platform.ui.screen = {1280, 1024};
        platform.time.SetCalendarSeconds(kSeed);
    }

    void Start() {
        program.Create();
        program.Show();
    }
    TMainForm& Main() { return *MainForm; }
    Image& Photo() { return SubForm->PhotoImage; }
    void PutPicture(const std::string& path, const Bitmap32& picture) {
        ASSERT_TRUE(platform.files.AddFile(path, MakeBmpFile(picture)));
    }
    void UseFixedFile(const std::string& path, int alpha, bool transparency = true) {
        platform.store.PutText("WALLPAPER", "WP_FILE", path);
        platform.store.PutInteger("WALLPAPER", "ALPHA_VALUE", alpha);
        platform.store.PutText("WALLPAPER", "TRANSPARENCY", transparency ? "1" : "0");
    }
    void UseFolder(const std::string& folder, int seconds) {
        platform.store.PutText("WALLPAPER", "WP_DISP_MODE", "1");
        platform.store.PutText("WALLPAPER", "WP_FOLDER", folder);
        platform.store.PutInteger("WALLPAPER", "WP_CHG_TIME", seconds);
        platform.store.PutText("WALLPAPER", "TRANSPARENCY", "0");
    }

    static constexpr int64_t kSeed = 1796720400;
    wallpaper_test::WallpaperPlatform platform;
    Program program;
};

TEST_F(WallpaperTest, AFixedPictureIsBlendedIntoBlackAndCentred) {
    const Bitmap32 picture = Gradient(101, 30);
    PutPicture("C:\\pics\\one.bmp", picture);
    UseFixedFile("C:\\pics\\one.bmp", 128);
    Start();

    ASSERT_TRUE(Photo().Visible());
    EXPECT_EQ(Photo().Left(), 589);
    EXPECT_EQ(Photo().Top(), 497);
    EXPECT_EQ(Photo().Width(), 101);
    EXPECT_EQ(Photo().Height(), 30);
    const Pixel p = picture.At(3, 2), shown = Photo().Picture().At(3, 2);
    EXPECT_EQ(RedOf(shown), (RedOf(p) * 128 + 127) / 255);
    EXPECT_EQ(GreenOf(shown), (GreenOf(p) * 128 + 127) / 255);
    EXPECT_EQ(BlueOf(shown), (BlueOf(p) * 128 + 127) / 255);
    EXPECT_FALSE(Main().WPTimer.Enabled()) << "a fixed picture never changes";
    EXPECT_FALSE(platform.blend.Loaded()) << "the library is released after the composite";
    EXPECT_TRUE(platform.ui.messageBoxes.empty());

    // Of a picture larger than the screen, centred at (-320, -28), only the
    // part on the screen is decoded and kept, and shown where it falls.
    const Bitmap32 big = Gradient(1920, 1080);
    PutPicture("C:\\pics\\big.bmp", big);
    Main().WPFile = "C:\\pics\\big.bmp";
    Main().PrepareWallpaper();
    EXPECT_EQ(platform.pictures.LastRequest().fit, PictureRequest::Fit::Centred);
    EXPECT_EQ(Photo().Left(), 0);
    EXPECT_EQ(Photo().Top(), 0);
    EXPECT_EQ(Photo().Width(), 1280);
    EXPECT_EQ(Photo().Height(), 1024);
    for (const auto& [x, y] : {std::pair{0, 0}, {1279, 1023}, {640, 3}}) {
        const Pixel from = big.At(x + 320, y + 28);
        EXPECT_EQ(Photo().Picture().At(x, y),
                  MakeRgb(BlendChannel(RedOf(from), 0, 128), BlendChannel(GreenOf(from), 0, 128),
                          BlendChannel(BlueOf(from), 0, 128)))
            << x << "," << y;
    }
}

TEST_F(WallpaperTest, AScreenChangeMovesBothWindowsAndCentresThePictureForTheNewSize) {
    const Bitmap32 picture = Gradient(101, 30);
    PutPicture("C:\\pics\\one.bmp", picture);
    UseFixedFile("C:\\pics\\one.bmp", 255);
    Start();
    const int dialogWidth = AlphaBlendForm->Width();
    struct Case {
        int width, height, left, top;
    };
    for (const Case& c : {Case{1920, 1080, 909, 525}, Case{800, 600, 349, 285}, Case{1280, 1024, 589, 497}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        platform.ui.ChangePrimaryScreen(c.width, c.height);
        for (const Form* form : {static_cast<Form*>(MainForm), static_cast<Form*>(SubForm)}) {
            EXPECT_EQ(form->Left(), 0);
            EXPECT_EQ(form->Top(), 0);
            EXPECT_EQ(form->Width(), c.width);
            EXPECT_EQ(form->Height(), c.height);
        }
        EXPECT_EQ(Photo().Left(), c.left);
        EXPECT_EQ(Photo().Top(), c.top);
        // On the screen: the picture's corner pixel where the centring puts
        // it, at the sub-window's alpha over the desktop.
        const Bitmap32 screen = platform.ui.ComposeScreen(SubForm, MainForm, kBlack);
        const unsigned alpha = SubForm->AlphaBlendValue();
        const auto dimmed = [alpha](unsigned channel) { return (channel * alpha + 127u) / 255u; };
        const Pixel corner = picture.At(0, 0), shown = screen.At(c.left, c.top);
        EXPECT_EQ(RedOf(shown), dimmed(RedOf(corner)));
        EXPECT_EQ(GreenOf(shown), dimmed(GreenOf(corner)));
        EXPECT_EQ(BlueOf(shown), dimmed(BlueOf(corner)));
    }
    EXPECT_EQ(AlphaBlendForm->Width(), dialogWidth) << "dialogs keep their designed size";
    EXPECT_TRUE(platform.ui.messageBoxes.empty());
}

// Of a picture larger than the screen only the part the screen shows is
// held; a larger screen shows more of it, and that part is decoded again.
TEST_F(WallpaperTest, AScreenChangeShowsThePartOfALargePictureTheNewScreenShows) {
    const Bitmap32 picture = Gradient(2001, 1203);
    PutPicture("C:\\pics\\big.bmp", picture);
    UseFixedFile("C:\\pics\\big.bmp", 255, false);
    Start();
    for (const auto& [width, height] : {std::pair{800, 600}, {1920, 1080}, {1024, 1200}, {2400, 1000}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        platform.ui.ChangePrimaryScreen(width, height);
        // Each screen corner the picture reaches shows the pixel centring puts there.
        const int left = (width - 2001) / 2, top = (height - 1203) / 2;
        for (const auto& [x, y] : {std::pair{std::max(left, 0), std::max(top, 0)},
                                   {std::min(width, left + 2001) - 1, std::min(height, top + 1203) - 1}}) {
            const int px = x - Photo().Left(), py = y - Photo().Top();
            ASSERT_TRUE(px >= 0 && py >= 0 && px < Photo().Width() && py < Photo().Height()) << x << "," << y;
            EXPECT_EQ(Photo().Picture().At(px, py), picture.At(x - left, y - top)) << x << "," << y;
        }
    }
}

TEST_F(WallpaperTest, TheAlphaDecidesHowMuchOfThePictureShows) {
    const Bitmap32 picture = Gradient(6, 4);
    PutPicture("C:\\pics\\one.bmp", picture);
    UseFixedFile("C:\\pics\\one.bmp", 255);
    Start();
    EXPECT_EQ(Photo().Picture(), picture) << "alpha 255 shows the picture unchanged";

    Main().WPAlphaValue = 0;
    Main().CompositeWallpaper();
    EXPECT_EQ(Photo().Picture(), Bitmap32(6, 4, kBlack));

    // Stored values outside the byte's range are held to its ends.
    Main().WPAlphaValue = 300;
    Main().CompositeWallpaper();
    EXPECT_EQ(Photo().Picture(), picture);
    Main().WPAlphaValue = -20;
    Main().CompositeWallpaper();
    EXPECT_EQ(Photo().Picture(), Bitmap32(6, 4, kBlack));

    // Transparency off, or no blend library: the picture as it is.
    Main().IsWPTransparency = 0;
    const int blends = platform.blend.blendCount;
    Main().CompositeWallpaper();
    EXPECT_EQ(Photo().Picture(), picture);
    EXPECT_EQ(platform.blend.blendCount, blends);
    Main().IsWPTransparency = 1;
    platform.blend.missing = true;
    Main().CompositeWallpaper();
    EXPECT_EQ(Photo().Picture(), picture);
    EXPECT_EQ(Photo().Left(), (1280 - 6) / 2);
    EXPECT_EQ(platform.blend.loadCount, platform.blend.releaseCount);
}

TEST_F(WallpaperTest, AMissingFixedFileEmptiesTheDisplayAndSaysSo) {
    PutPicture("C:\\pics\\one.bmp", Gradient(8, 8));
    UseFixedFile("C:\\pics\\one.bmp", 200);
    Start();
    ASSERT_TRUE(Photo().HasPicture());

    Main().WPFile = "C:\\pics\\gone.bmp";
    Main().PrepareWallpaper();
    EXPECT_FALSE(Photo().HasPicture());
    EXPECT_TRUE(Photo().Visible()) << "emptied, not hidden";
    EXPECT_EQ(Main().WPFileList.Count(), 0);
    ASSERT_EQ(platform.ui.messageBoxes.size(), 1u);
    const ShownMessageBox& box = platform.ui.messageBoxes[0];
    EXPECT_EQ(box.text, kMissingFile);
    EXPECT_EQ(box.caption, "");
    EXPECT_EQ(box.flags, 0x10u);
    EXPECT_EQ(box.owner, "MainForm");

    // An empty setting empties the display without a word; a file that
    // exists but does not decode is skipped just as silently.
    PutPicture("C:\\pics\\one.bmp", Gradient(8, 8));
    Main().WPFile = "C:\\pics\\one.bmp";
    Main().PrepareWallpaper();
    ASSERT_TRUE(Photo().HasPicture());
    Main().WPFile.clear();
    Main().PrepareWallpaper();
    EXPECT_FALSE(Photo().HasPicture());
    platform.files.AddFile("C:\\pics\\broken.bmp", {'B', 'M', 1, 2, 3});
    Main().WPFile = "C:\\pics\\broken.bmp";
    Main().PrepareWallpaper();
    EXPECT_FALSE(Photo().HasPicture());
    EXPECT_EQ(Main().WPFileList.Count(), 1);
    EXPECT_EQ(platform.ui.messageBoxes.size(), 1u);
}

TEST_F(WallpaperTest, AFolderWithoutPicturesKeepsTheOldPictureAndStopsTheShow) {
    PutPicture("D:\\show\\a.bmp", Gradient(10, 10));
    platform.files.AddFile("D:\\plain\\notes.txt", {'x'});
    UseFolder("D:\\show", 5);
    Start();
    ASSERT_TRUE(Photo().HasPicture());
    const Bitmap32 before = Photo().Picture();
    ASSERT_TRUE(Main().WPTimer.Enabled());

    for (const std::string folder : {"D:\\plain", "D:\\nowhere"}) {
        Main().WPFolder = folder;
        Main().PrepareWallpaper();
        EXPECT_EQ(Photo().Picture(), before) << folder;
        EXPECT_FALSE(Main().WPTimer.Enabled()) << folder;
        EXPECT_EQ(Main().WPFileList.Count(), 0) << folder;
        ASSERT_FALSE(platform.ui.messageBoxes.empty());
        EXPECT_EQ(platform.ui.messageBoxes.back().text, NoPictureFolder(folder));
        EXPECT_EQ(platform.ui.messageBoxes.back().owner, "MainForm");
        EXPECT_EQ(platform.ui.messageBoxes.back().flags, 0x10u);
    }
    EXPECT_EQ(platform.ui.messageBoxes.size(), 2u);
    platform.ui.Advance(60000);
    EXPECT_EQ(Photo().Picture(), before) << "no tick comes once the show stopped";
}

TEST_F(WallpaperTest, TheSlideshowShowsAPickAtOnceAndThenOneEveryPeriod) {
    const std::vector<Pixel> colours = {MakeRgb(200, 0, 0), MakeRgb(0, 200, 0), MakeRgb(0, 0, 200)};
    for (size_t i = 0; i < colours.size(); ++i)
        PutPicture("D:\\show\\p" + std::to_string(i) + ".bmp", Bitmap32(4, 4, colours[i]));
    platform.files.AddFile("D:\\show\\readme.txt", {'x'});
    UseFolder("D:\\show", 2);
    Start();

    ASSERT_EQ(Main().WPFileList.Count(), 3);
    EXPECT_EQ(Main().WPTimer.Interval(), 2000u);
    const std::vector<int> picks = ExpectedPicks(uint32_t(kSeed), 3, 8);
    auto shown = [&] { return Photo().Picture().At(0, 0); };
    EXPECT_EQ(shown(), colours[size_t(picks[0])]) << "the first picture comes without waiting";
    EXPECT_EQ(Main().WPCurrentFile, "D:\\show\\p" + std::to_string(picks[0]) + ".bmp");
    for (size_t tick = 1; tick < picks.size(); ++tick) {
        platform.ui.Advance(1999);
        EXPECT_EQ(shown(), colours[size_t(picks[tick - 1])]) << "tick " << tick << " too early";
        platform.ui.Advance(1);
        EXPECT_EQ(shown(), colours[size_t(picks[tick])]) << "tick " << tick;
    }
    EXPECT_TRUE(platform.ui.messageBoxes.empty());
}

TEST_F(WallpaperTest, AMissingSlideIsSkippedSilentlyAndTheNextTickPicksAgain) {
    const std::vector<Pixel> colours = {MakeRgb(200, 0, 0), MakeRgb(0, 200, 0)};
    for (size_t i = 0; i < colours.size(); ++i)
        PutPicture("D:\\show\\p" + std::to_string(i) + ".bmp", Bitmap32(4, 4, colours[i]));
    UseFolder("D:\\show", 1);
    Start();
    const std::vector<int> picks = ExpectedPicks(uint32_t(kSeed), 2, 12);
    // Find a tick that picks the other picture than the one before it.
    size_t tick = 1;
    while (tick < picks.size() && picks[tick] == picks[tick - 1]) ++tick;
    ASSERT_LT(tick + 1, picks.size());
    platform.ui.Advance(uint32_t(tick - 1) * 1000);
    const Bitmap32 before = Photo().Picture();
    platform.files.Remove("D:\\show\\p" + std::to_string(picks[tick]) + ".bmp");
    platform.ui.Advance(1000);
    EXPECT_EQ(Photo().Picture(), before) << "the removed picture leaves the display as it was";
    EXPECT_EQ(Main().WPFileList.Count(), 2);
    EXPECT_TRUE(platform.ui.messageBoxes.empty());
    EXPECT_TRUE(Main().WPTimer.Enabled());
    // Whatever comes next, only the remaining picture can show.
    platform.ui.Advance(10000);
    EXPECT_EQ(Photo().Picture().At(0, 0), colours[size_t(1 - picks[tick])]);
}

TEST_F(WallpaperTest, OnePictureIsShownAgainEveryTickAndPeriodZeroNeverTicks) {
    PutPicture("D:\\one\\only.bmp", Gradient(5, 5));
    UseFolder("D:\\one", 3);
    Start();
    const int decodes = platform.pictures.decodeCount;
    const int paints = platform.ui.ChangeCount(Photo(), Change::Picture);
    platform.ui.Advance(9000);
    EXPECT_EQ(platform.pictures.decodeCount, decodes + 3);
    EXPECT_EQ(platform.ui.ChangeCount(Photo(), Change::Picture), paints + 3);

    // A period of 0 shows the first picture and then never ticks.
    Main().SetWPInterval(0, 0);
    Main().PrepareWallpaper();
    EXPECT_EQ(platform.pictures.decodeCount, decodes + 4);
    EXPECT_EQ(Main().WPTimer.Interval(), 0u);
    platform.ui.Advance(600000);
    EXPECT_EQ(platform.pictures.decodeCount, decodes + 4);
}

TEST_F(WallpaperTest, AfterTheCloseFreedThePictureTheWallpaperStaysAsItIs) {
    PutPicture("C:\\pics\\one.bmp", Gradient(8, 8));
    UseFixedFile("C:\\pics\\one.bmp", 255);
    Start();
    const Bitmap32 before = Photo().Picture();
    // A failing save keeps the program running after the picture was freed.
    platform.store.FailSectionCreation("WALLPAPER");
    HeadlessUser(platform.ui).PressKey(Main(), kKeyEscape);
    ASSERT_FALSE(Main().WPPicture);
    ASSERT_FALSE(program.App().Terminated());
    Main().PrepareWallpaper();
    Main().CompositeWallpaper();
    EXPECT_EQ(Photo().Picture(), before);
}

}  // namespace
}  // namespace duskpane

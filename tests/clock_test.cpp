// The clock: digit and colon pictures, the digits of a time, the redrawing
// of changed digits only, and the capture watchdog's wrapping comparison.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <stdexcept>

#include "clock/clock.h"
#include "clock/digits.h"
#include "platform/headless/headless_time.h"
#include "ui/controls.h"

namespace duskpane {
namespace {

int GreyOf(Pixel p) { return RedOf(p); }

bool IsGrey(Pixel p) { return RedOf(p) == GreenOf(p) && GreenOf(p) == BlueOf(p); }

TEST(DigitPictures, StayInTheirCellInWhiteAndEdgeGreys) {
    std::map<int, int> greys;
    for (int d = 0; d < 10; ++d) {
        const Bitmap32 picture = MakeDigitPicture(d);
        ASSERT_EQ(picture.Width(), 36);
        ASSERT_EQ(picture.Height(), 64);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 36; ++x) {
                const Pixel p = picture.At(x, y);
                if (p == kBlack) continue;
                EXPECT_TRUE(x >= 1 && x <= 34 && y >= 4 && y <= 60) << d << " at " << x << "," << y;
                ASSERT_TRUE(IsGrey(p)) << d << " at " << x << "," << y;
                const int grey = GreyOf(p);
                EXPECT_TRUE(grey == 255 || (grey >= 11 && grey <= 119)) << grey;
                if (grey != 255) ++greys[grey];
            }
    }
    int mostCommon = 0;
    for (const auto& [grey, count] : greys)
        if (count > greys[mostCommon]) mostCommon = grey;
    EXPECT_NEAR(mostCommon, 75, 5);
    EXPECT_EQ(MakeDigitPicture(kBlankDigitPicture), Bitmap32(36, 64, kBlack));
}

// The centre pixel of each segment, a to g, must be white exactly when the
// digit lights that segment.
TEST(DigitPictures, LightTheSevenSegmentsOfEachDigit) {
    struct Spot {
        int x, y;
    };
    const Spot segment[7] = {{18, 7}, {31, 18}, {31, 46}, {18, 57}, {4, 46}, {4, 18}, {18, 32}};
    const char* lit[10] = {"abcdef", "bc", "abdeg", "abcdg", "bcfg",
                           "acdfg", "acdefg", "abc", "abcdefg", "abcdfg"};
    for (int d = 0; d < 10; ++d) {
        const Bitmap32 picture = MakeDigitPicture(d);
        for (int s = 0; s < 7; ++s) {
            const bool on = std::string(lit[d]).find(char('a' + s)) != std::string::npos;
            EXPECT_EQ(picture.At(segment[s].x, segment[s].y), on ? kWhite : kBlack)
                << "digit " << d << " segment " << char('a' + s);
        }
    }
    const Bitmap32 one = MakeDigitPicture(1);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 18; ++x) EXPECT_EQ(one.At(x, y), kBlack) << x << "," << y;
    const Bitmap32 eight = MakeDigitPicture(8);
    for (int d = 0; d < 10; ++d) {
        const Bitmap32 picture = MakeDigitPicture(d);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 36; ++x)
                EXPECT_GE(GreyOf(eight.At(x, y)), GreyOf(picture.At(x, y))) << d << " at " << x << "," << y;
    }
}

// The art is drawn in integer arithmetic; these counts must come out the
// same from every compiler (they change only when the art is redrawn).
TEST(DigitPictures, AreTheSameOnEveryBuild) {
    const int whites[10] = {548, 176, 470, 470, 362, 470, 558, 274, 646, 558};
    for (int d = 0; d < 10; ++d) {
        const Bitmap32 picture = MakeDigitPicture(d);
        int white = 0;
        for (Pixel p : picture.Pixels()) white += p == kWhite;
        EXPECT_EQ(white, whites[d]) << d;
    }
}

TEST(DigitPictures, ColonIsTwoWhiteSquares) {
    Bitmap32 expected(10, 64, kBlack);
    for (int y = 0; y < 6; ++y)
        for (int x = 2; x <= 7; ++x) {
            expected.Set(x, 17 + y, kWhite);
            expected.Set(x, 41 + y, kWhite);
        }
    EXPECT_EQ(MakeColonPicture(), expected);
}

TEST(DigitPictures, ImageListDrawsThroughTheMask) {
    const ImageList list = MakeDigitImageList();
    ASSERT_EQ(list.Count(), 11);
    const Pixel behind = MakeRgb(1, 2, 3);
    Bitmap32 target(40, 70, behind);
    Canvas canvas(target);
    list.Draw(canvas, 2, 3, 4);
    const Bitmap32& four = list.Picture(4);
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool inside = x >= 2 && x < 38 && y >= 3 && y < 67;
            const Pixel source = inside ? four.At(x - 2, y - 3) : kBlack;
            EXPECT_EQ(target.At(x, y), source == kBlack ? behind : source) << x << "," << y;
        }
}

TEST(Clock, DigitsOfTheTime) {
    using D = std::array<int32_t, 4>;
    EXPECT_EQ(ClockDigits(7, 5), (D{0, 7, 0, 5}));
    EXPECT_EQ(ClockDigits(0, 0), (D{0, 0, 0, 0}));
    EXPECT_EQ(ClockDigits(23, 59), (D{2, 3, 5, 9}));
    EXPECT_EQ(ClockDigits(9, 59), (D{0, 9, 5, 9}));
    EXPECT_EQ(ClockDigits(10, 0), (D{1, 0, 0, 0}));
}

// Counts the repaints an image asks for; can be told to fail one.
class RepaintPeer : public ControlPeer {
public:
    void Changed(Change what) override {
        if (what != Change::Picture) return;
        if (failNext) {
            failNext = false;
            throw std::runtime_error("repaint failed");
        }
        ++repaints;
    }
    int repaints = 0;
    bool failNext = false;
};

class ClockDigitsTest : public ::testing::Test {
protected:
    ClockDigitsTest() {
        for (size_t i = 0; i < 4; ++i) {
            images[i] = std::make_unique<Image>(nullptr, "Img" + std::to_string(i));
            images[i]->SetBounds(0, 0, 36, 64);
            auto peer = std::make_unique<RepaintPeer>();
            peers[i] = peer.get();
            images[i]->AttachPeer(std::move(peer));
            images[i]->GetCanvas().brush.colour = kBlack;
            digitImage[i] = images[i].get();
        }
        shownDigit.fill(kNoDigit);
    }
    // Repaints per image since the last call.
    std::array<int, 4> Repaints() {
        std::array<int, 4> counts{};
        for (size_t i = 0; i < 4; ++i) {
            counts[i] = peers[i]->repaints;
            peers[i]->repaints = 0;
        }
        return counts;
    }
    void Show(int hour, int minute) { UpdateClockDigits(hour, minute, shownDigit, digitImage, list); }

    static constexpr int32_t kNoDigit = 10;
    const ImageList list = MakeDigitImageList();
    std::array<std::unique_ptr<Image>, 4> images;
    std::array<RepaintPeer*, 4> peers{};
    std::array<Image*, 4> digitImage{};
    std::array<int32_t, 4> shownDigit{};
};

TEST_F(ClockDigitsTest, FirstDrawingShowsAllFourPictures) {
    images[2]->Surface().Fill(kWhite);  // whatever was there is wiped
    Show(7, 5);
    EXPECT_EQ(Repaints(), (std::array<int, 4>{1, 1, 1, 1}));
    EXPECT_EQ(shownDigit, (std::array<int32_t, 4>{0, 7, 0, 5}));
    const int expected[4] = {0, 7, 0, 5};
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(images[i]->Picture(), MakeDigitPicture(expected[i])) << i;
}

TEST_F(ClockDigitsTest, OnlyChangedDigitsAreRedrawn) {
    using R = std::array<int, 4>;
    Show(12, 34);
    Repaints();
    Show(12, 34);
    EXPECT_EQ(Repaints(), (R{0, 0, 0, 0}));
    Show(12, 35);
    EXPECT_EQ(Repaints(), (R{0, 0, 0, 1}));
    EXPECT_EQ(images[3]->Picture(), MakeDigitPicture(5));
    Show(9, 59);
    EXPECT_EQ(Repaints(), (R{1, 1, 1, 1}));
    Show(10, 0);
    EXPECT_EQ(Repaints(), (R{1, 1, 1, 1}));
    Show(23, 59);
    Repaints();
    Show(0, 0);
    EXPECT_EQ(Repaints(), (R{1, 1, 1, 1}));
    EXPECT_EQ(shownDigit, (std::array<int32_t, 4>{0, 0, 0, 0}));
    Show(20, 0);  // the system clock set forward
    EXPECT_EQ(Repaints(), (R{1, 0, 0, 0}));
    EXPECT_EQ(images[0]->Picture(), MakeDigitPicture(2));
}

TEST_F(ClockDigitsTest, FailedDigitIsDrawnAgainAtTheNextTick) {
    peers[1]->failNext = true;
    EXPECT_THROW(Show(12, 34), std::runtime_error);
    EXPECT_EQ(shownDigit, (std::array<int32_t, 4>{1, kNoDigit, kNoDigit, kNoDigit}));
    Repaints();
    Show(12, 34);
    EXPECT_EQ(Repaints(), (std::array<int, 4>{0, 1, 1, 1}));
    EXPECT_EQ(shownDigit, (std::array<int32_t, 4>{1, 2, 3, 4}));
}

// The deadline lastWaveTick + 2000 wraps in 32 bits. Just before the tick
// counter wraps, the deadline is therefore small and every later tick up to
// the wrap counts as past it; that comparison is kept as it is.
TEST(Clock, WatchdogDeadlineWrapsWithTheTickCounter) {
    EXPECT_FALSE(WatchdogDue(2000, 0));
    EXPECT_TRUE(WatchdogDue(2001, 0));
    EXPECT_FALSE(WatchdogDue(0, 0));

    const uint32_t last = 0xFFFFFF00u;  // deadline wraps to 0x6D0
    EXPECT_TRUE(WatchdogDue(0xFFFFFF10u, last));
    EXPECT_TRUE(WatchdogDue(0xFFFFFFFFu, last));
    EXPECT_FALSE(WatchdogDue(0x6D0u, last));
    EXPECT_TRUE(WatchdogDue(0x6D1u, last));

    HeadlessTimeService time;
    time.SetTickCount(0xFFFFFC00u);
    const uint32_t queued = time.TickCount();  // deadline wraps to 0x3D0
    time.Advance(1);
    EXPECT_TRUE(WatchdogDue(time.TickCount(), queued));
    time.Advance(0x3FFu);  // the counter wraps to 0
    EXPECT_EQ(time.TickCount(), 0u);
    EXPECT_FALSE(WatchdogDue(time.TickCount(), queued));
    time.Advance(0x3D0u);
    EXPECT_FALSE(WatchdogDue(time.TickCount(), queued));
    time.Advance(1);
    EXPECT_TRUE(WatchdogDue(time.TickCount(), queued));
}

}  // namespace
}  // namespace duskpane

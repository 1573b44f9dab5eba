// The canvas: rectangle edges, lines without their end point, masked copies.
#include <gtest/gtest.h>

#include "ui/canvas.h"
#include "util/errors.h"
#include "util/random.h"

namespace duskpane {
namespace {

constexpr Pixel kRed = MakeRgb(255, 0, 0);
constexpr Pixel kBlue = MakeRgb(0, 0, 255);

int CountColour(const Bitmap32& bmp, Pixel colour) {
    int n = 0;
    for (Pixel p : bmp.Pixels()) n += p == colour;
    return n;
}

TEST(Canvas, RectangleOutlinesAndFillsWithoutRightAndBottomEdge) {
    Bitmap32 bmp(10, 10);
    Canvas canvas(bmp);
    canvas.pen.colour = kRed;
    canvas.brush.colour = kBlue;
    canvas.Rectangle(2, 3, 7, 8);  // pixels 2..6 x 3..7
    EXPECT_EQ(bmp.At(2, 3), kRed);
    EXPECT_EQ(bmp.At(6, 7), kRed);
    EXPECT_EQ(bmp.At(7, 7), kBlack);
    EXPECT_EQ(bmp.At(6, 8), kBlack);
    EXPECT_EQ(bmp.At(3, 4), kBlue);
    EXPECT_EQ(bmp.At(5, 6), kBlue);
    EXPECT_EQ(CountColour(bmp, kRed), 2 * 5 + 2 * 3);
    EXPECT_EQ(CountColour(bmp, kBlue), 3 * 3);

    // An empty rectangle draws nothing; a reversed one the same as the plain one.
    Bitmap32 other(10, 10);
    Canvas reversed(other);
    reversed.pen.colour = kRed;
    reversed.brush.colour = kBlue;
    reversed.Rectangle(4, 5, 9, 5);
    EXPECT_EQ(CountColour(other, kRed), 0);
    reversed.Rectangle(7, 8, 2, 3);
    EXPECT_EQ(other, bmp);
}

TEST(Canvas, ClearPenFillsOnePixelLessAndClipsAtTheEdges) {
    Bitmap32 bmp(6, 6);
    Canvas canvas(bmp);
    canvas.pen.style = PenStyle::Clear;
    canvas.brush.colour = kBlue;
    canvas.Rectangle(0, 0, 4, 4);
    EXPECT_EQ(CountColour(bmp, kBlue), 9);

    Bitmap32 small(4, 4);
    Canvas clip(small);
    clip.pen.colour = kRed;
    clip.brush.colour = kBlue;
    clip.Rectangle(-5, -5, 50, 50);  // only the inside falls on the bitmap
    EXPECT_EQ(CountColour(small, kBlue), 16);
}

TEST(Canvas, LineToLeavesOutItsEndPointAndMovesThePen) {
    Bitmap32 bmp(20, 5);
    Canvas canvas(bmp);
    canvas.pen.colour = kRed;
    canvas.MoveTo(2, 1);
    canvas.LineTo(13, 1);
    EXPECT_EQ(CountColour(bmp, kRed), 11);
    EXPECT_EQ(bmp.At(2, 1), kRed);
    EXPECT_EQ(bmp.At(12, 1), kRed);
    EXPECT_EQ(bmp.At(13, 1), kBlack);

    canvas.LineTo(13, 4);  // continues from the last end point
    EXPECT_EQ(bmp.At(13, 1), kRed);
    EXPECT_EQ(bmp.At(13, 3), kRed);
    EXPECT_EQ(bmp.At(13, 4), kBlack);

    Bitmap32 diag(5, 5);
    Canvas d(diag);
    d.pen.colour = kBlue;
    d.MoveTo(4, 4);
    d.LineTo(0, 0);
    EXPECT_EQ(CountColour(diag, kBlue), 4);
    EXPECT_EQ(diag.At(1, 1), kBlue);
    EXPECT_EQ(diag.At(0, 0), kBlack);
}

TEST(Canvas, DrawMaskedLeavesPureBlackOut) {
    Bitmap32 picture(3, 1);
    picture.Set(0, 0, kBlack);
    picture.Set(1, 0, MakeRgb(16, 16, 16));
    picture.Set(2, 0, kWhite);
    Bitmap32 target(4, 2, kRed);
    Canvas canvas(target);
    canvas.DrawMasked(1, 1, picture);
    EXPECT_EQ(target.At(1, 1), kRed);
    EXPECT_EQ(target.At(2, 1), MakeRgb(16, 16, 16));
    EXPECT_EQ(target.At(3, 1), kWhite);
    canvas.Draw(0, 0, picture);
    EXPECT_EQ(target.At(0, 0), kBlack);
}

TEST(SlideRandom, FollowsTheLinearCongruentialSequence) {
    SlideRandom r;
    r.Seed(0);  // the seed's first value, 0, is drawn and thrown away
    EXPECT_EQ(r.State(), 1u);
    EXPECT_EQ(r.Next(), 346);
    EXPECT_EQ(r.Next(), 130);
    EXPECT_EQ(r.Next(), 10982);
    for (int i = 0; i < 1000; ++i) {
        const int v = r.Next();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 32767);
    }
    SlideRandom a, b;
    a.Seed(1765158000u);
    b.Seed(1765158000u);
    EXPECT_EQ(a.Next(), b.Next());
}

TEST(Errors, FormatPutsTheArgumentInPlaceOfPercentS) {
    EXPECT_EQ(FormatMessage1("'%s' のデータ型が不正です", "WP_FILE"), "'WP_FILE' のデータ型が不正です");
    EXPECT_EQ(FormatMessage1("no argument", "x"), "no argument");
    EXPECT_EQ(FormatMessage1("%s%s", "a"), "a%s");
}

}  // namespace
}  // namespace duskpane

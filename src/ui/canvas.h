// A small drawing surface over a Bitmap32: pen, brush, rectangles, lines,
// masked pictures. Right and bottom edges and line end points are excluded.
#pragma once

#include "util/bitmap.h"

namespace duskpane {

enum class PenStyle { Solid, Clear };
enum class BrushStyle { Solid, Clear };

struct Pen {
    Pixel colour = kBlack;
    PenStyle style = PenStyle::Solid;
};

struct Brush {
    Pixel colour = kWhite;
    BrushStyle style = BrushStyle::Solid;
};

class Canvas {
public:
    explicit Canvas(Bitmap32& target) : target_(&target) {}

    Bitmap32& Target() { return *target_; }

    Pen pen;      // black, one pixel, solid
    Brush brush;  // white, solid

    // Outlines with the pen and fills with the brush the pixels x1..x2-1,
    // y1..y2-1. With a clear pen the filled area is one pixel smaller in
    // each direction, as a frame-less rectangle is drawn on Windows.
    void Rectangle(int x1, int y1, int x2, int y2);
    // Fills x1..x2-1, y1..y2-1 with the brush, no outline.
    void FillRect(int x1, int y1, int x2, int y2);
    void MoveTo(int x, int y);
    // Draws with the pen from the current position up to, not including,
    // (x, y), and makes (x, y) the current position.
    void LineTo(int x, int y);
    // Copies a picture, every pixel.
    void Draw(int x, int y, const Bitmap32& picture);
    // Copies a picture through its mask: its pure black pixels are left out.
    void DrawMasked(int x, int y, const Bitmap32& picture);

private:
    void FillArea(int x1, int y1, int x2, int y2, Pixel colour);

    Bitmap32* target_;
    int penX_ = 0;
    int penY_ = 0;
};

}  // namespace duskpane

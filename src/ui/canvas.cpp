// Canvas drawing into 32-bit bitmaps.
#include "ui/canvas.h"

#include <algorithm>
#include <cstdlib>

namespace duskpane {

void Canvas::FillArea(int x1, int y1, int x2, int y2, Pixel colour) {
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, target_->Width());
    y2 = std::min(y2, target_->Height());
    for (int y = y1; y < y2; ++y) {
        Pixel* row = target_->Row(y);
        for (int x = x1; x < x2; ++x) row[x] = colour;
    }
}

void Canvas::Rectangle(int x1, int y1, int x2, int y2) {
    if (x2 < x1) std::swap(x1, x2);
    if (y2 < y1) std::swap(y1, y2);
    if (pen.style == PenStyle::Clear) {
        if (brush.style == BrushStyle::Solid) FillArea(x1, y1, x2 - 1, y2 - 1, brush.colour);
        return;
    }
    if (x2 <= x1 || y2 <= y1) return;
    if (brush.style == BrushStyle::Solid) FillArea(x1 + 1, y1 + 1, x2 - 1, y2 - 1, brush.colour);
    FillArea(x1, y1, x2, y1 + 1, pen.colour);
    FillArea(x1, y2 - 1, x2, y2, pen.colour);
    FillArea(x1, y1, x1 + 1, y2, pen.colour);
    FillArea(x2 - 1, y1, x2, y2, pen.colour);
}

void Canvas::FillRect(int x1, int y1, int x2, int y2) {
    if (x2 < x1) std::swap(x1, x2);
    if (y2 < y1) std::swap(y1, y2);
    FillArea(x1, y1, x2, y2, brush.colour);
}

void Canvas::MoveTo(int x, int y) {
    penX_ = x;
    penY_ = y;
}

void Canvas::LineTo(int x, int y) {
    int x0 = penX_;
    int y0 = penY_;
    penX_ = x;
    penY_ = y;
    if (pen.style == PenStyle::Clear) return;
    // Bresenham from the start point; the end point itself is not drawn.
    const int dx = std::abs(x - x0);
    const int dy = -std::abs(y - y0);
    const int sx = x0 < x ? 1 : -1;
    const int sy = y0 < y ? 1 : -1;
    int err = dx + dy;
    while (x0 != x || y0 != y) {
        target_->Plot(x0, y0, pen.colour);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

void Canvas::Draw(int x, int y, const Bitmap32& picture) {
    for (int py = 0; py < picture.Height(); ++py)
        for (int px = 0; px < picture.Width(); ++px) target_->Plot(x + px, y + py, picture.At(px, py));
}

void Canvas::DrawMasked(int x, int y, const Bitmap32& picture) {
    for (int py = 0; py < picture.Height(); ++py)
        for (int px = 0; px < picture.Width(); ++px) {
            const Pixel p = picture.At(px, py);
            if (p != kBlack) target_->Plot(x + px, y + py, p);
        }
}

}  // namespace duskpane

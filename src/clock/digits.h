// The clock's seven-segment digit pictures, its colon and the image list
// that holds the digits.
#pragma once

#include <vector>

#include "util/bitmap.h"
#include "ui/canvas.h"

namespace duskpane {

constexpr int kDigitWidth = 36;
constexpr int kDigitHeight = 64;
constexpr int kColonWidth = 10;
constexpr int kColonHeight = 64;
// Ten digits and, at index 10, an all-black picture.
constexpr int kDigitPictureCount = 11;
constexpr int kBlankDigitPicture = 10;

// Picture `index` of the clock's image list: the digit 0 to 9 light on
// black, or all black for 10.
Bitmap32 MakeDigitPicture(int index);

// The fixed colon: two white 6 x 6 squares on black.
Bitmap32 MakeColonPicture();

// Same-size pictures with a black background; each is drawn through its
// mask, which makes its pure black pixels transparent.
class ImageList {
public:
    ImageList(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Count() const { return int(pictures_.size()); }

    // Appends a picture of the list's size and returns its index.
    int Add(const Bitmap32& picture);
    const Bitmap32& Picture(int index) const;
    // Draws picture `index` at (x, y), leaving the target's pixels under
    // its black ones unchanged.
    void Draw(Canvas& canvas, int x, int y, int index) const;

private:
    int width_;
    int height_;
    std::vector<Bitmap32> pictures_;
};

// The main window's image list: the digits 0 to 9 and the blank picture.
ImageList MakeDigitImageList();

}  // namespace duskpane

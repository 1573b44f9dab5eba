// Writes the clock's eleven digit pictures and its colon side by side as a
// binary PPM file, to look at the digit art.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "clock/digits.h"

using namespace duskpane;

namespace {

// Places the pictures left to right on one black strip.
Bitmap32 Strip(const std::vector<Bitmap32>& pictures) {
    int width = 0;
    int height = 0;
    for (const Bitmap32& picture : pictures) {
        width += picture.Width();
        if (picture.Height() > height) height = picture.Height();
    }
    Bitmap32 strip(width, height, kBlack);
    Canvas canvas(strip);
    int x = 0;
    for (const Bitmap32& picture : pictures) {
        canvas.Draw(x, 0, picture);
        x += picture.Width();
    }
    return strip;
}

bool WritePpm(const std::string& path, const Bitmap32& image) {
    std::ofstream out(path, std::ios::binary);
    if (!out) return false;
    out << "P6\n" << image.Width() << ' ' << image.Height() << "\n255\n";
    std::vector<char> row(size_t(image.Width()) * 3);
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            const Pixel p = image.At(x, y);
            row[size_t(x) * 3] = char(RedOf(p));
            row[size_t(x) * 3 + 1] = char(GreenOf(p));
            row[size_t(x) * 3 + 2] = char(BlueOf(p));
        }
        out.write(row.data(), std::streamsize(row.size()));
    }
    out.close();
    return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: duskpane-digits OUTPUT.ppm\n");
        return 2;
    }
    const ImageList digits = MakeDigitImageList();
    std::vector<Bitmap32> pictures;
    for (int i = 0; i < digits.Count(); ++i) pictures.push_back(digits.Picture(i));
    pictures.push_back(MakeColonPicture());
    if (!WritePpm(argv[1], Strip(pictures))) {
        std::fprintf(stderr, "duskpane-digits: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

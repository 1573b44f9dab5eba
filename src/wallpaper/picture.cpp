// Loading a wallpaper picture by its extension and blending it into black.
#include "wallpaper/picture.h"

#include <cstddef>

namespace duskpane {

namespace {

// The extension after the last dot, its ASCII letters in lower case; empty
// when the name has no dot.
std::string LowerExtension(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos) return {};
    std::string extension = path.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return extension;
}

}  // namespace

bool LoadPicture(PictureDecoder& decoder, const std::string& path, Picture& picture) {
    const std::string extension = LowerExtension(path);
    std::optional<Bitmap32> pixels;
    PictureKind kind = PictureKind::None;
    if (extension == ".bmp") {
        pixels = decoder.DecodeBmp(path);
        kind = PictureKind::Bitmap;
    } else if (extension == ".jpg" || extension == ".jpeg") {
        pixels = decoder.DecodeJpeg(path);
        kind = PictureKind::Jpeg;
    }
    if (!pixels) return false;
    picture.kind = kind;
    picture.pixels = std::move(*pixels);
    return true;
}

Bitmap32 BlendIntoBlack(BlendFunction& blend, const Picture& picture, uint8_t alpha) {
    if (picture.Empty()) return Bitmap32();
    // A JPEG is drawn into a bitmap of its size first; both kinds are plain
    // pixels here, so the source is the picture itself.
    Bitmap32 target(picture.pixels.Width(), picture.pixels.Height(), kBlack);
    blend.AlphaBlend(target, picture.pixels, alpha);
    return target;
}

}  // namespace duskpane

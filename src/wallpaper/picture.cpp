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

bool LoadPicture(PictureDecoder& decoder, const std::string& path, const PictureRequest& request,
                 Picture& picture) {
    const std::string extension = LowerExtension(path);
    std::optional<DecodedPicture> decoded;
    PictureKind kind = PictureKind::None;
    if (extension == ".bmp") {
        decoded = decoder.DecodeBmp(path, request);
        kind = PictureKind::Bitmap;
    } else if (extension == ".jpg" || extension == ".jpeg") {
        decoded = decoder.DecodeJpeg(path, request);
        kind = PictureKind::Jpeg;
    }
    if (!decoded) return false;
    picture.kind = kind;
    picture.pixels = std::move(decoded->pixels);
    picture.width = decoded->width;
    picture.height = decoded->height;
    picture.left = decoded->left;
    picture.top = decoded->top;
    return true;
}

void BlendIntoBlack(BlendFunction& blend, const Picture& picture, uint8_t alpha, Bitmap32& target) {
    if (picture.Empty()) {
        target.Reset(0, 0);
        return;
    }
    // A JPEG is drawn into a bitmap of its size first; both kinds are plain
    // pixels here, so the source is the picture itself.
    target.Reset(picture.pixels.Width(), picture.pixels.Height(), kBlack);
    blend.AlphaBlend(target, picture.pixels, alpha);
}

Bitmap32 BlendIntoBlack(BlendFunction& blend, const Picture& picture, uint8_t alpha) {
    Bitmap32 target;
    BlendIntoBlack(blend, picture, alpha, target);
    return target;
}

}  // namespace duskpane

// The picture object of the wallpaper and the preview: a BMP or a JPEG file
// as loaded, and the blend of a picture into black.
#pragma once

#include <string>

#include "platform/platform.h"
#include "ui/bitmap.h"

namespace duskpane {

enum class PictureKind { None, Bitmap, Jpeg };

struct Picture {
    PictureKind kind = PictureKind::None;
    Bitmap32 pixels;

    bool Empty() const { return kind == PictureKind::None; }
    void Clear() {
        kind = PictureKind::None;
        pixels = Bitmap32();
    }
};

// Loads a file into the picture, choosing the decoder by its extension
// (".bmp"; ".jpg" and ".jpeg"); false, with the picture unchanged, for
// anything that cannot be loaded.
bool LoadPicture(PictureDecoder& decoder, const std::string& path, Picture& picture);

// The picture blended into black at a constant alpha through the blend
// library: each channel becomes picture * alpha / 255. Empty when the
// picture is of no known kind.
Bitmap32 BlendIntoBlack(BlendFunction& blend, const Picture& picture, uint8_t alpha);

}  // namespace duskpane

// The picture object of the wallpaper and the preview: the part of a BMP or
// JPEG file that is shown, and the blend of a picture into black.
#pragma once

#include <string>

#include "platform/platform.h"
#include "util/bitmap.h"

namespace duskpane {

enum class PictureKind { None, Bitmap, Jpeg };

struct Picture {
    PictureKind kind = PictureKind::None;
    // The part of the picture that was asked for (for a reduced picture,
    // all of it at the reduced scale).
    Bitmap32 pixels;
    // The whole picture's size, and where the held part's top-left pixel
    // lies in it.
    int width = 0;
    int height = 0;
    int left = 0;
    int top = 0;

    bool Empty() const { return kind == PictureKind::None; }
    void Clear() { *this = Picture(); }
};

// Loads the requested part of a file into the picture, choosing the decoder
// by the file's extension (".bmp"; ".jpg" and ".jpeg"); false, with the
// picture unchanged, for anything that cannot be loaded.
bool LoadPicture(PictureDecoder& decoder, const std::string& path, const PictureRequest& request,
                 Picture& picture);

// The picture blended into black at a constant alpha through the blend
// library, into a target that is set to the picture's size first (its
// memory reused where it has enough): each channel becomes
// picture * alpha / 255. Empty when the picture is of no known kind.
void BlendIntoBlack(BlendFunction& blend, const Picture& picture, uint8_t alpha, Bitmap32& target);
// The same into a new bitmap.
Bitmap32 BlendIntoBlack(BlendFunction& blend, const Picture& picture, uint8_t alpha);

}  // namespace duskpane

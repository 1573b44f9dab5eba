// The software constant-alpha blend behind the blend library seam on Linux.
#include "platform/linux/linux_blend.h"

namespace duskpane {

namespace {

class LinuxBlendFunction : public BlendFunction {
public:
    bool AlphaBlend(Bitmap32& destination, const Bitmap32& source, uint8_t constantAlpha) override {
        return BlendBitmaps(destination, source, constantAlpha);
    }
};

}  // namespace

std::unique_ptr<BlendFunction> LinuxBlendLibrary::Load() { return std::make_unique<LinuxBlendFunction>(); }

}  // namespace duskpane

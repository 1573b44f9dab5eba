// The software constant-alpha blend behind the blend library seam on Linux.
#include "platform/linux/linux_blend.h"

namespace duskpane {

namespace {

class LinuxBlendFunction : public BlendFunction {
public:
    // False, and the destination untouched, when the sizes differ.
    bool AlphaBlend(Bitmap32& destination, const Bitmap32& source, uint8_t constantAlpha) override {
        if (destination.Width() != source.Width() || destination.Height() != source.Height()) return false;
        const unsigned alpha = constantAlpha;
        for (int y = 0; y < source.Height(); ++y) {
            const Pixel* from = source.Row(y);
            Pixel* to = destination.Row(y);
            for (int x = 0; x < source.Width(); ++x)
                to[x] = MakeRgb(BlendChannel(RedOf(from[x]), RedOf(to[x]), alpha),
                                BlendChannel(GreenOf(from[x]), GreenOf(to[x]), alpha),
                                BlendChannel(BlueOf(from[x]), BlueOf(to[x]), alpha));
        }
        return true;
    }
};

}  // namespace

std::unique_ptr<BlendFunction> LinuxBlendLibrary::Load() { return std::make_unique<LinuxBlendFunction>(); }

}  // namespace duskpane

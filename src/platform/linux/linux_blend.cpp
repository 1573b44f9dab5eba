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
        const unsigned rest = 255u - alpha;
        // Channel by channel over the bytes of each row; t / 255 is worked out
        // as (t + 1 + (t >> 8)) >> 8, exact for every t a channel can reach
        // (at most 255 x 255 + 127), which lets the loop run on vector lanes.
        // The fourth byte of a pixel stays 0.
        for (int y = 0; y < source.Height(); ++y) {
            const uint8_t* from = reinterpret_cast<const uint8_t*>(source.Row(y));
            uint8_t* to = reinterpret_cast<uint8_t*>(destination.Row(y));
            const int bytes = source.Width() * 4;
            for (int i = 0; i < bytes; ++i) {
                const unsigned t = from[i] * alpha + to[i] * rest + 127u;
                to[i] = uint8_t((t + 1u + (t >> 8)) >> 8);
            }
            Pixel* pixels = destination.Row(y);
            for (int x = 0; x < source.Width(); ++x) pixels[x] &= 0x00FFFFFFu;
        }
        return true;
    }
};

}  // namespace

std::unique_ptr<BlendFunction> LinuxBlendLibrary::Load() { return std::make_unique<LinuxBlendFunction>(); }

}  // namespace duskpane

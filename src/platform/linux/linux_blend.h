// The constant-alpha blend on Linux, done in software.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace duskpane {

// The blend library is part of the program here, so loading it always
// succeeds. Each channel becomes round((src × alpha + dst × (255 − alpha)) / 255);
// over black that is round(src × alpha / 255), exactly what the system blend
// gives on Windows.
class LinuxBlendLibrary : public BlendLibrary {
public:
    std::unique_ptr<BlendFunction> Load() override;
};

// One channel of the blend.
constexpr uint8_t BlendChannel(unsigned source, unsigned destination, unsigned alpha) {
    return uint8_t((source * alpha + destination * (255u - alpha) + 127u) / 255u);
}

}  // namespace duskpane

// The constant-alpha blend on Linux: the program's software blend.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace duskpane {

// The blend library is part of the program here, so loading it always
// succeeds; the blend is BlendBitmaps.
class LinuxBlendLibrary : public BlendLibrary {
public:
    std::unique_ptr<BlendFunction> Load() override;
};

}  // namespace duskpane

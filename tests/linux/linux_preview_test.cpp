// The open-picture dialog's preview on the Linux decoders (libjpeg-turbo and
// the program's own BMP reader).
#include "../preview_scenarios.h"

#include "platform/linux/linux_pictures.h"

namespace duskpane::preview_test {
namespace {

struct LinuxProbe : FolderProbe {
    LinuxPictureDecoder decoder;

    PictureDecoder& Decoder() { return decoder; }
    std::function<void()> ThreadStart() { return {}; }
    std::function<void()> ThreadEnd() { return {}; }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Linux, PreviewScenarios, LinuxProbe);

}  // namespace
}  // namespace duskpane::preview_test

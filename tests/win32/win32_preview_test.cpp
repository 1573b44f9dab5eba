// The open-picture dialog's preview on the Windows decoders (WIC), whose
// worker thread sets up COM for itself.
#include "../preview_scenarios.h"

#include <windows.h>
#include <objbase.h>

#include "platform/win32/win32_pictures.h"

namespace duskpane::preview_test {
namespace {

struct Win32Probe : FolderProbe {
    Win32Probe() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~Win32Probe() { CoUninitialize(); }

    Win32PictureDecoder decoder;

    PictureDecoder& Decoder() { return decoder; }
    std::function<void()> ThreadStart() {
        return [] { CoInitializeEx(nullptr, COINIT_MULTITHREADED); };
    }
    std::function<void()> ThreadEnd() {
        return [] { CoUninitialize(); };
    }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Win32, PreviewScenarios, Win32Probe);

}  // namespace
}  // namespace duskpane::preview_test

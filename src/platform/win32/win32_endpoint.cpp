// The output volume over the default render endpoint's Core Audio interfaces,
// and the audio system that offers it or the mixer.
#include <windows.h>

#include <objbase.h>

#include <endpointvolume.h>
#include <mmdeviceapi.h>

#include <cstdio>
#include <string>

#include "platform/win32/win32_sound.h"
#include "util/errors.h"

namespace duskpane {
namespace {

// The published identifiers of the Core Audio objects, defined here rather
// than taken from the toolchain's headers (one of which spells the loudness
// interface's identifier wrongly).
constexpr GUID kClassMMDeviceEnumerator = {
    0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
constexpr GUID kIidMMDeviceEnumerator = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
constexpr GUID kIidAudioEndpointVolume = {
    0x5CDF2C82, 0x841E, 0x4546, {0x97, 0x22, 0x0C, 0xF7, 0x40, 0x78, 0x22, 0x9A}};
constexpr GUID kIidAudioLoudness = {
    0x7D8B1437, 0xDD53, 0x4350, {0x9C, 0x1B, 0x1E, 0xE2, 0x89, 0x0B, 0xD9, 0x38}};
// The event context passed with every change: sixteen zero bytes.
constexpr GUID kNullEventContext = {};

constexpr DWORD kCreateContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;
constexpr DWORD kActivateContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

std::string HexCode(HRESULT code) {
    char text[16];
    std::snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(code));
    return text;
}

template <class T>
void Release(T*& pointer) {
    if (pointer) pointer->Release();
    pointer = nullptr;
}

// The endpoint object: the enumerator, the default console render device,
// its volume interface (every get and set goes through it) and its loudness
// interface (taken at Init, not used). Created and used on the GUI thread,
// whose COM apartment the program's entry sets up.
class Win32Endpoint : public VolumeEndpoint {
public:
    Win32Endpoint() = default;
    ~Win32Endpoint() override { ReleaseAll(); }
    Win32Endpoint(const Win32Endpoint&) = delete;
    Win32Endpoint& operator=(const Win32Endpoint&) = delete;

    void Init() override {
        ReleaseAll();
        IUnknown* created = nullptr;
        HRESULT result = CoCreateInstance(kClassMMDeviceEnumerator, nullptr, kCreateContext, IID_IUnknown,
                                          reinterpret_cast<void**>(&created));
        if (FAILED(result) || !created) throw AppError("CoCreateInstance failed: 0x" + HexCode(result));
        result = created->QueryInterface(kIidMMDeviceEnumerator, reinterpret_cast<void**>(&enumerator_));
        Release(created);
        if (FAILED(result) || !enumerator_) {
            enumerator_ = nullptr;
            throw AppError("QueryInterface failed: 0x" + HexCode(result));
        }
        // No output device, or one without a volume interface: the object
        // stays without it and every get and set reports a refusal.
        if (FAILED(enumerator_->GetDefaultAudioEndpoint(eRender, eConsole, &device_))) {
            device_ = nullptr;
            return;
        }
        if (FAILED(device_->Activate(kIidAudioEndpointVolume, kActivateContext, nullptr,
                                     reinterpret_cast<void**>(&volume_)))) {
            volume_ = nullptr;
            return;
        }
        if (FAILED(device_->Activate(kIidAudioLoudness, kActivateContext, nullptr,
                                     reinterpret_cast<void**>(&loudness_))))
            loudness_ = nullptr;
    }

    bool GetLevel(float& level) override {
        float read = 0.0f;
        if (!volume_ || FAILED(volume_->GetMasterVolumeLevelScalar(&read))) return false;
        level = read;
        return true;
    }
    bool SetLevel(float level) override {
        return volume_ && SUCCEEDED(volume_->SetMasterVolumeLevelScalar(level, &kNullEventContext));
    }
    bool GetMute(bool& muted) override {
        BOOL value = FALSE;
        if (!volume_ || FAILED(volume_->GetMute(&value))) return false;
        muted = value != FALSE;
        return true;
    }
    bool SetMute(bool muted) override {
        return volume_ && SUCCEEDED(volume_->SetMute(muted ? TRUE : FALSE, &kNullEventContext));
    }

private:
    void ReleaseAll() {
        Release(loudness_);
        Release(volume_);
        Release(device_);
        Release(enumerator_);
    }

    IMMDeviceEnumerator* enumerator_ = nullptr;
    IMMDevice* device_ = nullptr;
    IAudioEndpointVolume* volume_ = nullptr;
    IUnknown* loudness_ = nullptr;
};

}  // namespace

std::unique_ptr<VolumeEndpoint> CreateWin32Endpoint() { return std::make_unique<Win32Endpoint>(); }

// Windows 6.0 or later: the major version at least 6 and, at 6, the minor
// version at least 0.
bool Win32AudioSystem::HasEndpointVolume() {
    OSVERSIONINFOEXA version{};
    version.dwOSVersionInfoSize = sizeof version;
    version.dwMajorVersion = 6;
    version.dwMinorVersion = 0;
    ULONGLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    return VerifyVersionInfoA(&version, VER_MAJORVERSION | VER_MINORVERSION, mask) != 0;
}

std::unique_ptr<VolumeEndpoint> Win32AudioSystem::CreateEndpoint() { return CreateWin32Endpoint(); }

std::unique_ptr<VolumeMixer> Win32AudioSystem::OpenMixer() { return OpenWin32Mixer(); }

}  // namespace duskpane

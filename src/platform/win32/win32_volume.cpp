// The output volume: the winmm mixer's speakers line and the default render
// endpoint's volume interface.
#include <windows.h>

#include <mmsystem.h>
#include <objbase.h>

#include <mmdeviceapi.h>
#include <endpointvolume.h>

#include <cstdio>
#include <string>

#include "platform/win32/win32_sound.h"
#include "util/errors.h"

namespace duskpane {
namespace {

// The published identifiers of the Core Audio objects.
constexpr GUID kClassMMDeviceEnumerator = {
    0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
constexpr GUID kIidMMDeviceEnumerator = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
constexpr GUID kIidAudioEndpointVolume = {
    0x5CDF2C82, 0x841E, 0x4546, {0x97, 0x22, 0x0C, 0xF7, 0x40, 0x78, 0x22, 0x9A}};
constexpr GUID kNullEventContext = {};

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

class Win32Mixer : public AudioMixer {
public:
    ~Win32Mixer() override { Close(); }

    uint32_t Open() override {
        Close();
        return mixerOpen(&mixer_, 0, 0, 0, 0);
    }
    uint32_t GetDevCaps() override {
        MIXERCAPSW caps{};
        return mixerGetDevCapsW(reinterpret_cast<UINT_PTR>(mixer_), &caps, sizeof caps);
    }
    uint32_t GetSpeakersLine(uint32_t& lineId) override {
        MIXERLINEW line{};
        line.cbStruct = sizeof line;
        line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
        const MMRESULT result = mixerGetLineInfoW(Object(), &line,
                                                  MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE);
        if (result == MMSYSERR_NOERROR) lineId = line.dwLineID;
        return result;
    }
    uint32_t GetLineControl(uint32_t lineId, uint32_t controlType, MixerControlInfo& control) override {
        MIXERCONTROLW native{};
        native.cbStruct = sizeof native;
        MIXERLINECONTROLSW controls{};
        controls.cbStruct = sizeof controls;
        controls.dwLineID = lineId;
        controls.dwControlType = controlType;
        controls.cControls = 1;
        controls.cbmxctrl = sizeof native;
        controls.pamxctrl = &native;
        const MMRESULT result = mixerGetLineControlsW(Object(), &controls,
                                                      MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE);
        if (result == MMSYSERR_NOERROR) {
            control.id = native.dwControlID;
            control.minimum = native.Bounds.dwMinimum;
            control.maximum = native.Bounds.dwMaximum;
        }
        return result;
    }
    uint32_t GetControlValue(uint32_t controlId, uint32_t& value) override {
        MIXERCONTROLDETAILS_UNSIGNED detail{};
        MIXERCONTROLDETAILS details = Details(controlId, detail);
        const MMRESULT result =
            mixerGetControlDetailsW(Object(), &details, MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE);
        if (result == MMSYSERR_NOERROR) value = detail.dwValue;
        return result;
    }
    uint32_t SetControlValue(uint32_t controlId, uint32_t value) override {
        MIXERCONTROLDETAILS_UNSIGNED detail{value};
        MIXERCONTROLDETAILS details = Details(controlId, detail);
        return mixerSetControlDetails(Object(), &details, MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE);
    }

private:
    HMIXEROBJ Object() const { return reinterpret_cast<HMIXEROBJ>(mixer_); }
    // One channel: the uniform value of all channels.
    static MIXERCONTROLDETAILS Details(uint32_t controlId, MIXERCONTROLDETAILS_UNSIGNED& detail) {
        MIXERCONTROLDETAILS details{};
        details.cbStruct = sizeof details;
        details.dwControlID = controlId;
        details.cChannels = 1;
        details.cbDetails = sizeof detail;
        details.paDetails = &detail;
        return details;
    }
    void Close() {
        if (mixer_) mixerClose(mixer_);
        mixer_ = nullptr;
    }

    HMIXER mixer_ = nullptr;
};

class Win32Endpoint : public AudioEndpoint {
public:
    ~Win32Endpoint() override {
        Release(volume_);
        Release(device_);
        Release(enumerator_);
    }

    void Init() override {
        Release(volume_);
        Release(device_);
        Release(enumerator_);
        IUnknown* created = nullptr;
        HRESULT result = CoCreateInstance(kClassMMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                          IID_IUnknown, reinterpret_cast<void**>(&created));
        if (FAILED(result)) throw AppError("CoCreateInstance failed: 0x" + HexCode(result));
        result = created->QueryInterface(kIidMMDeviceEnumerator, reinterpret_cast<void**>(&enumerator_));
        Release(created);
        if (FAILED(result)) {
            enumerator_ = nullptr;
            throw AppError("QueryInterface failed: 0x" + HexCode(result));
        }
        if (FAILED(enumerator_->GetDefaultAudioEndpoint(eRender, eConsole, &device_))) {
            device_ = nullptr;
            return;
        }
        if (FAILED(device_->Activate(kIidAudioEndpointVolume, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER |
                                                                  CLSCTX_LOCAL_SERVER,
                                     nullptr, reinterpret_cast<void**>(&volume_))))
            volume_ = nullptr;
    }
    bool GetMasterVolumeLevelScalar(float& level) override {
        return volume_ && SUCCEEDED(volume_->GetMasterVolumeLevelScalar(&level));
    }
    bool SetMasterVolumeLevelScalar(float level) override {
        return volume_ && SUCCEEDED(volume_->SetMasterVolumeLevelScalar(level, &kNullEventContext));
    }
    bool GetMute(int32_t& mute) override {
        BOOL value = FALSE;
        if (!volume_ || FAILED(volume_->GetMute(&value))) return false;
        mute = value;
        return true;
    }
    bool SetMute(int32_t mute) override { return volume_ && SUCCEEDED(volume_->SetMute(mute, &kNullEventContext)); }

private:
    IMMDeviceEnumerator* enumerator_ = nullptr;
    IMMDevice* device_ = nullptr;
    IAudioEndpointVolume* volume_ = nullptr;
};

}  // namespace

Win32AudioSystem::Win32AudioSystem() : mixer_(std::make_unique<Win32Mixer>()) {}
Win32AudioSystem::~Win32AudioSystem() = default;

bool Win32AudioSystem::VersionAtLeast6() {
    OSVERSIONINFOEXA version{};
    version.dwOSVersionInfoSize = sizeof version;
    version.dwMajorVersion = 6;
    version.dwMinorVersion = 0;
    ULONGLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    return VerifyVersionInfoA(&version, VER_MAJORVERSION | VER_MINORVERSION, mask) != 0;
}

std::unique_ptr<AudioEndpoint> Win32AudioSystem::CreateEndpoint() { return std::make_unique<Win32Endpoint>(); }

}  // namespace duskpane

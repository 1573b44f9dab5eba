// The output volume over the winmm mixer: device 0's speakers line and its controls.
#include <windows.h>

#include <mmsystem.h>

#include "platform/win32/win32_sound.h"

namespace duskpane {
namespace {

class Win32Mixer : public AudioMixer {
public:
    Win32Mixer() = default;
    ~Win32Mixer() override { Close(); }
    Win32Mixer(const Win32Mixer&) = delete;
    Win32Mixer& operator=(const Win32Mixer&) = delete;

    // A repeated open replaces the handle; the one before is closed, not
    // left behind.
    uint32_t Open() override {
        Close();
        const MMRESULT result = mixerOpen(&mixer_, 0, 0, 0, 0);
        if (result != MMSYSERR_NOERROR) mixer_ = nullptr;
        return result;
    }

    // The capabilities are only asked for: a mixer that cannot tell them is
    // no use.
    uint32_t GetDevCaps() override {
        if (!mixer_) return MMSYSERR_INVALHANDLE;
        MIXERCAPSW caps{};
        return mixerGetDevCapsW(reinterpret_cast<UINT_PTR>(mixer_), &caps, sizeof caps);
    }

    uint32_t GetSpeakersLine(uint32_t& lineId) override {
        if (!mixer_) return MMSYSERR_INVALHANDLE;
        MIXERLINEW line{};
        line.cbStruct = sizeof line;
        line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
        const MMRESULT result =
            mixerGetLineInfoW(Object(), &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE);
        if (result == MMSYSERR_NOERROR) lineId = line.dwLineID;
        return result;
    }

    uint32_t GetLineControl(uint32_t lineId, uint32_t controlType, MixerControlInfo& control) override {
        if (!mixer_) return MMSYSERR_INVALHANDLE;
        MIXERCONTROLW native{};
        native.cbStruct = sizeof native;
        MIXERLINECONTROLSW controls{};
        controls.cbStruct = sizeof controls;
        controls.dwLineID = lineId;
        controls.dwControlType = controlType;
        controls.cControls = 1;
        controls.cbmxctrl = sizeof native;
        controls.pamxctrl = &native;
        const MMRESULT result =
            mixerGetLineControlsW(Object(), &controls, MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE);
        if (result == MMSYSERR_NOERROR) {
            control.id = native.dwControlID;
            control.minimum = native.Bounds.dwMinimum;
            control.maximum = native.Bounds.dwMaximum;
        }
        return result;
    }

    uint32_t GetControlValue(uint32_t controlId, uint32_t& value) override {
        if (!mixer_) return MMSYSERR_INVALHANDLE;
        MIXERCONTROLDETAILS_UNSIGNED detail{};
        MIXERCONTROLDETAILS details = Details(controlId, detail);
        const MMRESULT result =
            mixerGetControlDetailsW(Object(), &details, MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE);
        if (result == MMSYSERR_NOERROR) value = detail.dwValue;
        return result;
    }

    uint32_t SetControlValue(uint32_t controlId, uint32_t value) override {
        if (!mixer_) return MMSYSERR_INVALHANDLE;
        MIXERCONTROLDETAILS_UNSIGNED detail{value};
        MIXERCONTROLDETAILS details = Details(controlId, detail);
        return mixerSetControlDetails(Object(), &details, MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE);
    }

private:
    HMIXEROBJ Object() const { return reinterpret_cast<HMIXEROBJ>(mixer_); }

    // One channel: the driver reads and writes the uniform value of all
    // channels.
    static MIXERCONTROLDETAILS Details(uint32_t controlId, MIXERCONTROLDETAILS_UNSIGNED& detail) {
        MIXERCONTROLDETAILS details{};
        details.cbStruct = sizeof details;
        details.dwControlID = controlId;
        details.cChannels = 1;
        details.cMultipleItems = 0;
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

}  // namespace

std::unique_ptr<AudioMixer> CreateWin32Mixer() { return std::make_unique<Win32Mixer>(); }

}  // namespace duskpane

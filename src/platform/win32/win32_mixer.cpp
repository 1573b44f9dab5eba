// The output volume over the winmm mixer: device 0's speakers line and its controls.
#include <windows.h>

#include <mmsystem.h>

#include "platform/win32/win32_sound.h"

namespace duskpane {
namespace {

// An open mixer; destroying it closes it.
class Win32Mixer : public VolumeMixer {
public:
    explicit Win32Mixer(HMIXER mixer) : mixer_(mixer) {}
    ~Win32Mixer() override { mixerClose(mixer_); }
    Win32Mixer(const Win32Mixer&) = delete;
    Win32Mixer& operator=(const Win32Mixer&) = delete;

    // The speakers destination line, then its first control of the type.
    bool FindControl(VolumeControlKind kind, MixerControlInfo& control) override {
        MIXERLINEW line{};
        line.cbStruct = sizeof line;
        line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
        if (mixerGetLineInfoW(Object(), &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE) !=
            MMSYSERR_NOERROR)
            return false;
        MIXERCONTROLW native{};
        native.cbStruct = sizeof native;
        MIXERLINECONTROLSW controls{};
        controls.cbStruct = sizeof controls;
        controls.dwLineID = line.dwLineID;
        controls.dwControlType =
            kind == VolumeControlKind::Level ? MIXERCONTROL_CONTROLTYPE_VOLUME : MIXERCONTROL_CONTROLTYPE_MUTE;
        controls.cControls = 1;
        controls.cbmxctrl = sizeof native;
        controls.pamxctrl = &native;
        if (mixerGetLineControlsW(Object(), &controls, MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE) !=
            MMSYSERR_NOERROR)
            return false;
        control.id = native.dwControlID;
        control.minimum = native.Bounds.dwMinimum;
        control.maximum = native.Bounds.dwMaximum;
        return true;
    }

    bool GetValue(uint32_t controlId, uint32_t& value) override {
        MIXERCONTROLDETAILS_UNSIGNED detail{};
        MIXERCONTROLDETAILS details = Details(controlId, detail);
        if (mixerGetControlDetailsW(Object(), &details, MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE) !=
            MMSYSERR_NOERROR)
            return false;
        value = detail.dwValue;
        return true;
    }

    bool SetValue(uint32_t controlId, uint32_t value) override {
        MIXERCONTROLDETAILS_UNSIGNED detail{value};
        MIXERCONTROLDETAILS details = Details(controlId, detail);
        return mixerSetControlDetails(Object(), &details, MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE) ==
               MMSYSERR_NOERROR;
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

    HMIXER mixer_;
};

}  // namespace

// Device 0 with no callback; the capabilities are only asked for: a mixer
// that cannot tell them is no use.
std::unique_ptr<VolumeMixer> OpenWin32Mixer() {
    HMIXER mixer = nullptr;
    if (mixerOpen(&mixer, 0, 0, 0, 0) != MMSYSERR_NOERROR) return nullptr;
    auto opened = std::make_unique<Win32Mixer>(mixer);
    MIXERCAPSW caps{};
    if (mixerGetDevCapsW(reinterpret_cast<UINT_PTR>(mixer), &caps, sizeof caps) != MMSYSERR_NOERROR) return nullptr;
    return opened;
}

}  // namespace duskpane

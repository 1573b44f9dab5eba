// The output volume and mute: seven plain operations over the endpoint or
// the mixer back end, chosen by the system version at the first lookup.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace duskpane {

// A mixer control identifier that was not found yet.
constexpr uint32_t kNotFoundControl = 0xFFFF;

// The endpoint back end's object over the output device's volume control.
class TVistaAudio {
public:
    explicit TVistaAudio(std::unique_ptr<VolumeEndpoint> endpoint);

    // Raises AppError when the device enumerator cannot be had.
    void Init();
    double GetVolume();
    int32_t GetMute();
    // 0 on success, -1 when the endpoint refused.
    int32_t SetVolume(double level);
    int32_t SetMute(int32_t mute);

private:
    std::unique_ptr<VolumeEndpoint> endpoint_;
};

// The module state and the seven operations; results are 1 for success and
// 0 for failure.
class VolumeControl : public VolumeReader {
public:
    explicit VolumeControl(AudioSystem& system);

    int32_t SelectAudioBackend();
    int32_t FindVolumeControl();
    int32_t FindMuteControl();
    int32_t GetVolumeRaw(uint32_t& value);
    int32_t SetVolumeRaw(uint32_t value);
    int32_t GetMuteState(int32_t& value);
    int32_t SetMuteState(int32_t value);

    // The raw volume of a percent step between the minimum and the maximum.
    uint32_t PercentToRaw(uint32_t percent) const;

    bool UseEndpointVolume = false;
    // The mixer the back-end choice opened last; a new choice that opens
    // one replaces it. Set whenever a control identifier is.
    std::unique_ptr<VolumeMixer> MixerHandle;
    uint32_t VolumeControlId = kNotFoundControl;
    uint32_t MuteControlId = kNotFoundControl;
    uint32_t VolumeMinimum = 0;
    uint32_t VolumeMaximum = 0;
    std::unique_ptr<TVistaAudio> EndpointAudio;

    // VolumeReader: the spectrum's read of the current volume.
    bool ReadVolumeRaw(uint32_t& value) override { return GetVolumeRaw(value) == 1; }

private:
    AudioSystem& system_;
};

}  // namespace duskpane

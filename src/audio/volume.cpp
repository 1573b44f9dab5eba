// The output volume and mute operations over the endpoint or the mixer back end.
#include "audio/volume.h"

#include <cassert>
#include <utility>

namespace duskpane {

namespace {

// The endpoint back end's fixed raw range: 0..65535 maps onto 0.0..1.0.
constexpr uint32_t kEndpointMaximum = 0xFFFF;

}  // namespace

// ---------------------------------------------------------------- TVistaAudio

TVistaAudio::TVistaAudio(std::unique_ptr<VolumeEndpoint> endpoint) : endpoint_(std::move(endpoint)) {
    assert(endpoint_ && "TVistaAudio needs an endpoint");
}

void TVistaAudio::Init() { endpoint_->Init(); }

// When the endpoint refuses the query, or Init found no volume interface,
// the level reads as 0.0 (silence), which the caller stores unchecked.
double TVistaAudio::GetVolume() {
    float level = 0.0f;
    if (!endpoint_->GetLevel(level)) return 0.0;
    return double(level);
}

// Refused or without a volume interface: reads as not muted.
int32_t TVistaAudio::GetMute() {
    bool muted = false;
    if (!endpoint_->GetMute(muted)) return 0;
    return muted ? 1 : 0;
}

int32_t TVistaAudio::SetVolume(double level) { return endpoint_->SetLevel(float(level)) ? 0 : -1; }

int32_t TVistaAudio::SetMute(int32_t mute) { return endpoint_->SetMute(mute != 0) ? 0 : -1; }

// ---------------------------------------------------------------- VolumeControl

VolumeControl::VolumeControl(AudioSystem& system) : system_(system) {}

// The endpoint where the system has one (Windows 6.0 and later), the mixer
// before it.
int32_t VolumeControl::SelectAudioBackend() {
    UseEndpointVolume = system_.HasEndpointVolume();
    if (UseEndpointVolume) {
        // Kept before Init runs, so that an error raised there leaves the
        // endpoint object in place for the operations that follow.
        EndpointAudio = std::make_unique<TVistaAudio>(system_.CreateEndpoint());
        EndpointAudio->Init();
        return 1;
    }
    // A mixer that cannot be opened again leaves the one opened before in
    // place, so that a control found on it stays usable.
    std::unique_ptr<VolumeMixer> mixer = system_.OpenMixer();
    if (!mixer) return 0;
    MixerHandle = std::move(mixer);
    return 1;
}

int32_t VolumeControl::FindVolumeControl() {
    if (!UseEndpointVolume) {
        if (VolumeControlId != kNotFoundControl) return 1;
        if (SelectAudioBackend() == 0) return 0;
    }
    if (UseEndpointVolume) {
        VolumeMinimum = 0;
        VolumeMaximum = kEndpointMaximum;
        return 1;
    }
    MixerControlInfo control;
    if (!MixerHandle->FindControl(VolumeControlKind::Level, control)) return 0;
    VolumeMinimum = control.minimum;
    VolumeMaximum = control.maximum;
    VolumeControlId = control.id;
    return 1;
}

int32_t VolumeControl::FindMuteControl() {
    if (UseEndpointVolume) return 1;
    if (MuteControlId != kNotFoundControl) return 1;
    if (SelectAudioBackend() == 0) return 0;
    if (UseEndpointVolume) return 1;
    MixerControlInfo control;
    if (!MixerHandle->FindControl(VolumeControlKind::Mute, control)) return 0;
    MuteControlId = control.id;
    return 1;
}

int32_t VolumeControl::GetVolumeRaw(uint32_t& value) {
    if (UseEndpointVolume) {
        assert(EndpointAudio && "the endpoint back end was chosen without its object");
        // Extended precision keeps the product exact for a single-precision
        // level; the result is truncated toward zero. A level outside
        // 0.0..1.0 (which no endpoint reports) is held to the range rather
        // than converted out of range.
        const long double raw = (long double)VolumeMaximum * (long double)EndpointAudio->GetVolume();
        if (!(raw > 0.0L))
            value = 0;
        else if (raw >= (long double)VolumeMaximum)
            value = VolumeMaximum;
        else
            value = uint32_t(raw);
        return 1;
    }
    if (FindVolumeControl() == 0) return 0;
    uint32_t received = 0;
    if (!MixerHandle->GetValue(VolumeControlId, received)) return 0;
    value = received;
    return 1;
}

int32_t VolumeControl::SetVolumeRaw(uint32_t value) {
    if (UseEndpointVolume) {
        assert(EndpointAudio && "the endpoint back end was chosen without its object");
        EndpointAudio->SetVolume(double(value) / double(VolumeMaximum));
        return 1;
    }
    if (FindVolumeControl() == 0) return 0;
    return MixerHandle->SetValue(VolumeControlId, value) ? 1 : 0;
}

int32_t VolumeControl::GetMuteState(int32_t& value) {
    if (UseEndpointVolume) {
        assert(EndpointAudio && "the endpoint back end was chosen without its object");
        value = EndpointAudio->GetMute();
        return 1;
    }
    if (FindMuteControl() == 0) return 0;
    uint32_t received = 0;
    if (!MixerHandle->GetValue(MuteControlId, received)) return 0;
    value = int32_t(received);
    return 1;
}

int32_t VolumeControl::SetMuteState(int32_t value) {
    if (UseEndpointVolume) {
        assert(EndpointAudio && "the endpoint back end was chosen without its object");
        EndpointAudio->SetMute(value != 0 ? 1 : 0);
        return 1;
    }
    if (FindMuteControl() == 0) return 0;
    // The mixer control takes the value as it stands.
    return MixerHandle->SetValue(MuteControlId, uint32_t(value)) ? 1 : 0;
}

uint32_t VolumeControl::PercentToRaw(uint32_t percent) const {
    return VolumeMinimum + (VolumeMaximum - VolumeMinimum) * percent / 100u;
}

}  // namespace duskpane

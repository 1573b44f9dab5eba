// The headless mixer and output endpoint.
#include "platform/headless/headless_audio.h"

#include "util/errors.h"

namespace duskpane {

namespace {

class HeadlessMixer : public VolumeMixer {
public:
    explicit HeadlessMixer(HeadlessMixerState& state) : state_(state) {}

    bool FindControl(VolumeControlKind kind, MixerControlInfo& control) override {
        ++state_.findCount;
        if (state_.noSpeakersLine) return false;
        auto it = state_.controls.find(kind);
        if (it == state_.controls.end()) return false;
        control = it->second;
        return true;
    }

    bool GetValue(uint32_t controlId, uint32_t& value) override {
        ++state_.getCount;
        auto it = state_.values.find(controlId);
        if (state_.failGet || it == state_.values.end()) return false;
        value = it->second;
        return true;
    }

    bool SetValue(uint32_t controlId, uint32_t value) override {
        ++state_.setCount;
        auto it = state_.values.find(controlId);
        if (state_.failSet || it == state_.values.end()) return false;
        it->second = value;
        state_.writes.push_back({controlId, value});
        return true;
    }

private:
    HeadlessMixerState& state_;
};

class HeadlessEndpoint : public VolumeEndpoint {
public:
    explicit HeadlessEndpoint(HeadlessEndpointState& state) : state_(state) {}

    void Init() override {
        ++state_.initCount;
        if (state_.initRaises) throw AppError(state_.initError);
        hasInterface_ = !state_.missingInterface;
    }

    bool GetLevel(float& level) override {
        ++state_.getLevelCount;
        if (!Usable()) return false;
        level = state_.level;
        return true;
    }

    bool SetLevel(float level) override {
        state_.levelsSet.push_back(level);
        if (!Usable() || !(level >= 0.0f && level <= 1.0f)) return false;
        state_.level = level;
        return true;
    }

    bool GetMute(bool& muted) override {
        ++state_.getMuteCount;
        if (!Usable()) return false;
        muted = state_.muted;
        return true;
    }

    bool SetMute(bool muted) override {
        state_.mutesSet.push_back(muted);
        if (!Usable()) return false;
        state_.muted = muted;
        return true;
    }

private:
    bool Usable() const { return hasInterface_ && !state_.refuse; }

    HeadlessEndpointState& state_;
    bool hasInterface_ = false;
};

}  // namespace

void HeadlessMixerState::AddControl(VolumeControlKind kind, uint32_t id, uint32_t minimum,
                                    uint32_t maximum, uint32_t value) {
    controls[kind] = MixerControlInfo{id, minimum, maximum};
    values[id] = value;
}

uint32_t HeadlessMixerState::Value(uint32_t controlId) const {
    auto it = values.find(controlId);
    return it == values.end() ? 0 : it->second;
}

bool HeadlessAudioSystem::HasEndpointVolume() {
    ++endpointQueries;
    return endpointVolume;
}

std::unique_ptr<VolumeEndpoint> HeadlessAudioSystem::CreateEndpoint() {
    ++endpointsCreated;
    return std::make_unique<HeadlessEndpoint>(endpoint);
}

std::unique_ptr<VolumeMixer> HeadlessAudioSystem::OpenMixer() {
    ++mixer.openCount;
    if (mixer.failOpen) return nullptr;
    return std::make_unique<HeadlessMixer>(mixer);
}

}  // namespace duskpane

// The headless mixer and output endpoint.
#include "platform/headless/headless_audio.h"

#include "util/errors.h"

namespace duskpane {

// ---------------------------------------------------------------- mixer

void HeadlessMixer::AddControl(uint32_t controlType, uint32_t id, uint32_t minimum, uint32_t maximum,
                               uint32_t value) {
    controls_[controlType] = MixerControlInfo{id, minimum, maximum};
    values_[id] = value;
}

uint32_t HeadlessMixer::Value(uint32_t controlId) const {
    auto it = values_.find(controlId);
    return it == values_.end() ? 0 : it->second;
}

uint32_t HeadlessMixer::Open() {
    ++openCount;
    if (failOpen) return kMmError;
    // A repeated open replaces the handle; the old one is never closed.
    ++openHandles_;
    return kMmSuccess;
}

uint32_t HeadlessMixer::GetDevCaps() {
    ++devCapsCount;
    return IsOpen() && !failDevCaps ? kMmSuccess : kMmError;
}

uint32_t HeadlessMixer::GetSpeakersLine(uint32_t& line) {
    ++lineCount;
    if (!IsOpen() || noSpeakersLine) return kMmError;
    line = lineId;
    return kMmSuccess;
}

uint32_t HeadlessMixer::GetLineControl(uint32_t line, uint32_t controlType, MixerControlInfo& control) {
    ++controlCount;
    if (!IsOpen() || noSpeakersLine || line != lineId) return kMmError;
    auto it = controls_.find(controlType);
    if (it == controls_.end()) return kMmError;
    control = it->second;
    return kMmSuccess;
}

uint32_t HeadlessMixer::GetControlValue(uint32_t controlId, uint32_t& value) {
    ++getCount;
    if (!IsOpen() || failGet) return kMmError;
    auto it = values_.find(controlId);
    if (it == values_.end()) return kMmError;
    value = it->second;
    return kMmSuccess;
}

uint32_t HeadlessMixer::SetControlValue(uint32_t controlId, uint32_t value) {
    ++setCount;
    if (!IsOpen() || failSet) return kMmError;
    auto it = values_.find(controlId);
    if (it == values_.end()) return kMmError;
    it->second = value;
    writes.push_back(Write{controlId, value});
    return kMmSuccess;
}

// ---------------------------------------------------------------- endpoint

void HeadlessEndpoint::Init() {
    ++state_.initCount;
    if (state_.initRaises) throw AppError(state_.initError);
    hasInterface_ = !state_.missingInterface;
}

bool HeadlessEndpoint::GetMasterVolumeLevelScalar(float& level) {
    ++state_.getLevelCount;
    if (!Usable()) return false;
    level = state_.level;
    return true;
}

bool HeadlessEndpoint::SetMasterVolumeLevelScalar(float level) {
    state_.levelsSet.push_back(level);
    if (!Usable() || !(level >= 0.0f && level <= 1.0f)) return false;
    state_.level = level;
    return true;
}

bool HeadlessEndpoint::GetMute(int32_t& mute) {
    ++state_.getMuteCount;
    if (!Usable()) return false;
    mute = state_.mute;
    return true;
}

bool HeadlessEndpoint::SetMute(int32_t mute) {
    state_.mutesSet.push_back(mute);
    if (!Usable()) return false;
    state_.mute = mute;
    return true;
}

// ---------------------------------------------------------------- system

bool HeadlessAudioSystem::VersionAtLeast6() {
    ++versionTests;
    return versionAtLeast6;
}

std::unique_ptr<AudioEndpoint> HeadlessAudioSystem::CreateEndpoint() {
    ++endpointsCreated;
    return std::make_unique<HeadlessEndpoint>(endpoint);
}

}  // namespace duskpane

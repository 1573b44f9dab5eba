// The output volume for the headless backend: a mixer with controls a test
// defines and an endpoint whose level, mute and failures a test sets.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace duskpane {

// The multimedia mixer: one speakers line holding the controls of the types
// a test adds, each with an identifier, bounds and a current value.
class HeadlessMixer : public AudioMixer {
public:
    // Adds (or replaces) the line's control of a type.
    void AddControl(uint32_t controlType, uint32_t id, uint32_t minimum, uint32_t maximum,
                    uint32_t value);
    // The current value of a control by identifier; 0 when there is none.
    uint32_t Value(uint32_t controlId) const;

    // ---- failures: each call of the kind answers an error while set
    bool failOpen = false;
    bool failDevCaps = false;
    bool noSpeakersLine = false;
    bool failGet = false;
    bool failSet = false;

    // The speakers line's identifier.
    uint32_t lineId = 7;

    // ---- calls, whatever their outcome
    int openCount = 0;
    int devCapsCount = 0;
    int lineCount = 0;
    int controlCount = 0;
    int getCount = 0;
    int setCount = 0;
    int CallCount() const { return openCount + devCapsCount + lineCount + controlCount + getCount + setCount; }
    // The values written, in order, with the control each went to.
    struct Write {
        uint32_t controlId;
        uint32_t value;
    };
    std::vector<Write> writes;

    // AudioMixer
    uint32_t Open() override;
    uint32_t GetDevCaps() override;
    uint32_t GetSpeakersLine(uint32_t& line) override;
    uint32_t GetLineControl(uint32_t line, uint32_t controlType, MixerControlInfo& control) override;
    uint32_t GetControlValue(uint32_t controlId, uint32_t& value) override;
    uint32_t SetControlValue(uint32_t controlId, uint32_t value) override;

private:
    bool IsOpen() const { return openHandles_ > 0; }

    int openHandles_ = 0;
    std::map<uint32_t, MixerControlInfo> controls_;  // by control type
    std::map<uint32_t, uint32_t> values_;            // by control identifier
};

// What the endpoints of a HeadlessAudioSystem share: the output device's
// state, its failures and the calls made on it.
struct HeadlessEndpointState {
    float level = 1.0f;
    int32_t mute = 0;

    // Init raises AppError with this text when set (no device enumerator).
    bool initRaises = false;
    std::string initError = "device enumerator unavailable";
    // Init finds no output device or no volume interface on it.
    bool missingInterface = false;
    // Every get and set is refused.
    bool refuse = false;

    int initCount = 0;
    int getLevelCount = 0;
    int getMuteCount = 0;
    std::vector<float> levelsSet;
    std::vector<int32_t> mutesSet;
};

// An endpoint over the shared state; usable only once Init found the volume
// interface.
class HeadlessEndpoint : public AudioEndpoint {
public:
    explicit HeadlessEndpoint(HeadlessEndpointState& state) : state_(state) {}

    void Init() override;
    bool GetMasterVolumeLevelScalar(float& level) override;
    bool SetMasterVolumeLevelScalar(float level) override;
    bool GetMute(int32_t& mute) override;
    bool SetMute(int32_t mute) override;

private:
    bool Usable() const { return hasInterface_ && !state_.refuse; }

    HeadlessEndpointState& state_;
    bool hasInterface_ = false;
};

class HeadlessAudioSystem : public AudioSystem {
public:
    // The system version: true picks the endpoint back end.
    bool versionAtLeast6 = true;
    HeadlessEndpointState endpoint;
    HeadlessMixer mixer;

    int versionTests = 0;
    int endpointsCreated = 0;

    // AudioSystem
    bool VersionAtLeast6() override;
    std::unique_ptr<AudioEndpoint> CreateEndpoint() override;
    AudioMixer& Mixer() override { return mixer; }
};

}  // namespace duskpane

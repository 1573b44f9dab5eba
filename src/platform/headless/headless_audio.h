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

// What the mixers a HeadlessAudioSystem opens share: one speakers line
// holding the controls of the kinds a test adds, each with an identifier,
// bounds and a current value; the failures a test sets and the calls made.
struct HeadlessMixerState {
    // Adds (or replaces) the line's control of a kind.
    void AddControl(VolumeControlKind kind, uint32_t id, uint32_t minimum, uint32_t maximum,
                    uint32_t value);
    // The current value of a control by identifier; 0 when there is none.
    uint32_t Value(uint32_t controlId) const;

    // ---- failures: each call of the kind fails while set
    bool failOpen = false;  // the mixer cannot be opened or tell its capabilities
    bool noSpeakersLine = false;
    bool failGet = false;
    bool failSet = false;

    // ---- calls, whatever their outcome
    int openCount = 0;
    int findCount = 0;
    int getCount = 0;
    int setCount = 0;
    int CallCount() const { return openCount + findCount + getCount + setCount; }
    // The values written, in order, with the control each went to.
    struct Write {
        uint32_t controlId;
        uint32_t value;
    };
    std::vector<Write> writes;

    std::map<VolumeControlKind, MixerControlInfo> controls;
    std::map<uint32_t, uint32_t> values;  // by control identifier
};

// What the endpoints of a HeadlessAudioSystem share: the output device's
// state, its failures and the calls made on it.
struct HeadlessEndpointState {
    float level = 1.0f;
    bool muted = false;

    // Init raises AppError with this text when set (no device enumerator).
    bool initRaises = false;
    std::string initError = "device enumerator unavailable";
    // Init finds no output device or no volume control on it.
    bool missingInterface = false;
    // Every get and set is refused.
    bool refuse = false;

    int initCount = 0;
    int getLevelCount = 0;
    int getMuteCount = 0;
    std::vector<float> levelsSet;
    std::vector<bool> mutesSet;
};

class HeadlessAudioSystem : public AudioSystem {
public:
    // The system has the endpoint volume (is Windows 6.0 or later).
    bool endpointVolume = true;
    HeadlessEndpointState endpoint;
    HeadlessMixerState mixer;

    int endpointQueries = 0;
    int endpointsCreated = 0;

    // AudioSystem
    bool HasEndpointVolume() override;
    // An endpoint usable once its Init found the volume control.
    std::unique_ptr<VolumeEndpoint> CreateEndpoint() override;
    std::unique_ptr<VolumeMixer> OpenMixer() override;
};

}  // namespace duskpane

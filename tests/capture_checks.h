// What the capture tests of every backend share: the program's capture
// format and the band levels the program would show for a returned buffer.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "audio/spectrum.h"

namespace duskpane {

// 44100 Hz mono signed 16-bit PCM, as the program records.
constexpr WaveFormat kCaptureFormat{1, 1, 44100, 88200, 2, 16};

// The band levels of a captured area, analysed at full volume as the
// program analyses the buffer it got back.
inline std::array<int32_t, kBandCount> BandsOf(const std::vector<uint8_t>& area, const CaptureBuffer& buffer) {
    struct FullVolume : VolumeReader {
        bool ReadVolumeRaw(uint32_t& value) override {
            value = 65535;
            return true;
        }
    } volume;
    SpectrumState state;
    state.WaveFormat = kCaptureFormat;
    state.WaveHeader = buffer;
    std::copy_n(area.begin(), std::min(area.size(), state.SpectrumBuffer.size()), state.SpectrumBuffer.begin());
    Bitmap32 bars(kSpectrumWidth, kSpectrumHeight);
    AnalyseSpectrum(state, volume, bars);
    return state.BandLevels;
}

}  // namespace duskpane

// The capture format and buffer descriptor, and the sizes of the spectrum
// area, shared by the capture and the spectrum analysis.
#pragma once

#include <cstdint>

namespace duskpane {

// The capture format, field for field as the wave-input format record.
struct WaveFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
};

// The one capture buffer descriptor, as the wave-input buffer header.
struct WaveHeader {
    uint8_t* data = nullptr;
    uint32_t bufferLength = 0;
    uint32_t bytesRecorded = 0;
    uint32_t flags = 0;
};

// Bytes of the capture area copied for the analysis.
constexpr int32_t kSpectrumBufferBytes = 48000;
// Half-octave bands shown as bars.
constexpr int32_t kBandCount = 20;
// Size of the spectrum drawing area in pixels.
constexpr int32_t kSpectrumWidth = 300;
constexpr int32_t kSpectrumHeight = 72;

}  // namespace duskpane

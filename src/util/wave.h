// The capture format and the capture buffer, shared by the program and the
// capture devices of every platform.
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

    bool operator==(const WaveFormat&) const = default;
};

// A buffer a capture device fills: where it lies, how many bytes the device
// may fill, and how many it recorded before handing the buffer back.
struct CaptureBuffer {
    uint8_t* data = nullptr;
    uint32_t bufferLength = 0;
    uint32_t bytesRecorded = 0;
};

// Bytes of the capture area, and of its copy for the analysis.
constexpr int32_t kSpectrumBufferBytes = 48000;

}  // namespace duskpane

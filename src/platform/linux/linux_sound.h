// Sound capture and the output volume on Linux, over the PulseAudio client
// library (served by PulseAudio or PipeWire's pulse server alike).
#pragma once

#include <memory>

#include "platform/linux/linux_gui_thread.h"
#include "platform/platform.h"

namespace duskpane {

// Records the default source (a sink's monitor counts) in the format asked
// for: PCM, 8-bit unsigned or 16-bit signed little-endian samples, any rate
// and channel count the server takes. Each device has its own connection,
// takes one buffer at a time (of at least one frame) and delivers whole
// frames only: a buffer whose length is not a multiple of the frame size
// comes back with its last partial frame untouched and left out of
// bytesRecorded (an 11025-byte buffer of 16-bit mono returns 11024 bytes).
// Destroying a device that holds the buffer hands it back unfilled, without
// a message.
//
// Opening never waits for the server. Without a server, or once the server
// is gone, the device simply never returns its buffer, which the watchdog of
// the caller notices; a new open connects to whatever server runs then.
// Bytes that arrive while no buffer is queued are dropped, and a device
// never holds more than a buffer's worth besides the buffer it is filling.
// The poster must outlive the devices.
class LinuxCaptureService : public CaptureService {
public:
    explicit LinuxCaptureService(GuiThreadPoster& poster) : poster_(poster) {}

    // Null for a format the device cannot record, or when not even a client
    // context can be created.
    std::unique_ptr<CaptureDevice> Open(const WaveFormat& format) override;

private:
    GuiThreadPoster& poster_;
};

// The output volume is the default sink's: CreateEndpoint gives an endpoint
// on "@DEFAULT_SINK@" that follows the default sink as it changes and reads
// its volume and mute from a copy the server keeps current, so the
// spectrum's read for every buffer costs no round trip. The level is the
// loudest channel's volume over the normal volume, clamped to 0..1 (above
// 100 % reads 1.0); setting it scales all channels so that the loudest has
// the new level, keeping the balance. Without a server the endpoint reports
// every call as failed and connects again, in the background, at most every
// two seconds. There is no multimedia mixer here.
class LinuxAudioSystem : public AudioSystem {
public:
    bool HasEndpointVolume() override { return true; }
    std::unique_ptr<VolumeEndpoint> CreateEndpoint() override;
};

}  // namespace duskpane

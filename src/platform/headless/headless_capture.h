// Sound capture for the headless backend: devices that work, fail to open or
// stall as a test says, filled with the samples the test hands over.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace duskpane {

class HeadlessUi;

enum class CaptureBehaviour {
    Works,        // opens, takes the buffer and returns it whenever samples come
    FailsToOpen,  // the open answers no device
    Stalls,       // opens and takes the buffer, but never returns it
};

// Each open gives a device with its own handle. A device takes one buffer at
// a time and returns it by writing the samples and posting a CaptureData
// message into the ui's queue; destroying a device that holds the buffer
// hands it back unfilled (bytes recorded 0) with a CaptureData message, as
// Windows' reset does. The service must outlive its devices.
class HeadlessCaptureService : public CaptureService {
public:
    explicit HeadlessCaptureService(HeadlessUi& ui) : ui_(ui) {}
    ~HeadlessCaptureService() override;

    // How the coming opens behave: the queued behaviours first, one per open,
    // then `behaviour`.
    CaptureBehaviour behaviour = CaptureBehaviour::Works;
    void QueueBehaviour(CaptureBehaviour next) { queued_.push_back(next); }

    // Fills the buffer the device opened last holds, while that device
    // works: the samples as signed 16-bit little-endian values up to the
    // buffer's length, silence after them. Then posts the CaptureData
    // message. False, with nothing written or posted, when the device holds
    // no buffer or stalls.
    bool Deliver(std::span<const int16_t> samples);

    // ---- observation
    int openAttempts = 0;
    int openCount = 0;  // devices opened
    int closeCount = 0;
    // "open <n>", "open failed", "fill <n>", "fill refused <n>", "close <n>",
    // "return <n>", n counting the devices from 1.
    std::vector<std::string> events;
    // The format of every open and the first buffer each device was given.
    std::vector<WaveFormat> formats;
    std::vector<const CaptureBuffer*> firstBuffers;
    // Breaches of the rule that one buffer is never queued on two devices
    // at once; empty while the program keeps it.
    std::vector<std::string> violations;

    // The handle of the device opened last while it is open; 0 otherwise.
    uintptr_t CurrentHandle() const;
    // The handle of the n-th device opened (counting from 1).
    static uintptr_t HandleOf(int n) { return kFirstHandle + uintptr_t(n) - 1; }
    int OpenDevices() const { return int(devices_.size()); }
    // The device opened last is open and holds a buffer.
    bool BufferQueued() const;

    // CaptureService
    std::unique_ptr<CaptureDevice> Open(const WaveFormat& format) override;

private:
    friend class HeadlessCaptureDevice;
    static constexpr uintptr_t kFirstHandle = 0x5A00;

    struct DeviceRecord {
        int number = 0;
        CaptureBehaviour behaviour = CaptureBehaviour::Works;
        bool given = false;  // it was given a buffer once
        CaptureBuffer* queued = nullptr;
    };

    bool Fill(uintptr_t handle, CaptureBuffer& buffer);
    void Close(uintptr_t handle);
    void Return(uintptr_t handle, DeviceRecord& device);
    void Log(const std::string& what, int number);

    HeadlessUi& ui_;
    std::deque<CaptureBehaviour> queued_;
    std::map<uintptr_t, DeviceRecord> devices_;  // the open devices
    uintptr_t lastOpened_ = 0;
};

}  // namespace duskpane

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

#include "audio/wave.h"
#include "platform/platform.h"

namespace duskpane {

class HeadlessUi;

enum class CaptureBehaviour {
    Works,        // opens, takes the buffer and returns it whenever samples come
    FailsToOpen,  // the open answers no device
    Stalls,       // opens and takes the buffer, but never returns it
};

// Header flags as the device keeps them.
constexpr uint32_t kWaveHeaderDone = 0x01;
constexpr uint32_t kWaveHeaderPrepared = 0x02;
constexpr uint32_t kWaveHeaderInQueue = 0x10;

// Each open gives a device with its own handle. A device returns its buffer
// by writing the samples and posting a CaptureData message into the ui's
// queue; destroying a device with the buffer queued hands it back unfilled
// (bytes recorded 0) with a CaptureData message, as a reset does. The service
// must outlive its devices.
class HeadlessCaptureService : public CaptureService {
public:
    explicit HeadlessCaptureService(HeadlessUi& ui) : ui_(ui) {}
    ~HeadlessCaptureService() override;

    // How the coming opens behave: the queued behaviours first, one per open,
    // then `behaviour`.
    CaptureBehaviour behaviour = CaptureBehaviour::Works;
    void QueueBehaviour(CaptureBehaviour next) { queued_.push_back(next); }

    // Fills the buffer queued on the device opened last, while that device
    // works and was started: the samples as signed 16-bit little-endian
    // values up to the buffer's length, silence after them. Then posts the
    // CaptureData message. False, with nothing written or posted, when no
    // buffer is queued there or the device stalls.
    bool Deliver(std::span<const int16_t> samples);

    // ---- observation
    int openAttempts = 0;
    int openCount = 0;  // devices opened
    int closeCount = 0;
    int startCount = 0;
    // "open <n>", "open failed", "prepare <n>", "add <n>", "add refused <n>",
    // "start <n>", "close <n>", "return <n>", n counting the devices from 1.
    std::vector<std::string> events;
    // The format of every open and the descriptor each device prepared.
    std::vector<WaveFormat> formats;
    std::vector<const WaveHeader*> preparedHeaders;
    // Breaches of the rule that one buffer is never queued on two devices
    // at once; empty while the program keeps it.
    std::vector<std::string> violations;

    // The handle of the device opened last while it is open; 0 otherwise.
    uintptr_t CurrentHandle() const;
    // The handle of the n-th device opened (counting from 1).
    static uintptr_t HandleOf(int n) { return kFirstHandle + uintptr_t(n) - 1; }
    int OpenDevices() const { return int(devices_.size()); }
    // The device opened last is open and holds a queued buffer.
    bool BufferQueued() const;

    // CaptureService
    std::unique_ptr<CaptureDevice> Open(const WaveFormat& format) override;

private:
    friend class HeadlessCaptureDevice;
    static constexpr uintptr_t kFirstHandle = 0x5A00;

    struct DeviceRecord {
        int number = 0;
        CaptureBehaviour behaviour = CaptureBehaviour::Works;
        bool started = false;
        WaveHeader* prepared = nullptr;
        WaveHeader* queued = nullptr;
    };

    uint32_t Prepare(uintptr_t handle, WaveHeader& header);
    uint32_t Add(uintptr_t handle, WaveHeader& header);
    uint32_t Start(uintptr_t handle);
    void Close(uintptr_t handle);
    void Return(uintptr_t handle, DeviceRecord& device);
    void Log(const std::string& what, int number);

    HeadlessUi& ui_;
    std::deque<CaptureBehaviour> queued_;
    std::map<uintptr_t, DeviceRecord> devices_;  // the open devices
    uintptr_t lastOpened_ = 0;
};

}  // namespace duskpane

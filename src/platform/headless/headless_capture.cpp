// The headless capture devices and the buffer rule they watch.
#include "platform/headless/headless_capture.h"

#include <algorithm>
#include <cassert>

#include "platform/headless/headless_ui.h"

namespace duskpane {

class HeadlessCaptureDevice : public CaptureDevice {
public:
    HeadlessCaptureDevice(HeadlessCaptureService& service, uintptr_t handle)
        : service_(service), handle_(handle) {}
    ~HeadlessCaptureDevice() override { service_.Close(handle_); }

    uintptr_t Handle() const override { return handle_; }
    uint32_t PrepareHeader(WaveHeader& header) override { return service_.Prepare(handle_, header); }
    uint32_t AddBuffer(WaveHeader& header) override { return service_.Add(handle_, header); }
    uint32_t Start() override { return service_.Start(handle_); }

private:
    HeadlessCaptureService& service_;
    uintptr_t handle_;
};

HeadlessCaptureService::~HeadlessCaptureService() {
    assert(devices_.empty() && "a headless capture device outlived its service");
}

void HeadlessCaptureService::Log(const std::string& what, int number) {
    events.push_back(what + " " + std::to_string(number));
}

std::unique_ptr<CaptureDevice> HeadlessCaptureService::Open(const WaveFormat& format) {
    ++openAttempts;
    CaptureBehaviour next = behaviour;
    if (!queued_.empty()) {
        next = queued_.front();
        queued_.pop_front();
    }
    if (next == CaptureBehaviour::FailsToOpen) {
        events.push_back("open failed");
        return nullptr;
    }
    ++openCount;
    const uintptr_t handle = HandleOf(openCount);
    devices_[handle] = DeviceRecord{openCount, next, false, nullptr, nullptr};
    lastOpened_ = handle;
    formats.push_back(format);
    Log("open", openCount);
    return std::make_unique<HeadlessCaptureDevice>(*this, handle);
}

uint32_t HeadlessCaptureService::Prepare(uintptr_t handle, WaveHeader& header) {
    DeviceRecord& device = devices_.at(handle);
    Log("prepare", device.number);
    device.prepared = &header;
    preparedHeaders.push_back(&header);
    header.flags |= kWaveHeaderPrepared;
    return kMmSuccess;
}

uint32_t HeadlessCaptureService::Add(uintptr_t handle, WaveHeader& header) {
    DeviceRecord& device = devices_.at(handle);
    for (const auto& [otherHandle, other] : devices_) {
        if (otherHandle == handle || other.queued != &header) continue;
        violations.push_back("buffer added to device " + std::to_string(device.number) +
                             " while queued on device " + std::to_string(other.number));
        Log("add refused", device.number);
        return kMmError;
    }
    // Not prepared for this device, or queued here already: refused as the
    // system refuses it.
    if (device.prepared != &header || device.queued == &header) {
        Log("add refused", device.number);
        return kMmError;
    }
    Log("add", device.number);
    device.queued = &header;
    header.flags = (header.flags & ~kWaveHeaderDone) | kWaveHeaderInQueue;
    return kMmSuccess;
}

uint32_t HeadlessCaptureService::Start(uintptr_t handle) {
    DeviceRecord& device = devices_.at(handle);
    Log("start", device.number);
    ++startCount;
    device.started = true;
    return kMmSuccess;
}

// Marks the queued buffer done and posts its return.
void HeadlessCaptureService::Return(uintptr_t handle, DeviceRecord& device) {
    WaveHeader* header = device.queued;
    device.queued = nullptr;
    header->flags = (header->flags & ~kWaveHeaderInQueue) | kWaveHeaderDone;
    Log("return", device.number);
    ui_.Post(Message{MessageKind::CaptureData, handle, header, 0});
}

void HeadlessCaptureService::Close(uintptr_t handle) {
    auto it = devices_.find(handle);
    assert(it != devices_.end() && "closing a headless capture device twice");
    DeviceRecord& device = it->second;
    // The reset hands a queued buffer back unfilled.
    if (device.queued) {
        device.queued->bytesRecorded = 0;
        Return(handle, device);
    }
    if (device.prepared) device.prepared->flags &= ~kWaveHeaderPrepared;
    Log("close", device.number);
    ++closeCount;
    devices_.erase(it);
}

uintptr_t HeadlessCaptureService::CurrentHandle() const {
    return devices_.count(lastOpened_) ? lastOpened_ : 0;
}

bool HeadlessCaptureService::BufferQueued() const {
    auto it = devices_.find(lastOpened_);
    return it != devices_.end() && it->second.queued != nullptr;
}

bool HeadlessCaptureService::Deliver(std::span<const int16_t> samples) {
    auto it = devices_.find(lastOpened_);
    if (it == devices_.end()) return false;
    DeviceRecord& device = it->second;
    if (!device.queued || !device.started || device.behaviour != CaptureBehaviour::Works) return false;
    WaveHeader& header = *device.queued;
    assert(header.data && "a queued capture buffer without its data");
    for (uint32_t i = 0; i < header.bufferLength; ++i) {
        const size_t sample = i / 2;
        const uint16_t value = sample < samples.size() ? uint16_t(samples[sample]) : 0;
        header.data[i] = uint8_t(i % 2 == 0 ? value & 0xFF : value >> 8);
    }
    header.bytesRecorded = header.bufferLength;
    Return(lastOpened_, device);
    return true;
}

}  // namespace duskpane

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
    bool Fill(CaptureBuffer& buffer) override { return service_.Fill(handle_, buffer); }

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
    devices_[handle] = DeviceRecord{openCount, next, false, nullptr};
    lastOpened_ = handle;
    formats.push_back(format);
    Log("open", openCount);
    return std::make_unique<HeadlessCaptureDevice>(*this, handle);
}

bool HeadlessCaptureService::Fill(uintptr_t handle, CaptureBuffer& buffer) {
    DeviceRecord& device = devices_.at(handle);
    for (const auto& [otherHandle, other] : devices_) {
        if (otherHandle == handle || other.queued != &buffer) continue;
        violations.push_back("buffer given to device " + std::to_string(device.number) +
                             " while queued on device " + std::to_string(other.number));
        Log("fill refused", device.number);
        return false;
    }
    // One buffer at a time, as the system's devices take them.
    if (device.queued) {
        Log("fill refused", device.number);
        return false;
    }
    Log("fill", device.number);
    if (!device.given) firstBuffers.push_back(&buffer);
    device.given = true;
    device.queued = &buffer;
    return true;
}

// Hands the buffer back and posts its return.
void HeadlessCaptureService::Return(uintptr_t handle, DeviceRecord& device) {
    CaptureBuffer* buffer = device.queued;
    device.queued = nullptr;
    Log("return", device.number);
    ui_.Post(Message{MessageKind::CaptureData, handle, buffer, 0});
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
    if (!device.queued || device.behaviour != CaptureBehaviour::Works) return false;
    CaptureBuffer& buffer = *device.queued;
    assert(buffer.data && "a queued capture buffer without its data");
    for (uint32_t i = 0; i < buffer.bufferLength; ++i) {
        const size_t sample = i / 2;
        const uint16_t value = sample < samples.size() ? uint16_t(samples[sample]) : 0;
        buffer.data[i] = uint8_t(i % 2 == 0 ? value & 0xFF : value >> 8);
    }
    buffer.bytesRecorded = buffer.bufferLength;
    Return(lastOpened_, device);
    return true;
}

}  // namespace duskpane

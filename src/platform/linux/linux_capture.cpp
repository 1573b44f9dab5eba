// Sound capture from the default source through a libpulse record stream,
// handed over to the GUI thread one whole buffer at a time.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/linux/linux_pulse.h"
#include "platform/linux/linux_sound.h"

namespace duskpane {

namespace {

constexpr uint16_t kWaveFormatPcm = 1;
constexpr const char* kClientName = "Duskpane";
constexpr const char* kStreamName = "Spectrum";
// The server hands the recorded sound over in pieces of this duration, the
// duration of the program's buffers.
constexpr pa_usec_t kFragmentUsec = 125000;

std::atomic<uintptr_t> nextHandle{1};

// The PulseAudio sample format for a wave-input format; false for one we cannot record.
bool SampleFormatFor(const WaveFormat& format, pa_sample_spec& sampleFormat) {
    if (format.formatTag != kWaveFormatPcm || format.channels == 0) return false;
    if (format.bitsPerSample == 8) {
        sampleFormat.format = PA_SAMPLE_U8;
    } else if (format.bitsPerSample == 16) {
        sampleFormat.format = PA_SAMPLE_S16LE;
    } else {
        return false;
    }
    const uint32_t frameBytes = uint32_t(format.channels) * format.bitsPerSample / 8;
    if (format.blockAlign != frameBytes || format.avgBytesPerSec != format.samplesPerSec * frameBytes) {
        return false;
    }
    if (format.channels > PA_CHANNELS_MAX) return false;
    sampleFormat.channels = uint8_t(format.channels);
    sampleFormat.rate = format.samplesPerSec;
    return pa_sample_spec_valid(&sampleFormat) != 0;
}

// What the loop's thread and the GUI thread share, under its mutex.
struct CaptureShared {
    CaptureShared(GuiThreadPoster& poster, uintptr_t handle, uint32_t frameBytes)
        : poster(poster), handle(handle), frameBytes(frameBytes) {}

    GuiThreadPoster& poster;
    const uintptr_t handle;
    const uint32_t frameBytes;

    std::mutex mutex;
    bool closed = false;
    bool started = false;
    CaptureBuffer* queued = nullptr;
    // Whole frames of the queued buffer's length.
    uint32_t handoverBytes = 0;
    bool handoverPending = false;
    // Recorded bytes not handed over yet, oldest first, whole frames.
    std::vector<uint8_t> bytes;
};

// Runs on the GUI thread: fills the queued buffer and posts its return. The
// device may have been destroyed since this was scheduled; then nothing is
// touched.
void HandOver(const std::weak_ptr<CaptureShared>& weak) {
    const std::shared_ptr<CaptureShared> shared = weak.lock();
    if (!shared) return;
    CaptureBuffer* buffer = nullptr;
    uint32_t count = 0;
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->handoverPending = false;
        if (shared->closed || !shared->queued || !shared->started) return;
        if (shared->bytes.size() < shared->handoverBytes) return;
        buffer = shared->queued;
        count = shared->handoverBytes;
        std::memcpy(buffer->data, shared->bytes.data(), count);
        shared->bytes.erase(shared->bytes.begin(), shared->bytes.begin() + count);
        shared->queued = nullptr;
    }
    buffer->bytesRecorded = count;
    shared->poster.PostMessage(Message{MessageKind::CaptureData, shared->handle, buffer, 0});
}

class PulseCaptureDevice : public CaptureDevice {
public:
    PulseCaptureDevice(GuiThreadPoster& poster, const pa_sample_spec& sampleFormat)
        : shared_(std::make_shared<CaptureShared>(poster, nextHandle++, uint32_t(pa_frame_size(&sampleFormat)))),
          sampleFormat_(sampleFormat) {}
    ~PulseCaptureDevice() override;

    bool Connect() {
        return connection_.Open(kClientName, [this](pa_context_state_t state) { OnContextState(state); });
    }

    uintptr_t Handle() const override { return shared_->handle; }
    bool Fill(CaptureBuffer& buffer) override;

private:
    void OnContextState(pa_context_state_t state);
    static void OnStreamState(pa_stream* stream, void* self);
    static void OnRead(pa_stream* stream, size_t length, void* self);
    void Append(const void* data, size_t length);
    bool Queue(CaptureBuffer& buffer);
    void Start();
    bool Started() {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        return shared_->started;
    }

    std::shared_ptr<CaptureShared> shared_;
    const pa_sample_spec sampleFormat_;
    PulseConnection connection_;
    pa_stream* stream_ = nullptr;  // touched with the loop locked
};

// Resets and closes: a queued buffer comes back unfilled, without a message,
// and no handover scheduled before can reach it any more.
PulseCaptureDevice::~PulseCaptureDevice() {
    CaptureBuffer* queued = nullptr;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->closed = true;
        queued = shared_->queued;
        shared_->queued = nullptr;
        shared_->bytes.clear();
    }
    connection_.Close([this] {
        if (!stream_) return;
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    });
    if (queued) queued->bytesRecorded = 0;
}

// Once connected, records the default source; corked until Start.
void PulseCaptureDevice::OnContextState(pa_context_state_t state) {
    if (state != PA_CONTEXT_READY || stream_) return;
    stream_ = pa_stream_new(connection_.Context(), kStreamName, &sampleFormat_, nullptr);
    if (!stream_) return;
    pa_stream_set_state_callback(stream_, &PulseCaptureDevice::OnStreamState, this);
    pa_stream_set_read_callback(stream_, &PulseCaptureDevice::OnRead, this);
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(-1);
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(pa_usec_to_bytes(kFragmentUsec, &sampleFormat_));
    auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | (Started() ? 0 : PA_STREAM_START_CORKED));
    if (pa_stream_connect_record(stream_, nullptr, &attr, flags) < 0) {
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
}

// A Start that came while the stream was still being set up could not
// uncork it; that happens here.
void PulseCaptureDevice::OnStreamState(pa_stream* stream, void* self) {
    auto* device = static_cast<PulseCaptureDevice*>(self);
    if (pa_stream_get_state(stream) != PA_STREAM_READY || !device->Started()) return;
    if (pa_operation* op = pa_stream_cork(stream, 0, nullptr, nullptr)) pa_operation_unref(op);
}

void PulseCaptureDevice::OnRead(pa_stream* stream, size_t, void* self) {
    auto* device = static_cast<PulseCaptureDevice*>(self);
    while (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        size_t length = 0;
        if (pa_stream_peek(stream, &data, &length) < 0 || length == 0) return;
        device->Append(data, length);
        pa_stream_drop(stream);
    }
}

// On the loop's thread. Whatever comes while no buffer is queued is dropped,
// together with what was kept from before, which would no longer join up.
void PulseCaptureDevice::Append(const void* data, size_t length) {
    CaptureShared& shared = *shared_;
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        if (shared.closed) return;
        if (!shared.queued || !shared.started) {
            shared.bytes.clear();
            return;
        }
        const size_t old = shared.bytes.size();
        shared.bytes.resize(old + length);
        // A hole in the stream reads as silence.
        if (data) {
            std::memcpy(shared.bytes.data() + old, data, length);
        } else {
            std::fill(shared.bytes.begin() + std::ptrdiff_t(old), shared.bytes.end(), uint8_t(0));
        }
        // While the GUI thread is slow to take a full buffer, keep at most one
        // more buffer's worth: the oldest sound goes first.
        const size_t limit = 2 * size_t(shared.handoverBytes) - shared.frameBytes;
        if (shared.bytes.size() > limit) {
            size_t excess = shared.bytes.size() - limit;
            excess += (shared.frameBytes - excess % shared.frameBytes) % shared.frameBytes;
            excess = std::min(excess, shared.bytes.size());
            shared.bytes.erase(shared.bytes.begin(), shared.bytes.begin() + std::ptrdiff_t(excess));
        }
        if (shared.bytes.size() < shared.handoverBytes || shared.handoverPending) return;
        shared.handoverPending = true;
    }
    shared.poster.RunOnGuiThread([weak = std::weak_ptr<CaptureShared>(shared_)] { HandOver(weak); });
}

// Recording runs from the first buffer on; a buffer that is refused leaves
// it running.
bool PulseCaptureDevice::Fill(CaptureBuffer& buffer) {
    const bool queued = Queue(buffer);
    Start();
    return queued;
}

// One buffer at a time, of at least one whole frame.
bool PulseCaptureDevice::Queue(CaptureBuffer& buffer) {
    if (!buffer.data || buffer.bufferLength < shared_->frameBytes) return false;
    std::lock_guard<std::mutex> lock(shared_->mutex);
    if (shared_->queued) return false;
    shared_->queued = &buffer;
    shared_->handoverBytes = buffer.bufferLength - buffer.bufferLength % shared_->frameBytes;
    return true;
}

void PulseCaptureDevice::Start() {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->started) return;
        shared_->started = true;
    }
    PulseConnection::Lock lock(connection_);
    if (stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY) {
        if (pa_operation* op = pa_stream_cork(stream_, 0, nullptr, nullptr)) pa_operation_unref(op);
    }
}

}  // namespace

std::unique_ptr<CaptureDevice> LinuxCaptureService::Open(const WaveFormat& format) {
    pa_sample_spec sampleFormat{};
    if (!SampleFormatFor(format, sampleFormat)) return nullptr;
    auto device = std::make_unique<PulseCaptureDevice>(poster_, sampleFormat);
    if (!device->Connect()) return nullptr;
    return device;
}

}  // namespace duskpane

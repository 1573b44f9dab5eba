// The output volume and mute of the default sink, kept current by the
// server's change notifications so that a read needs no round trip.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "platform/linux/linux_pulse.h"
#include "platform/linux/linux_sound.h"

namespace duskpane {

namespace {

constexpr const char* kClientName = "Duskpane";
constexpr const char* kDefaultSink = "@DEFAULT_SINK@";
// How long Init waits for the server and the first look at the sink.
constexpr auto kInitWait = std::chrono::milliseconds(1000);
// How long a read without a copy, or a change, waits for the server.
constexpr auto kRoundTripWait = std::chrono::milliseconds(500);
// A lost connection is tried again at most this often.
constexpr auto kReconnectPeriod = std::chrono::seconds(2);

class PulseEndpoint : public VolumeEndpoint {
public:
    ~PulseEndpoint() override { connection_.Close(); }

    // Never raises: without a server it returns after at most a second with
    // nothing to control, and tries again later in the background.
    void Init() override;
    bool GetLevel(float& level) override;
    bool SetLevel(float level) override;
    bool GetMute(bool& muted) override;
    bool SetMute(bool muted) override;

private:
    struct Sink {
        bool known = false;
        uint32_t index = 0;
        pa_cvolume volume{};
        bool mute = false;
    };
    // A change sent to the server; the copy takes it once the server agrees.
    struct Change {
        uint64_t ticket = 0;
        uint32_t index = 0;
        bool isVolume = false;
        pa_cvolume volume{};
        bool mute = false;
    };

    // GUI thread.
    void Connect();
    void KeepConnected();
    bool ReadSink(Sink& sink);
    bool Send(Change change);

    // The loop's thread, or with the loop locked.
    void OnContextState(pa_context_state_t state);
    void Fetch();
    static void OnSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* self);
    static void OnSubscription(pa_context*, pa_subscription_event_type_t type, uint32_t, void* self);
    static void OnChangeDone(pa_context*, int success, void* self);

    PulseConnection connection_;
    bool initialised_ = false;
    std::chrono::steady_clock::time_point lastConnect_{};

    // With the loop locked.
    bool fetching_ = false;
    bool fetchAgain_ = false;
    std::deque<Change> inFlight_;

    // Under mutex_, which is taken after the loop's lock, never before it.
    std::mutex mutex_;
    std::condition_variable changed_;
    pa_context_state_t state_ = PA_CONTEXT_UNCONNECTED;
    Sink sink_;
    uint64_t fetchesDone_ = 0;
    uint64_t nextTicket_ = 1;
    std::map<uint64_t, bool> results_;
};

bool IsDown(pa_context_state_t state) {
    return state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED;
}

void PulseEndpoint::Init() {
    initialised_ = true;
    uint64_t before = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        before = fetchesDone_;
    }
    Connect();
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, kInitWait, [&] { return fetchesDone_ > before || IsDown(state_); });
}

// Drops the connection there was, if any, and starts a new one.
void PulseEndpoint::Connect() {
    connection_.Close();
    // The old loop has stopped: what it left unanswered fails.
    fetching_ = false;
    fetchAgain_ = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Change& change : inFlight_) results_[change.ticket] = false;
        state_ = PA_CONTEXT_UNCONNECTED;
        sink_.known = false;
    }
    inFlight_.clear();
    lastConnect_ = std::chrono::steady_clock::now();
    if (!connection_.Open(kClientName, [this](pa_context_state_t state) { OnContextState(state); })) {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = PA_CONTEXT_FAILED;
    }
    changed_.notify_all();
}

void PulseEndpoint::KeepConnected() {
    if (!initialised_) return;
    bool down = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        down = IsDown(state_);
    }
    if (down && std::chrono::steady_clock::now() - lastConnect_ >= kReconnectPeriod) Connect();
}

void PulseEndpoint::OnContextState(pa_context_state_t state) {
    if (state == PA_CONTEXT_READY) {
        pa_context* context = connection_.Context();
        pa_context_set_subscribe_callback(context, &PulseEndpoint::OnSubscription, this);
        const auto mask = pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER);
        if (pa_operation* op = pa_context_subscribe(context, mask, nullptr, nullptr)) pa_operation_unref(op);
        Fetch();
    }
    const bool down = IsDown(state);
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = state;
    if (down) {
        sink_.known = false;
        for (const Change& change : inFlight_) results_[change.ticket] = false;
        inFlight_.clear();
        fetching_ = false;
        fetchAgain_ = false;
    }
    changed_.notify_all();
}

// Asks for the default sink; one request at a time, a later wish queued
// behind it.
void PulseEndpoint::Fetch() {
    if (fetching_) {
        fetchAgain_ = true;
        return;
    }
    pa_operation* op = pa_context_get_sink_info_by_name(connection_.Context(), kDefaultSink,
                                                        &PulseEndpoint::OnSinkInfo, this);
    if (!op) return;
    fetching_ = true;
    pa_operation_unref(op);
}

void PulseEndpoint::OnSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* self) {
    auto* endpoint = static_cast<PulseEndpoint*>(self);
    if (eol == 0) {
        if (!info) return;
        std::lock_guard<std::mutex> lock(endpoint->mutex_);
        endpoint->sink_ = Sink{true, info->index, info->volume, info->mute != 0};
        return;
    }
    endpoint->fetching_ = false;
    {
        std::lock_guard<std::mutex> lock(endpoint->mutex_);
        // A failure means there is no default sink (any more).
        if (eol < 0) endpoint->sink_.known = false;
        ++endpoint->fetchesDone_;
    }
    endpoint->changed_.notify_all();
    if (endpoint->fetchAgain_) {
        endpoint->fetchAgain_ = false;
        endpoint->Fetch();
    }
}

// Any change of a sink or of the server's defaults: look again.
void PulseEndpoint::OnSubscription(pa_context*, pa_subscription_event_type_t type, uint32_t, void* self) {
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SINK || facility == PA_SUBSCRIPTION_EVENT_SERVER) {
        static_cast<PulseEndpoint*>(self)->Fetch();
    }
}

// The server answers in the order it was asked.
void PulseEndpoint::OnChangeDone(pa_context*, int success, void* self) {
    auto* endpoint = static_cast<PulseEndpoint*>(self);
    if (endpoint->inFlight_.empty()) return;
    const Change change = endpoint->inFlight_.front();
    endpoint->inFlight_.pop_front();
    {
        std::lock_guard<std::mutex> lock(endpoint->mutex_);
        Sink& sink = endpoint->sink_;
        if (success && sink.known && sink.index == change.index) {
            if (change.isVolume) {
                sink.volume = change.volume;
            } else {
                sink.mute = change.mute;
            }
        }
        endpoint->results_[change.ticket] = success != 0;
    }
    endpoint->changed_.notify_all();
}

// The copy of the default sink; asks the server only when there is none yet.
bool PulseEndpoint::ReadSink(Sink& sink) {
    KeepConnected();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (sink_.known) {
            sink = sink_;
            return true;
        }
        if (state_ != PA_CONTEXT_READY) return false;
    }
    uint64_t target = 0;
    {
        PulseConnection::Lock loop(connection_);
        const bool wasFetching = fetching_;
        Fetch();
        if (!fetching_) return false;
        std::lock_guard<std::mutex> lock(mutex_);
        target = fetchesDone_ + (wasFetching ? 2 : 1);
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, kRoundTripWait,
                      [&] { return fetchesDone_ >= target || state_ != PA_CONTEXT_READY; });
    if (!sink_.known) return false;
    sink = sink_;
    return true;
}

// Sends a change and waits for the server's answer.
bool PulseEndpoint::Send(Change change) {
    {
        PulseConnection::Lock loop(connection_);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (state_ != PA_CONTEXT_READY) return false;
            change.ticket = nextTicket_++;
            // Answers nobody waited for any more.
            results_.erase(results_.begin(), results_.lower_bound(change.ticket));
        }
        pa_context* context = connection_.Context();
        pa_operation* op =
            change.isVolume
                ? pa_context_set_sink_volume_by_index(context, change.index, &change.volume,
                                                      &PulseEndpoint::OnChangeDone, this)
                : pa_context_set_sink_mute_by_index(context, change.index, change.mute ? 1 : 0,
                                                    &PulseEndpoint::OnChangeDone, this);
        if (!op) return false;
        inFlight_.push_back(change);
        pa_operation_unref(op);
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, kRoundTripWait, [&] { return results_.count(change.ticket) > 0; })) {
        return false;
    }
    const bool ok = results_[change.ticket];
    results_.erase(change.ticket);
    return ok;
}

bool PulseEndpoint::GetLevel(float& level) {
    Sink sink;
    if (!ReadSink(sink)) return false;
    const double ratio = double(pa_cvolume_max(&sink.volume)) / double(PA_VOLUME_NORM);
    level = float(std::clamp(ratio, 0.0, 1.0));
    return true;
}

bool PulseEndpoint::SetLevel(float level) {
    Sink sink;
    if (!ReadSink(sink)) return false;
    const double clamped = level > 0.0f ? std::min(double(level), 1.0) : 0.0;
    Change change;
    change.index = sink.index;
    change.isVolume = true;
    change.volume = sink.volume;
    pa_cvolume_scale(&change.volume, pa_volume_t(std::lround(clamped * double(PA_VOLUME_NORM))));
    return Send(change);
}

bool PulseEndpoint::GetMute(bool& muted) {
    Sink sink;
    if (!ReadSink(sink)) return false;
    muted = sink.mute;
    return true;
}

bool PulseEndpoint::SetMute(bool muted) {
    Sink sink;
    if (!ReadSink(sink)) return false;
    Change change;
    change.index = sink.index;
    change.mute = muted;
    return Send(change);
}

}  // namespace

std::unique_ptr<VolumeEndpoint> LinuxAudioSystem::CreateEndpoint() {
    return std::make_unique<PulseEndpoint>();
}

}  // namespace duskpane

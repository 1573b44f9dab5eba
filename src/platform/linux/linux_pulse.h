// One connection to the sound server: a libpulse context on its own
// threaded main loop, shared by the capture devices and the volume endpoint.
#pragma once

#include <pulse/pulseaudio.h>

#include <functional>
#include <utility>

namespace duskpane {

// Connects without ever blocking on the server: the context's state changes
// arrive on the loop's thread. The server is the one libpulse finds itself
// (PULSE_SERVER, client.conf, the user's runtime socket); no server is ever
// spawned from here, as that would block the caller.
class PulseConnection {
public:
    // Called on the loop's thread, with the loop locked.
    using StateHandler = std::function<void(pa_context_state_t)>;

    PulseConnection() = default;
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;
    ~PulseConnection() { Close(); }

    // Creates the loop and the context and starts connecting. False when the
    // loop or the context cannot be created or the loop cannot run; a server
    // that is absent is reported later as the state PA_CONTEXT_FAILED.
    bool Open(const char* clientName, StateHandler onState) {
        Close();
        onState_ = std::move(onState);
        loop_ = pa_threaded_mainloop_new();
        if (!loop_) return false;
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), clientName);
        if (!context_) {
            Close();
            return false;
        }
        pa_context_set_state_callback(context_, &PulseConnection::OnContextState, this);
        // A refused connect has already put the context into the failed
        // state, which the handler has seen.
        pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
        if (pa_threaded_mainloop_start(loop_) < 0) {
            Close();
            return false;
        }
        running_ = true;
        return true;
    }

    // Ends the connection: with the loop locked, runs `underLock` (where the
    // owner clears the callbacks of its streams and lets go of them), clears
    // the context's callbacks and disconnects it; then stops the loop's
    // thread. No callback runs once Close returns. Safe to call twice.
    void Close(const std::function<void()>& underLock = {}) {
        if (!loop_) return;
        {
            Lock lock(*this);
            if (underLock) underLock();
            if (context_) {
                pa_context_set_state_callback(context_, nullptr, nullptr);
                pa_context_set_subscribe_callback(context_, nullptr, nullptr);
                pa_context_disconnect(context_);
                pa_context_unref(context_);
                context_ = nullptr;
            }
        }
        if (running_) pa_threaded_mainloop_stop(loop_);
        running_ = false;
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
        onState_ = nullptr;
    }

    pa_threaded_mainloop* Loop() const { return loop_; }
    pa_context* Context() const { return context_; }

    // Holds the loop's lock for a scope (never on the loop's own thread).
    class Lock {
    public:
        explicit Lock(const PulseConnection& connection) : loop_(connection.loop_) {
            if (loop_) pa_threaded_mainloop_lock(loop_);
        }
        ~Lock() {
            if (loop_) pa_threaded_mainloop_unlock(loop_);
        }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* loop_;
    };

private:
    static void OnContextState(pa_context* context, void* self) {
        auto* connection = static_cast<PulseConnection*>(self);
        if (connection->onState_) connection->onState_(pa_context_get_state(context));
    }

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    bool running_ = false;
    StateHandler onState_;
};

}  // namespace duskpane

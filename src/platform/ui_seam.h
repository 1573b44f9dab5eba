// What the portable ui kit needs from a platform: control peers, timers, the
// message queue and the shell's dialogs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace duskpane {

class Control;
class Form;
class PictureDecoder;
class Timer;
class PopupMenu;

// What changed on a control; the peer reads the new state from the control.
enum class Change {
    Bounds,
    Visible,
    Enabled,
    Text,      // caption or edit text
    Checked,   // radio buttons
    Position,  // track bars
    Range,     // track bar minimum and maximum
    Picture,   // image and paint box pixels; a form's composed content
    Focus,
    Colour,
    Font,
    Alpha,     // a form's constant alpha
    Layered,   // a form became colour-keyed: black see-through and click-through
    ZOrder,    // a form raised to the top of the ordinary windows
    Modal,     // a form became or stopped being modal
};

class ControlPeer {
public:
    virtual ~ControlPeer() = default;
    virtual void Changed(Change what) = 0;
    // Reads again what the kit may change without a word (a box's length
    // limit, a button's default mark, a picture's stretch, a track bar's
    // ticks); done whenever the form shows.
    virtual void SyncUnannounced() {}
};

class TimerPeer {
public:
    virtual ~TimerPeer() = default;
    // Starts, restarts or stops the native timer; an interval of 0 never fires.
    virtual void Update(bool enabled, uint32_t intervalMs) = 0;
};

enum class MessageKind { Other, Timer, CaptureData };

// A message as the application's loop takes it from the queue.
struct Message {
    MessageKind kind = MessageKind::Other;
    uintptr_t handle = 0;      // the timer or the capture device it comes from
    void* data = nullptr;      // the capture buffer descriptor
    uint32_t nativeCode = 0;   // the platform's own message number
};

// The portable application, as the backend's message pump sees it.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Offers a message taken from the queue to the application-wide hook and
    // dispatches the portable ones; false when the backend must dispatch it.
    virtual bool Process(Message& message) = 0;
    // Runs a user action reported by a peer; an error shows the standard
    // error box and the loop goes on.
    virtual void Deliver(const std::function<void()>& action) = 0;
    // The primary screen changed (resolution, another monitor made primary,
    // a monitor unplugged): the maximised forms take its new size.
    virtual void PrimaryScreenChanged() = 0;
};

struct ScreenSize {
    int width = 0;
    int height = 0;
};

class UiBackend {
public:
    virtual ~UiBackend() = default;
    virtual std::unique_ptr<ControlPeer> CreatePeer(Control& control) = 0;
    virtual std::unique_ptr<TimerPeer> CreateTimerPeer(Timer& timer, MessageSink& sink) = 0;
    // Takes the queued messages, handing each to the sink; with wait set it
    // first blocks until at least one arrives.
    virtual void ProcessMessages(MessageSink& sink, bool wait) = 0;
    // Wakes a waiting ProcessMessages (a modal loop ended, the program quits).
    virtual void Wake() = 0;
    // Shows the menu at a screen position and returns when it closes; a
    // picked item is reported through the sink.
    virtual void ShowPopupMenu(PopupMenu& menu, Form& owner, int x, int y, MessageSink& sink) = 0;
    virtual ScreenSize PrimaryScreen() = 0;
};

// Message box flags and answers, with the values the Windows API gives them.
constexpr uint32_t kMbOk = 0x00;
constexpr uint32_t kMbYesNo = 0x04;
constexpr uint32_t kMbIconError = 0x10;
constexpr uint32_t kMbIconInformation = 0x40;
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

class Shell {
public:
    virtual ~Shell() = default;
    // A modal message box; runs the message loop while it is open.
    virtual int MessageBox(Form* owner, const std::string& text, const std::string& caption,
                           uint32_t flags, MessageSink& sink) = 0;
    // The open-picture dialog; the filter is "caption|patterns|caption|patterns...".
    // It previews the selected file through the program's decoders.
    virtual std::optional<std::string> OpenPicture(Form* owner, const std::string& filter,
                                                   PictureDecoder& previews) = 0;
    // The folder browser, preselecting the initial folder.
    virtual std::optional<std::string> BrowseFolder(Form* owner, const std::string& title,
                                                    const std::string& initialFolder) = 0;
    virtual void OpenUrl(Form* owner, const std::string& url) = 0;
};

}  // namespace duskpane

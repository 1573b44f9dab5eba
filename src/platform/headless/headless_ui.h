// The in-memory ui backend and shell: peers that keep what they were told,
// a fake message queue and clock, and dialogs that answer as a test says.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ui_seam.h"
#include "util/bitmap.h"
#include "ui/peer_rules.h"

namespace duskpane {

class Application;
class HeadlessTimeService;

// The program waited for something the test did not script.
class HeadlessScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ShownMessageBox {
    std::string owner;  // the owner form's name; empty for none
    std::string text;
    std::string caption;
    uint32_t flags = 0;
    int answer = 0;
};

class HeadlessUi : public UiBackend, public Shell {
public:
    explicit HeadlessUi(HeadlessTimeService& time);
    ~HeadlessUi() override;

    ScreenSize screen{1920, 1080};

    // ---- what the program did, for the tests to read
    std::vector<ShownMessageBox> messageBoxes;
    std::vector<std::vector<std::string>> menusShown;  // the captions of each opened menu
    std::vector<std::string> urlsOpened;
    std::vector<std::string> pictureFilters;
    struct FolderRequest {
        std::string title;
        std::string initialFolder;
    };
    std::vector<FolderRequest> folderRequests;
    // The forms whose windows were told to appear, in the order told.
    std::vector<std::string> formsShown;
    // How many times each change reached a control's peer.
    int ChangeCount(const Control& control, Change what) const;
    void ResetChangeCounts();
    // The windows as the peers' decisions left them: whether a form's window
    // shows, its frame on the screen, and the control with the keyboard.
    bool WindowShown(const Form& form) const;
    Rect WindowFrame(const Form& form) const;
    Control* NativeFocus() const { return nativeFocus_; }

    // ---- what the user does next, when the program waits for it
    // An action run when the program waits for input (a modal dialog, a menu).
    void Then(std::function<void()> action) { script_.push_back(std::move(action)); }
    bool ScriptDone() const { return script_.empty(); }
    // Answers for the coming message boxes, in order; boxes with only OK are
    // answered OK when nothing is queued.
    void AnswerMessageBox(int answer, std::function<void()> whileOpen = {});
    void ChoosePicture(std::optional<std::string> path) { pictures_.push_back(std::move(path)); }
    void ChooseFolder(std::optional<std::string> path) { folders_.push_back(std::move(path)); }

    // ---- the message queue and the clock
    void Post(const Message& message) { queue_.push_back(message); }
    // Moves the fake clock forward, delivering every timer tick and every
    // posted message on the way, in time order.
    void Advance(uint32_t ms);
    // Handles whatever is queued now.
    void RunPending();
    void SetSink(MessageSink& sink) { sink_ = &sink; }
    // The primary screen takes a new size (a resolution change, another
    // monitor made primary), reported as a backend reports it.
    void ChangePrimaryScreen(int width, int height);
    // Runs a user action the way a peer reports one.
    void Deliver(const std::function<void()>& action) {
        if (sink_)
            sink_->Deliver(action);
        else
            action();
    }

    // ---- UiBackend
    std::unique_ptr<ControlPeer> CreatePeer(Control& control) override;
    std::unique_ptr<TimerPeer> CreateTimerPeer(Timer& timer, MessageSink& sink) override;
    void ProcessMessages(MessageSink& sink, bool wait) override;
    void Wake() override {}
    void ShowPopupMenu(PopupMenu& menu, Form& owner, int x, int y, MessageSink& sink) override;
    ScreenSize PrimaryScreen() override { return screen; }

    // ---- Shell
    int MessageBox(Form* owner, const std::string& text, const std::string& caption, uint32_t flags,
                   MessageSink& sink) override;
    std::optional<std::string> OpenPicture(Form* owner, const std::string& filter,
                                           PictureDecoder& previews) override;
    std::optional<std::string> BrowseFolder(Form* owner, const std::string& title,
                                            const std::string& initialFolder) override;
    void OpenUrl(Form* owner, const std::string& url) override;

    // The screen as the user sees it: the desktop, the dimming window at its
    // alpha over it, the colour-keyed window's non-black pixels on top.
    Bitmap32 ComposeScreen(const Form* dimmer, const Form* top, Pixel desktop) const;

private:
    friend class HeadlessControlPeer;
    friend class HeadlessFormPeer;
    friend class HeadlessTimerPeer;
    struct TimerState {
        bool enabled = false;
        uint32_t interval = 0;
        uint64_t due = 0;
    };
    void RunScripted();

    HeadlessTimeService& time_;
    MessageSink* sink_ = nullptr;
    uint64_t now_ = 0;
    std::map<Timer*, TimerState> timers_;
    std::deque<Message> queue_;
    std::deque<std::function<void()>> script_;
    struct Answer {
        int answer;
        std::function<void()> whileOpen;
    };
    std::deque<Answer> answers_;
    std::deque<std::optional<std::string>> pictures_;
    std::deque<std::optional<std::string>> folders_;
    std::map<std::pair<const Control*, Change>, int> changes_;
    std::map<const Form*, class HeadlessFormPeer*> forms_;
    // Work queued by a peer, dropped with it.
    std::deque<std::pair<const void*, std::function<void()>>> deferred_;
    Control* nativeFocus_ = nullptr;
    Application* app_ = nullptr;
};

}  // namespace duskpane

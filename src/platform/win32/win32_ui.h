// The Win32 ui backend and shell: native windows for the kit's forms and
// controls, timers, the message pump, the popup menu and the shell's dialogs.
#pragma once

#include <windows.h>
// The kit's Shell::MessageBox is the program's own, not the system's macro.
#undef MessageBox

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "platform/ui_seam.h"
#include "util/bitmap.h"

namespace duskpane {

class Application;
class Control;
class Form;
class Timer;
class Win32ControlPeer;
class Win32FormPeer;

// Turns the program's filter "caption|patterns|caption|patterns..." into the
// open-file dialog's "caption\0patterns\0...\0\0" list.
std::wstring OpenFileFilter(const std::string& filter);

// The kit's modifier bits for the keys held now.
unsigned CurrentShiftState();

class Win32Ui : public UiBackend, public Shell {
public:
    Win32Ui();
    ~Win32Ui() override;
    Win32Ui(const Win32Ui&) = delete;
    Win32Ui& operator=(const Win32Ui&) = delete;

    // ---- UiBackend
    std::unique_ptr<ControlPeer> CreatePeer(Control& control) override;
    std::unique_ptr<TimerPeer> CreateTimerPeer(Timer& timer, MessageSink& sink) override;
    void ProcessMessages(MessageSink& sink, bool wait) override;
    void Wake() override;
    void ShowPopupMenu(PopupMenu& menu, Form& owner, int x, int y, MessageSink& sink) override;
    ScreenSize PrimaryScreen() override;

    // ---- Shell
    int MessageBox(Form* owner, const std::string& text, const std::string& caption, uint32_t flags,
                   MessageSink& sink) override;
    std::optional<std::string> OpenPicture(Form* owner, const std::string& filter,
                                           PictureDecoder& previews) override;
    std::optional<std::string> BrowseFolder(Form* owner, const std::string& title,
                                            const std::string& initialFolder) override;
    void OpenUrl(Form* owner, const std::string& url) override;

    // The native window that shows a control; null for controls that their
    // form paints itself (those of the borderless screen layers).
    HWND WindowOf(const Control& control) const;
    // The hidden window that carries the application's title and taskbar
    // button and owns the screen layers.
    HWND ApplicationWindow() const { return appWindow_; }
    // The window the timers tick on.
    HWND MessageWindow() const { return messageWindow_; }
    // Ends the program through the kit (see Application::RequestEnd): forced
    // for the end of the session and a quit message, not for the taskbar's
    // close, which the user may retry.
    void RequestEnd(bool forced);
    // The menu shown last, while it is open (for tests); null otherwise.
    HMENU OpenMenu() const { return openMenu_; }

    // ---- for the peers
    // Runs a user action through the program's sink.
    void Deliver(const std::function<void()>& action);
    HINSTANCE Instance() const { return instance_; }
    void Register(Win32ControlPeer& peer, const Control& control, HWND window);
    void Unregister(Win32ControlPeer& peer);
    Win32ControlPeer* PeerOf(const Control& control) const;
    // The peer whose native window this is.
    Win32ControlPeer* PeerAtWindow(HWND window) const;
    Win32FormPeer* FormPeerOf(const Form& form) const;
    // The window of the application's main form, when it has one.
    HWND MainWindow() const;
    // Gives the keyboard to the main form's window (a dialog closed).
    void ActivateMainForm();
    // Asserts the order of the windows once more: the always-on-top forms
    // above the others. (Wine restacks its X windows only for a window that
    // comes to the very top, so a window shown later would cover them.)
    void Restack();
    void ActivateProgram();
    // Sets the native focus without reporting it back to the kit.
    void SetFocusQuietly(HWND window);
    bool FocusGuarded() const { return focusGuard_ > 0; }
    // Shared GDI objects, kept for the life of the backend.
    HFONT Font(const std::string& name, int height, bool underline);
    HBRUSH Brush(Pixel colour);
    // A notification a native control sent to its container (commands,
    // scrolls, colours); true when the control's peer answered it.
    bool ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Disables every other shown form while a modal form or a message box
    // shows, and enables them again; the key names the modal one.
    void DisableOthers(const void* modal, HWND keep);
    void EnableOthers(const void* modal);
    // The maximised forms follow the primary screen's size.
    void FollowPrimaryScreen();
    // A timer tick that reached the message window outside the pump (inside
    // a native dialog's own loop).
    void TimerTick(UINT_PTR id);

private:
    void RegisterClasses();
    void EnsureApplicationWindow(const Form& form);
    // One message taken from the queue: the hook, the kit's keys and clicks,
    // then the window it is for.
    void Handle(MSG& msg, MessageSink& sink);
    bool PreTranslate(MSG& msg);
    bool HandleKeyDown(Win32FormPeer& formPeer, MSG& msg);
    bool HandleChar(Win32FormPeer& formPeer, MSG& msg);
    bool HandleMousePress(Win32FormPeer& formPeer, MSG& msg);
    Win32FormPeer* FormPeerOfWindow(HWND window) const;
    static LRESULT CALLBACK MessageWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ApplicationWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    friend class Win32TimerPeer;

    HINSTANCE instance_ = nullptr;
    HWND messageWindow_ = nullptr;
    HWND appWindow_ = nullptr;
    MessageSink* sink_ = nullptr;
    Application* app_ = nullptr;
    std::unordered_map<const Control*, Win32ControlPeer*> byControl_;
    std::unordered_map<HWND, Win32ControlPeer*> byWindow_;
    std::vector<Win32FormPeer*> forms_;
    std::map<UINT_PTR, Timer*> timers_;
    UINT_PTR nextTimerId_ = 1;
    std::map<std::tuple<std::string, int, bool>, HFONT> fonts_;
    std::map<Pixel, HBRUSH> brushes_;
    // The windows a modal form or message box disabled, by its key.
    std::map<const void*, std::vector<HWND>> disabledBy_;
    int focusGuard_ = 0;
    HMENU openMenu_ = nullptr;
};

}  // namespace duskpane

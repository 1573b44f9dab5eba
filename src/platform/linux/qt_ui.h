// The Linux desktop ui backend on Qt Widgets (X11): control peers, timers,
// the message queue, the popup menu, the shell's dialogs and the ways the
// system asks the program to end.
#pragma once

#include <QObject>
#include <QPoint>
#include <QStringList>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/linux/linux_gui_thread.h"
#include "platform/ui_seam.h"

class QIcon;
class QImage;
class QScreen;
class QSocketNotifier;
class QWidget;
class QWindow;

namespace duskpane {

class Application;
class Control;
class Form;
class MenuItem;
class QtControlPeer;
class QtFormPeer;

// Turns the program's filter "caption|patterns|caption|patterns..." (patterns
// separated by ';') into Qt name filters "caption (p1 p2)"; a caption that
// already ends in its own parenthesised pattern list has it replaced.
QStringList QtNameFilters(const std::string& filter);

// The program's icon: a crescent over a dark pane, drawn at any size.
QImage DrawProgramIcon(int size);
QIcon ProgramIcon();

// Whether a compositing manager owns the display's _NET_WM_CM_S<screen>
// selection; true when the display is not X11 (nothing can be told then).
bool CompositorRunning();

// A QApplication must exist before the backend is made and outlive it.
class QtUi : public QObject, public UiBackend, public Shell, public GuiThreadPoster {
public:
    QtUi();
    ~QtUi() override;
    QtUi(const QtUi&) = delete;
    QtUi& operator=(const QtUi&) = delete;

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

    // ---- GuiThreadPoster
    void RunOnGuiThread(std::function<void()> work) override;
    void PostMessage(const Message& message) override;

    // SIGTERM, SIGINT and SIGHUP, the end of the session and a quit of the
    // application end the program through the kit (the settings are saved
    // as with Escape), within five seconds whatever happens; the handlers
    // are removed again with the backend.
    void InstallEndHandlers();
    // Ends the program through the kit (see Application::RequestEnd); native
    // menus and dialogs that are open are closed too once the program ends.
    void RequestEnd(bool forced);

    // The widget that shows a control; null for controls that their form
    // paints itself (those of the borderless screen layers).
    QWidget* WidgetOf(const Control& control) const;
    // How many times the colour-keyed form's shape was set on the window.
    int ShapeUpdates(const Form& form) const;

    // ---- for the peers
    // Runs a user action through the program's sink.
    void Deliver(const std::function<void()>& action);
    // The top-left corner of the primary screen: the origin of the forms'
    // screen coordinates.
    QPoint ScreenOrigin() const;
    void Register(QtControlPeer& peer, const Control& control, QWidget* widget);
    void Unregister(QtControlPeer& peer);
    QtControlPeer* PeerOf(const Control& control) const;
    // The peer whose widget this is.
    QtControlPeer* PeerAtWidget(const QWidget* widget) const;
    QtFormPeer* FormPeerOf(const Form& form) const;
    // The widget of the application's main form, when it has one.
    QWidget* MainWidget() const;
    // The dimming layer's peer, when the program has one.
    QtFormPeer* DimmerPeer() const;
    // The screen layer that has the keyboard when no dialog shows: the
    // full-screen dimming layer, or else the main window.
    QWidget* KeyboardWidget() const;
    // The screen layers float at the screen's size instead of the dimming
    // layer being full screen, as the windows below a full-screen window are
    // not drawn: on XWayland (the Wayland compositor draws nothing there) and
    // under i3 (it unmaps the other windows of the workspace). Asked once.
    bool ScreenLayersFloat();
    // The X server is XWayland (asked once).
    bool OnXWayland();
    // Gives the keyboard to a window that just showed (or to the window a
    // closed one leaves on top), unless the window manager does so itself
    // within a moment; the window takes it itself when the window manager
    // gives it to no one.
    void ActivateUnlessFocused(QWidget* window);
    // Puts the windows back in their order: dimming layers, always-on-top
    // forms, dialogs.
    void Restack();
    // Sets the Qt focus without reporting it back to the kit.
    void SetFocusQuietly(QWidget* widget);
    // Tells once on stderr how to get a see-through dimming layer.
    void WarnIfNoCompositor();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void DrainQueue();
    bool FilterWindowEvent(QWindow* window, QEvent* event);
    bool HandleKey(QtFormPeer& formPeer, QWindow* window, QEvent* event);
    bool HandleMousePress(QtFormPeer& formPeer, QEvent* event);
    void HandleWindowShow(QWindow* window);
    void HandleWindowHide(QWindow* window);
    void HandleExpose(QWindow* window);
    void HandleFocusIn(QWidget* widget, QEvent* event);
    void HandleWindowFocusIn(QWindow* window);
    QtFormPeer* FormPeerOfWindow(const QWindow* window) const;
    void WatchPrimaryScreen(QScreen* screen);
    void FollowPrimaryScreen();
    void CloseNativeModals();
    void RemoveEndHandlers();

    MessageSink* sink_ = nullptr;
    Application* app_ = nullptr;
    std::deque<Message> queue_;
    bool drainScheduled_ = false;
    std::unordered_map<const Control*, QtControlPeer*> byControl_;
    std::unordered_map<const QWidget*, QtControlPeer*> byWidget_;
    std::vector<QtFormPeer*> forms_;
    int focusGuard_ = 0;
    bool replayingKey_ = false;
    bool compositorWarned_ = false;
    int onXWayland_ = -1;  // not asked yet
    int screenLayersFloat_ = -1;
    std::string lastPictureFolder_;
    QScreen* watchedScreen_ = nullptr;
    QSocketNotifier* endNotifier_ = nullptr;
    std::thread watchdog_;
    std::unique_ptr<std::atomic<bool>> watchdogFinished_;
    bool endHandlersInstalled_ = false;
};

}  // namespace duskpane

// The Qt backend's core: peers, timers, the program's message queue drained
// from any Qt event loop, keys and focus reported to the kit, and the order
// and activation of the windows.
#include "platform/linux/qt_ui.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdio>

#include "platform/linux/qt_peers.h"
#include "platform/linux/qt_x11_window.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace duskpane {

namespace {

// How long a window that showed waits for the window manager to give it the
// keyboard before it asks for it.
constexpr int kActivationGraceMs = 200;

class QtTimerPeer : public TimerPeer {
public:
    QtTimerPeer(QtUi& ui, Timer& timer) {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [&ui, &timer] {
            ui.PostMessage(Message{MessageKind::Timer, reinterpret_cast<uintptr_t>(&timer), nullptr, 0});
        });
    }
    void Update(bool enabled, uint32_t intervalMs) override {
        if (enabled && intervalMs != 0)
            timer_.start(int(std::min<uint32_t>(intervalMs, INT_MAX)));
        else
            timer_.stop();
    }

private:
    QTimer timer_;
};

// The Windows virtual-key code of a key, as the kit's key handlers know it;
// 0 for keys they have no use for.
int VirtualKey(const QKeyEvent& event) {
    const int key = event.key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return '0' + (key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return 0x70 + (key - Qt::Key_F1);
    switch (key) {
        case Qt::Key_Escape: return kKeyEscape;
        case Qt::Key_Return:
        case Qt::Key_Enter: return kKeyEnter;
        case Qt::Key_Tab:
        case Qt::Key_Backtab: return kKeyTab;
        case Qt::Key_Backspace: return kKeyBackspace;
        case Qt::Key_Space: return 0x20;
        case Qt::Key_PageUp: return 0x21;
        case Qt::Key_PageDown: return 0x22;
        case Qt::Key_End: return 0x23;
        case Qt::Key_Home: return 0x24;
        case Qt::Key_Left: return 0x25;
        case Qt::Key_Up: return 0x26;
        case Qt::Key_Right: return 0x27;
        case Qt::Key_Down: return 0x28;
        case Qt::Key_Insert: return 0x2D;
        case Qt::Key_Delete: return 0x2E;
        case Qt::Key_Shift: return 0x10;
        case Qt::Key_Control: return 0x11;
        case Qt::Key_Alt: return 0x12;
        default: return 0;
    }
}

unsigned ShiftOf(Qt::KeyboardModifiers modifiers) {
    unsigned shift = kShiftNone;
    if (modifiers & Qt::ShiftModifier) shift |= kShiftShift;
    if (modifiers & Qt::AltModifier) shift |= kShiftAlt;
    if (modifiers & Qt::ControlModifier) shift |= kShiftCtrl;
    return shift;
}

}  // namespace

QtUi::QtUi() {
    assert(QApplication::instance() && "the Qt backend needs a QApplication");
    // The dialogs' designed font, a proportional Gothic, from the IPA fonts.
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    QGuiApplication::setQuitOnLastWindowClosed(false);
    qApp->installEventFilter(this);
    connect(qApp, &QGuiApplication::primaryScreenChanged, this, [this](QScreen* screen) {
        WatchPrimaryScreen(screen);
        FollowPrimaryScreen();
    });
    WatchPrimaryScreen(QGuiApplication::primaryScreen());
}

QtUi::~QtUi() {
    qApp->removeEventFilter(this);
    RemoveEndHandlers();
}

std::unique_ptr<ControlPeer> QtUi::CreatePeer(Control& control) {
    if (control.Kind() == ControlKind::Form) {
        auto& form = static_cast<Form&>(control);
        if (!app_) app_ = &form.FormApp();
        auto peer = std::make_unique<QtFormPeer>(*this, form);
        forms_.push_back(peer.get());
        return peer;
    }
    return MakeChildPeer(*this, control);
}

std::unique_ptr<TimerPeer> QtUi::CreateTimerPeer(Timer& timer, MessageSink& sink) {
    sink_ = &sink;
    return std::make_unique<QtTimerPeer>(*this, timer);
}

void QtUi::ProcessMessages(MessageSink& sink, bool wait) {
    sink_ = &sink;
    if (!queue_.empty()) {
        DrainQueue();
        wait = false;
    }
    QCoreApplication::processEvents(wait ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
    // Objects Qt let go of (a closed menu's, a dialog's) are freed here, as
    // no QEventLoop of the application's own runs at this level.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    DrainQueue();
}

void QtUi::Wake() {
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread()))
        dispatcher->wakeUp();
}

ScreenSize QtUi::PrimaryScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    return {screen->geometry().width(), screen->geometry().height()};
}

QPoint QtUi::ScreenOrigin() const {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().topLeft() : QPoint();
}

void QtUi::RunOnGuiThread(std::function<void()> work) {
    QMetaObject::invokeMethod(this, [work = std::move(work)] { work(); }, Qt::QueuedConnection);
}

// A timer's tick is not queued twice: like the system's timer message it
// waits in the queue at most once.
void QtUi::PostMessage(const Message& message) {
    assert(QThread::currentThread() == thread() && "PostMessage is for the GUI thread: use RunOnGuiThread");
    if (message.kind == MessageKind::Timer)
        for (const Message& queued : queue_)
            if (queued.kind == MessageKind::Timer && queued.handle == message.handle) return;
    queue_.push_back(message);
    if (drainScheduled_) return;
    drainScheduled_ = true;
    QMetaObject::invokeMethod(this, [this] { DrainQueue(); }, Qt::QueuedConnection);
}

// Runs from whichever event loop is running (the program's own, a menu's, a
// message box's, a file dialog's), so ticks and captured sound go on.
void QtUi::DrainQueue() {
    drainScheduled_ = false;
    MessageSink* sink = sink_ ? sink_ : app_;
    if (!sink) return;
    while (!queue_.empty()) {
        Message message = queue_.front();
        queue_.pop_front();
        sink->Process(message);
    }
}

void QtUi::Deliver(const std::function<void()>& action) {
    if (MessageSink* sink = sink_ ? sink_ : app_)
        sink->Deliver(action);
    else
        action();
}

void QtUi::Register(QtControlPeer& peer, const Control& control, QWidget* widget) {
    byControl_[&control] = &peer;
    if (widget) byWidget_[widget] = &peer;
}

void QtUi::Unregister(QtControlPeer& peer) {
    byControl_.erase(&peer.GetControl());
    for (auto it = byWidget_.begin(); it != byWidget_.end();)
        it = it->second == &peer ? byWidget_.erase(it) : std::next(it);
    forms_.erase(std::remove(forms_.begin(), forms_.end(), &peer), forms_.end());
}

QtControlPeer* QtUi::PeerOf(const Control& control) const {
    auto it = byControl_.find(&control);
    return it == byControl_.end() ? nullptr : it->second;
}

QtControlPeer* QtUi::PeerAtWidget(const QWidget* widget) const {
    auto it = byWidget_.find(widget);
    return it == byWidget_.end() ? nullptr : it->second;
}

QtFormPeer* QtUi::FormPeerOf(const Form& form) const { return dynamic_cast<QtFormPeer*>(PeerOf(form)); }

QWidget* QtUi::WidgetOf(const Control& control) const {
    QtControlPeer* peer = PeerOf(control);
    return peer ? peer->Widget() : nullptr;
}

int QtUi::ShapeUpdates(const Form& form) const {
    QtFormPeer* peer = FormPeerOf(form);
    return peer ? peer->ShapeUpdates() : 0;
}

QWidget* QtUi::MainWidget() const {
    Form* main = app_ ? app_->MainForm() : nullptr;
    return main ? WidgetOf(*main) : nullptr;
}

QtFormPeer* QtUi::DimmerPeer() const {
    for (QtFormPeer* form : forms_)
        if (form->Dimmer()) return form;
    return nullptr;
}

QWidget* QtUi::KeyboardWidget() const {
    for (QtFormPeer* form : forms_)
        if (form->Rendered() && form->TakesKeyboard() && form->Window() && form->Window()->isVisible())
            return form->Window();
    return MainWidget();
}

bool QtUi::OnXWayland() {
    if (onXWayland_ < 0) onXWayland_ = XWaylandServer() ? 1 : 0;
    return onXWayland_ != 0;
}

bool QtUi::ScreenLayersFloat() {
    if (screenLayersFloat_ < 0) screenLayersFloat_ = OnXWayland() || WindowManagerName() == "i3" ? 1 : 0;
    return screenLayersFloat_ != 0;
}

void QtUi::ActivateUnlessFocused(QWidget* window) {
    const QPointer<QWidget> target(window);
    QTimer::singleShot(kActivationGraceMs, this, [this, target] {
        if (!target || !target->isVisible()) return;
        const QWindow* focus = QGuiApplication::focusWindow();
        if (focus && focus == target->windowHandle()) return;
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != target) return;
        target->activateWindow();
        // Where the window manager gives the keyboard to no one, the window
        // takes it itself. (Qt counts the window as active once it asked.)
        QTimer::singleShot(kActivationGraceMs, this, [target] {
            if (target && target->isVisible() && target->windowHandle() && KeyboardUnowned())
                TakeKeyboard(*target->windowHandle());
        });
    });
}

// Without a window manager the raise order is the stacking order; with one,
// each window keeps its layer (the always-on-top one above the others) and
// the dialogs stay above the main window they belong to.
void QtUi::Restack() {
    for (QtFormPeer* form : forms_)
        if (form->StaysOnTop() && form->Window() && form->Window()->isVisible()) form->Window()->raise();
    for (QtFormPeer* form : forms_)
        if (!form->Rendered() && form->Window() && form->Window()->isVisible()) form->Window()->raise();
    if (QWidget* modal = QApplication::activeModalWidget()) modal->raise();
}

void QtUi::SetFocusQuietly(QWidget* widget) {
    if (!widget || widget->hasFocus()) return;
    ++focusGuard_;
    widget->setFocus(Qt::OtherFocusReason);
    --focusGuard_;
}

void QtUi::WarnIfNoCompositor() {
    if (compositorWarned_ || CompositorRunning()) return;
    compositorWarned_ = true;
    std::fputs(
        "duskpane: no compositing manager is running, so the dimming layer covers the desktop "
        "in opaque black.\n"
        "duskpane: for a see-through dimming start one, for example `picom &`, or turn on your "
        "desktop's own compositor.\n",
        stderr);
}

void QtUi::WatchPrimaryScreen(QScreen* screen) {
    if (watchedScreen_) disconnect(watchedScreen_, nullptr, this, nullptr);
    watchedScreen_ = screen;
    if (screen) connect(screen, &QScreen::geometryChanged, this, [this] { FollowPrimaryScreen(); });
}

// The maximised forms cover the primary screen, whatever it becomes; the
// kit sizes them, and the screen layers are placed again at the screen's
// origin, which may have moved while the size stayed.
void QtUi::FollowPrimaryScreen() {
    if (MessageSink* sink = sink_ ? sink_ : app_) sink->PrimaryScreenChanged();
    for (QtFormPeer* peer : forms_)
        if (peer->Rendered()) peer->ApplyBounds();
}

QtFormPeer* QtUi::FormPeerOfWindow(const QWindow* window) const {
    for (QtFormPeer* form : forms_)
        if (form->Window() && form->Window()->windowHandle() == window) return form;
    return nullptr;
}

// Keys and mouse presses are taken as they reach a form's window, before Qt
// hands them to a widget: the kit sees every key first (its key preview,
// Enter, Escape and Tab) and decides about the focus before a click lands.
bool QtUi::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
            if (watched->isWindowType()) {
                auto* window = static_cast<QWindow*>(watched);
                if (QtFormPeer* form = FormPeerOfWindow(window))
                    return event->type() == QEvent::KeyPress ? HandleKey(*form, window, event)
                                                             : HandleMousePress(*form, event);
            }
            break;
        case QEvent::FocusIn:
            if (watched->isWidgetType()) HandleFocusIn(static_cast<QWidget*>(watched), event);
            if (watched->isWindowType()) HandleWindowFocusIn(static_cast<QWindow*>(watched));
            break;
        case QEvent::Show:
            if (watched->isWindowType()) HandleWindowShow(static_cast<QWindow*>(watched));
            break;
        case QEvent::Hide:
            if (watched->isWindowType()) HandleWindowHide(static_cast<QWindow*>(watched));
            break;
        case QEvent::Expose:
            if (watched->isWindowType()) HandleExpose(static_cast<QWindow*>(watched));
            break;
        default:
            break;
    }
    return false;
}

bool QtUi::HandleKey(QtFormPeer& formPeer, QWindow* window, QEvent* event) {
    if (replayingKey_) return false;
    const auto& key = *static_cast<QKeyEvent*>(event);
    Form& form = formPeer.GetForm();
    const QPointer<QWindow> alive(window);
    const int virtualKey = VirtualKey(key);
    const bool kitKey = virtualKey == kKeyEnter || virtualKey == kKeyEscape || virtualKey == kKeyTab;
    if (virtualKey != 0) form.UserKeyDown(virtualKey, ShiftOf(key.modifiers()));
    if (!alive || !form.Visible()) return true;

    // The character the key types, if any: Tab moves the focus and types
    // nothing, and keys held with Alt are menu keys.
    const QList<uint> text = key.text().toUcs4();
    if (text.size() != 1 || virtualKey == kKeyTab || (key.modifiers() & Qt::AltModifier)) return kitKey;
    char32_t typed = char32_t(text.front());
    const char32_t original = typed;
    if (!form.UserKeyPress(typed)) return true;
    if (!alive || kitKey) return true;
    if (typed == original) return false;
    // A handler changed the character: the widget gets the new one.
    QKeyEvent replay(QEvent::KeyPress, key.key(), key.modifiers(), QString::fromUcs4(&typed, 1),
                     key.isAutoRepeat(), ushort(key.count()));
    replayingKey_ = true;
    QCoreApplication::sendEvent(window, &replay);
    replayingKey_ = false;
    return true;
}

// A click on a control moves the kit's focus first; when the control that
// loses it keeps it (its exit check failed), the click is dropped.
bool QtUi::HandleMousePress(QtFormPeer& formPeer, QEvent* event) {
    const auto& mouse = *static_cast<QMouseEvent*>(event);
    FormWidget* window = formPeer.Window();
    if (mouse.button() != Qt::LeftButton || formPeer.Rendered() || !window) return false;
    QtControlPeer* target = nullptr;
    for (QWidget* w = window->childAt(mouse.position().toPoint()); w && !target; w = w->parentWidget())
        target = PeerAtWidget(w);
    if (!target) return false;
    Control& control = target->GetControl();
    Form& form = formPeer.GetForm();
    if (&control == &form || !control.CanFocus() || form.ActiveControl() == &control) return false;
    form.UserFocus(&control);
    return form.ActiveControl() != &control;
}

// A window of the program about to map (a dialog, a message box, a file
// dialog, the dimming layer) has no taskbar or pager entry: the main window
// carries the program's one.
void QtUi::HandleWindowShow(QWindow* window) {
    if (!window->isTopLevel()) return;
    QWidget* main = MainWidget();
    if (main && main->windowHandle() == window) return;
    AddWindowStates(*window, {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"});
}

// A message box or a file dialog that closed gives the keyboard back to the
// screen layer that takes it (the forms' own windows do so themselves): the
// window it belonged to, the main window, may refuse the keyboard.
void QtUi::HandleWindowHide(QWindow* window) {
    if (!window->isTopLevel() || FormPeerOfWindow(window)) return;
    if (window->type() != Qt::Dialog && window->type() != Qt::Window) return;
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->windowHandle() != window) return;
    if (QWidget* screen = KeyboardWidget(); screen && screen->isVisible()) ActivateUnlessFocused(screen);
}

// Once the dimming layer is drawn, the layer above it may show.
void QtUi::HandleExpose(QWindow* window) {
    QtFormPeer* dimmer = DimmerPeer();
    if (!dimmer || !window->isExposed() || FormPeerOfWindow(window) != dimmer) return;
    // After the dimming layer's own paint of this expose.
    QMetaObject::invokeMethod(
        this,
        [this] {
            for (QtFormPeer* form : forms_)
                if (form->StaysOnTop()) form->DimmerShown();
        },
        Qt::QueuedConnection);
}

// A screen layer that got the keyboard (a click on it) though the other one
// takes it passes it on: activating that one also raises it again where a
// window manager raised the clicked one over it (i3 does, for floating
// windows). The Wayland compositors keep the layers' order, and sway would
// only mark the other one as asking for attention.
void QtUi::HandleWindowFocusIn(QWindow* window) {
    const QtFormPeer* peer = FormPeerOfWindow(window);
    if (!peer || !peer->Rendered() || peer->TakesKeyboard() || OnXWayland()) return;
    if (QWidget* screen = KeyboardWidget(); screen && screen->windowHandle() != window)
        ActivateUnlessFocused(screen);
}

void QtUi::HandleFocusIn(QWidget* widget, QEvent* event) {
    if (focusGuard_) return;
    QtControlPeer* peer = PeerAtWidget(widget);
    if (!peer || peer->GetControl().Kind() == ControlKind::Form) return;
    Control& control = peer->GetControl();
    Form* form = control.ParentForm();
    if (!form || form->ActiveControl() == &control) return;
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) {
        // Qt gives back the focus it remembers; the kit's own focus counts.
        Control* active = form->ActiveControl();
        if (active && active->CanFocus()) {
            QPointer<QWidget> focusTarget(WidgetOf(*active));
            QMetaObject::invokeMethod(
                this, [this, focusTarget] { SetFocusQuietly(focusTarget); }, Qt::QueuedConnection);
            return;
        }
    }
    if (control.CanFocus()) form->UserFocus(&control);
}

}  // namespace duskpane

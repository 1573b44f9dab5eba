// The Win32 backend's core: window classes, peers, timers, the message pump
// with the program's hook, keys and clicks reported to the kit, focus, and
// the windows a modal form disables.
#include "platform/win32/win32_ui.h"

#include <algorithm>
#include <cassert>

#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_peers.h"
#include "platform/win32/win32_text.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace duskpane {

namespace {

constexpr wchar_t kMessageClass[] = L"DuskpaneMessages";
constexpr wchar_t kApplicationClass[] = L"DuskpaneApplication";
// The program's icon in its resources.
constexpr int kIconId = 1;
// Posted to the application's window when it was activated.
constexpr UINT kActivateProgram = WM_APP + 2;

}  // namespace

unsigned CurrentShiftState() {
    unsigned shift = kShiftNone;
    if (GetKeyState(VK_SHIFT) & 0x8000) shift |= kShiftShift;
    if (GetKeyState(VK_MENU) & 0x8000) shift |= kShiftAlt;
    if (GetKeyState(VK_CONTROL) & 0x8000) shift |= kShiftCtrl;
    return shift;
}

class Win32TimerPeer : public TimerPeer {
public:
    Win32TimerPeer(Win32Ui& ui, Timer& timer) : ui_(ui), id_(ui.nextTimerId_++) { ui_.timers_[id_] = &timer; }
    ~Win32TimerPeer() override {
        KillTimer(ui_.messageWindow_, id_);
        ui_.timers_.erase(id_);
    }
    void Update(bool enabled, uint32_t intervalMs) override {
        if (enabled && intervalMs != 0)
            SetTimer(ui_.messageWindow_, id_, std::min<uint32_t>(intervalMs, USER_TIMER_MAXIMUM), nullptr);
        else
            KillTimer(ui_.messageWindow_, id_);
    }

private:
    Win32Ui& ui_;
    UINT_PTR id_;
};

Win32Ui::Win32Ui() {
    instance_ = GetModuleHandleW(nullptr);
    RegisterClasses();
    messageWindow_ = CreateWindowExW(0, kMessageClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance_, nullptr);
    assert(messageWindow_ && "the backend needs its message window");
    SetWindowLongPtrW(messageWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32Ui::~Win32Ui() {
    for (const auto& [id, timer] : timers_) KillTimer(messageWindow_, id);
    if (appWindow_) {
        SetWindowLongPtrW(appWindow_, GWLP_USERDATA, 0);
        DestroyWindow(appWindow_);
    }
    SetWindowLongPtrW(messageWindow_, GWLP_USERDATA, 0);
    DestroyWindow(messageWindow_);
    for (const auto& [key, font] : fonts_) DeleteObject(font);
    for (const auto& [colour, brush] : brushes_) DeleteObject(brush);
    for (const wchar_t* name : {kFormClass, kPanelClass, kPictureClass, kMessageClass, kApplicationClass})
        UnregisterClassW(name, instance_);
}

void Win32Ui::RegisterClasses() {
    auto add = [this](const wchar_t* name, WNDPROC proc, bool icon) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = proc;
        windowClass.hInstance = instance_;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.lpszClassName = name;
        if (icon) {
            windowClass.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(kIconId));
            windowClass.hIconSm = windowClass.hIcon;
        }
        // A class left from an earlier backend of the same process is reused.
        RegisterClassExW(&windowClass);
    };
    // Dialogs show no icon in their title bar; the application's window has it.
    add(kFormClass, Win32ControlPeer::OwnClassProc, false);
    add(kPanelClass, Win32ControlPeer::OwnClassProc, false);
    add(kPictureClass, Win32ControlPeer::OwnClassProc, false);
    add(kMessageClass, MessageWindowProc, false);
    add(kApplicationClass, ApplicationWindowProc, true);
}

// The application's own window, as the program's framework has it: no size,
// the application's title, the taskbar button and the icon.
void Win32Ui::EnsureApplicationWindow(const Form& form) {
    if (!app_) app_ = &form.FormApp();
    if (appWindow_) return;
    appWindow_ = CreateWindowExW(0, kApplicationClass, Widen(app_->Title).c_str(),
                                 WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS,
                                 0, 0, 0, 0, nullptr, nullptr, instance_, nullptr);
    if (!appWindow_) return;
    SetWindowLongPtrW(appWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ShowWindow(appWindow_, SW_SHOWNA);
}

std::unique_ptr<ControlPeer> Win32Ui::CreatePeer(Control& control) {
    if (control.Kind() == ControlKind::Form) {
        auto& form = static_cast<Form&>(control);
        EnsureApplicationWindow(form);
        auto peer = std::make_unique<Win32FormPeer>(*this, form);
        forms_.push_back(peer.get());
        return peer;
    }
    return MakeChildPeer(*this, control);
}

std::unique_ptr<TimerPeer> Win32Ui::CreateTimerPeer(Timer& timer, MessageSink& sink) {
    sink_ = &sink;
    return std::make_unique<Win32TimerPeer>(*this, timer);
}

ScreenSize Win32Ui::PrimaryScreen() { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

void Win32Ui::ProcessMessages(MessageSink& sink, bool wait) {
    sink_ = &sink;
    MSG msg;
    if (wait) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) return;
        if (got == 0) {
            RequestEnd(true);
            return;
        }
        Handle(msg, sink);
    }
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            RequestEnd(true);
            return;
        }
        Handle(msg, sink);
    }
}

// The program's hook sees every message first; what it leaves goes to the
// kit (keys, clicks that move the focus) and then to its window.
void Win32Ui::Handle(MSG& msg, MessageSink& sink) {
    Message message = TranslateNativeMessage(msg);
    if (msg.message == WM_TIMER && msg.hwnd == messageWindow_) {
        auto it = timers_.find(msg.wParam);
        if (it != timers_.end()) {
            message.kind = MessageKind::Timer;
            message.handle = reinterpret_cast<uintptr_t>(it->second);
        }
    }
    if (sink.Process(message)) return;
    if (PreTranslate(msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void Win32Ui::TimerTick(UINT_PTR id) {
    auto it = timers_.find(id);
    MessageSink* sink = sink_ ? sink_ : app_;
    if (it == timers_.end() || !sink) return;
    Message message{MessageKind::Timer, reinterpret_cast<uintptr_t>(it->second), nullptr, WM_TIMER};
    sink->Process(message);
}

void Win32Ui::Wake() { PostMessageW(messageWindow_, WM_NULL, 0, 0); }

LRESULT CALLBACK Win32Ui::MessageWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* ui = reinterpret_cast<Win32Ui*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    // A tick dispatched by a native dialog's own loop (a message box, a
    // menu, the file dialog): the clock goes on all the same.
    if (ui && message == WM_TIMER) {
        ui->TimerTick(wParam);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK Win32Ui::ApplicationWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* ui = reinterpret_cast<Win32Ui*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (ui) {
        switch (message) {
            case WM_QUERYENDSESSION:
                return TRUE;
            case WM_ENDSESSION:
                // The settings are saved before the system ends the process.
                if (wParam) ui->RequestEnd(true);
                return 0;
            case WM_CLOSE:
                // The taskbar button's close: open dialogs close as Cancel
                // would, then the program ends as with Escape.
                ui->RequestEnd(false);
                return 0;
            case WM_ACTIVATE:
                if (LOWORD(wParam) != WA_INACTIVE) PostMessageW(hwnd, kActivateProgram, 0, 0);
                return 0;
            case kActivateProgram:
                ui->ActivateProgram();
                return 0;
            default:
                break;
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

Win32FormPeer* Win32Ui::FormPeerOfWindow(HWND window) const {
    for (Win32FormPeer* form : forms_)
        if (form->Window() == window) return form;
    return nullptr;
}

bool Win32Ui::PreTranslate(MSG& msg) {
    if (!msg.hwnd) return false;
    Win32FormPeer* formPeer = FormPeerOfWindow(GetAncestor(msg.hwnd, GA_ROOT));
    if (!formPeer) return false;
    switch (msg.message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            return HandleKeyDown(*formPeer, msg);
        case WM_CHAR:
            return HandleChar(*formPeer, msg);
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            return HandleMousePress(*formPeer, msg);
        default:
            return false;
    }
}

// Every key goes to the kit first (its key preview, Enter, Escape and Tab);
// the three keys the kit acts on never reach a control.
bool Win32Ui::HandleKeyDown(Win32FormPeer& formPeer, MSG& msg) {
    Form& form = formPeer.GetForm();
    const int key = int(msg.wParam);
    form.UserKeyDown(key, CurrentShiftState());
    if (!form.Visible()) return true;
    if (msg.message == WM_SYSKEYDOWN) return false;
    if (key != VK_RETURN && key != VK_ESCAPE && key != VK_TAB) return false;
    // The character of Enter and Escape still reaches the key press handlers.
    if (key != VK_TAB) TranslateMessage(&msg);
    return true;
}

bool Win32Ui::HandleChar(Win32FormPeer& formPeer, MSG& msg) {
    Form& form = formPeer.GetForm();
    if (!form.Visible()) return true;
    const auto unit = static_cast<wchar_t>(msg.wParam);
    if (unit == L'\t') return true;
    // Characters outside the basic plane go to the control as they are.
    if (unit >= 0xD800 && unit <= 0xDFFF) return false;
    char32_t typed = unit;
    if (!form.UserKeyPress(typed)) return true;
    if (unit == L'\r' || unit == 27) return true;
    if (typed == char32_t(unit)) return false;
    // A handler changed the character: the control gets the new one.
    if (typed > 0xFFFF) return true;
    msg.wParam = WPARAM(typed);
    return false;
}

// A click on a control moves the kit's focus first; when the control that
// loses it keeps it (its exit check failed), the click is dropped.
bool Win32Ui::HandleMousePress(Win32FormPeer& formPeer, MSG& msg) {
    if (formPeer.Rendered()) return false;
    Win32ControlPeer* target = nullptr;
    for (HWND w = msg.hwnd; w && !target; w = GetParent(w)) {
        target = PeerAtWindow(w);
        if (w == formPeer.Window()) break;
    }
    if (!target) return false;
    Control& control = target->GetControl();
    Form& form = formPeer.GetForm();
    if (&control == &form || !control.CanFocus() || form.ActiveControl() == &control) return false;
    form.UserFocus(&control);
    return form.ActiveControl() != &control;
}

void Win32Ui::Deliver(const std::function<void()>& action) {
    if (MessageSink* sink = sink_ ? sink_ : app_)
        sink->Deliver(action);
    else
        action();
}

void Win32Ui::RequestEnd(bool forced) {
    if (app_ && !app_->Terminated()) app_->RequestEnd(forced);
}

void Win32Ui::Register(Win32ControlPeer& peer, const Control& control, HWND window) {
    byControl_[&control] = &peer;
    if (window) byWindow_[window] = &peer;
}

void Win32Ui::Unregister(Win32ControlPeer& peer) {
    byControl_.erase(&peer.GetControl());
    for (auto it = byWindow_.begin(); it != byWindow_.end();)
        it = it->second == &peer ? byWindow_.erase(it) : std::next(it);
    forms_.erase(std::remove(forms_.begin(), forms_.end(), &peer), forms_.end());
    disabledBy_.erase(&peer);
}

Win32ControlPeer* Win32Ui::PeerOf(const Control& control) const {
    auto it = byControl_.find(&control);
    return it == byControl_.end() ? nullptr : it->second;
}

Win32ControlPeer* Win32Ui::PeerAtWindow(HWND window) const {
    auto it = byWindow_.find(window);
    return it == byWindow_.end() ? nullptr : it->second;
}

Win32FormPeer* Win32Ui::FormPeerOf(const Form& form) const {
    return dynamic_cast<Win32FormPeer*>(PeerOf(form));
}

HWND Win32Ui::WindowOf(const Control& control) const {
    Win32ControlPeer* peer = PeerOf(control);
    return peer ? peer->Window() : nullptr;
}

HWND Win32Ui::MainWindow() const {
    Form* main = app_ ? app_->MainForm() : nullptr;
    return main ? WindowOf(*main) : nullptr;
}

void Win32Ui::ActivateMainForm() {
    HWND main = MainWindow();
    if (main && IsWindowVisible(main) && IsWindowEnabled(main)) SetForegroundWindow(main);
}

void Win32Ui::Restack() {
    for (Win32FormPeer* form : forms_) {
        HWND window = form->Window();
        if (window && form->GetForm().Style == FormStyle::StayOnTop && IsWindowVisible(window))
            SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

// The window the user means when the program is activated as a whole (its
// taskbar button): an open dialog, or else the main window.
void Win32Ui::ActivateProgram() {
    HWND target = nullptr;
    for (Win32FormPeer* form : forms_) {
        HWND window = form->Window();
        if (!window || !IsWindowVisible(window) || !IsWindowEnabled(window)) continue;
        if (!form->Rendered()) {
            target = window;
            break;
        }
        if (window == MainWindow()) target = window;
    }
    if (target) SetForegroundWindow(target);
}

void Win32Ui::SetFocusQuietly(HWND window) {
    if (!window || GetFocus() == window) return;
    ++focusGuard_;
    SetFocus(window);
    --focusGuard_;
}

HFONT Win32Ui::Font(const std::string& name, int height, bool underline) {
    const auto key = std::make_tuple(name, height, underline);
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return it->second;
    // The forms' designed font is a Japanese one: Shift-JIS character set,
    // the height in pixels of the characters themselves.
    HFONT font = CreateFontW(-std::max(height, 1), 0, 0, 0, FW_NORMAL, FALSE, underline ? TRUE : FALSE, FALSE,
                             SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, Widen(name).c_str());
    fonts_[key] = font;
    return font;
}

HBRUSH Win32Ui::Brush(Pixel colour) {
    auto it = brushes_.find(colour);
    if (it != brushes_.end()) return it->second;
    HBRUSH brush = CreateSolidBrush(ToColorRef(colour));
    brushes_[colour] = brush;
    return brush;
}

bool Win32Ui::ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_COMMAND:
        case WM_HSCROLL:
        case WM_VSCROLL:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
            break;
        default:
            return false;
    }
    Win32ControlPeer* peer = lParam ? PeerAtWindow(reinterpret_cast<HWND>(lParam)) : nullptr;
    return peer && peer->Reflect(message, wParam, lParam, result);
}

void Win32Ui::DisableOthers(const void* modal, HWND keep) {
    std::vector<HWND>& disabled = disabledBy_[modal];
    for (Win32FormPeer* form : forms_) {
        HWND window = form->Window();
        if (window == keep || !window || !IsWindowVisible(window) || !IsWindowEnabled(window)) continue;
        EnableWindow(window, FALSE);
        disabled.push_back(window);
    }
}

void Win32Ui::EnableOthers(const void* modal) {
    auto it = disabledBy_.find(modal);
    if (it == disabledBy_.end()) return;
    const std::vector<HWND> windows = std::move(it->second);
    disabledBy_.erase(it);
    for (HWND window : windows)
        if (PeerAtWindow(window)) EnableWindow(window, TRUE);
}

// The maximised forms cover the primary screen, whatever it becomes: the
// kit sizes them.
void Win32Ui::FollowPrimaryScreen() {
    if (MessageSink* sink = sink_ ? sink_ : app_) sink->PrimaryScreenChanged();
}

}  // namespace duskpane

// The Win32 ui backend under Wine or Windows: the shared peer scenarios
// through a probe of the native windows, and what only Win32 has: its own
// classes and fonts, layered windows, menus, message boxes, modal forms and
// the end of the session.
#include <gtest/gtest.h>

#include "platform/win32/win32_ui.h"

#include <commctrl.h>

#include <functional>

#include "../peer_scenarios.h"
#include "platform/win32/win32_peers.h"
#include "platform/win32/win32_text.h"
#include "ui/menu.h"

namespace duskpane {
namespace {

// Wine draws its windows on an X display; without one the window calls hang.
bool UnderWineWithoutDisplay() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const bool wine = ntdll && GetProcAddress(ntdll, "wine_get_version");
    return wine && GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0;
}

using peer_test::DimmerForm;
using peer_test::ScreenForm;

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    return name;
}

// The native windows of the kit's controls, as the shared peer scenarios
// read and drive them.
class Win32Probe {
public:
    static constexpr bool kMeasuresText = true;
    static bool Available() { return !UnderWineWithoutDisplay(); }
    Win32Probe() : app_(ui_, ui_) {}

    Win32Ui& Ui() { return ui_; }
    Application& App() { return app_; }
    HWND Window(const Control& control) const { return ui_.WindowOf(control); }
    // Handles the queued messages until the condition holds; false on timeout.
    bool PumpUntil(const std::function<bool()>& done, DWORD ms = 3000) {
        const DWORD start = GetTickCount();
        while (!done()) {
            if (GetTickCount() - start > ms) return false;
            app_.ProcessMessages(false);
            Sleep(5);
        }
        return true;
    }
    // Handles what is queued, and what that queues in turn.
    void Settle() {
        int rounds = 0;
        PumpUntil([&] { return ++rounds > 3 && !GetQueueStatus(QS_POSTMESSAGE | QS_INPUT | QS_SENDMESSAGE); }, 500);
    }
    void Show(Form& form) {
        form.Show();
        ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(Window(form)) != FALSE; }));
    }
    bool Shown(const Control& control) { return IsWindowVisible(Window(control)) != FALSE; }
    bool Enabled(const Control& control) { return IsWindowEnabled(Window(control)) != FALSE; }
    std::string Text(const Control& control) { return Narrow(TextOf(Window(control))); }
    // A form: its outer top-left and its client size; a control: its place
    // in its parent.
    Rect Frame(const Control& control) {
        HWND window = Window(control);
        RECT area, client;
        GetWindowRect(window, &area);
        GetClientRect(window, &client);
        if (control.Kind() == ControlKind::Form)
            return Rect{area.left, area.top, area.left + client.right, area.top + client.bottom};
        MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&area), 2);
        return Rect{area.left, area.top, area.right, area.bottom};
    }
    bool Checked(const RadioButton& radio) { return SendMessageW(Window(radio), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    int Position(const TrackBar& track) { return int(SendMessageW(Window(track), TBM_GETPOS, 0, 0)); }
    bool ReadOnly(const Edit& edit) { return GetWindowLongW(Window(edit), GWL_STYLE) & ES_READONLY; }
    bool IsDefault(const Button& button) {
        return (GetWindowLongW(Window(button), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
    }
    bool Underlined(const Control& control) { return FontOf(control).lfUnderline; }
    LOGFONTW FontOf(const Control& control) {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Window(control), WM_GETFONT, 0, 0)), sizeof font, &font);
        return font;
    }
    // Black is see-through on the colour-keyed window.
    std::optional<Pixel> Shows(const Control& control, int x, int y) {
        HWND window = Window(control);
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        HDC dc = GetDC(window);
        const COLORREF shown = GetPixel(dc, x, y);
        ReleaseDC(window, dc);
        const Pixel pixel = MakeRgb(GetRValue(shown), GetGValue(shown), GetBValue(shown));
        const bool keyed = control.Kind() == ControlKind::Form && static_cast<const Form&>(control).ColourKeyBlack();
        if (keyed && pixel == kBlack) return std::nullopt;
        return pixel;
    }
    int Alpha(const Form& form) {
        BYTE alpha = 0;
        GetLayeredWindowAttributes(Window(form), nullptr, &alpha, nullptr);
        return alpha;
    }
    bool OnTop(const Form& form) { return GetWindowLongW(Window(form), GWL_EXSTYLE) & WS_EX_TOPMOST; }
    Control* Focused() {
        Win32ControlPeer* peer = ui_.PeerAtWindow(GetFocus());
        return peer ? &peer->GetControl() : nullptr;
    }
    void Click(const Control& control) {
        RECT area;
        GetClientRect(Window(control), &area);
        const LPARAM at = MAKELPARAM(area.right / 2, area.bottom / 2);
        PostMessageW(Window(control), WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(Window(control), WM_LBUTTONUP, 0, at);
        Settle();
    }
    // A key as the system posts it, down and up; the pump's translation
    // makes the character it types.
    static void PostKey(HWND target, WPARAM key) {
        PostMessageW(target, WM_KEYDOWN, key, 1);
        PostMessageW(target, WM_KEYUP, key, LPARAM(0xC0000001));
    }
    void Press(const Control& target, int key) {
        PostKey(Window(target), WPARAM(key));
        Settle();
    }

private:
    Win32Ui ui_;
    Application app_;
};

class Win32UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Win32Probe::Available())
            GTEST_SKIP() << "Wine has no X display here (DISPLAY is unset); tests/win32/ui_xvfb.sh runs "
                            "these tests under Xvfb";
        probe = std::make_unique<Win32Probe>();
        app = &probe->App();
        ui = &probe->Ui();
        app->Title = "Duskpane";
        app->CreateForm(screen);
        app->CreateForm(dialog);
        app->CreateForm(dimmer);
    }
    void TearDown() override {
        poll.reset();
        probe.reset();
    }

    HWND Window(const Control& control) const { return ui->WindowOf(control); }
    // Runs an action from the message loop once the condition holds (while a
    // modal form, a message box or a menu runs its own loop).
    void When(std::function<bool()> ready, std::function<void()> action) {
        poll = std::make_unique<Timer>(*app, "poll", 10, true);
        poll->OnTimer = [this, ready = std::move(ready), action = std::move(action)](Timer& timer) {
            if (!ready()) return;
            timer.SetEnabled(false);
            action();
        };
    }

    std::unique_ptr<Win32Probe> probe;
    Win32Ui* ui = nullptr;
    Application* app = nullptr;
    std::unique_ptr<Timer> poll;
    ScreenForm* screen = nullptr;
    peer_test::SampleForm* dialog = nullptr;
    DimmerForm* dimmer = nullptr;
};

// The texts one after the other, each ended by a null, and one null more.
std::wstring NullList(const std::vector<std::wstring>& texts) {
    std::wstring list;
    for (const std::wstring& text : texts) {
        list += text;
        list.push_back(L'\0');
    }
    list.push_back(L'\0');
    return list;
}

TEST(Win32OpenFileFilter, TheProgramsFilterBecomesTheDialogsList) {
    EXPECT_EQ(OpenFileFilter("画像 (*.jpg;*.bmp)|*.jpg;*.bmp|ビットマップ (*.bmp)|*.bmp"),
              NullList({L"画像 (*.jpg;*.bmp)", L"*.jpg;*.bmp", L"ビットマップ (*.bmp)", L"*.bmp"}));
    // A caption without patterns, or without its pair, is left out.
    EXPECT_EQ(OpenFileFilter("all||JPEG|*.jpg|odd"), NullList({L"JPEG", L"*.jpg"}));
    EXPECT_EQ(OpenFileFilter(""), NullList({}));
}

TEST_F(Win32UiTest, NativeWindowsAreTheSystemsOwn) {
    probe->Show(*dialog);
    EXPECT_EQ(GetWindowLongW(Window(*dialog), GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0)
        << "a fixed dialog with only the close box";
    HWND label = Window(dialog->label);
    EXPECT_EQ(ClassOf(label), L"Static");
    EXPECT_EQ(GetParent(label), Window(dialog->panel));
    const LOGFONTW font = probe->FontOf(dialog->label);
    EXPECT_STREQ(font.lfFaceName, L"ＭＳ Ｐゴシック");
    EXPECT_EQ(font.lfHeight, -12);
    EXPECT_EQ(font.lfCharSet, SHIFTJIS_CHARSET);
    EXPECT_EQ(ClassOf(Window(dialog->edit)), L"Edit");
    HWND track = Window(dialog->track);
    EXPECT_EQ(ClassOf(track), L"msctls_trackbar32");
    EXPECT_TRUE(GetWindowLongW(track, GWL_STYLE) & TBS_NOTICKS);
    // An empty picture control shows nothing, so what lies below shows.
    EXPECT_FALSE(IsWindowVisible(Window(dialog->picture)));
    dialog->picture.SetPicture(Bitmap32(2, 2, MakeRgb(255, 0, 0)));
    EXPECT_TRUE(IsWindowVisible(Window(dialog->picture)));
}

TEST_F(Win32UiTest, AModalFormDisablesTheOthersWhileItShows) {
    probe->Show(*screen);
    bool disabledMeanwhile = false;
    When([&] { return IsWindowVisible(Window(*dialog)) != FALSE; },
         [&] {
             disabledMeanwhile = !IsWindowEnabled(Window(*screen));
             PostMessageW(Window(*dialog), WM_CLOSE, 0, 0);
         });
    EXPECT_EQ(dialog->ShowModal(), kMrCancel) << "the close box ends it with Cancel";
    EXPECT_TRUE(disabledMeanwhile);
    EXPECT_TRUE(IsWindowEnabled(Window(*screen)));
}

TEST_F(Win32UiTest, TheScreenLayersAreLayeredAsTheKitSays) {
    probe->Show(*screen);
    HWND top = Window(*screen);
    EXPECT_TRUE(GetWindowLongW(top, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_TRUE(GetWindowLongW(top, GWL_STYLE) & WS_POPUP);
    COLORREF key = 1;
    BYTE alpha = 1;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(top, &key, &alpha, &flags));
    EXPECT_EQ(flags, DWORD(LWA_COLORKEY)) << "black is see-through; no constant alpha";
    EXPECT_EQ(key, RGB(0, 0, 0));
    probe->Show(*dimmer);
    ASSERT_TRUE(GetLayeredWindowAttributes(Window(*dimmer), &key, &alpha, &flags));
    EXPECT_EQ(flags, DWORD(LWA_ALPHA));
    screen->SetColourKeyBlack(false);
    EXPECT_FALSE(GetWindowLongW(top, GWL_EXSTYLE) & WS_EX_LAYERED);
}

TEST_F(Win32UiTest, ThePopupMenuShowsTheShownItemsAndReportsThePick) {
    probe->Show(*screen);
    PopupMenu menu("menu");
    auto add = [](MenuItem& parent, const char* caption, bool visible = true) {
        MenuItem& item = parent.Add(std::make_unique<MenuItem>(caption, caption));
        item.Visible = visible;
        return &item;
    };
    add(menu, "Duskpaneについて(&M)");
    add(menu, "-");
    add(menu, "隠れた項目", false);
    add(menu, "-");
    MenuItem* checked = add(menu, "表示する");
    checked->Checked = true;
    MenuItem* sub = add(menu, "音量の設定(&V)");
    add(*sub, "0%");
    add(menu, "-");
    MenuItem* end = add(menu, "終了(&Z)");
    int ends = 0;
    end->OnClick = [&](MenuItem&) { ++ends; };

    std::vector<std::wstring> captions;
    UINT checkState = 0;
    bool submenu = false;
    When([&] { return ui->OpenMenu() != nullptr; },
         [&] {
             HMENU open = ui->OpenMenu();
             for (int i = 0; i < GetMenuItemCount(open); ++i) {
                 wchar_t text[128] = {};
                 GetMenuStringW(open, UINT(i), text, 128, MF_BYPOSITION);
                 captions.push_back(GetMenuState(open, UINT(i), MF_BYPOSITION) & MF_SEPARATOR ? L"-" : text);
             }
             checkState = GetMenuState(open, 2, MF_BYPOSITION);
             submenu = GetSubMenu(open, 3) != nullptr;
             // The user goes to the last item and takes it.
             HWND owner = Window(*screen);
             Win32Probe::PostKey(owner, VK_UP);
             Win32Probe::PostKey(owner, VK_RETURN);
         });
    ui->ShowPopupMenu(menu, *screen, 50, 60, *app);
    EXPECT_EQ(captions, (std::vector<std::wstring>{L"Duskpaneについて(&M)", L"-", L"表示する",
                                                    L"音量の設定(&V)", L"-", L"終了(&Z)"}));
    EXPECT_TRUE(checkState & MF_CHECKED);
    EXPECT_TRUE(submenu);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(ui->OpenMenu(), nullptr);
}

TEST_F(Win32UiTest, TicksGoOnWhileAMessageBoxIsOpen) {
    probe->Show(*dialog);
    int ticks = 0;
    Timer clock(*app, "clock", 20, true);
    clock.OnTimer = [&](Timer&) { ++ticks; };
    std::wstring text, caption;
    When([&] { return ticks >= 3 && FindWindowW(L"#32770", nullptr) != nullptr; },
         [&] {
             HWND box = FindWindowW(L"#32770", nullptr);
             text = TextOf(GetDlgItem(box, 0xFFFF));
             caption = TextOf(box);
             PostMessageW(box, WM_COMMAND, IDNO, 0);
         });
    const int answer = app->MessageBox(dialog, "画像ファイル[a.jpg]を設定してもよろしいですか", "",
                                       kMbYesNo | kMbIconInformation);
    EXPECT_EQ(answer, kIdNo);
    EXPECT_GE(ticks, 3) << "the clock's timer ticked while the box was open";
    EXPECT_EQ(text, L"画像ファイル[a.jpg]を設定してもよろしいですか");
    EXPECT_EQ(caption, L"") << "the program asks for an empty caption";
    EXPECT_TRUE(IsWindowEnabled(Window(*dialog)));
}

TEST_F(Win32UiTest, TheSystemsEndRequestsCloseTheMainFormOnce) {
    probe->Show(*screen);
    HWND top = Window(*screen);
    EXPECT_EQ(SendMessageW(top, WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_EQ(screen->closes, 0) << "asking is not ending";
    SendMessageW(top, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(screen->closes, 1);
    EXPECT_TRUE(app->Terminated());
    SendMessageW(ui->ApplicationWindow(), WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(screen->closes, 1) << "the program ends once";
}

TEST_F(Win32UiTest, EscapeOnTheScreenLayerEndsTheProgram) {
    probe->Show(*screen);
    Win32Probe::PostKey(Window(*screen), VK_ESCAPE);
    ASSERT_TRUE(probe->PumpUntil([&] { return app->Terminated(); }));
    EXPECT_EQ(screen->closes, 1);
    EXPECT_TRUE(IsWindow(Window(*screen))) << "the window stays until the program ends";
}

TEST_F(Win32UiTest, AltF4OnTheScreenLayerClosesItThroughTheKit) {
    probe->Show(*screen);
    PostMessageW(Window(*screen), WM_SYSKEYDOWN, VK_F4, LPARAM(1) << 29 | 1);
    ASSERT_TRUE(probe->PumpUntil([&] { return app->Terminated(); }));
    EXPECT_EQ(screen->closes, 1);
    EXPECT_TRUE(IsWindow(Window(*screen)));
}

}  // namespace

namespace peer_test {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, PeerScenarios, Win32Probe);
}  // namespace peer_test
}  // namespace duskpane

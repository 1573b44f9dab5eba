// The Win32 ui backend under Wine or Windows: native windows made for the
// kit's forms, what they show, what typing, clicking and sliding report to
// the kit, layered windows, menus, message boxes and the end of the session.
#include <gtest/gtest.h>

#include "platform/win32/win32_ui.h"

#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../peer_test_forms.h"
#include "platform/win32/win32_peers.h"
#include "platform/win32/win32_text.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/menu.h"

namespace duskpane {
namespace {

// Wine draws its windows on an X display; without one the window calls hang.
bool UnderWineWithoutDisplay() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const bool wine = ntdll && GetProcAddress(ntdll, "wine_get_version");
    return wine && GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0;
}

// The screen layer with a visible mark on its black.
class ScreenForm : public peer_test::ScreenForm {
public:
    explicit ScreenForm(Application& app) : peer_test::ScreenForm(app) {
        mark.SetPicture(Bitmap32(4, 3, MakeRgb(200, 100, 50)));
    }
};

class DimmerForm : public Form {
public:
    explicit DimmerForm(Application& app) : Form(app, "DimmerForm") {
        Border = BorderStyle::None;
        SetBounds(0, 0, 320, 200);
        SetColour(kBlack);
        AlphaBlend = true;
        SetAlphaBlendValue(200);
    }
};

// The sample dialog whose first box takes digits only.
class SampleForm : public peer_test::SampleForm {
public:
    explicit SampleForm(Application& app) : peer_test::SampleForm(app) {
        edit.OnKeyPress = [](Control&, char32_t& key) {
            if (key >= 32 && key < 127 && !(key >= U'0' && key <= U'9')) key = 0;
        };
    }
};

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

class Win32UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (UnderWineWithoutDisplay())
            GTEST_SKIP() << "Wine has no X display here (DISPLAY is unset); tests/win32/ui_xvfb.sh runs "
                            "these tests under Xvfb";
        ui = std::make_unique<Win32Ui>();
        app = std::make_unique<Application>(*ui, *ui);
        app->Title = "Duskpane";
        app->CreateForm(screen);
        app->CreateForm(dialog);
        app->CreateForm(dimmer);
    }
    void TearDown() override {
        poll.reset();
        app.reset();
        ui.reset();
    }

    HWND Window(const Control& control) const { return ui->WindowOf(control); }
    // Handles the queued messages until the condition holds; false on timeout.
    bool PumpUntil(const std::function<bool()>& done, DWORD ms = 3000) {
        const DWORD start = GetTickCount();
        while (!done()) {
            if (GetTickCount() - start > ms) return false;
            app->ProcessMessages(false);
            Sleep(5);
        }
        return true;
    }
    void ShowForm(Form& form) {
        form.Show();
        ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(Window(form)) != FALSE; }));
    }
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
    // A key as the system posts it, down and up; the pump's translation
    // makes the character it types.
    void Press(HWND target, WPARAM key) {
        PostMessageW(target, WM_KEYDOWN, key, 1);
        PostMessageW(target, WM_KEYUP, key, LPARAM(0xC0000001));
    }

    std::unique_ptr<Win32Ui> ui;
    std::unique_ptr<Application> app;
    std::unique_ptr<Timer> poll;
    ScreenForm* screen = nullptr;
    SampleForm* dialog = nullptr;
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

TEST_F(Win32UiTest, NativeWindowsShowTheStateOfTheirControls) {
    dialog->yes.SetChecked(true);
    dialog->other.SetText("既定");
    dialog->other.SetReadOnly(true);
    ShowForm(*dialog);

    HWND window = Window(*dialog);
    EXPECT_EQ(TextOf(window), L"試験の窓");
    RECT client, outer;
    GetClientRect(window, &client);
    GetWindowRect(window, &outer);
    EXPECT_EQ(client.right, 300);
    EXPECT_EQ(client.bottom, 220);
    EXPECT_EQ(outer.left, 40);
    EXPECT_EQ(outer.top, 30);
    EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0)
        << "a fixed dialog with only the close box";

    HWND label = Window(dialog->label);
    EXPECT_EQ(ClassOf(label), L"Static");
    EXPECT_EQ(TextOf(label), L"透明度(0～255)");
    EXPECT_EQ(GetParent(label), Window(dialog->panel));
    RECT labelArea;
    GetWindowRect(label, &labelArea);
    MapWindowPoints(nullptr, Window(dialog->panel), reinterpret_cast<POINT*>(&labelArea), 2);
    EXPECT_EQ(labelArea.left, 8);
    EXPECT_EQ(labelArea.top, 8);
    EXPECT_GT(labelArea.right - labelArea.left, 40) << "a label without a width fits its text";

    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_STREQ(font.lfFaceName, L"ＭＳ Ｐゴシック");
    EXPECT_EQ(font.lfHeight, -12);
    EXPECT_EQ(font.lfCharSet, SHIFTJIS_CHARSET);
    EXPECT_FALSE(font.lfUnderline);
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Window(dialog->link), WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_TRUE(font.lfUnderline) << "the link is underlined";

    HWND edit = Window(dialog->edit);
    EXPECT_EQ(ClassOf(edit), L"Edit");
    EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 3);
    EXPECT_EQ(TextOf(Window(dialog->other)), L"既定");
    EXPECT_TRUE(GetWindowLongW(Window(dialog->other), GWL_STYLE) & ES_READONLY);

    EXPECT_EQ(SendMessageW(Window(dialog->yes), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(Window(dialog->no), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    dialog->no.SetChecked(true);
    EXPECT_EQ(SendMessageW(Window(dialog->yes), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageW(Window(dialog->no), BM_GETCHECK, 0, 0), BST_CHECKED);

    HWND track = Window(dialog->track);
    EXPECT_EQ(ClassOf(track), L"msctls_trackbar32");
    EXPECT_EQ(SendMessageW(track, TBM_GETRANGEMAX, 0, 0), 255);
    EXPECT_EQ(SendMessageW(track, TBM_GETPOS, 0, 0), 255);
    EXPECT_TRUE(GetWindowLongW(track, GWL_STYLE) & TBS_NOTICKS);

    EXPECT_EQ(TextOf(Window(dialog->group)), L"画像ファイルの指定");
    EXPECT_EQ(TextOf(Window(dialog->ok)), L"OK");
    EXPECT_EQ(GetWindowLongW(Window(dialog->ok), GWL_STYLE) & 0x0F, BS_DEFPUSHBUTTON);

    // An empty picture control shows nothing, so what lies below shows.
    HWND picture = Window(dialog->picture);
    EXPECT_FALSE(IsWindowVisible(picture));
    Bitmap32 dots(2, 2, MakeRgb(255, 0, 0));
    dots.Set(1, 1, MakeRgb(0, 0, 255));
    dialog->picture.SetPicture(dots);
    EXPECT_TRUE(IsWindowVisible(picture));
    // Stretched to the control's 8 x 8 pixels, nearest pixel.
    RedrawWindow(picture, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = GetDC(picture);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 3, 3), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 4, 4), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dc, 7, 7), RGB(0, 0, 255));
    ReleaseDC(picture, dc);
}

TEST_F(Win32UiTest, GeometryAndTextChangesReachTheNativeWindows) {
    ShowForm(*dialog);
    dialog->SetCaption("別の題");
    EXPECT_EQ(TextOf(Window(*dialog)), L"別の題");
    dialog->edit.SetBounds(20, 50, 80, 22);
    RECT area;
    GetWindowRect(Window(dialog->edit), &area);
    MapWindowPoints(nullptr, Window(dialog->panel), reinterpret_cast<POINT*>(&area), 2);
    EXPECT_EQ(area.left, 20);
    EXPECT_EQ(area.top, 50);
    EXPECT_EQ(area.right - area.left, 80);
    EXPECT_EQ(area.bottom - area.top, 22);
    dialog->edit.SetText("128");
    EXPECT_EQ(TextOf(Window(dialog->edit)), L"128");
    dialog->ok.SetEnabled(false);
    EXPECT_FALSE(IsWindowEnabled(Window(dialog->ok)));
    dialog->label.SetVisible(false);
    EXPECT_FALSE(IsWindowVisible(Window(dialog->label)));
    dialog->label.SetCaption("もっと長い説明の文です");
    dialog->label.SetVisible(true);
    GetWindowRect(Window(dialog->label), &area);
    EXPECT_GT(area.right - area.left, 100) << "the label grew with its text";
}

TEST_F(Win32UiTest, TheTrackBarMovesBothWays) {
    ShowForm(*dialog);
    HWND track = Window(dialog->track);
    dialog->track.SetPosition(100);
    EXPECT_EQ(SendMessageW(track, TBM_GETPOS, 0, 0), 100) << "the kit's position reaches the bar";
    const int changes = dialog->trackChanges;

    // The user moves the bar with the keys: each move comes up to the kit.
    SendMessageW(track, WM_KEYDOWN, VK_RIGHT, 1);
    EXPECT_EQ(dialog->track.Position(), 101);
    SendMessageW(track, WM_KEYDOWN, VK_END, 1);
    EXPECT_EQ(dialog->track.Position(), 255);
    SendMessageW(track, WM_KEYDOWN, VK_HOME, 1);
    EXPECT_EQ(dialog->track.Position(), 0);
    EXPECT_EQ(dialog->trackChanges, changes + 3);

    // A handler that keeps the position within its own limits wins.
    dialog->track.OnChange = [this](Control&) {
        if (dialog->track.Position() > 50) dialog->track.SetPosition(50);
    };
    SendMessageW(track, WM_KEYDOWN, VK_END, 1);
    EXPECT_EQ(dialog->track.Position(), 50);
    EXPECT_EQ(SendMessageW(track, TBM_GETPOS, 0, 0), 50);
}

TEST_F(Win32UiTest, TypedCharactersGoThroughTheKeyHandlers) {
    ShowForm(*dialog);
    std::u32string previewed;
    dialog->OnFormKeyPress = [&](Control&, char32_t& key) { previewed.push_back(key); };
    HWND edit = Window(dialog->edit);
    dialog->edit.SetFocus();
    EXPECT_EQ(GetFocus(), edit);
    Press(edit, 'A');
    Press(edit, '7');
    Press(edit, '5');
    ASSERT_TRUE(PumpUntil([&] { return dialog->edit.Text() == "75"; }));
    EXPECT_EQ(TextOf(edit), L"75") << "the handler swallowed the letter";
    // Enter and Escape type their characters for the key press handlers
    // too, but never into the box.
    Press(edit, VK_RETURN);
    Press(edit, VK_ESCAPE);
    ASSERT_TRUE(PumpUntil([&] { return previewed.size() == 5; }));
    EXPECT_EQ(previewed, U"a75\r\x1b");
    EXPECT_EQ(TextOf(edit), L"75");
}

TEST_F(Win32UiTest, EnterAndEscapeAndTabAreTheKits) {
    When([&] { return IsWindowVisible(Window(*dialog)) != FALSE; },
         [&] { Press(Window(dialog->edit), VK_RETURN); });
    EXPECT_EQ(dialog->ShowModal(), kMrOk) << "Enter clicks the default button";
    EXPECT_FALSE(IsWindowVisible(Window(*dialog)));

    When([&] { return IsWindowVisible(Window(*dialog)) != FALSE; },
         [&] { Press(Window(dialog->edit), VK_ESCAPE); });
    EXPECT_EQ(dialog->ShowModal(), kMrCancel) << "Escape clicks the cancel button";

    ShowForm(*dialog);
    dialog->edit.SetFocus();
    Press(Window(dialog->edit), VK_TAB);
    ASSERT_TRUE(PumpUntil([&] { return dialog->ActiveControl() == &dialog->other; }));
    EXPECT_EQ(GetFocus(), Window(dialog->other));
}

TEST_F(Win32UiTest, AModalFormDisablesTheOthersWhileItShows) {
    ShowForm(*screen);
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

TEST_F(Win32UiTest, AFailedExitCheckKeepsTheFocusAndDropsTheClick) {
    ShowForm(*dialog);
    dialog->edit.OnExit = [this](Control&) { dialog->edit.SetFocus(); };
    dialog->edit.SetFocus();
    int clicks = 0;
    dialog->yes.OnClick = [&](Control&) { ++clicks; };
    HWND yes = Window(dialog->yes);
    PostMessageW(yes, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(yes, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(dialog->ActiveControl(), &dialog->edit);
    EXPECT_EQ(GetFocus(), Window(dialog->edit));
    EXPECT_EQ(clicks, 0);
}

TEST_F(Win32UiTest, TheScreenLayersAreLayeredAsTheKitSays) {
    ShowForm(*screen);
    HWND top = Window(*screen);
    EXPECT_TRUE(GetWindowLongW(top, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_TRUE(GetWindowLongW(top, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(GetWindowLongW(top, GWL_STYLE) & WS_POPUP);
    COLORREF key = 1;
    BYTE alpha = 1;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(top, &key, &alpha, &flags));
    EXPECT_EQ(flags, DWORD(LWA_COLORKEY)) << "black is see-through; no constant alpha";
    EXPECT_EQ(key, RGB(0, 0, 0));

    // The kit's picture is what the window paints.
    RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = GetDC(top);
    EXPECT_EQ(GetPixel(dc, 11, 21), RGB(200, 100, 50));
    EXPECT_EQ(GetPixel(dc, 100, 100), RGB(0, 0, 0));
    ReleaseDC(top, dc);

    ShowForm(*dimmer);
    HWND layer = Window(*dimmer);
    EXPECT_FALSE(GetWindowLongW(layer, GWL_EXSTYLE) & WS_EX_TOPMOST);
    ASSERT_TRUE(GetLayeredWindowAttributes(layer, &key, &alpha, &flags));
    EXPECT_EQ(flags, DWORD(LWA_ALPHA));
    EXPECT_EQ(alpha, 200);
    dimmer->SetAlphaBlendValue(44);
    ASSERT_TRUE(GetLayeredWindowAttributes(layer, &key, &alpha, &flags));
    EXPECT_EQ(alpha, 44) << "a new alpha is in force at once";

    screen->SetColourKeyBlack(false);
    EXPECT_FALSE(GetWindowLongW(top, GWL_EXSTYLE) & WS_EX_LAYERED);
}

TEST_F(Win32UiTest, ThePopupMenuShowsTheShownItemsAndReportsThePick) {
    ShowForm(*screen);
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
             Press(owner, VK_UP);
             Press(owner, VK_RETURN);
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
    ShowForm(*dialog);
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
    ShowForm(*screen);
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
    ShowForm(*screen);
    Press(Window(*screen), VK_ESCAPE);
    ASSERT_TRUE(PumpUntil([&] { return app->Terminated(); }));
    EXPECT_EQ(screen->closes, 1);
    EXPECT_TRUE(IsWindow(Window(*screen))) << "the window stays until the program ends";
}

TEST_F(Win32UiTest, AltF4OnTheScreenLayerClosesItThroughTheKit) {
    ShowForm(*screen);
    PostMessageW(Window(*screen), WM_SYSKEYDOWN, VK_F4, LPARAM(1) << 29 | 1);
    ASSERT_TRUE(PumpUntil([&] { return app->Terminated(); }));
    EXPECT_EQ(screen->closes, 1);
    EXPECT_TRUE(IsWindow(Window(*screen)));
}

}  // namespace
}  // namespace duskpane

// The control behaviours every form relies on, on the headless backend:
// change handlers from code, radio groups, track bars, keys, focus and exit,
// modal loops, menus, timers and the standard error box.
#include <gtest/gtest.h>

#include "platform/headless/headless_time.h"
#include "platform/headless/headless_ui.h"
#include "platform/headless/headless_user.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/line_breaks.h"
#include "ui/menu.h"
#include "util/errors.h"

namespace duskpane {
namespace {

class TestForm : public Form {
public:
    explicit TestForm(Application& app, std::string name = "TestForm") : Form(app, std::move(name)) {
        SetBounds(0, 0, 200, 100);
    }
    Panel group{this, "group"};
    RadioButton first{&group, "first"};
    RadioButton second{&group, "second"};
    RadioButton elsewhere{this, "elsewhere"};
    Edit edit{this, "edit"};
    Edit other{this, "other"};
    TrackBar track{this, "track"};
    Button ok{this, "ok"};
    Button cancel{this, "cancel"};
};

class UiKitTest : public ::testing::Test {
protected:
    UiKitTest() : ui(time), user(ui), app(ui, ui) {
        app.Title = "Duskpane";
        app.CreateForm(form);
        form->edit.SetTabOrder(0);
        form->other.SetTabOrder(1);
        form->ok.SetTabOrder(2);
        form->Show();
    }
    HeadlessTimeService time;
    HeadlessUi ui;
    HeadlessUser user;
    Application app;
    TestForm* form = nullptr;
};

TEST_F(UiKitTest, ChangesFromCodeRunHandlersOnlyWhenTheValueChanges) {
    int edits = 0, tracks = 0;
    form->edit.OnChange = [&](Control&) { ++edits; };
    form->track.OnChange = [&](Control&) { ++tracks; };
    form->edit.SetText("12");
    form->edit.SetText("12");
    EXPECT_EQ(edits, 1);
    form->track.SetRange(0, 255);
    form->track.SetPosition(300);  // kept within the range
    EXPECT_EQ(form->track.Position(), 255);
    form->track.SetPosition(255);
    EXPECT_EQ(tracks, 1);
}

TEST_F(UiKitTest, CheckingARadioButtonUnchecksItsSiblingsAndClicksOnce) {
    int clicks = 0;
    form->first.OnClick = [&](Control&) { ++clicks; };
    form->elsewhere.SetChecked(true);
    form->first.SetChecked(true);
    form->first.SetChecked(true);
    EXPECT_EQ(clicks, 1);
    form->second.SetChecked(true);
    EXPECT_FALSE(form->first.Checked());
    EXPECT_TRUE(form->elsewhere.Checked()) << "another parent's button is left alone";
    user.Click(form->first);
    EXPECT_EQ(clicks, 2);
    EXPECT_FALSE(form->second.Checked());
}

TEST_F(UiKitTest, TypingGoesThroughTheKeyHandlersAndTheLengthLimit) {
    form->KeyPreview = true;
    std::u32string seenByForm;
    form->OnFormKeyPress = [&](Control&, char32_t& key) { seenByForm += key; };
    form->edit.OnKeyPress = [](Control&, char32_t& key) {
        if (key >= 32 && key <= 127 && (key < '0' || key > '9')) key = 0;
    };
    form->edit.SetMaxLength(3);
    user.Type(form->edit, "1a2\b34");
    EXPECT_EQ(form->edit.Text(), "134");
    EXPECT_EQ(seenByForm, U"1a2\b34");
    user.Type(form->edit, "9");
    EXPECT_EQ(form->edit.Text(), "134") << "no room past the maximum length";
    user.Retype(form->edit, "分");
    EXPECT_EQ(form->edit.Text(), "分") << "characters past 127 pass";
    form->edit.SetReadOnly(true);
    user.Type(form->edit, "1");
    EXPECT_EQ(form->edit.Text(), "分");
}

TEST_F(UiKitTest, LeavingABoxRunsItsExitWhichMayTakeTheFocusBack) {
    int exits = 0;
    form->edit.OnExit = [&](Control& sender) {
        ++exits;
        sender.SetFocus();
    };
    user.Focus(form->edit);
    user.Leave(form->edit);
    EXPECT_EQ(exits, 1);
    EXPECT_TRUE(form->edit.Focused());
    // A button that cannot keep the focus is not clicked.
    int clicks = 0;
    form->ok.OnClick = [&](Control&) { ++clicks; };
    user.Click(form->ok);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(exits, 2);
}

TEST_F(UiKitTest, ModalLoopEndsOnAModalResultAndRunsTheCloseHandlers) {
    form->ok.ModalResult = kMrOk;
    form->ok.Default = true;
    std::vector<std::string> order;
    form->OnShow = [&](Control&) { order.push_back("show"); };
    form->OnCloseQuery = [&](Control&, bool& canClose) {
        order.push_back("query");
        canClose = order.size() > 3;  // the first query refuses
    };
    form->OnClose = [&](Control&, CloseAction&) { order.push_back("close"); };
    ui.Then([&] { user.Click(form->ok); });
    ui.Then([&] {
        order.push_back("again");
        user.PressKey(*form, kKeyEnter);
    });
    form->Hide();
    EXPECT_EQ(form->ShowModal(), kMrOk);
    EXPECT_EQ(order, (std::vector<std::string>{"show", "query", "again", "query", "close"}));
    EXPECT_FALSE(form->Visible());

    ui.Then([&] { user.CloseBox(*form); });
    EXPECT_EQ(form->ShowModal(), kMrCancel);
}

TEST_F(UiKitTest, TimersTickWhileAModalDialogIsOpen) {
    Timer timer(app, "timer", 500, true);
    int ticks = 0;
    timer.OnTimer = [&](Timer&) { ++ticks; };
    ui.Then([&] {
        ui.Advance(1600);
        form->Close();
    });
    form->Hide();
    form->ShowModal();
    EXPECT_EQ(ticks, 3);
    timer.SetInterval(0);
    ui.Advance(5000);
    EXPECT_EQ(ticks, 3) << "an interval of 0 never fires";
}

TEST_F(UiKitTest, AnErrorInAHandlerShowsTheStandardBoxAndTheLoopGoesOn) {
    form->ok.OnClick = [](Control&) { throw AppError("キー MAIN の作成に失敗しました"); };
    user.Click(form->ok);
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].text, "キー MAIN の作成に失敗しました");
    EXPECT_EQ(ui.messageBoxes[0].caption, "Duskpane");
    EXPECT_EQ(ui.messageBoxes[0].flags, kMbOk | kMbIconError);
    Message other;
    EXPECT_FALSE(app.Process(other));
}

TEST_F(UiKitTest, TheHookSeesEveryMessageFirst) {
    Timer timer(app, "timer", 100, true);
    int ticks = 0, seen = 0;
    timer.OnTimer = [&](Timer&) { ++ticks; };
    app.OnMessage = [&](Message& message, bool& handled) {
        ++seen;
        handled = message.kind == MessageKind::CaptureData;
    };
    ui.Post(Message{MessageKind::CaptureData, 1, nullptr, 0});
    ui.Advance(250);
    EXPECT_EQ(seen, 3);
    EXPECT_EQ(ticks, 2);
}

TEST(Menu, ShownItemsDropHiddenOnesAndReduceSeparators) {
    PopupMenu menu("menu");
    for (auto [name, caption, visible] :
         {std::tuple{"sep0", "-", true}, {"a", "A", true}, {"s1", "-", true}, {"h", "H", false},
          {"s2", "-", true}, {"b", "B", true}, {"s3", "-", true}, {"c", "C", false}, {"s4", "-", true}}) {
        menu.Add(std::make_unique<MenuItem>(name, caption)).Visible = visible;
    }
    std::vector<std::string> shown;
    for (MenuItem* item : menu.ShownItems()) shown.push_back(item->Caption());
    EXPECT_EQ(shown, (std::vector<std::string>{"A", "-", "B"}));
}

}  // namespace
}  // namespace duskpane

namespace duskpane {
namespace {

// A form with every kind of child the kit composes: a panel holding a
// stretched and a transparent picture, a natural-size picture running off
// the form's edge, and a painted box.
class PictureForm : public Form {
public:
    explicit PictureForm(Application& app) : Form(app, "PictureForm") {
        SetBounds(0, 0, 64, 48);
        SetColour(MakeRgb(10, 20, 30));
        panel.SetBounds(4, 6, 40, 30);
        panel.SetColour(MakeRgb(200, 0, 0));
        stretched.Stretch = true;
        stretched.SetBounds(2, 3, 17, 11);
        stretched.SetPicture(Pattern(5, 4, 1));
        keyed.Transparent = true;
        keyed.SetBounds(20, 10, 12, 12);
        keyed.SetPicture(Pattern(12, 12, 3));
        offEdge.SetBounds(50, 40, 30, 20);
        offEdge.SetPicture(Pattern(30, 20, 7));
        box.SetBounds(30, 30, 9, 7);
        box.GetCanvas().brush.colour = MakeRgb(0, 255, 0);
        box.GetCanvas().FillRect(0, 0, 5, 5);
    }
    // Colours that differ from pixel to pixel, every third one black.
    static Bitmap32 Pattern(int w, int h, int seed) {
        Bitmap32 picture(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                picture.Set(x, y, (x + y + seed) % 3 == 0 ? kBlack : MakeRgb(x * 7 + seed, y * 5, 99));
        return picture;
    }
    Panel panel{this, "panel"};
    Image stretched{&panel, "stretched"};
    Image keyed{&panel, "keyed"};
    Image offEdge{this, "offEdge"};
    PaintBox box{this, "box"};
};

// Any part of a window composes exactly as that part of the whole, wherever
// it lies, across the edges of the children and of the window itself.
TEST(LineBreaks, LongRunsBreakAfterASeparatorOrAtTheLimit) {
    struct Case {
        const char* text;
        const char* broken;
    };
    const Case cases[] = {
        {"short words stay as they are", "short words stay as they are"},
        {"abcdefghij", "abcde|fghij"},
        {"C:\\photo\\night.jpg", "C:\\|photo\\|night|.jpg"},
        {"/a/bcdefgh", "/a/|bcdef|gh"},
        // Characters are counted whole: a mark never splits one. Japanese
        // text wraps between any two characters by itself.
        {"ééééééé", "ééééé|éé"},
        {"写真写真写真abcdefg", "写真写真写真abcde|fg"},
        {"ab cdefgh ij", "ab cdefg|h ij"},
    };
    for (const Case& c : cases) EXPECT_EQ(AllowLineBreaks(c.text, 5, "|"), c.broken) << c.text;
}

TEST(RenderPart, EveryPartMatchesTheWholeWindow) {
    HeadlessTimeService time;
    HeadlessUi ui(time);
    Application app(ui, ui);
    PictureForm* form = nullptr;
    app.CreateForm(form);
    const Bitmap32 whole = form->Render();
    ASSERT_EQ(whole.Width(), 64);
    ASSERT_NE(whole.At(10, 10), form->Colour()) << "the children show";
    for (int top = -3; top < 52; top += 5)
        for (int left = -4; left < 68; left += 7)
            for (const auto& [w, h] : {std::pair{1, 1}, std::pair{9, 6}, std::pair{30, 25}, std::pair{80, 60}}) {
                const Bitmap32 part = form->RenderPart(left, top, w, h);
                ASSERT_EQ(part.Width(), w);
                ASSERT_EQ(part.Height(), h);
                // Beyond the window a part may show what children hold there;
                // inside, every pixel is the whole window's.
                for (int y = 0; y < h; ++y) {
                    for (int x = 0; x < w; ++x) {
                        if (!whole.Contains(left + x, top + y)) continue;
                        ASSERT_EQ(part.At(x, y), whole.At(left + x, top + y))
                            << "part at " << left << "," << top << " pixel " << x << "," << y;
                    }
                }
            }
}

TEST(Bitmap, ClearingABigBitmapGivesItsMemoryBack) {
    Bitmap32 picture(1920, 1080, kBlack);
    picture.Reset(0, 0);
    EXPECT_TRUE(picture.Empty());
    EXPECT_EQ(picture.Pixels().capacity(), 0u);
    picture.Reset(40, 30, kBlack);
    picture.Reset(39, 30, kBlack);
    EXPECT_GE(picture.Pixels().capacity(), 40u * 30u) << "a slightly smaller bitmap keeps its block";
}

}  // namespace
}  // namespace duskpane

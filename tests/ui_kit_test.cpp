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

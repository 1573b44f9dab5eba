// Peer scenarios run on every ui backend through a small probe: what the
// windows show of the kit's controls, and what the user's clicks, keys and
// slides report back to the kit.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "peer_test_forms.h"
#include "ui/peer_rules.h"

namespace duskpane::peer_test {

// A probe makes the backend and its App(); it shows a form (Show) and runs
// the queued work (Settle); it reads what a control's window shows (Frame: a
// form's outer top-left and client size, a control's place in its parent;
// Shows: a pixel, none where see-through; Focused: the control with the
// keyboard), and acts as the user: Click, and Press, a key with its virtual
// key code while that control has the keyboard. kMeasuresText: a label
// without a width takes its text's.
template <class Probe>
class PeerScenarios : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Probe::Available()) GTEST_SKIP() << "the backend cannot show windows here";
        probe = std::make_unique<Probe>();
        probe->App().Title = "Duskpane";
        probe->App().CreateForm(screen);
        probe->App().CreateForm(dialog);
    }
    struct Parts {
        Probe& probe;
        SampleForm& dialog;
        ScreenForm& screen;
    };
    Parts Get() { return {*probe, *dialog, *screen}; }
    void Type(const Control& target, const std::string& keys) {
        for (char key : keys) probe->Press(target, std::toupper(static_cast<unsigned char>(key)));
    }

    std::unique_ptr<Probe> probe;
    ScreenForm* screen = nullptr;
    SampleForm* dialog = nullptr;
};

TYPED_TEST_SUITE_P(PeerScenarios);

TYPED_TEST_P(PeerScenarios, WindowsShowTheStateOfTheirControls) {
    auto [probe, dialog, screen] = this->Get();
    Bitmap32 dots(2, 2, MakeRgb(255, 0, 0));
    dots.Set(1, 1, MakeRgb(0, 0, 255));
    dialog.picture.SetPicture(dots);
    dialog.yes.SetChecked(true);
    dialog.other.SetText("既定");
    dialog.other.SetReadOnly(true);
    probe.Show(dialog);

    const std::pair<const Control*, const char*> texts[] = {
        {&dialog, "試験の窓"}, {&dialog.label, "透明度(0～255)"}, {&dialog.other, "既定"},
        {&dialog.group, "画像ファイルの指定"}, {&dialog.ok, "OK"}};
    for (const auto& [control, text] : texts) EXPECT_EQ(probe.Text(*control), text) << control->Name();
    EXPECT_EQ(probe.Frame(dialog), (Rect{40, 30, 340, 250})) << "at its designed place, its client size";
    const Rect label = probe.Frame(dialog.label);
    EXPECT_EQ(std::pair(label.left, label.top), std::pair(8, 8));
    EXPECT_TRUE(!TypeParam::kMeasuresText || label.Width() > 40) << "a label without a width fits its text";
    EXPECT_TRUE(probe.Underlined(dialog.link));
    EXPECT_FALSE(probe.Underlined(dialog.label));
    EXPECT_EQ(probe.Frame(dialog.edit), (Rect{8, 44, 57, 64}));
    EXPECT_TRUE(probe.ReadOnly(dialog.other));
    EXPECT_FALSE(probe.ReadOnly(dialog.edit));
    EXPECT_TRUE(probe.Checked(dialog.yes));
    EXPECT_FALSE(probe.Checked(dialog.no));
    EXPECT_EQ(probe.Position(dialog.track), 255);
    EXPECT_TRUE(probe.IsDefault(dialog.ok));
    EXPECT_FALSE(probe.IsDefault(dialog.cancel));
    // The stretched picture: each source pixel covers a 4 x 4 block.
    for (const auto& [x, y, colour] : {std::tuple{0, 0, MakeRgb(255, 0, 0)}, {3, 3, MakeRgb(255, 0, 0)},
                                       {4, 4, MakeRgb(0, 0, 255)}, {7, 7, MakeRgb(0, 0, 255)}})
        EXPECT_EQ(probe.Shows(dialog.picture, x, y), colour) << x << "," << y;

    // Changes from code reach the windows.
    dialog.SetCaption("別の題");
    dialog.no.SetChecked(true);
    dialog.edit.SetText("42");
    dialog.edit.SetBounds(20, 50, 80, 22);
    dialog.track.SetPosition(7);
    dialog.label.SetCaption("a much longer caption than before");
    dialog.other.SetEnabled(false);
    dialog.link.SetVisible(false);
    probe.Settle();
    EXPECT_EQ(probe.Text(dialog), "別の題");
    EXPECT_FALSE(probe.Checked(dialog.yes));
    EXPECT_TRUE(probe.Checked(dialog.no));
    EXPECT_EQ(probe.Text(dialog.edit), "42");
    EXPECT_EQ(probe.Frame(dialog.edit), (Rect{20, 50, 100, 72}));
    EXPECT_EQ(probe.Position(dialog.track), 7);
    EXPECT_TRUE(!TypeParam::kMeasuresText || probe.Frame(dialog.label).Width() > 120) << "the label grew";
    EXPECT_FALSE(probe.Enabled(dialog.other));
    EXPECT_TRUE(probe.Enabled(dialog.edit));
    EXPECT_FALSE(probe.Shown(dialog.link));
    EXPECT_TRUE(probe.Shown(dialog.label));
    dialog.Hide();
    probe.Settle();
    EXPECT_FALSE(probe.Shown(dialog));
}

TYPED_TEST_P(PeerScenarios, TypedKeysGoThroughTheKitsHandlers) {
    auto [probe, dialog, screen] = this->Get();
    std::vector<int> keysDown;
    int changes = 0;
    std::u32string previewed;
    dialog.OnKeyDown = [&](Control&, int& key, unsigned) { keysDown.push_back(key); };
    dialog.OnFormKeyPress = [&](Control&, char32_t& key) { previewed.push_back(key); };
    dialog.edit.OnChange = [&](Control&) { ++changes; };
    // Digits only, and x is typed as a 7.
    dialog.edit.OnKeyPress = [](Control&, char32_t& key) {
        if (key == U'x')
            key = U'7';
        else if (key >= 32 && key < 127 && !(key >= U'0' && key <= U'9'))
            key = 0;
    };
    probe.Show(dialog);
    dialog.edit.SetFocus();
    probe.Settle();
    EXPECT_EQ(probe.Focused(), &dialog.edit);

    this->Type(dialog.edit, "1a2");
    EXPECT_EQ(dialog.edit.Text(), "12");
    EXPECT_EQ(probe.Text(dialog.edit), "12") << "the handler swallowed the letter";
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(keysDown, (std::vector<int>{'1', 'A', '2'})) << "the form sees every key first";

    this->Type(dialog.edit, "x45");
    EXPECT_EQ(dialog.edit.Text(), "127") << "the changed character is typed; the length stops at 3";
    probe.Press(dialog.edit, kKeyBackspace);
    EXPECT_EQ(dialog.edit.Text(), "12");
    EXPECT_EQ(keysDown.back(), kKeyBackspace);
    // Enter and Escape type their characters for the key press handlers
    // too, but never into the box.
    probe.Press(dialog.edit, kKeyEnter);
    probe.Press(dialog.edit, kKeyEscape);
    EXPECT_EQ(previewed, U"1a2x45\b\r\x1b");
    EXPECT_EQ(probe.Text(dialog.edit), "12");
}

TYPED_TEST_P(PeerScenarios, TheTrackBarMovesBothWays) {
    auto [probe, dialog, screen] = this->Get();
    TrackBar& track = dialog.track;
    std::vector<int> positions;
    track.OnChange = [&](Control&) { positions.push_back(track.Position()); };
    probe.Show(dialog);
    track.SetFocus();
    track.SetPosition(100);
    probe.Settle();
    EXPECT_EQ(probe.Position(track), 100) << "the kit's position reaches the bar";

    // Each move of the user's comes up to the kit.
    const std::pair<int, int> moves[] = {{kKeyRight, 101}, {kKeyLeft, 100}, {kKeyEnd, 255}, {kKeyHome, 0}};
    for (const auto& [key, position] : moves) {
        probe.Press(track, key);
        EXPECT_EQ(track.Position(), position) << key;
    }
    EXPECT_EQ(positions, (std::vector<int>{100, 101, 100, 255, 0}));

    // A handler that keeps the position within its own limits wins.
    track.OnChange = [&](Control&) {
        if (track.Position() > 50) track.SetPosition(50);
    };
    probe.Press(track, kKeyEnd);
    EXPECT_EQ(track.Position(), 50);
    EXPECT_EQ(probe.Position(track), 50);
}

TYPED_TEST_P(PeerScenarios, RadioButtonsFollowTheKitsGroup) {
    auto [probe, dialog, screen] = this->Get();
    int clicks = 0;
    dialog.yes.OnClick = [&](Control&) { ++clicks; };
    probe.Show(dialog);
    probe.Click(dialog.yes);
    EXPECT_TRUE(dialog.yes.Checked());
    probe.Click(dialog.yes);
    EXPECT_TRUE(dialog.yes.Checked()) << "a click on the checked button leaves it checked";
    EXPECT_TRUE(probe.Checked(dialog.yes));
    EXPECT_EQ(clicks, 1);
    probe.Click(dialog.no);
    EXPECT_FALSE(probe.Checked(dialog.yes));
    EXPECT_TRUE(dialog.no.Checked());
}

TYPED_TEST_P(PeerScenarios, AFailedExitCheckKeepsTheFocusAndDropsTheClick) {
    auto [probe, dialog, screen] = this->Get();
    int exits = 0, clicks = 0;
    dialog.edit.OnExit = [&](Control&) {
        ++exits;
        if (dialog.edit.Text() != "ok") dialog.edit.SetFocus();
    };
    dialog.cancel.OnClick = [&](Control&) { ++clicks; };
    probe.Show(dialog);
    probe.Click(dialog.edit);
    probe.Click(dialog.cancel);
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(dialog.ActiveControl(), &dialog.edit);
    EXPECT_EQ(probe.Focused(), &dialog.edit);

    dialog.edit.SetText("ok");
    probe.Click(dialog.cancel);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(dialog.ActiveControl(), &dialog.cancel);
}

TYPED_TEST_P(PeerScenarios, TabEnterAndEscapeAreTheKits) {
    auto [probe, dialog, screen] = this->Get();
    int oks = 0, cancels = 0;
    dialog.ok.OnClick = [&](Control&) { ++oks; };
    dialog.cancel.OnClick = [&](Control&) { ++cancels; };
    for (Edit* box : {&dialog.edit, &dialog.other}) box->SetTabStop(true);
    probe.Show(dialog);
    EXPECT_EQ(dialog.ActiveControl(), &dialog.edit) << "a dialog that shows focuses its first control";
    EXPECT_EQ(probe.Focused(), &dialog.edit);
    probe.Press(dialog.edit, kKeyTab);
    EXPECT_EQ(dialog.ActiveControl(), &dialog.other);
    EXPECT_EQ(probe.Focused(), &dialog.other);
    probe.Press(dialog.other, kKeyEnter);
    EXPECT_EQ(oks, 1) << "Enter clicks the default button once";
    probe.Press(dialog.other, kKeyEscape);
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(oks, 1);
}

TYPED_TEST_P(PeerScenarios, TheScreenLayersShowAsTheKitSays) {
    auto [probe, dialog, screen] = this->Get();
    Bitmap32 mark(4, 3, kBlack);
    mark.Set(1, 1, MakeRgb(200, 30, 30));
    mark.Set(2, 1, MakeRgb(16, 16, 16));
    screen.mark.SetPicture(mark);
    probe.Show(screen);
    EXPECT_TRUE(probe.OnTop(screen));
    // Black is see-through; near-black grey shows.
    const std::tuple<int, int, std::optional<Pixel>> shown[] = {
        {11, 21, MakeRgb(200, 30, 30)}, {12, 21, MakeRgb(16, 16, 16)}, {10, 21, {}}, {100, 100, {}}};
    for (const auto& [x, y, pixel] : shown) EXPECT_EQ(probe.Shows(screen, x, y), pixel) << x << "," << y;

    mark.Set(1, 1, MakeRgb(30, 200, 30));
    screen.mark.SetPicture(mark);
    probe.Settle();
    EXPECT_EQ(probe.Shows(screen, 11, 21), MakeRgb(30, 200, 30));
    screen.mark.SetBounds(100, 50, 4, 3);
    probe.Settle();
    EXPECT_EQ(probe.Shows(screen, 101, 51), MakeRgb(30, 200, 30));
    EXPECT_EQ(probe.Shows(screen, 11, 21), std::nullopt) << "the old place is painted again";
    screen.mark.ClearPicture();
    probe.Settle();
    EXPECT_EQ(probe.Shows(screen, 101, 51), std::nullopt);

    // The dimming layer: at its alpha, below the always-on-top form.
    DimmerForm* dimmer = nullptr;
    probe.App().CreateForm(dimmer);
    probe.Show(*dimmer);
    EXPECT_FALSE(probe.OnTop(*dimmer));
    EXPECT_EQ(probe.Alpha(*dimmer), 200);
    dimmer->SetAlphaBlendValue(55);
    EXPECT_EQ(probe.Alpha(*dimmer), 55) << "a new alpha is in force at once";
}

REGISTER_TYPED_TEST_SUITE_P(PeerScenarios, WindowsShowTheStateOfTheirControls, TypedKeysGoThroughTheKitsHandlers,
                            TheTrackBarMovesBothWays, RadioButtonsFollowTheKitsGroup,
                            AFailedExitCheckKeepsTheFocusAndDropsTheClick, TabEnterAndEscapeAreTheKits,
                            TheScreenLayersShowAsTheKitSays);

}  // namespace duskpane::peer_test

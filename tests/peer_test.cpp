// The peer scenarios on the headless backend, whose windows show, move and
// take the focus as the ui kit's peer decisions say.
#include "peer_scenarios.h"

#include "platform/headless/headless_time.h"
#include "platform/headless/headless_ui.h"
#include "platform/headless/headless_user.h"

namespace duskpane::peer_test {
namespace {

class HeadlessProbe {
public:
    static constexpr bool kMeasuresText = false;
    static bool Available() { return true; }

    Application& App() { return app_; }
    void Settle() { ui_.RunPending(); }
    void Show(Form& form) {
        form.Show();
        Settle();
        ASSERT_TRUE(ui_.WindowShown(form));
    }
    bool Shown(const Control& control) {
        const auto* form = dynamic_cast<const Form*>(&control);
        return form ? ui_.WindowShown(*form) : control.Showing();
    }
    bool Enabled(const Control& control) { return control.Enabled(); }
    std::string Text(const Control& control) {
        const auto* edit = dynamic_cast<const Edit*>(&control);
        return edit ? edit->Text() : control.Caption();
    }
    Rect Frame(const Control& control) {
        if (const auto* form = dynamic_cast<const Form*>(&control)) return ui_.WindowFrame(*form);
        return Rect{control.Left(), control.Top(), control.Left() + control.Width(), control.Top() + control.Height()};
    }
    bool Checked(const RadioButton& radio) { return radio.Checked(); }
    int Position(const TrackBar& track) { return track.Position(); }
    bool ReadOnly(const Edit& edit) { return edit.ReadOnly(); }
    bool IsDefault(const Button& button) { return button.Default; }
    bool Underlined(const Control& control) { return control.FontUnderline(); }
    std::optional<Pixel> Shows(const Control& control, int x, int y) {
        const Form& form = *control.ParentForm();
        const Pixel shown = form.Render().At(control.FormLeft() + x, control.FormTop() + y);
        if (form.ColourKeyBlack() && shown == kBlack) return std::nullopt;
        return shown;
    }
    int Alpha(const Form& form) { return form.AlphaBlend ? form.AlphaBlendValue() : 255; }
    bool OnTop(const Form& form) { return form.Style == FormStyle::StayOnTop; }
    Control* Focused() { return ui_.NativeFocus(); }
    void Click(const Control& control) { user_.Click(const_cast<Control&>(control)); }
    // A key as the window system reports it: down, then the character it types.
    void Press(const Control& target, int key) {
        auto& control = const_cast<Control&>(target);
        Form& form = *control.ParentForm();
        if (control.Kind() == ControlKind::TrackBar) {
            auto& track = static_cast<TrackBar&>(control);
            form.UserKeyDown(key, 0);
            const int to = key == kKeyHome ? track.Min() : key == kKeyEnd ? track.Max()
                                                         : track.Position() + (key == kKeyRight ? 1 : -1);
            user_.Drag(track, to);
        } else if (control.Kind() == ControlKind::Edit && key != kKeyTab && key != kKeyEnter && key != kKeyEscape) {
            form.UserKeyDown(key, 0);
            user_.Type(static_cast<Edit&>(control), std::string(1, char(std::tolower(key))));
        } else {
            user_.PressKey(form, key);
        }
        Settle();
    }

private:
    HeadlessTimeService time_;
    HeadlessUi ui_{time_};
    HeadlessUser user_{ui_};
    Application app_{ui_, ui_};
};

INSTANTIATE_TYPED_TEST_SUITE_P(Headless, PeerScenarios, HeadlessProbe);

}  // namespace
}  // namespace duskpane::peer_test

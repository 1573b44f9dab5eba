// The dimming window.
#include "app/sub_form.h"

#include "app/forms.h"
#include "app/main_form.h"

namespace duskpane {

TSubForm::TSubForm(Application& app) : Form(app, "SubForm") {
    Border = BorderStyle::None;
    State = WindowState::Maximized;
    KeyPreview = true;
    SetBounds(322, 137, 963, 525);
    SetCaption("SubForm");
    SetColour(kBlack);
    AlphaBlend = true;
    SetAlphaBlendValue(255);
    PhotoImage.SetBounds(384, 172, 105, 105);
    PhotoImage.SetVisible(false);
    OnKeyDown = [this](Control& sender, int& key, unsigned shift) { FormKeyDown(sender, key, shift); };
    OnResize = [this](Control& sender) { FormResize(sender); };
}

void TSubForm::FormKeyDown(Control&, int& key, unsigned) {
    // Escape here ends the program as it does on the main window.
    if (key == kKeyEscape) MainForm->Close();
}

void TSubForm::FormResize(Control&) {
    // The screen changed under the maximised window: the picture is centred
    // again on the new screen.
    if (MainForm && PhotoImage.Visible()) MainForm->ScreenChanged();
}

}  // namespace duskpane

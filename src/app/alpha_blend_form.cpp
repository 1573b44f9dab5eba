// The transparency dialog.
#include "app/alpha_blend_form.h"

#include "app/forms.h"
#include "app/main_form.h"
#include "app/sub_form.h"

namespace duskpane {

TAlphaBlendForm::TAlphaBlendForm(Application& app) : Form(app, "AlphaBlendForm") {
    SetCaption("透明度の設定");
    SetBounds(296, 244, 217, 139);
    FontName = "ＭＳ Ｐゴシック";
    Panel1.SetBounds(8, 4, 201, 97);
    Panel1.SetTabOrder(0);
    Label2.SetBounds(8, 8, 0, 0);
    Label2.SetCaption("透明度(0～255)");
    BlendTrackBar.SetBounds(4, 28, 165, 25);
    BlendTrackBar.SetRange(0, 255);
    BlendTrackBar.SetPosition(255);
    Label4.SetBounds(14, 52, 0, 0);
    Label4.SetCaption("| 0");
    Label6.SetBounds(85, 52, 0, 0);
    Label6.SetCaption("| 128");
    Label7.SetBounds(155, 52, 0, 0);
    Label7.SetCaption("| 255");
    OkBtn.SetBounds(48, 106, 75, 25);
    OkBtn.SetCaption("OK");
    OkBtn.Default = true;
    OkBtn.ModalResult = kMrOk;
    OkBtn.SetTabOrder(1);
    CancelBtn.SetBounds(128, 106, 75, 25);
    CancelBtn.SetCaption("ｷｬﾝｾﾙ");
    CancelBtn.ModalResult = kMrCancel;
    CancelBtn.SetTabOrder(2);

    OnShow = [this](Control& sender) { FormShow(sender); };
    OnCloseQuery = [this](Control& sender, bool& canClose) { FormCloseQuery(sender, canClose); };
    BlendTrackBar.OnChange = [this](Control& sender) { BlendTrackBarChange(sender); };
}

void TAlphaBlendForm::FormShow(Control&) {
    SavedAlpha = SubForm->AlphaBlendValue();
    BlendTrackBar.SetPosition(SavedAlpha);
}

void TAlphaBlendForm::BlendTrackBarChange(Control&) {
    SubForm->SetAlphaBlendValue(uint8_t(BlendTrackBar.Position()));
}

void TAlphaBlendForm::FormCloseQuery(Control&, bool&) {
    if (ModalResultValue() == kMrOk) {
        SubForm->SetAlphaBlendValue(uint8_t(BlendTrackBar.Position()));
        MainForm->SaveSettings();
    } else {
        SubForm->SetAlphaBlendValue(uint8_t(SavedAlpha));
    }
}

}  // namespace duskpane

// Forms for the peer tests: a colour-keyed screen layer as the main form, a
// dimming layer and a dialog with one control of each kind.
#pragma once

#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace duskpane::peer_test {

// Keys a track bar takes, with their virtual key codes.
constexpr int kKeyEnd = 0x23, kKeyHome = 0x24, kKeyLeft = 0x25, kKeyRight = 0x27;

class ScreenForm : public Form {
public:
    explicit ScreenForm(Application& app) : Form(app, "ScreenForm") {
        Border = BorderStyle::None;
        Style = FormStyle::StayOnTop;
        KeyPreview = true;
        SetBounds(0, 0, 320, 200);
        SetColour(kBlack);
        mark.SetBounds(10, 20, 4, 3);
        mark.Transparent = true;
        OnCreate = [this](Control&) { SetColourKeyBlack(true); };
        OnKeyDown = [this](Control&, int& key, unsigned) {
            if (key == kKeyEscape) Close();
        };
        OnClose = [this](Control&, CloseAction&) { ++closes; };
    }
    Image mark{this, "mark"};
    int closes = 0;
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

class SampleForm : public Form {
public:
    explicit SampleForm(Application& app) : Form(app, "SampleForm") {
        SetCaption("試験の窓");
        SetBounds(40, 30, 300, 220);
        FontName = "ＭＳ Ｐゴシック";
        KeyPreview = true;
        panel.SetBounds(8, 4, 284, 150);
        panel.SetTabOrder(0);
        label.SetBounds(8, 8, 0, 0);
        label.SetCaption("透明度(0～255)");
        link.SetBounds(8, 24, 0, 0);
        link.SetCaption("https://duskpane.example.org/");
        link.SetFont(MakeRgb(0, 0, 255), true);
        link.SetHandCursor(true);
        link.SetHint("クリックすると開きます");
        edit.SetBounds(8, 44, 49, 20);
        edit.SetMaxLength(3);
        edit.SetTabOrder(0);
        other.SetBounds(64, 44, 49, 20);
        other.SetTabOrder(1);
        yes.SetBounds(120, 44, 65, 17);
        yes.SetCaption("する");
        yes.SetTabOrder(2);
        no.SetBounds(120, 62, 65, 17);
        no.SetCaption("しない");
        no.SetTabOrder(3);
        track.SetBounds(4, 84, 165, 25);
        track.SetRange(0, 255);
        track.SetPosition(255);
        track.SetTabOrder(4);
        track.OnChange = [this](Control&) { ++trackChanges; };
        picture.SetBounds(200, 84, 8, 8);
        picture.Stretch = true;
        group.SetBounds(8, 158, 180, 56);
        group.SetCaption("画像ファイルの指定");
        ok.SetBounds(200, 160, 75, 25);
        ok.SetCaption("OK");
        ok.Default = true;
        ok.ModalResult = kMrOk;
        ok.SetTabOrder(1);
        cancel.SetBounds(200, 190, 75, 25);
        cancel.SetCaption("ｷｬﾝｾﾙ");
        cancel.Cancel = true;
        cancel.ModalResult = kMrCancel;
        cancel.SetTabOrder(2);
    }
    Panel panel{this, "panel"};
    Label label{&panel, "label"};
    Label link{&panel, "link"};
    Edit edit{&panel, "edit"};
    Edit other{&panel, "other"};
    RadioButton yes{&panel, "yes"};
    RadioButton no{&panel, "no"};
    TrackBar track{&panel, "track"};
    Image picture{&panel, "picture"};
    GroupBox group{this, "group"};
    Button ok{this, "ok"};
    Button cancel{this, "cancel"};
    int trackChanges = 0;
};

}  // namespace duskpane::peer_test

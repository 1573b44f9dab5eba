// The About box.
#include "app/about_box.h"

#include "ui/application.h"
#include "ui/canvas.h"

namespace duskpane {
namespace {

// The program's small picture: a crescent moon over a dark pane.
Bitmap32 MakeAboutPicture() {
    Bitmap32 picture(29, 29, MakeRgb(24, 28, 48));
    for (int y = 0; y < 29; ++y)
        for (int x = 0; x < 29; ++x) {
            const int dx = x - 14, dy = y - 14;
            const int ox = x - 19, oy = y - 10;
            if (dx * dx + dy * dy <= 100 && ox * ox + oy * oy > 64) picture.Set(x, y, MakeRgb(250, 226, 140));
        }
    Canvas canvas(picture);
    canvas.pen.colour = MakeRgb(90, 100, 140);
    canvas.brush.style = BrushStyle::Clear;
    canvas.Rectangle(0, 0, 29, 29);
    return picture;
}

}  // namespace

TAboutBox::TAboutBox(Application& app) : Form(app, "AboutBox") {
    SetCaption("バージョン情報");
    SetBounds(0, 0, 338, 165);
    Position = FormPosition::ScreenCenter;
    FontName = "ＭＳ Ｐゴシック";
    Panel2.SetBounds(4, 4, 329, 117);
    Panel2.SetColour(kWhite);
    Panel2.SetTabOrder(1);
    Label1.SetBounds(12, 12, 0, 0);
    Label1.SetCaption("Duskpane");
    // The version stands clear of the program's name, which is wider than
    // the gap a shorter name would leave at 56.
    Label2.SetBounds(72, 12, 0, 0);
    Label2.SetCaption("Version 0.10");
    Image2.SetBounds(12, 32, 29, 29);
    Image2.AutoSize = true;
    Image2.SetPicture(MakeAboutPicture());
    Label8.SetBounds(8, 76, 0, 0);
    Label8.SetCaption("Kiramedaホームページ");
    Label8.SetFont(kBlack, false);
    Label9.SetBounds(8, 88, 0, 0);
    Label9.SetCaption(kHomePageAddress);
    Label9.SetFont(MakeRgb(0, 0, 255), true);
    Label9.SetHandCursor(true);
    Label9.SetHint("クリックするとKiramedaのホームページを表示します");
    Label9.OnClick = [this](Control& sender) { URLLabelClick(sender); };
    OKButton.SetBounds(255, 128, 75, 25);
    OKButton.SetCaption("OK");
    OKButton.Default = true;
    OKButton.ModalResult = kMrOk;
    OKButton.SetTabOrder(0);
}

void TAboutBox::URLLabelClick(Control& sender) {
    // The shell opens the caption; what it makes of it is not looked at.
    FormApp().GetShell().OpenUrl(this, sender.Caption());
}

}  // namespace duskpane

// The wallpaper settings dialog: its controls and their handlers.
#include "wallpaper/wallpaper_form.h"

#include <initializer_list>
#include <limits>

#include "app/forms.h"
#include "app/main_form.h"
#include "ui/application.h"
#include "ui/canvas.h"
#include "wallpaper/messages.h"
#include "wallpaper/search_dir.h"

namespace duskpane {

AnsiString InitialFolder;

namespace {

constexpr const char* kPictureFilter =
    "画像ファイル (*.jpg;*.jpeg;*.bmp)|*.jpg;*.jpeg;*.bmp|JPEG イメージファイル (*.jpg)|*.jpg|"
    "JPEG イメージファイル (*.jpeg)|*.jpeg|ビットマップ (*.bmp)|*.bmp";
constexpr const char* kStoredFileUnreadable = "現在設定されている壁紙用画像ファイルは読込めませんでした。";
constexpr const char* kStoredFolderEmpty =
    "現在設定されている壁紙格納フォルダーに画像ファイルが存在しません。";
constexpr const char* kBlendRange = "透明度は０～２５５の間で設定して下さい。";
constexpr const char* kBlendFourth = "仏の顔も三度まで";
constexpr const char* kIntervalPartRange = "０～５９の間で設定して下さい";
constexpr const char* kConfirmFile = "画像ファイル[%s]を設定してもよろしいですか";
constexpr const char* kFileFailed = "画像ファイルの設定に失敗しました";
constexpr const char* kFolderTitle = "壁紙画像フォルダーの選択";
constexpr const char* kFolderWithoutPictures = "指定のフォルダには、画像ファイルが存在しません。";
constexpr const char* kConfirmUnload = "現在設定されている壁紙を解除してもよろしいですか";
constexpr const char* kIntervalInvalid =
    "壁紙切り替え時間の設定が不正です。１秒～５９分５９秒の間で設定して下さい。";

// The invalid transparency entries that show the range message before the
// fourth one shows the other.
constexpr int32_t kBlendWarningsBeforeLast = 3;

constexpr int kGlyphWidth = 22;
constexpr int kGlyphHeight = 20;

}  // namespace

int32_t TextToNumber(const std::string& text, int32_t defaultValue) {
    size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    if (at == text.size()) return defaultValue;
    int64_t value = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c < '0' || c > '9') return defaultValue;
        value = value * 10 + (c - '0');
        if (value > int64_t(std::numeric_limits<int32_t>::max()) + 1) return defaultValue;
    }
    if (negative) value = -value;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return defaultValue;
    return int32_t(value);
}

bool OpenPictureDialogBox::Execute() {
    std::optional<std::string> chosen = owner_.FormApp().GetShell().OpenPicture(&owner_, Filter, previews_);
    if (!chosen) return false;
    FileName = *chosen;
    return true;
}

Bitmap32 MakeFolderGlyph() {
    Bitmap32 glyph(kGlyphWidth, kGlyphHeight, kColourButtonFace);
    Canvas canvas(glyph);
    canvas.pen.colour = MakeRgb(128, 96, 0);
    canvas.brush.colour = MakeRgb(230, 180, 40);
    canvas.Rectangle(2, 3, 10, 7);  // the tab
    canvas.brush.colour = MakeRgb(255, 210, 70);
    canvas.Rectangle(2, 5, 20, 17);  // the body
    canvas.pen.colour = MakeRgb(255, 240, 170);
    canvas.MoveTo(3, 6);
    canvas.LineTo(19, 6);  // the light upper edge
    return glyph;
}

Bitmap32 MakePictureGlyph() {
    Bitmap32 glyph(kGlyphWidth, kGlyphHeight, kColourButtonFace);
    Canvas canvas(glyph);
    canvas.pen.colour = MakeRgb(64, 64, 64);
    canvas.brush.colour = MakeRgb(150, 200, 255);
    canvas.Rectangle(2, 2, 20, 18);  // the frame and the sky
    canvas.pen.colour = MakeRgb(255, 220, 0);
    canvas.brush.colour = MakeRgb(255, 220, 0);
    canvas.Rectangle(13, 4, 17, 8);  // the sun
    // Two hills, drawn as rising and falling lines.
    canvas.pen.colour = MakeRgb(40, 140, 40);
    for (int x = 3; x < 19; ++x) {
        const int top = x < 9 ? 16 - (x - 3) : x < 12 ? 11 + (x - 9) * 2 : 14 - (x - 12) / 3;
        canvas.MoveTo(x, top);
        canvas.LineTo(x, 17);
    }
    return glyph;
}

TWallPaperForm::TWallPaperForm(Application& app, Platform& platformServices)
    : Form(app, "WallPaperForm"), platform(platformServices) {
    LayOut();
    ConnectHandlers();
}

TWallPaperForm::~TWallPaperForm() = default;

void TWallPaperForm::LayOut() {
    SetCaption("壁紙の設定");
    SetBounds(412, 262, 491, 386);
    Border = BorderStyle::Dialog;
    CloseBoxOnly = true;
    Position = FormPosition::OwnerCenter;
    FontName = "ＭＳ Ｐゴシック";
    FontHeight = 12;
    KeyPreview = true;

    Panel1.SetBounds(8, 4, 477, 345);
    Panel1.SetTabOrder(0);
    OkBtn.SetBounds(328, 354, 75, 25);
    OkBtn.SetCaption("OK");
    OkBtn.Default = true;
    OkBtn.SetTabOrder(1);
    CancelBtn.SetBounds(408, 354, 75, 25);
    CancelBtn.SetCaption("ｷｬﾝｾﾙ");
    CancelBtn.ModalResult = kMrCancel;
    CancelBtn.SetTabOrder(2);
    OpenPictureDialog.Filter = kPictureFilter;

    Label1.SetBounds(152, 20, 0, 0);
    Label1.SetCaption("透明化処理");
    YesRBtn.SetBounds(152, 36, 65, 17);
    YesRBtn.SetCaption("する");
    YesRBtn.SetTabOrder(0);
    NoRBtn.SetBounds(152, 52, 65, 17);
    NoRBtn.SetCaption("しない");
    NoRBtn.SetTabOrder(1);
    WarnLabel.SetBounds(220, 36, 145, 22);
    WarnLabel.SetCaption("ご利用されているPC環境では、透明化処理は実行できません");
    WarnLabel.SetFont(MakeRgb(255, 0, 0), false);
    Label2.SetBounds(152, 76, 0, 0);
    Label2.SetCaption("壁紙の透明度(0～255)");
    BlendEdit.SetBounds(156, 92, 49, 20);
    BlendEdit.SetMaxLength(3);
    BlendEdit.SetTabOrder(2);
    BlendTrackBar.SetBounds(224, 92, 165, 25);
    BlendTrackBar.SetRange(0, 255);
    BlendTrackBar.SetPosition(255);
    BlendTrackBar.ShowTicks = false;
    BlendTrackBar.SetTabOrder(3);
    Label4.SetBounds(234, 116, 0, 0);
    Label4.SetCaption("| 0");
    Label6.SetBounds(305, 116, 0, 0);
    Label6.SetCaption("| 128");
    Label7.SetBounds(375, 116, 0, 0);
    Label7.SetCaption("| 255");

    Panel2.SetBounds(8, 12, 137, 137);
    Panel2.SetTabOrder(5);
    ImageUnSetupLabel.SetBounds(37, 62, 0, 0);
    ImageUnSetupLabel.SetCaption("画像未設定");
    PhotoImage.SetBounds(4, 5, 128, 128);
    PhotoImage.Stretch = true;

    GroupBox2.SetBounds(12, 156, 457, 177);
    GroupBox2.SetCaption("画像ファイルの指定");
    GroupBox2.SetTabOrder(4);
    WPDirectRBtn.SetBounds(12, 20, 305, 17);
    WPDirectRBtn.SetCaption("画像ファイルを直接指定(表示される壁紙は固定)");
    WPDirectRBtn.SetTabOrder(0);
    WPFolderRBtn.SetBounds(12, 40, 345, 17);
    WPFolderRBtn.SetCaption("画像ファイルの格納フォルダ指定(一定時間間隔で壁紙を変更)");
    WPFolderRBtn.SetTabOrder(1);
    UnLoadBtn.SetBounds(360, 12, 89, 57);
    UnLoadBtn.SetCaption("壁紙の解除");
    UnLoadBtn.SetTabOrder(2);
    Label3.SetBounds(12, 61, 0, 0);
    Label3.SetCaption("画像ファイルのパス");
    FilePathEdit.SetBounds(12, 81, 313, 20);
    FilePathEdit.SetReadOnly(true);
    FilePathEdit.SetColour(kColourButtonFace);
    FilePathEdit.SetTabStop(false);
    FilePathEdit.SetTabOrder(3);
    FileReadBtn.SetBounds(336, 76, 113, 25);
    FileReadBtn.SetCaption("画像を開く　　　");
    FileReadBtn.Glyph = MakePictureGlyph();
    FileReadBtn.SetTabOrder(4);
    Label15.SetBounds(12, 105, 0, 0);
    Label15.SetCaption("画像ファイルの格納フォルダ");
    WPFolderEdit.SetBounds(12, 121, 313, 20);
    WPFolderEdit.SetReadOnly(true);
    WPFolderEdit.SetColour(kColourButtonFace);
    WPFolderEdit.SetTabStop(false);
    WPFolderEdit.SetTabOrder(5);
    FolderSelectBtn.SetBounds(336, 116, 113, 25);
    FolderSelectBtn.SetCaption("フォルダを指定");
    FolderSelectBtn.Glyph = MakeFolderGlyph();
    FolderSelectBtn.SetTabOrder(6);
    Label18.SetBounds(12, 153, 0, 0);
    Label18.SetCaption("壁紙の変更間隔");
    WPIntervalEdit.SetBounds(104, 148, 49, 20);
    WPIntervalEdit.SetMaxLength(2);
    WPIntervalEdit.SetTabOrder(7);
    Label20.SetBounds(156, 153, 0, 0);
    Label20.SetCaption("分");
    WPIntervalSecEdit.SetBounds(176, 148, 49, 20);
    WPIntervalSecEdit.SetMaxLength(2);
    WPIntervalSecEdit.SetTabOrder(8);
    Label21.SetBounds(232, 153, 0, 0);
    Label21.SetCaption("秒");
    Label19.SetBounds(260, 153, 0, 0);
    Label19.SetCaption("(1秒～59分59秒)");
}

void TWallPaperForm::ConnectHandlers() {
    OnShow = [this](Control& sender) { FormShow(sender); };
    OnClose = [this](Control& sender, CloseAction& action) { FormClose(sender, action); };
    OnFormKeyPress = [this](Control& sender, char32_t& key) { FormKeyPress(sender, key); };
    OkBtn.OnClick = [this](Control& sender) { OkBtnClick(sender); };
    YesRBtn.OnClick = [this](Control& sender) { AblendRBtnClick(sender); };
    NoRBtn.OnClick = [this](Control& sender) { AblendRBtnClick(sender); };
    BlendEdit.OnChange = [this](Control& sender) { BlendEditChange(sender); };
    BlendEdit.OnExit = [this](Control& sender) { BlendEditExit(sender); };
    BlendTrackBar.OnChange = [this](Control& sender) { BlendTrackBarChange(sender); };
    WPDirectRBtn.OnClick = [this](Control& sender) { WPDirectRBtnClick(sender); };
    WPFolderRBtn.OnClick = [this](Control& sender) { WPDirectRBtnClick(sender); };
    UnLoadBtn.OnClick = [this](Control& sender) { UnLoadBtnClick(sender); };
    FileReadBtn.OnClick = [this](Control& sender) { FileReadBtnClick(sender); };
    FolderSelectBtn.OnClick = [this](Control& sender) { FolderSelectBtnClick(sender); };
    WPIntervalEdit.OnExit = [this](Control& sender) { WPIntervalEditExit(sender); };
    WPIntervalSecEdit.OnExit = [this](Control& sender) { WPIntervalEditExit(sender); };
    for (Edit* edit : {&BlendEdit, &WPIntervalEdit, &WPIntervalSecEdit})
        edit->OnKeyPress = [this](Control& sender, char32_t& key) { BlendEditKeyPress(sender, key); };
}

void TWallPaperForm::FormShow(Control&) {
    TMainForm& main = *MainForm;
    PreviewPicture = std::make_unique<Picture>();
    for (Control* control : std::initializer_list<Control*>{&YesRBtn, &NoRBtn, &BlendEdit, &BlendTrackBar})
        control->SetEnabled(true);
    WarnLabel.SetVisible(false);
    if (!main.WPDispMode)
        WPDirectRBtn.SetChecked(true);
    else
        WPFolderRBtn.SetChecked(true);
    WPIntervalEdit.SetText(std::to_string(main.GetWPIntervalMin()));
    WPIntervalSecEdit.SetText(std::to_string(main.GetWPIntervalSec()));
    if (main.IsWPTransparency)
        YesRBtn.SetChecked(true);
    else
        NoRBtn.SetChecked(true);
    BlendEdit.SetText(std::to_string(255 - int64_t(main.WPAlphaValue)));
    FilePathEdit.SetText(main.WPFile);
    WPFolderEdit.SetText(main.WPFolder);
    if (!main.WPDispMode) {
        if (!LoadPreviewPicture(main.WPFile)) ShowError(FormApp(), this, kStoredFileUnreadable);
    } else {
        if (!LoadPreviewFolder(main.WPFolder)) ShowError(FormApp(), this, kStoredFolderEmpty);
    }
}

void TWallPaperForm::FormClose(Control&, CloseAction&) { PreviewPicture.reset(); }

void TWallPaperForm::FormKeyPress(Control&, char32_t& key) {
    if (key == char32_t(kKeyEscape)) Close();
}

void TWallPaperForm::BlendEditKeyPress(Control&, char32_t& key) {
    if (key == char32_t(kKeyEnter)) {
        key = 0;
    } else if (key >= 32 && key <= 127 && !(key >= U'0' && key <= U'9')) {
        key = 0;
    }
}

void TWallPaperForm::BlendEditChange(Control&) {
    const int32_t value = TextToNumber(BlendEdit.Text(), -1);
    if (value < 0 || value > 255) return;
    BlendTrackBar.SetPosition(value);
    CompositePreview();
}

void TWallPaperForm::BlendTrackBarChange(Control&) {
    BlendEdit.SetText(std::to_string(BlendTrackBar.Position()));
}

void TWallPaperForm::BlendEditExit(Control&) {
    if (returningFocus_) return;
    const int32_t value = TextToNumber(BlendEdit.Text(), -1);
    if (value >= 0 && value <= 255) return;
    if (BlendEdit.Tag == kBlendWarningsBeforeLast) {
        ShowError(FormApp(), this, kBlendFourth);
        BlendEdit.Tag = 0;
    } else {
        ShowError(FormApp(), this, kBlendRange);
        BlendEdit.Tag += 1;
    }
    ReturnFocus(BlendEdit);
}

void TWallPaperForm::AblendRBtnClick(Control&) { CompositePreview(); }

void TWallPaperForm::WPIntervalEditExit(Control& sender) {
    if (returningFocus_) return;
    auto& box = static_cast<Edit&>(sender);
    const int32_t value = TextToNumber(box.Text(), -1);
    if (value >= 0 && value <= 59) return;
    ShowError(FormApp(), this, kIntervalPartRange);
    ReturnFocus(box);
}

void TWallPaperForm::ReturnFocus(Edit& edit) {
    // Two boxes that both fail their check would otherwise send the focus
    // back and forth between them without end.
    returningFocus_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{returningFocus_};
    edit.SetFocus();
}

void TWallPaperForm::WPDirectRBtnClick(Control&) {
    PhotoImage.ClearPicture();
    const bool direct = WPDirectRBtn.Checked();
    FilePathEdit.SetEnabled(direct);
    FileReadBtn.SetEnabled(direct);
    WPFolderEdit.SetEnabled(!direct);
    FolderSelectBtn.SetEnabled(!direct);
    if (direct)
        LoadPreviewPicture(FilePathEdit.Text());
    else
        LoadPreviewFolder(WPFolderEdit.Text());
}

void TWallPaperForm::FileReadBtnClick(Control&) {
    if (!OpenPictureDialog.Execute()) return;
    const AnsiString fileName = OpenPictureDialog.FileName;
    if (!AskYesNo(FormApp(), this, kConfirmFile, fileName)) return;
    FilePathEdit.SetText(fileName);
    if (!LoadPreviewPicture(fileName)) ShowError(FormApp(), this, kFileFailed);
}

void TWallPaperForm::FolderSelectBtnClick(Control&) {
    const std::optional<AnsiString> folder = SelectFolder(this, kFolderTitle, WPFolderEdit.Text());
    if (!folder) return;
    if (LoadPreviewFolder(*folder))
        WPFolderEdit.SetText(*folder);
    else
        ShowError(FormApp(), this, kFolderWithoutPictures);
}

void TWallPaperForm::UnLoadBtnClick(Control&) {
    if (!PhotoImage.HasPicture()) return;
    if (!AskYesNo(FormApp(), this, kConfirmUnload)) return;
    if (PreviewPicture) PreviewPicture->Clear();
    PhotoImage.ClearPicture();
    ImageUnSetupLabel.SetVisible(true);
    if (WPDirectRBtn.Checked())
        FilePathEdit.SetText("");
    else
        WPFolderEdit.SetText("");
}

void TWallPaperForm::OkBtnClick(Control&) {
    const int32_t minutes = TextToNumber(WPIntervalEdit.Text(), 0);
    const int32_t seconds = TextToNumber(WPIntervalSecEdit.Text(), 0);
    if ((minutes == 0 && seconds == 0) || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59) {
        ShowError(FormApp(), this, kIntervalInvalid);
        return;
    }
    TMainForm& main = *MainForm;
    main.IsWPTransparency = YesRBtn.Checked() ? 1 : 0;
    main.WPAlphaValue = 255 - BlendTrackBar.Position();
    main.WPDispMode = WPFolderRBtn.Checked() ? 1 : 0;
    main.WPFile = FilePathEdit.Text();
    main.WPFolder = WPFolderEdit.Text();
    main.SetWPInterval(uint32_t(minutes), uint32_t(seconds));
    main.SaveSettings();
    main.PrepareWallpaper();
    SetModalResult(kMrOk);
}

bool TWallPaperForm::LoadPreviewPicture(const AnsiString& path) {
    if (path.empty()) {
        PhotoImage.ClearPicture();
        return true;
    }
    // The preview stretches the whole picture to its own size: a picture
    // reduced to no less than that size is all it needs.
    if (!PreviewPicture ||
        !LoadPicture(platform.pictures, path, PictureRequest::Reduced(PhotoImage.Width(), PhotoImage.Height()),
                     *PreviewPicture))
        return false;
    ImageUnSetupLabel.SetVisible(false);
    CompositePreview();
    return true;
}

void TWallPaperForm::CompositePreview() {
    if (!PreviewPicture) return;
    std::unique_ptr<BlendFunction> blend = platform.blend.Load();
    if (blend && YesRBtn.Checked()) {
        const auto alpha = static_cast<uint8_t>(255 - BlendTrackBar.Position());
        BlendIntoBlack(*blend, *PreviewPicture, alpha, PhotoImage.Surface());
        PhotoImage.Repaint();
    } else {
        PhotoImage.SetPicture(PreviewPicture->pixels);
    }
}

bool TWallPaperForm::LoadPreviewFolder(const AnsiString& folder) {
    if (folder.empty()) return false;
    const PictureFileScan scan = ListPictureFiles(platform.files, folder);
    if (scan.status == -1 || scan.paths.empty()) return false;
    LoadPreviewPicture(scan.paths.front());
    return true;
}

std::optional<AnsiString> TWallPaperForm::SelectFolder(Form* owner, const AnsiString& title,
                                                       const AnsiString& initialFolder) {
    InitialFolder = initialFolder;
    return FormApp().GetShell().BrowseFolder(owner, title, InitialFolder);
}

}  // namespace duskpane

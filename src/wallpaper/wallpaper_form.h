// The wallpaper settings dialog: blend, fixed file or folder, slideshow
// period and a 128 x 128 preview; the main window changes only at OK.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "wallpaper/nslist.h"
#include "wallpaper/picture.h"

namespace duskpane {

// The folder the folder browser preselects, kept for the whole process.
extern AnsiString InitialFolder;

// The integer value of a text that is a whole decimal number (an optional
// sign and digits only, within 32 bits); the default for any other text,
// the empty text included.
int32_t TextToNumber(const std::string& text, int32_t defaultValue);

// The open-picture dialog of a form: its filter and the file last chosen; it
// previews pictures through the decoder given.
class OpenPictureDialogBox {
public:
    OpenPictureDialogBox(Form& owner, PictureDecoder& previews) : owner_(owner), previews_(previews) {}

    std::string Filter;
    std::string FileName;

    // Shows the dialog; false when the user cancels.
    bool Execute();

private:
    Form& owner_;
    PictureDecoder& previews_;
};

// The two button pictures, 22 x 20: a small folder and a small picture.
Bitmap32 MakeFolderGlyph();
Bitmap32 MakePictureGlyph();

class TWallPaperForm : public Form {
public:
    TWallPaperForm(Application& app, Platform& platform);
    ~TWallPaperForm() override;

    Platform& platform;
    // The picture being previewed; exists while the dialog shows.
    std::unique_ptr<Picture> PreviewPicture;

    // ---- controls
    Panel Panel1{this, "Panel1"};
    Button OkBtn{this, "OkBtn"};
    Button CancelBtn{this, "CancelBtn"};
    OpenPictureDialogBox OpenPictureDialog{*this, platform.pictures};
    Label Label1{&Panel1, "Label1"};
    RadioButton YesRBtn{&Panel1, "YesRBtn"};
    RadioButton NoRBtn{&Panel1, "NoRBtn"};
    Label WarnLabel{&Panel1, "WarnLabel"};
    Label Label2{&Panel1, "Label2"};
    Edit BlendEdit{&Panel1, "BlendEdit"};
    TrackBar BlendTrackBar{&Panel1, "BlendTrackBar"};
    Label Label4{&Panel1, "Label4"};
    Label Label6{&Panel1, "Label6"};
    Label Label7{&Panel1, "Label7"};
    Panel Panel2{&Panel1, "Panel2"};
    Label ImageUnSetupLabel{&Panel2, "ImageUnSetupLabel"};
    Image PhotoImage{&Panel2, "PhotoImage"};
    GroupBox GroupBox2{&Panel1, "GroupBox2"};
    RadioButton WPDirectRBtn{&GroupBox2, "WPDirectRBtn"};
    RadioButton WPFolderRBtn{&GroupBox2, "WPFolderRBtn"};
    Button UnLoadBtn{&GroupBox2, "UnLoadBtn"};
    Label Label3{&GroupBox2, "Label3"};
    Edit FilePathEdit{&GroupBox2, "FilePathEdit"};
    Button FileReadBtn{&GroupBox2, "FileReadBtn"};
    Label Label15{&GroupBox2, "Label15"};
    Edit WPFolderEdit{&GroupBox2, "WPFolderEdit"};
    Button FolderSelectBtn{&GroupBox2, "FolderSelectBtn"};
    Label Label18{&GroupBox2, "Label18"};
    Edit WPIntervalEdit{&GroupBox2, "WPIntervalEdit"};
    Label Label20{&GroupBox2, "Label20"};
    Edit WPIntervalSecEdit{&GroupBox2, "WPIntervalSecEdit"};
    Label Label21{&GroupBox2, "Label21"};
    Label Label19{&GroupBox2, "Label19"};

    // ---- handlers
    void FormShow(Control& sender);
    void FormClose(Control& sender, CloseAction& action);
    void FormKeyPress(Control& sender, char32_t& key);
    void BlendEditKeyPress(Control& sender, char32_t& key);
    void BlendEditChange(Control& sender);
    void BlendTrackBarChange(Control& sender);
    void BlendEditExit(Control& sender);
    void AblendRBtnClick(Control& sender);
    void WPIntervalEditExit(Control& sender);
    void WPDirectRBtnClick(Control& sender);
    void FileReadBtnClick(Control& sender);
    void FolderSelectBtnClick(Control& sender);
    void UnLoadBtnClick(Control& sender);
    void OkBtnClick(Control& sender);

    // ---- operations
    // Loads a file into the preview; true for the empty path (which clears it).
    bool LoadPreviewPicture(const AnsiString& path);
    void CompositePreview();
    // Previews the first picture of a folder; false when it has none.
    bool LoadPreviewFolder(const AnsiString& folder);
    // The shell's folder browser; nothing when the user chose nothing.
    std::optional<AnsiString> SelectFolder(Form* owner, const AnsiString& title,
                                           const AnsiString& initialFolder);

private:
    void LayOut();
    void ConnectHandlers();
    // Gives the focus back to a box whose exit check failed; the exit checks
    // of the control that loses the focus on the way are not run.
    void ReturnFocus(Edit& edit);

    bool returningFocus_ = false;
};

}  // namespace duskpane

// The wallpaper on the dimming window: preparing it from the settings, the
// slideshow tick, loading the picture and compositing it into black.
#include <algorithm>
#include <memory>

#include "app/forms.h"
#include "app/main_form.h"
#include "app/sub_form.h"
#include "wallpaper/messages.h"
#include "wallpaper/search_dir.h"

namespace duskpane {

namespace {

constexpr const char* kMissingFileMessage =
    "壁紙表示対象のファイル[%s]が存在しません、壁紙ファイルの再設定を行って下さい。";
constexpr const char* kNoPictureFolderMessage =
    "設定された壁紙フォルダー[%s]には、有効な画像ファイルが存在しません。\n"
    "壁紙フォルダーの再設定を行って下さい。";

void AddPath(nsList<nsString>& list, const AnsiString& path) {
    auto item = std::make_unique<nsString>(path);
    list.Add(item.get());
    item.release();
}

}  // namespace

void TMainForm::PrepareWallpaper() {
    WPTimer.SetEnabled(false);
    if (!WPDispMode) {
        WPFileList.Clear();
        if (WPFile.empty()) {
            WPTimerTimer();
            return;
        }
        if (!platform.files.FileExists(WPFile)) {
            WPTimerTimer();
            ShowError(FormApp(), this, kMissingFileMessage, WPFile);
            return;
        }
        AddPath(WPFileList, WPFile);
        WPTimerTimer();
        return;
    }

    WPFileList.Clear();
    if (WPFolder.empty()) {
        WPTimerTimer();
        return;
    }
    const PictureFileScan scan = ListPictureFiles(platform.files, WPFolder);
    if (scan.status == -1) {
        ShowError(FormApp(), this, kNoPictureFolderMessage, WPFolder);
        return;
    }
    for (const AnsiString& path : scan.paths) AddPath(WPFileList, path);
    if (WPFileList.Count() == 0) {
        ShowError(FormApp(), this, kNoPictureFolderMessage, WPFolder);
        return;
    }
    Random.Seed(static_cast<uint32_t>(platform.time.CalendarSeconds()));
    SetWPInterval(GetWPIntervalMin(), GetWPIntervalSec());
    WPTimer.SetEnabled(true);
    WPTimerTimer();
}

void TMainForm::WPTimerTimer() {
    const int32_t count = WPFileList.Count();
    if (count > 0)
        WPCurrentFile = WPFileList.Get(Random.Next() % count)->ToString();
    else
        WPCurrentFile.clear();
    LoadWallpaperPicture();
}

void TMainForm::LoadWallpaperPicture() {
    if (WPCurrentFile.empty()) {
        SubForm->PhotoImage.ClearPicture();
        return;
    }
    // After the close has freed the picture object there is nothing to load into.
    if (!WPPicture) return;
    // The previous picture goes before the next is decoded, so that two
    // decoded pictures are never held at once; the screen keeps showing its
    // composited copy until the next one replaces it. Of a picture larger
    // than the screen only the part the centring shows is decoded and kept.
    WPPicture->Clear();
    const ScreenSize screen = platform.ui.PrimaryScreen();
    if (!LoadPicture(platform.pictures, WPCurrentFile, PictureRequest::Centred(screen.width, screen.height),
                     *WPPicture))
        return;
    CompositeWallpaper();
}

void TMainForm::CompositeWallpaper() {
    if (!WPPicture) return;
    Image& photo = SubForm->PhotoImage;
    std::unique_ptr<BlendFunction> blend = platform.blend.Load();
    if (IsWPTransparency && blend) {
        // The blend takes one byte of alpha; a stored value outside 0..255
        // is held to the nearest end of the range.
        const auto alpha = static_cast<uint8_t>(std::clamp<int32_t>(WPAlphaValue, 0, 255));
        // The control's own bitmap is the target, blacked and blended onto
        // where it lies: no second screen-sized bitmap is made for a change.
        photo.SetSize(WPPicture->pixels.Width(), WPPicture->pixels.Height());
        BlendIntoBlack(*blend, *WPPicture, alpha, photo.Surface());
        photo.Repaint();
    } else {
        photo.SetSize(WPPicture->pixels.Width(), WPPicture->pixels.Height());
        photo.Surface() = WPPicture->pixels;
        photo.Repaint();
    }
    blend.reset();
    PlaceWallpaper();
    photo.SetVisible(true);
}

void TMainForm::PlaceWallpaper() {
    Image& photo = SubForm->PhotoImage;
    const ScreenSize screen = platform.ui.PrimaryScreen();
    // The whole picture is centred at (screen - picture) / 2; the part held
    // lies that far in, so the screen shows the same pixels.
    const bool held = WPPicture && !WPPicture->Empty();
    const int width = held ? WPPicture->width : photo.Width();
    const int height = held ? WPPicture->height : photo.Height();
    photo.SetBounds((screen.width - width) / 2 + (held ? WPPicture->left : 0),
                    (screen.height - height) / 2 + (held ? WPPicture->top : 0), photo.Width(), photo.Height());
}

void TMainForm::ScreenChanged() {
    // Of a picture larger than the screen only the part the old screen
    // showed is held, centred as the part of a larger screen would be: when
    // the new screen shows more of the picture than that, it is decoded
    // again; otherwise the part held is placed anew.
    const ScreenSize screen = platform.ui.PrimaryScreen();
    const bool uncovered = WPPicture && !WPPicture->Empty() &&
                           (WPPicture->pixels.Width() < std::min(screen.width, WPPicture->width) ||
                            WPPicture->pixels.Height() < std::min(screen.height, WPPicture->height));
    if (uncovered) {
        LoadWallpaperPicture();
        if (!WPPicture || WPPicture->Empty()) PlaceWallpaper();
    } else {
        PlaceWallpaper();
    }
}

}  // namespace duskpane

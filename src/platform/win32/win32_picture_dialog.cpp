// The open-picture dialog on Win32: GetOpenFileNameW with a child template
// and hook that put a preview pane beside the list; the selected file is
// decoded on the pane's worker thread and shown with its size under it.
#include "platform/win32/win32_picture_dialog.h"

#include <cderr.h>
#include <commdlg.h>
#include <dlgs.h>
#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "platform/win32/win32_peers.h"
#include "platform/win32/win32_text.h"
#include "wallpaper/preview.h"

namespace duskpane {

namespace {

// The longest path the dialog returns.
constexpr DWORD kPathCapacity = 32768;

// The hook's state for one showing of the dialog.
class PreviewDialog {
public:
    explicit PreviewDialog(PictureDecoder& decoder)
        : readyMessage_(RegisterWindowMessageW(L"Duskpane.PicturePreviewReady")),
          worker_(
              decoder,
              [this] {
                  if (HWND dialog = dialog_.load()) PostMessageW(dialog, readyMessage_, 0, 0);
              },
              [] { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }, [] { CoUninitialize(); }) {}

    static UINT_PTR CALLBACK Hook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

private:
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void SelectionChanged();
    void TakeResult();
    void SetPreview(Bitmap32 picture, const std::string& caption);
    void KeepOnScreen();
    void LayOut();
    void Draw(const DRAWITEMSTRUCT& item);

    UINT readyMessage_;
    std::atomic<HWND> dialog_{nullptr};
    Bitmap32 picture_;
    Bitmap32 shown_;  // the picture reduced to its control, as drawn last
    PreviewWorker worker_;
};

// The common dialog's file list: the shell view, or before it exists the
// placeholder it takes the place of.
HWND FileList(HWND parent) {
    if (HWND view = FindWindowExW(parent, nullptr, L"SHELLDLL_DefView", nullptr)) return view;
    return GetDlgItem(parent, lst1);
}

UINT_PTR CALLBACK PreviewDialog::Hook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<PreviewDialog*>(reinterpret_cast<OPENFILENAMEW*>(lParam)->lCustData);
        SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->dialog_ = dialog;
        return TRUE;
    }
    auto* self = reinterpret_cast<PreviewDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    return self ? UINT_PTR(self->Handle(message, wParam, lParam)) : 0;
}

INT_PTR PreviewDialog::Handle(UINT message, WPARAM, LPARAM lParam) {
    if (message == readyMessage_) {
        TakeResult();
        return TRUE;
    }
    switch (message) {
        case WM_SIZE:
            LayOut();
            return FALSE;
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item.CtlID != IDC_PREVIEW_PICTURE) return FALSE;
            Draw(item);
            SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        case WM_NOTIFY:
            switch (reinterpret_cast<const NMHDR*>(lParam)->code) {
                case CDN_INITDONE:
                    KeepOnScreen();
                    LayOut();
                    break;
                case CDN_SELCHANGE:
                case CDN_FOLDERCHANGE:
                    SelectionChanged();
                    break;
                default:
                    break;
            }
            return FALSE;
        case WM_DESTROY:
            dialog_ = nullptr;
            worker_.Abandon();
            return FALSE;
        default:
            return FALSE;
    }
}

// The selected file is previewed; a folder or nothing empties the pane.
void PreviewDialog::SelectionChanged() {
    SetPreview(Bitmap32(), std::string());
    HWND parent = GetParent(dialog_);
    std::vector<wchar_t> path(kPathCapacity, L'\0');
    const LRESULT length = SendMessageW(parent, CDM_GETFILEPATH, WPARAM(path.size()), LPARAM(path.data()));
    const DWORD attributes = length > 1 ? GetFileAttributesW(path.data()) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        worker_.Abandon();
        return;
    }
    worker_.Request(Narrow(path.data(), wcslen(path.data())), kPreviewBoxSide, kPreviewBoxSide);
}

void PreviewDialog::TakeResult() {
    std::optional<PreviewWorker::Result> result = worker_.Take();
    if (!result || !result->preview) return;
    SetPreview(std::move(result->preview->pixels), PreviewCaption(*result->preview));
}

void PreviewDialog::SetPreview(Bitmap32 picture, const std::string& caption) {
    picture_ = std::move(picture);
    shown_ = Bitmap32();
    SetDlgItemTextW(dialog_, IDC_PREVIEW_CAPTION, Widen(caption).c_str());
    LayOut();
    InvalidateRect(GetDlgItem(dialog_, IDC_PREVIEW_PICTURE), nullptr, TRUE);
}

// The pane makes the dialog wider than the system placed it: it moves back
// inside the work area of its monitor where it can.
void PreviewDialog::KeepOnScreen() {
    HWND parent = GetParent(dialog_);
    RECT window{};
    GetWindowRect(parent, &window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(parent, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& work = monitor.rcWork;
    const LONG left = std::max(work.left, std::min(window.left, work.right - (window.right - window.left)));
    const LONG top = std::max(work.top, std::min(window.top, work.bottom - (window.bottom - window.top)));
    if (left != window.left || top != window.top)
        SetWindowPos(parent, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The pane fills the room right of the list, from the list's top to the
// dialog's bottom; the picture as large as it allows at its own shape and
// the caption right under it, the two together in the pane's middle.
void PreviewDialog::LayOut() {
    HWND parent = GetParent(dialog_);
    HWND list = FileList(parent);
    HWND picture = GetDlgItem(dialog_, IDC_PREVIEW_PICTURE);
    HWND caption = GetDlgItem(dialog_, IDC_PREVIEW_CAPTION);
    if (!list || !picture || !caption) return;
    RECT client{}, view{};
    GetClientRect(dialog_, &client);
    GetWindowRect(list, &view);
    MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&view), 2);
    RECT margins{4, 4, 0, 0};
    MapDialogRect(dialog_, &margins);
    const int gapX = int(margins.left), gapY = int(margins.top);
    const RECT pane{view.right + gapX, view.top, client.right - gapX, client.bottom - gapY};
    HDC dc = GetDC(caption);
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(caption, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, oldFont);
    ReleaseDC(caption, dc);
    const int captionHeight = int(metrics.tmHeight);
    const int paneWidth = std::max<int>(pane.right - pane.left, 0);
    const int paneHeight = std::max<int>(pane.bottom - pane.top, 0);
    const PreviewSize fitted = FitPreview(picture_.Width(), picture_.Height(), paneWidth,
                                          std::max(paneHeight - captionHeight - gapY, 0));
    const int groupHeight = fitted.height + (fitted.height > 0 ? gapY : 0) + captionHeight;
    const int top = pane.top + std::max(paneHeight - groupHeight, 0) / 2;
    SetWindowPos(picture, nullptr, pane.left + (paneWidth - fitted.width) / 2, top, fitted.width, fitted.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(caption, nullptr, pane.left, top + groupHeight - captionHeight, paneWidth, captionHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(picture, fitted.width > 0 ? SW_SHOWNA : SW_HIDE);
}

void PreviewDialog::Draw(const DRAWITEMSTRUCT& item) {
    const RECT& area = item.rcItem;
    FillRect(item.hDC, &area, GetSysColorBrush(COLOR_BTNFACE));
    const PreviewSize fitted =
        FitPreview(picture_.Width(), picture_.Height(), area.right - area.left, area.bottom - area.top);
    if (fitted.width <= 0) return;
    if (shown_.Width() != fitted.width || shown_.Height() != fitted.height)
        shown_ = ReducePicture(picture_, fitted.width, fitted.height);
    DrawPixels(item.hDC, area.left + (area.right - area.left - fitted.width) / 2,
               area.top + (area.bottom - area.top - fitted.height) / 2, shown_,
               RECT{0, 0, fitted.width, fitted.height});
}

}  // namespace

std::optional<std::string> RunOpenPictureDialog(HWND owner, const std::wstring& filters, PictureDecoder& previews) {
    PreviewDialog preview(previews);
    std::vector<wchar_t> path(kPathCapacity, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.hInstance = GetModuleHandleW(nullptr);
    dialog.lpstrFilter = filters.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = DWORD(path.size());
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_ENABLESIZING |
                   OFN_ENABLETEMPLATE | OFN_ENABLEHOOK;
    dialog.lpTemplateName = MAKEINTRESOURCEW(IDD_PICTURE_PREVIEW);
    dialog.lpfnHook = &PreviewDialog::Hook;
    dialog.lCustData = reinterpret_cast<LPARAM>(&preview);
    if (!GetOpenFileNameW(&dialog)) {
        // A module without the child template still gets the plain dialog.
        const DWORD error = CommDlgExtendedError();
        if (error != CDERR_FINDRESFAILURE && error != CDERR_LOADRESFAILURE) return std::nullopt;
        dialog.Flags &= ~DWORD(OFN_ENABLETEMPLATE | OFN_ENABLEHOOK);
        if (!GetOpenFileNameW(&dialog)) return std::nullopt;
    }
    return Narrow(path.data(), wcslen(path.data()));
}

}  // namespace duskpane

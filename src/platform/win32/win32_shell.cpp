// The shell on Win32: the popup menu, message boxes, the open-picture
// dialog, the folder browser and opening an address.
#include <windows.h>

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "platform/win32/win32_peers.h"
#include "platform/win32/win32_picture_dialog.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_ui.h"
#include "ui/form.h"
#include "ui/line_breaks.h"
#include "ui/menu.h"

namespace duskpane {

namespace {

// The longest run of a message's text without a line break.
constexpr size_t kUnbrokenRun = 64;

// Builds the native menu from the items a shown menu has; an item's command
// number is its place in `items` plus one.
void FillMenu(HMENU target, const MenuItem& source, std::vector<MenuItem*>& items) {
    for (MenuItem* item : source.ShownItems()) {
        if (item->IsSeparator()) {
            AppendMenuW(target, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        const std::wstring caption = Widen(item->Caption());
        const UINT enabled = item->Enabled ? MF_ENABLED : MF_GRAYED;
        if (!item->Items().empty()) {
            HMENU submenu = CreatePopupMenu();
            FillMenu(submenu, *item, items);
            AppendMenuW(target, MF_POPUP | MF_STRING | enabled, reinterpret_cast<UINT_PTR>(submenu), caption.c_str());
            continue;
        }
        items.push_back(item);
        AppendMenuW(target, MF_STRING | enabled | (item->Checked ? MF_CHECKED : MF_UNCHECKED), items.size(),
                    caption.c_str());
    }
}

// The folder browser opens with the initial folder selected.
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data) SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

}  // namespace

std::wstring OpenFileFilter(const std::string& filter) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t bar = filter.find('|', start);
        parts.push_back(filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    std::wstring list;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i + 1].empty()) continue;
        list += Widen(parts[i]);
        list.push_back(L'\0');
        list += Widen(parts[i + 1]);
        list.push_back(L'\0');
    }
    list.push_back(L'\0');
    return list;
}

void Win32Ui::ShowPopupMenu(PopupMenu& menu, Form& owner, int x, int y, MessageSink& sink) {
    sink_ = &sink;
    HWND ownerWindow = WindowOf(owner);
    if (!ownerWindow) ownerWindow = MainWindow();
    if (!ownerWindow) return;
    std::vector<MenuItem*> items;
    HMENU popup = CreatePopupMenu();
    FillMenu(popup, menu, items);
    if (GetMenuItemCount(popup) <= 0) {
        DestroyMenu(popup);
        return;
    }
    // The menu closes when the user clicks elsewhere only while its owner
    // is the foreground window.
    SetForegroundWindow(ownerWindow);
    openMenu_ = popup;
    const UINT picked = UINT(TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN,
                                            x, y, 0, ownerWindow, nullptr));
    openMenu_ = nullptr;
    PostMessageW(ownerWindow, WM_NULL, 0, 0);
    DestroyMenu(popup);
    if (picked == 0 || picked > items.size()) return;
    MenuItem* item = items[picked - 1];
    Deliver([item] { item->Click(); });
}

// While a box is open the program's other windows take no input, as under
// a modal form; its own loop keeps the timers ticking.
int Win32Ui::MessageBox(Form* owner, const std::string& text, const std::string& caption, uint32_t flags,
                        MessageSink& sink) {
    sink_ = &sink;
    HWND ownerWindow = owner ? WindowOf(*owner) : nullptr;
    if (!ownerWindow) ownerWindow = MainWindow();
    const int marker = 0;
    DisableOthers(&marker, ownerWindow);
    // The box wraps its text at blanks only: a long path gets line breaks
    // so that it wraps instead of running off the box's edge.
    const std::wstring shown = Widen(AllowLineBreaks(text, kUnbrokenRun, "\n"));
    const int answer = ::MessageBoxW(ownerWindow, shown.c_str(), Widen(caption).c_str(), UINT(flags));
    EnableOthers(&marker);
    if ((flags & 0x0Fu) == kMbYesNo) return answer == IDYES ? kIdYes : kIdNo;
    return kIdOk;
}

std::optional<std::string> Win32Ui::OpenPicture(Form* owner, const std::string& filter,
                                                PictureDecoder& previews) {
    return RunOpenPictureDialog(owner ? WindowOf(*owner) : MainWindow(), OpenFileFilter(filter), previews);
}

// The classic browser, starting at the desktop, only file-system folders.
std::optional<std::string> Win32Ui::BrowseFolder(Form* owner, const std::string& title,
                                                 const std::string& initialFolder) {
    const std::wstring heading = Widen(title);
    const std::wstring initial = Widen(initialFolder);
    BROWSEINFOW info{};
    info.hwndOwner = owner ? WindowOf(*owner) : MainWindow();
    info.pidlRoot = nullptr;
    info.pszDisplayName = nullptr;
    info.lpszTitle = heading.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(initial.c_str());
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen) return std::nullopt;
    wchar_t path[MAX_PATH] = {};
    const bool named = SHGetPathFromIDListW(chosen, path) != FALSE;
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
        allocator->Free(chosen);
        allocator->Release();
    }
    if (!named) return std::nullopt;
    return Narrow(path, wcslen(path));
}

// The address is handed to the shell as it is; what the shell makes of it
// is not looked at.
void Win32Ui::OpenUrl(Form* owner, const std::string& url) {
    HWND ownerWindow = owner ? WindowOf(*owner) : MainWindow();
    ShellExecuteW(ownerWindow, L"open", Widen(url).c_str(), L"", L"", SW_SHOW);
}

}  // namespace duskpane

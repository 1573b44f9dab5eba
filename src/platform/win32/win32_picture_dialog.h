// The open-picture dialog on Win32: the system's open-file dialog with a
// preview pane beside its list, from a child dialog template and a hook.
#pragma once

// The child template's numbers, shared with the resource file.
#define IDD_PICTURE_PREVIEW 200
#define IDC_PREVIEW_PICTURE 1200
#define IDC_PREVIEW_CAPTION 1201

#ifndef RC_INVOKED
#include <windows.h>

#include <optional>
#include <string>

namespace duskpane {

class PictureDecoder;

// Runs the dialog with the filter list ("caption\0patterns\0...\0\0"); the
// chosen file (UTF-8), or nothing when the user cancels. The module holds
// the child template; the pane previews the selected file through the
// decoder on a thread of its own.
std::optional<std::string> RunOpenPictureDialog(HWND owner, const std::wstring& filters,
                                                PictureDecoder& previews);

}  // namespace duskpane
#endif

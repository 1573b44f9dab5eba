// The program's entry on Windows: COM and the common controls, the Win32
// services composed into one platform, then the program's five windows and
// its loop.
#include <windows.h>
#undef MessageBox

#include <commctrl.h>
#include <objbase.h>

#include <exception>

#include "app/forms.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_pictures.h"
#include "platform/win32/win32_settings_store.h"
#include "platform/win32/win32_sound.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_time.h"
#include "platform/win32/win32_ui.h"

namespace {

int RunProgram() {
    duskpane::Win32Ui ui;
    duskpane::Win32TimeService time;
    duskpane::Win32FileSystem files;
    duskpane::Win32SettingsStore settings;
    duskpane::Win32PictureDecoder pictures;
    duskpane::Win32BlendLibrary blend;
    duskpane::Win32CaptureService capture;
    duskpane::Win32AudioSystem audio;
    duskpane::Platform platform{time, files, settings, pictures, blend, capture, audio, ui, ui};
    try {
        duskpane::Program program(platform);
        return program.Run();
    } catch (const std::exception& error) {
        // What escapes the program's own error handling is shown all the
        // same; the program still ends normally.
        MessageBoxW(nullptr, duskpane::Widen(error.what()).c_str(), L"Duskpane", MB_OK | MB_ICONERROR);
    }
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The GUI thread is a single-threaded apartment, as the endpoint volume
    // back end and the shell's dialogs expect.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
    const int exitCode = RunProgram();
    if (SUCCEEDED(com)) CoUninitialize();
    return exitCode;
}

// The program's entry on Linux: Qt on X11 and the Linux services composed
// into one platform, then the program's five windows and its loop.
#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>

#include "app/forms.h"
#include "platform/linux/linux_blend.h"
#include "platform/linux/linux_display.h"
#include "platform/linux/linux_files.h"
#include "platform/linux/linux_pictures.h"
#include "platform/linux/linux_settings_store.h"
#include "platform/linux/linux_sound.h"
#include "platform/linux/linux_time.h"
#include "platform/linux/qt_ui.h"

int main(int argc, char** argv) {
    // Screen-sized pictures (8 MB at 1920 x 1080) are made and freed at every
    // wallpaper change and every full repaint. Taken from the heap and kept
    // there for the next one, instead of mapped afresh from the system each
    // time, they cost no page faults: the same peak memory at half the CPU
    // of a slideshow. Larger blocks (a camera photo) still go back at once.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
    // The screen layers need X11's stacking order, input shapes and window
    // properties, which a Wayland session gives through XWayland.
    const char* requestedPlatform = std::getenv("QT_QPA_PLATFORM");
    const std::optional<std::string> userPlatform =
        requestedPlatform ? std::optional<std::string>(requestedPlatform) : std::nullopt;
    const duskpane::QtPlatformChoice platformChoice = duskpane::ChooseQtPlatform(requestedPlatform);
    if (!platformChoice.notice.empty()) std::fprintf(stderr, "%s\n", platformChoice.notice.c_str());
    qputenv("QT_QPA_PLATFORM", platformChoice.platform.c_str());
    // Qt ends the process with a core dump on a display it cannot open.
    if (const std::optional<std::string> failure = duskpane::CheckDisplay()) {
        std::fprintf(stderr, "%s\n", failure->c_str());
        return 1;
    }
    QApplication application(argc, argv);
    // Programs started from here (the browser the About box opens) get the
    // user's own setting back.
    if (userPlatform)
        qputenv("QT_QPA_PLATFORM", userPlatform->c_str());
    else
        qunsetenv("QT_QPA_PLATFORM");
    QApplication::setApplicationName(QStringLiteral("Duskpane"));
    QGuiApplication::setDesktopFileName(QStringLiteral("duskpane"));
    QApplication::setWindowIcon(duskpane::ProgramIcon());
    // The program speaks Japanese; Qt's own dialogs (files, folders) follow.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    duskpane::QtUi ui;
    ui.InstallEndHandlers();
    duskpane::LinuxTimeService time;
    duskpane::LinuxFileSystem files;
    duskpane::LinuxSettingsStore settings;
    duskpane::LinuxPictureDecoder pictures;
    duskpane::LinuxBlendLibrary blend;
    duskpane::LinuxCaptureService capture(ui);
    duskpane::LinuxAudioSystem audio;
    duskpane::Platform platform{time, files, settings, pictures, blend, capture, audio, ui, ui};
    int exitCode = 0;
    try {
        duskpane::Program program(platform);
        exitCode = program.Run();
    } catch (const std::exception& error) {
        // What escapes the program's own error handling is shown all the
        // same; the program still ends normally.
        QMessageBox::critical(nullptr, QStringLiteral("Duskpane"), QString::fromStdString(error.what()));
    }
    return exitCode;
}

// How the system asks the program to end: the signals of a terminal or a
// service manager, the end of the desktop session and a quit of the
// application all close the main window as Escape does.
#include <QApplication>
#include <QDialog>
#include <QSessionManager>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <iterator>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/linux/qt_ui.h"
#include "ui/application.h"
#include "ui/form.h"

namespace duskpane {

namespace {

constexpr int kEndSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The self-pipe: the signal handler only writes a byte, the event loop
// reads it and does the work.
int endPipe[2] = {-1, -1};
struct sigaction previousActions[std::size(kEndSignals)];

extern "C" void OnEndSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(endPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

void QtUi::InstallEndHandlers() {
    if (endHandlersInstalled_) return;
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, endPipe) != 0) {
        endPipe[0] = endPipe[1] = -1;
    } else {
        // A signal storm must never block the handler; the bytes only count
        // as "asked at least once".
        fcntl(endPipe[1], F_SETFL, fcntl(endPipe[1], F_GETFL) | O_NONBLOCK);
        fcntl(endPipe[0], F_SETFL, fcntl(endPipe[0], F_GETFL) | O_NONBLOCK);
        endNotifier_ = new QSocketNotifier(endPipe[0], QSocketNotifier::Read, this);
        connect(endNotifier_, &QSocketNotifier::activated, this, [this] {
            char bytes[64];
            while (read(endPipe[0], bytes, sizeof bytes) > 0) {
            }
            RequestEnd();
        });
        for (size_t i = 0; i < std::size(kEndSignals); ++i) {
            struct sigaction action {};
            action.sa_handler = OnEndSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESTART;
            sigaction(kEndSignals[i], &action, &previousActions[i]);
        }
    }
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { RequestEnd(); });
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { RequestEnd(); });
    endHandlersInstalled_ = true;
}

void QtUi::RemoveEndHandlers() {
    if (!endHandlersInstalled_) return;
    endHandlersInstalled_ = false;
    disconnect(qApp, &QGuiApplication::commitDataRequest, this, nullptr);
    disconnect(qApp, &QCoreApplication::aboutToQuit, this, nullptr);
    if (endPipe[0] < 0) return;
    for (size_t i = 0; i < std::size(kEndSignals); ++i) sigaction(kEndSignals[i], &previousActions[i], nullptr);
    delete endNotifier_;
    endNotifier_ = nullptr;
    close(endPipe[0]);
    close(endPipe[1]);
    endPipe[0] = endPipe[1] = -1;
}

void QtUi::RequestEnd() {
    if (!app_ || app_->Terminated()) return;
    Application* app = app_;
    Deliver([app] {
        if (Form* main = app->MainForm()) main->Close();
    });
    if (app_->Terminated()) CloseNativeModals();
}

// A native menu or dialog runs its own loop, which would keep the program
// waiting for the user after it has ended. The kit's own dialogs end with
// the program by themselves.
void QtUi::CloseNativeModals() {
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isVisible()) dialog->reject();
}

}  // namespace duskpane

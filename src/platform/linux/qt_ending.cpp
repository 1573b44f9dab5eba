// How the system asks the program to end: the signals of a terminal or a
// service manager, the end of the desktop session and a quit of the
// application close the open dialogs as Cancel would and then the main
// window as Escape does; the process is gone within five seconds, with exit
// code 1 when the settings could not be saved.
#include <QApplication>
#include <QDialog>
#include <QSessionManager>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <iterator>
#include <thread>
#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/qt_ui.h"
#include "ui/application.h"
#include "ui/form.h"

namespace duskpane {

namespace {

constexpr int kEndSignals[] = {SIGTERM, SIGINT, SIGHUP};
// An ended program is gone within this time, even when its close hangs.
constexpr auto kEndDeadline = std::chrono::milliseconds(4500);

// The self-pipe: the signal handler only writes a byte, the event loop
// reads it and does the work. The watchdog has a pipe of its own, so that
// it runs even when the event loop is stuck.
int endPipe[2] = {-1, -1};
int watchdogPipe[2] = {-1, -1};
volatile sig_atomic_t endSignalled = 0;
struct sigaction previousActions[std::size(kEndSignals)];

extern "C" void OnEndSignal(int) {
    const int saved = errno;
    const char byte = 1;
    endSignalled = 1;
    [[maybe_unused]] ssize_t written = write(endPipe[1], &byte, 1);
    written = write(watchdogPipe[1], &byte, 1);
    errno = saved;
}

// Waits for the first end signal; when the program has not ended within
// the deadline after it, ends the process with exit code 1. Closing the
// pipe's writing end (the backend going away) stops it.
void Watchdog(int readEnd, std::atomic<bool>* finished) {
    char byte = 0;
    ssize_t got = 0;
    do got = read(readEnd, &byte, 1);
    while (got < 0 && errno == EINTR);
    if (got <= 0) return;
    const auto deadline = std::chrono::steady_clock::now() + kEndDeadline;
    while (std::chrono::steady_clock::now() < deadline) {
        if (finished->load()) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (finished->load()) return;
    static const char message[] = "duskpane: the program did not end in time after the signal; ending it now\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, message, sizeof message - 1);
    _exit(1);
}

bool MakePipe(int ends[2]) {
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        ends[0] = ends[1] = -1;
        return false;
    }
    return true;
}

void ClosePipe(int ends[2]) {
    for (int i : {0, 1})
        if (ends[i] >= 0) close(ends[i]);
    ends[0] = ends[1] = -1;
}

}  // namespace

void QtUi::InstallEndHandlers() {
    if (endHandlersInstalled_) return;
    // A signal storm must never block the handler; the bytes only count as
    // "asked at least once".
    if (MakePipe(endPipe) && MakePipe(watchdogPipe)) {
        // The watchdog blocks on its pipe.
        fcntl(watchdogPipe[0], F_SETFL, fcntl(watchdogPipe[0], F_GETFL) & ~O_NONBLOCK);
        watchdogFinished_ = std::make_unique<std::atomic<bool>>(false);
        watchdog_ = std::thread(Watchdog, watchdogPipe[0], watchdogFinished_.get());
        endNotifier_ = new QSocketNotifier(endPipe[0], QSocketNotifier::Read, this);
        connect(endNotifier_, &QSocketNotifier::activated, this, [this] {
            char bytes[64];
            while (read(endPipe[0], bytes, sizeof bytes) > 0) {
            }
            RequestEnd(true);
        });
        for (size_t i = 0; i < std::size(kEndSignals); ++i) {
            struct sigaction action {};
            action.sa_handler = OnEndSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESTART;
            sigaction(kEndSignals[i], &action, &previousActions[i]);
        }
    } else {
        ClosePipe(endPipe);
    }
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { RequestEnd(true); });
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { RequestEnd(true); });
    endHandlersInstalled_ = true;
}

void QtUi::RemoveEndHandlers() {
    if (!endHandlersInstalled_) return;
    endHandlersInstalled_ = false;
    disconnect(qApp, &QGuiApplication::commitDataRequest, this, nullptr);
    disconnect(qApp, &QCoreApplication::aboutToQuit, this, nullptr);
    if (endPipe[0] < 0) return;
    // Once the program is ending on a signal, more of them (a burst from a
    // service manager) are ignored rather than let kill it mid-exit.
    for (size_t i = 0; i < std::size(kEndSignals); ++i) {
        if (endSignalled) {
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            sigemptyset(&ignore.sa_mask);
            sigaction(kEndSignals[i], &ignore, nullptr);
        } else {
            sigaction(kEndSignals[i], &previousActions[i], nullptr);
        }
    }
    delete endNotifier_;
    endNotifier_ = nullptr;
    watchdogFinished_->store(true);
    // Its pipe closed, the watchdog stops waiting for a signal.
    close(watchdogPipe[1]);
    watchdogPipe[1] = -1;
    watchdog_.join();
    ClosePipe(watchdogPipe);
    ClosePipe(endPipe);
}

void QtUi::RequestEnd(bool forced) {
    if (!app_ || app_->Terminated()) return;
    Application* app = app_;
    app->RequestEnd(forced);
    if (app->Terminated()) CloseNativeModals();
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

// Forms and helpers for the Qt backend's tests: a colour-keyed screen layer
// as the main form and a dialog with one control of each kind.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <functional>
#include <string>
#include <vector>

#include "../peer_test_forms.h"
#include "platform/linux/qt_ui.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/menu.h"

namespace duskpane {

using peer_test::SampleForm;
using peer_test::ScreenForm;

// Runs an action once the next modal window (a dialog, a message box, a
// menu; the expected one when given) is up, while it runs its own loop.
inline void WhenModal(std::function<void(QWidget*)> action, QWidget* expected = nullptr) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action, expected] {
        QWidget* modal = QApplication::activePopupWidget();
        if (!modal) modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || (expected && modal != expected)) return;
        poll->stop();
        poll->deleteLater();
        action(modal);
    });
    poll->start();
}

// A pixel of a window as it paints itself, alpha included and premultiplied,
// as a compositing manager takes it.
inline QRgb PaintedPixel(QWidget* window, int x, int y) {
    const QImage image = window->grab(QRect(x, y, 1, 1)).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return reinterpret_cast<const QRgb*>(image.constScanLine(0))[0];
}

class QtUiTest : public ::testing::Test {
protected:
    QtUiTest() : app(ui, ui) {
        app.Title = "Duskpane";
        app.CreateForm(screen);
        app.CreateForm(dialog);
    }

    template <class W = QWidget>
    W* Widget(const Control& control) {
        return qobject_cast<W*>(ui.WidgetOf(control));
    }
    QWindow* WindowOf(const Form& form) { return ui.WidgetOf(form)->windowHandle(); }

    // Lets the queued work (deferred shows, repaints) run.
    static void Settle(int rounds = 5) {
        for (int i = 0; i < rounds; ++i) QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Shows a form and waits for its window.
    void ShowForm(Form& form) {
        form.Show();
        Settle();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(ui.WidgetOf(form)));
    }
    // A click at the middle of a control's widget, sent to its window as the
    // window system sends it.
    void ClickOn(const Control& control) {
        QWidget* widget = ui.WidgetOf(control);
        QWidget* top = widget->window();
        QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, widget->mapTo(top, widget->rect().center()));
        Settle();
    }
    void Type(const Form& form, const std::string& keys) {
        for (char key : keys) QTest::keyClick(WindowOf(form), key);
        Settle();
    }
    QtUi ui;
    Application app;
    ScreenForm* screen = nullptr;
    SampleForm* dialog = nullptr;
};

}  // namespace duskpane

// The Qt backend's test helpers: a probe of its widgets, the forms of the
// peer tests, and a fixture with a colour-keyed main form and a dialog.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "../peer_test_forms.h"
#include "platform/linux/qt_peers.h"
#include "platform/linux/qt_ui.h"
#include "ui/peer_rules.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/menu.h"

namespace duskpane {

using peer_test::SampleForm;
using peer_test::ScreenForm;

// Runs an action once the next modal window (a dialog, a message box, a
// menu; the expected one when given, asked for as it may not exist yet) is
// up, while it runs its own loop.
inline void WhenModal(std::function<void(QWidget*)> action, std::function<QWidget*()> expected = {}) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action, expected] {
        QWidget* modal = QApplication::activePopupWidget();
        if (!modal) modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || (expected && modal != expected())) return;
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

// The Qt backend with its application, read and driven as the peer tests
// and the user do.
class QtProbe {
public:
    static constexpr bool kMeasuresText = true;
    static bool Available() { return true; }
    QtProbe() : app_(ui_, ui_) {}

    QtUi& Ui() { return ui_; }
    Application& App() { return app_; }
    // Lets the queued work (deferred shows, repaints) run.
    static void Settle(int rounds = 5) {
        for (int i = 0; i < rounds; ++i) QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Shows a form and waits for its window.
    void Show(Form& form) {
        form.Show();
        Settle();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(ui_.WidgetOf(form)));
    }
    bool Shown(const Control& control) { return ui_.WidgetOf(control)->isVisible(); }
    bool Enabled(const Control& control) { return ui_.WidgetOf(control)->isEnabled(); }
    std::string Text(const Control& control) {
        QWidget* widget = ui_.WidgetOf(control);
        if (widget->isWindow()) return widget->windowTitle().toStdString();
        for (const char* property : {"text", "title"})
            if (QVariant text = widget->property(property); text.isValid()) return text.toString().toStdString();
        return {};
    }
    Rect Frame(const Control& control) {
        QWidget* widget = ui_.WidgetOf(control);
        const QPoint at = widget->isWindow() ? widget->frameGeometry().topLeft() : widget->pos();
        return Rect{at.x(), at.y(), at.x() + widget->width(), at.y() + widget->height()};
    }
    bool Checked(const RadioButton& radio) { return Widget<QRadioButton>(radio)->isChecked(); }
    int Position(const TrackBar& track) { return Widget<QSlider>(track)->value(); }
    bool ReadOnly(const Edit& edit) { return Widget<QLineEdit>(edit)->isReadOnly(); }
    bool IsDefault(const Button& button) { return Widget<QPushButton>(button)->isDefault(); }
    bool Underlined(const Control& control) { return ui_.WidgetOf(control)->font().underline(); }
    // The colour-keyed window shows only the pixels inside its shape, and
    // those opaque (a pixel partly see-through keeps its alpha byte).
    std::optional<Pixel> Shows(const Control& control, int x, int y) {
        QWidget* widget = ui_.WidgetOf(control);
        if (widget->isWindow() && !widget->mask().isEmpty() && !widget->mask().contains(QPoint(x, y)))
            return std::nullopt;
        const QRgb painted = PaintedPixel(widget, x, y);
        if (qAlpha(painted) == 0) return std::nullopt;
        return qAlpha(painted) == 255 ? painted & 0xFFFFFFu : painted;
    }
    // The screen layers' pixels carry the alpha, from their next paint.
    int Alpha(const Form& form) {
        Settle();
        return qAlpha(PaintedPixel(ui_.WidgetOf(form), 0, 0));
    }
    bool OnTop(const Form& form) { return ui_.WidgetOf(form)->windowFlags() & Qt::WindowStaysOnTopHint; }
    Control* Focused() {
        QtControlPeer* peer = ui_.PeerAtWidget(QApplication::focusWidget());
        return peer ? &peer->GetControl() : nullptr;
    }
    // A click at the middle of a control's widget, sent to its window as the
    // window system sends it.
    void Click(const Control& control) {
        QWidget* widget = ui_.WidgetOf(control);
        QWidget* top = widget->window();
        QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, widget->mapTo(top, widget->rect().center()));
        Settle();
    }
    void Press(const Control& target, int key) {
        static const std::pair<int, Qt::Key> named[] = {
            {kKeyBackspace, Qt::Key_Backspace}, {kKeyTab, Qt::Key_Tab},   {kKeyEnter, Qt::Key_Return},
            {kKeyEscape, Qt::Key_Escape},       {peer_test::kKeyEnd, Qt::Key_End},
            {peer_test::kKeyHome, Qt::Key_Home}, {peer_test::kKeyLeft, Qt::Key_Left},
            {peer_test::kKeyRight, Qt::Key_Right}};
        Qt::Key qtKey = Qt::Key(key);
        for (const auto& [code, name] : named)
            if (code == key) qtKey = name;
        QTest::keyClick(ui_.WidgetOf(target)->window()->windowHandle(), qtKey);
        Settle();
    }

    template <class W = QWidget>
    W* Widget(const Control& control) {
        return qobject_cast<W*>(ui_.WidgetOf(control));
    }

private:
    QtUi ui_;
    Application app_;
};

class QtUiTest : public ::testing::Test, public QtProbe {
protected:
    QtUiTest() {
        app.Title = "Duskpane";
        app.CreateForm(screen);
        app.CreateForm(dialog);
    }
    QWindow* WindowOf(const Form& form) { return ui.WidgetOf(form)->windowHandle(); }

    QtUi& ui = Ui();
    Application& app = App();
    ScreenForm* screen = nullptr;
    SampleForm* dialog = nullptr;
};

}  // namespace duskpane

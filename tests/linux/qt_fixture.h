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

#include "platform/linux/qt_ui.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/menu.h"

namespace duskpane {

class ScreenForm : public Form {
public:
    explicit ScreenForm(Application& app) : Form(app, "ScreenForm") {
        Border = BorderStyle::None;
        Style = FormStyle::StayOnTop;
        KeyPreview = true;
        SetBounds(0, 0, 320, 200);
        SetColour(kBlack);
        mark.SetBounds(10, 20, 4, 3);
        mark.Transparent = true;
        OnCreate = [this](Control&) { SetColourKeyBlack(true); };
        OnKeyDown = [this](Control&, int& key, unsigned) {
            if (key == kKeyEscape) Close();
        };
        OnClose = [this](Control&, CloseAction&) { ++closes; };
    }
    Image mark{this, "mark"};
    int closes = 0;
};

class SampleForm : public Form {
public:
    explicit SampleForm(Application& app) : Form(app, "SampleForm") {
        SetCaption("試験の窓");
        SetBounds(40, 30, 300, 220);
        FontName = "ＭＳ Ｐゴシック";
        KeyPreview = true;
        panel.SetBounds(8, 4, 284, 150);
        panel.SetTabOrder(0);
        label.SetBounds(8, 8, 0, 0);
        label.SetCaption("透明度(0～255)");
        link.SetBounds(8, 24, 0, 0);
        link.SetCaption("https://duskpane.example.org/");
        link.SetFont(MakeRgb(0, 0, 255), true);
        link.SetHandCursor(true);
        link.SetHint("クリックすると開きます");
        edit.SetBounds(8, 44, 49, 20);
        edit.SetMaxLength(3);
        edit.SetTabOrder(0);
        other.SetBounds(64, 44, 49, 20);
        other.SetTabOrder(1);
        yes.SetBounds(120, 44, 65, 17);
        yes.SetCaption("する");
        yes.SetTabOrder(2);
        no.SetBounds(120, 62, 65, 17);
        no.SetCaption("しない");
        no.SetTabOrder(3);
        track.SetBounds(4, 84, 165, 25);
        track.SetRange(0, 255);
        track.SetPosition(255);
        track.SetTabOrder(4);
        picture.SetBounds(200, 84, 8, 8);
        picture.Stretch = true;
        group.SetBounds(8, 158, 180, 56);
        group.SetCaption("画像ファイルの指定");
        ok.SetBounds(200, 160, 75, 25);
        ok.SetCaption("OK");
        ok.Default = true;
        ok.ModalResult = kMrOk;
        ok.SetTabOrder(1);
        cancel.SetBounds(200, 190, 75, 25);
        cancel.SetCaption("ｷｬﾝｾﾙ");
        cancel.Cancel = true;
        cancel.ModalResult = kMrCancel;
        cancel.SetTabOrder(2);
    }
    Panel panel{this, "panel"};
    Label label{&panel, "label"};
    Label link{&panel, "link"};
    Edit edit{&panel, "edit"};
    Edit other{&panel, "other"};
    RadioButton yes{&panel, "yes"};
    RadioButton no{&panel, "no"};
    TrackBar track{&panel, "track"};
    Image picture{&panel, "picture"};
    GroupBox group{this, "group"};
    Button ok{this, "ok"};
    Button cancel{this, "cancel"};
};

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

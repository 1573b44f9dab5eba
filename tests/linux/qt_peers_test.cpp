// The Qt peers on the offscreen platform: the shared peer scenarios through
// a probe of the widgets, and what only the Qt widgets show.
#include <QFontInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "../peer_scenarios.h"
#include "platform/linux/qt_peers.h"
#include "qt_fixture.h"

namespace duskpane::peer_test {
namespace {

class QtProbe {
public:
    static constexpr bool kMeasuresText = true;
    static bool Available() { return true; }
    QtProbe() : app_(ui_, ui_) {}

    Application& App() { return app_; }
    void Settle() { QtUiTest::Settle(); }
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
    // The colour-keyed window shows only the pixels inside its shape.
    std::optional<Pixel> Shows(const Control& control, int x, int y) {
        QWidget* widget = ui_.WidgetOf(control);
        if (widget->isWindow() && !widget->mask().isEmpty() && !widget->mask().contains(QPoint(x, y)))
            return std::nullopt;
        return widget->grab().toImage().pixel(x, y) & 0xFFFFFFu;
    }
    int Alpha(const Form& form) { return int(ui_.WidgetOf(form)->windowOpacity() * 255 + 0.5); }
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
            {kKeyEscape, Qt::Key_Escape},       {kKeyEnd, Qt::Key_End},
            {kKeyHome, Qt::Key_Home}, {kKeyLeft, Qt::Key_Left},
            {kKeyRight, Qt::Key_Right}};
        Qt::Key qtKey = Qt::Key(key);
        for (const auto& [code, name] : named)
            if (code == key) qtKey = name;
        QTest::keyClick(ui_.WidgetOf(target)->window()->windowHandle(), qtKey);
        Settle();
    }

private:
    template <class W>
    W* Widget(const Control& control) {
        return qobject_cast<W*>(ui_.WidgetOf(control));
    }
    QtUi ui_;
    Application app_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Qt, PeerScenarios, QtProbe);

TEST_F(QtUiTest, WidgetsShowWhatOnlyQtShows) {
    dialog->ok.Glyph = Bitmap32(22, 20, MakeRgb(240, 240, 240));
    ShowForm(*dialog);
    QWidget* window = ui.WidgetOf(*dialog);
    EXPECT_EQ(QFontInfo(window->font()).family(), QStringLiteral("IPAPGothic"));
    EXPECT_EQ(window->font().pixelSize(), 12);
    EXPECT_EQ(ui.WidgetOf(dialog->label)->parentWidget(), ui.WidgetOf(dialog->panel));
    QWidget* link = ui.WidgetOf(dialog->link);
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(link->toolTip(), QStringLiteral("クリックすると開きます"));
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(Widget<QSlider>(dialog->track)->tickPosition(), QSlider::NoTicks);
    EXPECT_FALSE(Widget<QPushButton>(dialog->ok)->icon().isNull());
    DimmerForm* dimmer = nullptr;
    app.CreateForm(dimmer);
    EXPECT_TRUE(ui.WidgetOf(*dimmer)->windowFlags() & Qt::WindowDoesNotAcceptFocus) << "the dimming layer";
}

// The shape is set only when a pixel turns black or not black, as setting
// it is costly and makes the compositor repaint.
TEST_F(QtUiTest, TheColourKeyedShapeIsSetOnlyWhenItChanges) {
    Bitmap32 mark(4, 3, kBlack);
    mark.Set(1, 1, MakeRgb(200, 30, 30));
    screen->mark.SetPicture(mark);
    ShowForm(*screen);
    EXPECT_TRUE(ui.WidgetOf(*screen)->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(ui.WidgetOf(screen->mark), nullptr) << "the form paints its controls itself";
    const int updates = ui.ShapeUpdates(*screen);
    EXPECT_GE(updates, 1);
    mark.Set(1, 1, MakeRgb(30, 200, 30));
    screen->mark.SetPicture(mark);
    Settle();
    EXPECT_EQ(ui.ShapeUpdates(*screen), updates) << "a new colour in the same places";
    screen->mark.SetBounds(100, 50, 4, 3);
    Settle();
    EXPECT_EQ(ui.ShapeUpdates(*screen), updates + 1);
}

}  // namespace
}  // namespace duskpane::peer_test

// The Qt peers on the offscreen platform: the shared peer scenarios through
// a probe of the widgets, and what only the Qt widgets show.
#include <QFontInfo>
#include <QPushButton>
#include <QSlider>

#include "../peer_scenarios.h"
#include "qt_fixture.h"

namespace duskpane::peer_test {
namespace {

INSTANTIATE_TYPED_TEST_SUITE_P(Qt, PeerScenarios, QtProbe);

TEST_F(QtUiTest, WidgetsShowWhatOnlyQtShows) {
    dialog->ok.Glyph = Bitmap32(22, 20, MakeRgb(240, 240, 240));
    Show(*dialog);
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
    Show(*screen);
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

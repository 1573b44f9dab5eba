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
    QWidget* window = ui.WidgetOf(*screen);
    EXPECT_EQ(PaintedPixel(window, 10, 20), 0u) << "the colour key is fully transparent";
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

// The dimming layer's pixels carry its constant alpha, premultiplied and
// rounded as a compositor's 8-bit blend of the colour at that alpha.
TEST_F(QtUiTest, TheDimmingLayerCarriesItsConstantAlphaInItsPixels) {
    DimmerForm* dimmer = nullptr;
    app.CreateForm(dimmer);
    dimmer->SetColour(MakeRgb(200, 100, 50));
    Show(*dimmer);
    QWidget* window = ui.WidgetOf(*dimmer);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowDoesNotAcceptFocus) << "Escape may reach it";
    EXPECT_TRUE(window->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_EQ(window->windowOpacity(), 1.0) << "the pixels carry the alpha, not the window";
    // 200 x 200 / 255 = 156.9, 100 x 200 / 255 = 78.4.
    const std::tuple<int, int, int, QRgb> painted[] = {
        {200, 50, 50, qRgba(157, 78, 39, 200)}, {55, 319, 199, qRgba(43, 22, 11, 55)}, {255, 0, 0, qRgba(200, 100, 50, 255)}};
    for (const auto& [alpha, x, y, pixel] : painted) {
        dimmer->SetAlphaBlendValue(alpha);
        Settle();
        EXPECT_EQ(PaintedPixel(window, x, y), pixel) << alpha;
    }
}

}  // namespace
}  // namespace duskpane::peer_test

// The Qt peers on the offscreen platform: what the widgets show, and what
// typing, clicking and sliding report to the kit.
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "qt_fixture.h"

namespace duskpane {
namespace {

TEST_F(QtUiTest, WidgetsShowTheStateOfTheirControls) {
    Bitmap32 dots(2, 2, MakeRgb(255, 0, 0));
    dots.Set(1, 1, MakeRgb(0, 0, 255));
    dialog->picture.SetPicture(dots);
    dialog->yes.SetChecked(true);
    dialog->other.SetText("既定");
    dialog->other.SetReadOnly(true);
    dialog->ok.Glyph = Bitmap32(22, 20, MakeRgb(240, 240, 240));
    dialog->ok.SetCaption("OK!");
    ShowForm(*dialog);

    QWidget* window = ui.WidgetOf(*dialog);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("試験の窓"));
    EXPECT_EQ(window->size(), QSize(300, 220));
    EXPECT_EQ(window->pos(), QPoint(40, 30));
    EXPECT_EQ(QFontInfo(window->font()).family(), QStringLiteral("IPAPGothic"));
    EXPECT_EQ(window->font().pixelSize(), 12);

    auto* label = Widget<QLabel>(dialog->label);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("透明度(0～255)"));
    EXPECT_EQ(label->pos(), QPoint(8, 8));
    EXPECT_GT(label->width(), 40) << "a label without a width fits its text";
    EXPECT_EQ(label->parentWidget(), ui.WidgetOf(dialog->panel));

    auto* link = Widget<QLabel>(dialog->link);
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(link->toolTip(), QStringLiteral("クリックすると開きます"));
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));

    auto* edit = Widget<QLineEdit>(dialog->edit);
    EXPECT_EQ(edit->maxLength(), 3);
    EXPECT_EQ(edit->geometry(), QRect(8, 44, 49, 20));
    auto* other = Widget<QLineEdit>(dialog->other);
    EXPECT_EQ(other->text(), QStringLiteral("既定"));
    EXPECT_TRUE(other->isReadOnly());

    EXPECT_TRUE(Widget<QRadioButton>(dialog->yes)->isChecked());
    EXPECT_FALSE(Widget<QRadioButton>(dialog->no)->isChecked());
    auto* slider = Widget<QSlider>(dialog->track);
    EXPECT_EQ(slider->orientation(), Qt::Horizontal);
    EXPECT_EQ(slider->maximum(), 255);
    EXPECT_EQ(slider->value(), 255);
    EXPECT_EQ(slider->tickPosition(), QSlider::NoTicks);
    EXPECT_EQ(Widget<QGroupBox>(dialog->group)->title(), QStringLiteral("画像ファイルの指定"));
    auto* ok = Widget<QPushButton>(dialog->ok);
    EXPECT_EQ(ok->text(), QStringLiteral("OK!"));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_FALSE(ok->icon().isNull());

    // The stretched picture: each source pixel covers a 4 x 4 block.
    const QImage shown = ui.WidgetOf(dialog->picture)->grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(1, 1)), QColor(255, 0, 0));
    EXPECT_EQ(QColor(shown.pixel(6, 6)), QColor(0, 0, 255));

    // Changes from code reach the widgets.
    dialog->no.SetChecked(true);
    dialog->edit.SetText("42");
    dialog->track.SetPosition(7);
    dialog->label.SetCaption("a much longer caption than before");
    dialog->other.SetEnabled(false);
    dialog->link.SetVisible(false);
    EXPECT_FALSE(Widget<QRadioButton>(dialog->yes)->isChecked());
    EXPECT_TRUE(Widget<QRadioButton>(dialog->no)->isChecked());
    EXPECT_EQ(edit->text(), QStringLiteral("42"));
    EXPECT_EQ(slider->value(), 7);
    EXPECT_GT(label->width(), 120);
    EXPECT_FALSE(other->isEnabled());
    EXPECT_FALSE(link->isVisible());
    dialog->Hide();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(QtUiTest, TypedCharactersGoThroughTheKeyHandlers) {
    std::vector<int> keysDown;
    int changes = 0;
    dialog->OnKeyDown = [&](Control&, int& key, unsigned) { keysDown.push_back(key); };
    dialog->edit.OnChange = [&](Control&) { ++changes; };
    // Digits only, and x is typed as a 7.
    dialog->edit.OnKeyPress = [](Control&, char32_t& key) {
        if (key == U'x')
            key = U'7';
        else if (key >= 32 && key < 127 && !(key >= U'0' && key <= U'9'))
            key = 0;
    };
    ShowForm(*dialog);
    ClickOn(dialog->edit);
    ASSERT_EQ(dialog->ActiveControl(), &dialog->edit);

    Type(*dialog, "1a2");
    EXPECT_EQ(dialog->edit.Text(), "12");
    EXPECT_EQ(Widget<QLineEdit>(dialog->edit)->text(), QStringLiteral("12"));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(keysDown, (std::vector<int>{'1', 'A', '2'})) << "the form sees every key first";

    Type(*dialog, "x45");
    EXPECT_EQ(dialog->edit.Text(), "127") << "the changed character is typed; the length stops at 3";
    QTest::keyClick(WindowOf(*dialog), Qt::Key_Backspace);
    Settle();
    EXPECT_EQ(dialog->edit.Text(), "12");
    EXPECT_EQ(keysDown.back(), kKeyBackspace);
}

TEST_F(QtUiTest, TheSliderMovesTheTrackBar) {
    std::vector<int> positions;
    dialog->track.OnChange = [&](Control&) { positions.push_back(dialog->track.Position()); };
    ShowForm(*dialog);
    ClickOn(dialog->track);
    EXPECT_EQ(dialog->ActiveControl(), &dialog->track);
    positions.clear();
    const int before = dialog->track.Position();
    QTest::keyClick(WindowOf(*dialog), Qt::Key_Left);
    Settle();
    EXPECT_EQ(dialog->track.Position(), before - 1);
    Widget<QSlider>(dialog->track)->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(dialog->track.Position(), 0);
    EXPECT_EQ(positions, (std::vector<int>{before - 1, 0}));

    // A position set by code shows without coming back as a user move.
    dialog->track.SetPosition(100);
    EXPECT_EQ(Widget<QSlider>(dialog->track)->value(), 100);
    EXPECT_EQ(positions.size(), 3u);
}

TEST_F(QtUiTest, RadioButtonsFollowTheKitsGroup) {
    int clicks = 0;
    dialog->yes.OnClick = [&](Control&) { ++clicks; };
    ShowForm(*dialog);
    ClickOn(dialog->yes);
    EXPECT_TRUE(dialog->yes.Checked());
    ClickOn(dialog->yes);
    EXPECT_TRUE(dialog->yes.Checked()) << "a click on the checked button leaves it checked";
    EXPECT_TRUE(Widget<QRadioButton>(dialog->yes)->isChecked());
    EXPECT_EQ(clicks, 1);
    ClickOn(dialog->no);
    EXPECT_FALSE(Widget<QRadioButton>(dialog->yes)->isChecked());
    EXPECT_TRUE(dialog->no.Checked());
}

TEST_F(QtUiTest, AFailedExitCheckKeepsTheFocusAndDropsTheClick) {
    int exits = 0, clicks = 0;
    dialog->edit.OnExit = [&](Control&) {
        ++exits;
        if (dialog->edit.Text() != "ok") dialog->edit.SetFocus();
    };
    dialog->cancel.OnClick = [&](Control&) { ++clicks; };
    ShowForm(*dialog);
    ClickOn(dialog->edit);
    ClickOn(dialog->cancel);
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(dialog->ActiveControl(), &dialog->edit);
    EXPECT_EQ(QApplication::focusWidget(), ui.WidgetOf(dialog->edit));

    dialog->edit.SetText("ok");
    ClickOn(dialog->cancel);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(dialog->ActiveControl(), &dialog->cancel);
}

TEST_F(QtUiTest, TabEnterAndEscapeAreTheKits) {
    int oks = 0, cancels = 0;
    dialog->ok.OnClick = [&](Control&) { ++oks; };
    dialog->cancel.OnClick = [&](Control&) { ++cancels; };
    for (Edit* box : {&dialog->edit, &dialog->other}) box->SetTabStop(true);
    ShowForm(*dialog);
    EXPECT_EQ(dialog->ActiveControl(), &dialog->edit) << "a dialog that shows focuses its first control";
    QTest::keyClick(WindowOf(*dialog), Qt::Key_Tab);
    Settle();
    EXPECT_EQ(dialog->ActiveControl(), &dialog->other);
    EXPECT_EQ(QApplication::focusWidget(), ui.WidgetOf(dialog->other));
    QTest::keyClick(WindowOf(*dialog), Qt::Key_Tab, Qt::ShiftModifier);
    Settle();
    EXPECT_EQ(dialog->ActiveControl(), &dialog->edit);
    QTest::keyClick(WindowOf(*dialog), Qt::Key_Return);
    Settle();
    EXPECT_EQ(oks, 1) << "Enter clicks the default button once";
    QTest::keyClick(WindowOf(*dialog), Qt::Key_Escape);
    Settle();
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(oks, 1);
}

TEST_F(QtUiTest, TheColourKeyedFormShowsOnlyItsNonBlackPixels) {
    Bitmap32 mark(4, 3, kBlack);
    mark.Set(1, 1, MakeRgb(200, 30, 30));
    mark.Set(2, 1, MakeRgb(16, 16, 16));
    screen->mark.SetPicture(mark);
    ShowForm(*screen);
    QWidget* window = ui.WidgetOf(*screen);
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(ui.WidgetOf(screen->mark), nullptr) << "the form paints its controls itself";
    EXPECT_EQ(window->mask(), QRegion(11, 21, 2, 1)) << "near-black grey shows, black does not";
    const QImage shown = window->grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(11, 21)), QColor(200, 30, 30));
    EXPECT_EQ(PaintedPixel(window, 10, 20), 0u) << "the colour key is fully transparent";
    EXPECT_EQ(PaintedPixel(window, 12, 21), qRgba(16, 16, 16, 255));
    const int updates = ui.ShapeUpdates(*screen);
    EXPECT_GE(updates, 1);

    // A new colour in the same places leaves the shape alone.
    mark.Set(1, 1, MakeRgb(30, 200, 30));
    screen->mark.SetPicture(mark);
    Settle();
    EXPECT_EQ(ui.ShapeUpdates(*screen), updates);
    EXPECT_EQ(QColor(window->grab().toImage().pixel(11, 21)), QColor(30, 200, 30));

    screen->mark.SetBounds(100, 50, 4, 3);
    Settle();
    EXPECT_EQ(ui.ShapeUpdates(*screen), updates + 1);
    EXPECT_EQ(window->mask(), QRegion(101, 51, 2, 1));

    // All black: nothing shows and every click goes through.
    screen->mark.ClearPicture();
    Settle();
    EXPECT_FALSE(window->mask().isEmpty());
    EXPECT_FALSE(window->mask().intersects(window->rect()));
}

TEST_F(QtUiTest, TheDimmingFormCarriesItsConstantAlphaInItsPixels) {
    Form* dimmer = nullptr;
    app.CreateForm(dimmer, "Dimmer");
    dimmer->SetBounds(0, 0, 200, 100);
    dimmer->Border = BorderStyle::None;
    dimmer->AlphaBlend = true;
    dimmer->SetColour(MakeRgb(200, 100, 50));
    dimmer->SetAlphaBlendValue(200);
    // Peers made now read the attributes the form has at this point.
    dimmer->DestroyPeers();
    dimmer->CreatePeers(ui);
    ShowForm(*dimmer);
    QWidget* window = ui.WidgetOf(*dimmer);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowDoesNotAcceptFocus) << "Escape may reach it";
    EXPECT_TRUE(window->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_EQ(window->windowOpacity(), 1.0) << "the pixels carry the alpha, not the window";
    // Premultiplied and rounded as a compositor's 8-bit blend of the colour
    // at the constant alpha: 200 x 200 / 255 = 156.9, 100 x 200 / 255 = 78.4.
    EXPECT_EQ(PaintedPixel(window, 50, 50), qRgba(157, 78, 39, 200));
    dimmer->SetAlphaBlendValue(55);
    Settle();
    EXPECT_EQ(PaintedPixel(window, 199, 99), qRgba(43, 22, 11, 55));
    dimmer->SetAlphaBlendValue(255);
    Settle();
    EXPECT_EQ(PaintedPixel(window, 0, 0), qRgba(200, 100, 50, 255));
}

}  // namespace
}  // namespace duskpane

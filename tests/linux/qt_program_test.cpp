// The program's own windows on the Qt backend (offscreen), over in-memory
// services: the screen layers, the menu, the transparency dialog driven
// through its widgets, and Escape saving the settings.
#include <QContextMenuEvent>
#include <QMenu>
#include <QSlider>

#include "app/about_box.h"
#include "app/alpha_blend_form.h"
#include "app/forms.h"
#include "app/main_form.h"
#include "app/sub_form.h"
#include "platform/headless/headless_audio.h"
#include "platform/headless/headless_files.h"
#include "platform/headless/headless_pictures.h"
#include "platform/headless/headless_store.h"
#include "platform/headless/headless_time.h"
#include "qt_fixture.h"

namespace duskpane {
namespace {

// No sound device here: the capture never starts.
class NoCapture : public CaptureService {
public:
    std::unique_ptr<CaptureDevice> Open(const WaveFormat&) override { return nullptr; }
};

class QtProgramTest : public ::testing::Test {
protected:
    QtProgramTest()
        : pictures(files),
          platform{time, files, store, pictures, blend, capture, audio, ui, ui},
          program(platform) {
        time.SetLocalTime(12, 34);
        program.Create();
        program.Show();
        Settle();
    }

    static void Settle() {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    }
    QWidget* Window(const Control& control) { return ui.WidgetOf(control); }
    // Picks a shown item of the menu that opens on a right click at (x, y).
    void PickFromMenu(int x, int y, const QString& caption, QStringList* shown = nullptr) {
        WhenModal([=](QWidget* popup) {
            auto* menu = qobject_cast<QMenu*>(popup);
            ASSERT_NE(menu, nullptr);
            for (QAction* action : menu->actions()) {
                if (shown && !action->isSeparator()) *shown << action->text();
                if (action->text() == caption) menu->setActiveAction(action);
            }
            QTest::keyClick(menu, Qt::Key_Return);
        });
        // The context menu event a right click gives; a synthetic click would
        // still hold its button down while the dialogs it opens run.
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(x, y), QPoint(x, y));
        QApplication::sendEvent(Window(*SubForm), &click);
        Settle();
    }

    QtUi ui;
    HeadlessTimeService time;
    HeadlessFileSystem files;
    HeadlessSettingsStore store;
    HeadlessPictureDecoder pictures;
    HeadlessBlendLibrary blend;
    NoCapture capture;
    HeadlessAudioSystem audio;
    Platform platform;
    Program program;
};

TEST_F(QtProgramTest, TheScreenLayersCoverTheScreenAndShowTheClock) {
    QWidget* main = Window(*MainForm);
    QWidget* sub = Window(*SubForm);
    ASSERT_TRUE(main->isVisible());
    ASSERT_TRUE(sub->isVisible());
    const ScreenSize screen = ui.PrimaryScreen();
    EXPECT_EQ(main->geometry(), QRect(0, 0, screen.width, screen.height));
    EXPECT_EQ(sub->geometry(), main->geometry());
    EXPECT_EQ(PaintedPixel(sub, screen.width / 2, screen.height / 2), qRgba(0, 0, 0, 200))
        << "the first start dims at 200";
    EXPECT_EQ(main->windowTitle(), QStringLiteral("Duskpane")) << "the taskbar entry's title";
    // Only the clock shows: its digits' pixels are in the shape, black is not.
    const QRegion shape = main->mask();
    EXPECT_TRUE(shape.boundingRect().intersects(QRect(8, 8, 166, 64)));
    EXPECT_TRUE(QRect(0, 0, 180, 80).contains(shape.boundingRect()));
    const QImage shown = main->grab(QRect(0, 0, 180, 80)).toImage();
    int lit = 0;
    for (const QRect& part : shape)
        for (int y = part.top(); y <= part.bottom(); ++y)
            for (int x = part.left(); x <= part.right(); ++x) lit += qGray(shown.pixel(x, y)) > 0;
    EXPECT_GT(lit, 100);
}

TEST_F(QtProgramTest, TheTransparencyDialogDimsLiveAndOkSavesIt) {
    QStringList shown;
    WhenModal(
        [&](QWidget* dialog) {
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("透明度の設定"));
            EXPECT_EQ(dialog->size(), QSize(217, 139));
            auto* slider = qobject_cast<QSlider*>(Window(AlphaBlendForm->BlendTrackBar));
            EXPECT_EQ(slider->value(), 200);
            slider->triggerAction(QAbstractSlider::SliderPageStepSub);
            EXPECT_EQ(SubForm->AlphaBlendValue(), 149);
            Settle();
            EXPECT_EQ(qAlpha(PaintedPixel(Window(*SubForm), 5, 5)), 149) << "applied while sliding";
            QWidget* ok = Window(AlphaBlendForm->OkBtn);
            QTest::mouseClick(dialog->windowHandle(), Qt::LeftButton, {},
                              ok->mapTo(dialog, ok->rect().center()));
        },
        [&] { return Window(*AlphaBlendForm); });
    PickFromMenu(600, 300, QStringLiteral("透明度の設定(&T)"), &shown);
    EXPECT_EQ(shown, (QStringList{"Duskpaneについて(&M)", "透明度の設定(&T)", "壁紙の設定(&W)", "終了(&Z)"}));
    EXPECT_FALSE(Window(*AlphaBlendForm)->isVisible());
    EXPECT_EQ(store.Value("MAIN", "TRANSPARENCY").kind, StoredKind::Integer);
    EXPECT_EQ(store.Value("MAIN", "TRANSPARENCY").integer, 149);
}

TEST_F(QtProgramTest, TheAboutBoxIsCentredAndEscapeEndsTheProgram) {
    QRect placed;
    WhenModal(
        [&](QWidget* about) {
            placed = about->frameGeometry();
            QTest::keyClick(about->windowHandle(), Qt::Key_Return);
        },
        [&] { return Window(*AboutBox); });
    PickFromMenu(10, 10, QStringLiteral("Duskpaneについて(&M)"));
    const ScreenSize screen = ui.PrimaryScreen();
    EXPECT_LE(std::abs(placed.left() + placed.width() / 2 - screen.width / 2), 1);
    EXPECT_LE(std::abs(placed.top() + placed.height() / 2 - screen.height / 2), 1);
    EXPECT_FALSE(Window(*AboutBox)->isVisible());

    // Escape reaching the dimming layer ends the program like the main window's.
    QTest::keyClick(Window(*SubForm)->windowHandle(), Qt::Key_Escape);
    Settle();
    EXPECT_TRUE(program.App().Terminated());
    EXPECT_EQ(store.ValueCount(), 8u);
}

}  // namespace
}  // namespace duskpane

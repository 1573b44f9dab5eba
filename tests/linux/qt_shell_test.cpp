// The Qt backend's loops and shell on the offscreen platform: modal forms,
// message boxes, the popup menu, file and folder dialogs, the message queue
// while a native loop runs, and the ways the system ends the program.
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>

#include <QLabel>
#include <QListView>
#include <QPainter>

#include <csignal>
#include <cstdlib>
#include <thread>

#include "platform/linux/linux_pictures.h"
#include "platform/linux/qt_picture_dialog.h"
#include "qt_fixture.h"
#include "wallpaper/preview.h"

namespace duskpane {
namespace {

TEST_F(QtUiTest, AModalFormEndsWithTheButtonTheUserClicks) {
    WhenModal([this](QWidget* modal) {
        EXPECT_EQ(modal, ui.WidgetOf(*dialog));
        ClickOn(dialog->ok);
    });
    EXPECT_EQ(dialog->ShowModal(), kMrOk);
    EXPECT_FALSE(ui.WidgetOf(*dialog)->isVisible());
    EXPECT_EQ(ui.WidgetOf(*dialog)->windowModality(), Qt::NonModal);

    // The close box ends it with Cancel.
    WhenModal([this](QWidget* modal) { modal->close(); });
    EXPECT_EQ(dialog->ShowModal(), kMrCancel);
}

TEST_F(QtUiTest, MessageBoxesShowTheirIconAndAnswerAsClicked) {
    QString text, yesText, noText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    WhenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        text = box->text();
        icon = box->icon();
        const auto buttons = box->buttons();
        ASSERT_EQ(buttons.size(), 2);
        yesText = buttons[0]->text();
        noText = buttons[1]->text();
        buttons[1]->click();
    });
    EXPECT_EQ(ui.MessageBox(dialog, "画像ファイル[a.jpg]を設定してもよろしいですか", "",
                            kMbYesNo | kMbIconInformation, app),
              kIdNo);
    EXPECT_EQ(text, QStringLiteral("画像ファイル[a.jpg]を設定してもよろしいですか"));
    EXPECT_EQ(icon, QMessageBox::Information);
    EXPECT_EQ(yesText, QStringLiteral("はい(&Y)"));
    EXPECT_EQ(noText, QStringLiteral("いいえ(&N)"));

    WhenModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
    EXPECT_EQ(ui.MessageBox(dialog, "本当に", "", kMbYesNo | kMbIconInformation, app), kIdYes)
        << "Yes is the default";

    WhenModal([&](QWidget* modal) {
        icon = static_cast<QMessageBox*>(modal)->icon();
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    EXPECT_EQ(ui.MessageBox(nullptr, "失敗しました", "", kMbOk | kMbIconError, app), kIdOk);
    EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST_F(QtUiTest, TicksAndPostedMessagesGoOnWhileANativeLoopRuns) {
    Timer timer(app, "Timer", 20, true);
    int ticks = 0, captures = 0;
    timer.OnTimer = [&](Timer&) { ++ticks; };
    app.OnMessage = [&](Message& message, bool& handled) {
        if (message.kind != MessageKind::CaptureData) return;
        ++captures;
        handled = true;
    };
    int ticksWhenOpen = -1;
    WhenModal([&](QWidget* modal) {
        ticksWhenOpen = ticks;
        // Captured sound arrives from another thread while the box is open.
        std::thread sender([this] {
            ui.RunOnGuiThread([this] { ui.PostMessage(Message{MessageKind::CaptureData, 7, nullptr, 0}); });
        });
        sender.join();
        QTimer::singleShot(300, modal, [modal] { static_cast<QMessageBox*>(modal)->accept(); });
    });
    ui.MessageBox(nullptr, "待機中", "", kMbOk, app);
    EXPECT_GE(ticks - ticksWhenOpen, 5);
    EXPECT_EQ(captures, 1);

    // A tick waits in the queue at most once.
    ui.PostMessage(Message{MessageKind::Timer, reinterpret_cast<uintptr_t>(&timer), nullptr, 0});
    ui.PostMessage(Message{MessageKind::Timer, reinterpret_cast<uintptr_t>(&timer), nullptr, 0});
    timer.SetInterval(1000000);
    const int before = ticks;
    app.ProcessMessages(false);
    EXPECT_EQ(ticks, before + 1);
}

TEST_F(QtUiTest, ThePopupMenuShowsTheShownItemsAndReportsThePick) {
    PopupMenu menu("PopupMenu");
    auto add = [&](MenuItem& parent, const char* name, const char* caption) -> MenuItem& {
        return parent.Add(std::make_unique<MenuItem>(name, caption));
    };
    MenuItem& about = add(menu, "AboutMenu", "Duskpaneについて(&M)");
    add(menu, "N7", "-");
    add(menu, "Hidden", "音声スペクトル表示を行う").Visible = false;
    add(menu, "N6", "-");
    MenuItem& volume = add(menu, "N3", "音量の設定(&V)");
    MenuItem& mute = add(volume, "MuteMenu", "ミュート(&M)");
    mute.Checked = true;
    add(menu, "N1", "-");
    MenuItem& end = add(menu, "EndMenu", "終了(&Z)");
    int ends = 0;
    end.OnClick = [&](MenuItem&) { ++ends; };
    about.OnClick = [](MenuItem&) { FAIL() << "not picked"; };
    screen->SetPopupMenu(&menu);
    ShowForm(*screen);

    QStringList shown;
    QPoint at;
    WhenModal([&](QWidget* popup) {
        auto* qmenu = qobject_cast<QMenu*>(popup);
        ASSERT_NE(qmenu, nullptr);
        at = qmenu->pos();
        for (QAction* action : qmenu->actions()) {
            shown << (action->isSeparator() ? QStringLiteral("-") : action->text());
            if (action->menu()) {
                const QAction* first = action->menu()->actions().value(0);
                EXPECT_TRUE(first && first->isChecked()) << "the mute item carries its check mark";
            }
        }
        qmenu->setActiveAction(qmenu->actions().last());
        QTest::keyClick(qmenu, Qt::Key_Return);
    });
    screen->UserContextMenu(30, 40);
    Settle();
    EXPECT_EQ(shown, (QStringList{"Duskpaneについて(&M)", "-", "音量の設定(&V)", "-", "終了(&Z)"}));
    EXPECT_EQ(at, QPoint(30, 40));
    EXPECT_EQ(ends, 1);
}

TEST(QtNameFiltersTest, TheProgramsFilterBecomesQtsOwn) {
    EXPECT_EQ(QtNameFilters("画像ファイル (*.jpg;*.jpeg;*.bmp)|*.jpg;*.jpeg;*.bmp|"
                            "JPEG イメージファイル (*.jpg)|*.jpg|ビットマップ (*.bmp)|*.bmp"),
              (QStringList{"画像ファイル (*.jpg *.jpeg *.bmp)", "JPEG イメージファイル (*.jpg)",
                           "ビットマップ (*.bmp)"}));
    EXPECT_EQ(QtNameFilters("Pictures|*.png;*.gif"), QStringList{"Pictures (*.png *.gif)"});
    EXPECT_EQ(QtNameFilters("No patterns||Also none"), QStringList{}) << "nothing to filter by";
}

TEST_F(QtUiTest, TheFileDialogsReturnWhatTheUserChose) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    ASSERT_TRUE(QDir(temp.path()).mkpath(QStringLiteral("写真/夏")));
    const QString folder = temp.filePath(QStringLiteral("写真"));

    QString shownFolder;
    QStringList selected;
    WhenModal([&](QWidget* modal) {
        auto* files = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(files, nullptr);
        shownFolder = files->directory().absolutePath();
        selected = files->selectedFiles();
        static_cast<QDialog*>(files)->accept();
    });
    EXPECT_EQ(ui.BrowseFolder(dialog, "壁紙画像フォルダーの選択", folder.toStdString()), folder.toStdString())
        << "accepting at once keeps the initial folder";
    EXPECT_EQ(shownFolder, temp.path());
    EXPECT_EQ(selected, QStringList{folder});

    WhenModal([](QWidget* modal) { static_cast<QFileDialog*>(modal)->reject(); });
    EXPECT_EQ(ui.BrowseFolder(dialog, "選択", folder.toStdString()), std::nullopt);

    QStringList filters;
    LinuxPictureDecoder pictures;
    const QString picture = temp.filePath(QStringLiteral("写真/a.JPG"));
    WhenModal([&](QWidget* modal) {
        auto* files = static_cast<QFileDialog*>(modal);
        filters = files->nameFilters();
        auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(picture);
        static_cast<QDialog*>(files)->accept();
    });
    QFile(picture).open(QIODevice::WriteOnly);
    EXPECT_EQ(ui.OpenPicture(dialog, "画像ファイル (*.jpg)|*.jpg", pictures), picture.toStdString());
    EXPECT_EQ(filters, QStringList{"画像ファイル (*.jpg)"});
}

// The colour at the middle of each quadrant of a picture drawn centred in
// the widget, fitted to it.
QList<QRgb> ShownQuadrants(QWidget& widget, int pictureWidth, int pictureHeight) {
    const QImage shot = widget.grab().toImage();
    const PreviewSize shown = FitPreview(pictureWidth, pictureHeight, shot.width(), shot.height());
    const int left = (shot.width() - shown.width) / 2, top = (shot.height() - shown.height) / 2;
    QList<QRgb> colours;
    for (int q = 0; q < 4; ++q)
        colours << (shot.pixel(left + shown.width * (1 + 2 * (q % 2)) / 4, top + shown.height * (1 + 2 * (q / 2)) / 4) &
                    0xFFFFFFu);
    return colours;
}

// The user goes through the files with the keyboard: each file the list's
// current one is previewed with its size under it, a damaged one leaves the
// pane empty; the side bar gains the desktop's places and the history the
// recently used folders.
TEST_F(QtUiTest, TheOpenPictureDialogPreviewsTheCurrentFile) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    QDir folder(temp.path());
    ASSERT_TRUE(folder.mkpath(QStringLiteral("写真")) && folder.mkpath(QStringLiteral("bookmarked")) &&
                folder.mkpath(QStringLiteral("config/gtk-3.0")) && folder.mkpath(QStringLiteral("data")));
    folder.cd(QStringLiteral("写真"));
    QImage wide(300, 100, QImage::Format_RGB32);
    {
        QPainter painter(&wide);
        painter.fillRect(0, 0, 150, 50, Qt::red);
        painter.fillRect(150, 0, 150, 50, Qt::green);
        painter.fillRect(0, 50, 150, 50, Qt::blue);
        painter.fillRect(150, 50, 150, 50, Qt::white);
    }
    ASSERT_TRUE(wide.save(folder.filePath(QStringLiteral("c-wide.bmp"))));
    ASSERT_TRUE(wide.scaled(60, 120).save(folder.filePath(QStringLiteral("b-tall.jpg")), "JPEG", 95));
    auto write = [](const QString& path, const QByteArray& bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    ASSERT_TRUE(write(folder.filePath(QStringLiteral("a-broken.jpg")), "\xFF\xD8 not a picture"));
    // The desktop's bookmarks, recently used files and pictures folder.
    const QString bookmarked = temp.filePath(QStringLiteral("bookmarked"));
    ASSERT_TRUE(write(temp.filePath(QStringLiteral("config/gtk-3.0/bookmarks")),
                      QUrl::fromLocalFile(bookmarked).toEncoded() + " 栞\n"));
    ASSERT_TRUE(write(temp.filePath(QStringLiteral("data/recently-used.xbel")),
                      "<?xml version=\"1.0\"?><xbel version=\"1.0\"><bookmark href=\"" +
                          QUrl::fromLocalFile(bookmarked + QStringLiteral("/x.txt")).toEncoded() +
                          "\" modified=\"2026-01-02T03:04:05Z\"/></xbel>"));
    ASSERT_TRUE(write(temp.filePath(QStringLiteral("config/user-dirs.dirs")),
                      "XDG_PICTURES_DIR=\"" + QFile::encodeName(folder.path()) + "\"\n"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(temp.filePath(QStringLiteral("data"))));

    LinuxPictureDecoder pictures;
    QStringList captions;
    QList<QList<QRgb>> colours;
    QList<QUrl> places;
    QStringList history;
    auto drive = [&](QFileDialog* files) {
        places = files->sidebarUrls();
        history = files->history();
        auto* list = files->findChild<QListView*>(QStringLiteral("listView"));
        auto* pane = files->findChild<QWidget*>(QLatin1String(kPreviewPaneName));
        auto* caption = files->findChild<QLabel*>(QLatin1String(kPreviewCaptionName));
        ASSERT_TRUE(list && pane && caption);
        EXPECT_TRUE(pane->isVisible());
        // The folder is read and sorted by name.
        ASSERT_TRUE(QTest::qWaitFor([&] {
            const QModelIndex root = list->rootIndex();
            QStringList names;
            for (int row = 0; row < list->model()->rowCount(root); ++row)
                names << list->model()->index(row, 0, root).data().toString();
            return names == QStringList{"a-broken.jpg", "b-tall.jpg", "c-wide.bmp"};
        }));
        list->setFocus();
        auto step = [&](Qt::Key key, const QString& wanted) {
            QTest::keyClick(list, key);
            EXPECT_TRUE(QTest::qWaitFor([&] { return caption->text() == wanted; }, 2000)) << caption->text().toStdString();
            captions << caption->text();
        };
        // The first key makes the first file current.
        step(Qt::Key_Down, QString());
        step(Qt::Key_Down, QStringLiteral("60 × 120"));
        step(Qt::Key_Down, QStringLiteral("300 × 100"));
        colours << ShownQuadrants(*pane->findChild<QWidget*>(QLatin1String(kPreviewPictureName)), 300, 100);
        step(Qt::Key_Home, QString());
        QTest::qWait(200);
        captions << caption->text();
        step(Qt::Key_End, QStringLiteral("300 × 100"));
        QTest::keyClick(list, Qt::Key_Return);
    };
    WhenModal([&](QWidget* modal) {
        auto* files = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(files, nullptr);
        drive(files);
        if (files->isVisible()) files->close();
    });
    const std::optional<std::string> chosen =
        ui.OpenPicture(dialog, "画像ファイル (*.jpg;*.bmp)|*.jpg;*.bmp", pictures);
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(chosen, folder.filePath(QStringLiteral("c-wide.bmp")).toStdString());
    EXPECT_EQ(captions, (QStringList{"", "60 × 120", "300 × 100", "", "", "300 × 100"}))
        << "the damaged file leaves the pane empty";
    EXPECT_EQ(colours, (QList<QList<QRgb>>{{0xFF0000u, 0x00FF00u, 0x0000FFu, 0xFFFFFFu}}));
    EXPECT_TRUE(places.contains(QUrl::fromLocalFile(bookmarked))) << "the desktop's bookmarks are places";
    EXPECT_TRUE(places.contains(QUrl::fromLocalFile(QDir::homePath())));
    EXPECT_TRUE(history.contains(bookmarked)) << "recently used folders are in the history";
}

class UrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;
    Q_INVOKABLE void Open(const QUrl& url) { opened << url; }
};

TEST_F(QtUiTest, AddressesOpenAsTheyAreGiven) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "Open");
    ui.OpenUrl(dialog, "https://duskpane.example.org/");
    ui.OpenUrl(dialog, "");
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    EXPECT_EQ(catcher.opened, QList<QUrl>{QUrl(QStringLiteral("https://duskpane.example.org/"))});
}

TEST_F(QtUiTest, TheSystemsEndRequestsCloseTheMainFormOnce) {
    ui.InstallEndHandlers();
    ShowForm(*screen);
    // A native dialog that is open when the end comes is closed with it.
    bool dialogClosed = false;
    WhenModal([&](QWidget*) { std::raise(SIGTERM); });
    ui.MessageBox(nullptr, "待機中", "", kMbYesNo, app);
    dialogClosed = true;
    EXPECT_TRUE(dialogClosed);
    EXPECT_TRUE(app.Terminated());
    EXPECT_EQ(screen->closes, 1);
    std::raise(SIGHUP);
    Settle();
    EXPECT_EQ(screen->closes, 1) << "an ended program is not closed twice";
}

TEST_F(QtUiTest, EscapeOnTheScreenLayerEndsTheProgram) {
    ShowForm(*screen);
    QTest::keyClick(WindowOf(*screen), Qt::Key_Escape, Qt::ShiftModifier);
    Settle();
    EXPECT_TRUE(app.Terminated());
    EXPECT_EQ(screen->closes, 1);
}

}  // namespace
}  // namespace duskpane

#include "qt_shell_test.moc"

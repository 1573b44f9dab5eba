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

#include <csignal>
#include <thread>

#include "qt_fixture.h"

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
    EXPECT_EQ(ui.OpenPicture(dialog, "画像ファイル (*.jpg)|*.jpg"), picture.toStdString());
    EXPECT_EQ(filters, QStringList{"画像ファイル (*.jpg)"});
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

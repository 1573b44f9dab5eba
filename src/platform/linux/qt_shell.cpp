// The shell on Qt: the popup menu, message boxes, the open-picture dialog,
// the folder browser and opening an address.
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "platform/linux/qt_picture_dialog.h"
#include "platform/linux/qt_ui.h"
#include "ui/form.h"
#include "ui/line_breaks.h"
#include "ui/menu.h"

namespace duskpane {

namespace {

void FillMenu(QMenu& target, const MenuItem& source, std::map<QAction*, MenuItem*>& items) {
    for (MenuItem* item : source.ShownItems()) {
        if (item->IsSeparator()) {
            target.addSeparator();
            continue;
        }
        const QString caption = QString::fromStdString(item->Caption());
        if (!item->Items().empty()) {
            QMenu* submenu = target.addMenu(caption);
            submenu->setEnabled(item->Enabled);
            FillMenu(*submenu, *item, items);
            continue;
        }
        QAction* action = target.addAction(caption);
        action->setEnabled(item->Enabled);
        if (item->Checked) {
            action->setCheckable(true);
            action->setChecked(true);
        }
        items[action] = item;
    }
}

// The longest run of a message's text without a place to wrap.
constexpr size_t kUnbrokenRun = 24;

// Qt shows the application's name in place of an empty title; the window's
// title properties are emptied again once its native window exists.
void ShowEmptyTitle(QWidget& window) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) return;
    const auto id = xcb_window_t(window.winId());
    auto atom = [connection](const char* name) {
        const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name);
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    };
    const xcb_atom_t utf8 = atom("UTF8_STRING");
    const xcb_atom_t names[][2] = {{atom("_NET_WM_NAME"), utf8}, {XCB_ATOM_WM_NAME, XCB_ATOM_STRING}};
    for (const auto& [name, type] : names)
        if (name != XCB_ATOM_NONE && type != XCB_ATOM_NONE)
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, name, type, 8, 0, nullptr);
    xcb_flush(connection);
}

}  // namespace

QStringList QtNameFilters(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList filters;
    static const QRegularExpression ownList(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString caption = parts[i].trimmed();
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            patterns << pattern.trimmed();
        if (patterns.isEmpty()) continue;
        caption.remove(ownList);
        filters << QStringLiteral("%1 (%2)").arg(caption, patterns.join(QLatin1Char(' ')));
    }
    return filters;
}

void QtUi::ShowPopupMenu(PopupMenu& menu, Form& owner, int x, int y, MessageSink& sink) {
    sink_ = &sink;
    QMenu popup(WidgetOf(owner));
    std::map<QAction*, MenuItem*> items;
    FillMenu(popup, menu, items);
    if (popup.isEmpty()) return;
    QAction* picked = popup.exec(ScreenOrigin() + QPoint(x, y));
    auto it = items.find(picked);
    if (it == items.end()) return;
    MenuItem* item = it->second;
    Deliver([item] { item->Click(); });
}

int QtUi::MessageBox(Form* owner, const std::string& text, const std::string& caption, uint32_t flags,
                     MessageSink& sink) {
    sink_ = &sink;
    QWidget* parent = owner ? WidgetOf(*owner) : MainWidget();
    QMessageBox box(parent);
    box.setTextFormat(Qt::PlainText);
    // The box wraps its text at blanks only: a long path gets invisible
    // break opportunities (zero-width spaces) so that it wraps instead of
    // running off the box's edge.
    box.setText(QString::fromStdString(AllowLineBreaks(text, kUnbrokenRun, "\u200B")));
    box.setWindowTitle(QString::fromStdString(caption));
    if (caption.empty()) ShowEmptyTitle(box);
    switch (flags & 0xF0u) {
        case kMbIconError:
            box.setIcon(QMessageBox::Critical);
            break;
        case kMbIconInformation:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            box.setIcon(QMessageBox::NoIcon);
            break;
    }
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    if ((flags & 0x0Fu) == kMbYesNo) {
        yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
        no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
    } else {
        QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
    }
    box.exec();
    if (yes || no) return box.clickedButton() == yes ? kIdYes : kIdNo;
    return kIdOk;
}

// The dialog opens where the last picture was chosen, at first in the
// user's pictures folder.
std::optional<std::string> QtUi::OpenPicture(Form* owner, const std::string& filter,
                                             PictureDecoder& previews) {
    QString folder = QString::fromStdString(lastPictureFolder_);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
    }
    const std::optional<QString> chosen = RunOpenPictureDialog(
        owner ? WidgetOf(*owner) : MainWidget(), QStringLiteral("開く"), folder, QtNameFilters(filter), previews);
    if (!chosen) return std::nullopt;
    lastPictureFolder_ = QFileInfo(*chosen).absolutePath().toStdString();
    return chosen->toStdString();
}

// The browser opens on the initial folder's parent with the folder itself
// selected, so that accepting at once keeps it.
std::optional<std::string> QtUi::BrowseFolder(Form* owner, const std::string& title,
                                              const std::string& initialFolder) {
    QFileDialog dialog(owner ? WidgetOf(*owner) : MainWidget(), QString::fromStdString(title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    const QFileInfo initial(QString::fromStdString(initialFolder));
    if (!initialFolder.empty() && initial.isDir()) {
        QDir parent(initial.absoluteFilePath());
        if (parent.cdUp()) {
            dialog.setDirectory(parent);
            dialog.selectFile(initial.fileName());
        } else {
            dialog.setDirectory(initial.absoluteFilePath());
        }
    } else {
        dialog.setDirectory(QDir::home());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    QString chosen = QDir::cleanPath(dialog.selectedFiles().front());
    return chosen.toStdString();
}

// The address is opened as it is given; one without a scheme that names a
// file or folder here opens that.
void QtUi::OpenUrl(Form*, const std::string& url) {
    if (url.empty()) return;
    const QString text = QString::fromStdString(url);
    QUrl address(text, QUrl::TolerantMode);
    if (address.scheme().isEmpty() && QFileInfo::exists(text))
        address = QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
    QDesktopServices::openUrl(address);
}

}  // namespace duskpane

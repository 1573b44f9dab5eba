// The open-picture dialog on Qt: Qt's own file dialog (a desktop's native one
// cannot host a preview) with the desktop's places in its side bar, the
// user's recent folders in its history, and a preview pane beside its list.
#include "platform/linux/qt_picture_dialog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QSplitter>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include "platform/linux/qt_peers.h"
#include "wallpaper/preview.h"

namespace duskpane {

namespace {

// The preview pane's width when the dialog opens.
constexpr int kPaneWidth = 240;
// The most recent folders added to the dialog's history.
constexpr int kRecentFolders = 10;
// Larger lists of recent files are not read.
constexpr qint64 kRecentListMaxBytes = 8 << 20;

// A picture drawn reduced to the widget's size, which its pane keeps at the
// picture's shape.
class PreviewPicture : public QWidget {
public:
    using QWidget::QWidget;

    const Bitmap32& Picture() const { return picture_; }
    void SetPicture(Bitmap32 picture) {
        picture_ = std::move(picture);
        shown_ = QImage();
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (picture_.Empty()) return;
        const qreal ratio = devicePixelRatioF();
        const PreviewSize fitted =
            FitPreview(picture_.Width(), picture_.Height(), int(width() * ratio), int(height() * ratio));
        if (fitted.width <= 0) return;
        if (shown_.isNull() || shown_.width() != fitted.width || shown_.height() != fitted.height) {
            shown_ = ToQImage(ReducePicture(picture_, fitted.width, fitted.height), false);
            shown_.setDevicePixelRatio(ratio);
        }
        const QSizeF size = shown_.deviceIndependentSize();
        QPainter painter(this);
        painter.drawImage(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), shown_);
    }

private:
    Bitmap32 picture_;
    QImage shown_;
};

// The pane beside the list: the current file's picture as large as the pane
// allows and, right under it, its width and height. Decodes run on the
// pane's worker; the newest selection abandons the work of the ones before.
class PreviewPane : public QFrame {
public:
    PreviewPane(PictureDecoder& decoder, QWidget* parent)
        : QFrame(parent),
          picture_(new PreviewPicture(this)),
          caption_(new QLabel(this)),
          worker_(decoder, [this] { QMetaObject::invokeMethod(this, [this] { TakeResult(); }, Qt::QueuedConnection); }) {
        setObjectName(QLatin1String(kPreviewPaneName));
        setFrameShape(QFrame::StyledPanel);
        setMinimumWidth(120);
        picture_->setObjectName(QLatin1String(kPreviewPictureName));
        caption_->setObjectName(QLatin1String(kPreviewCaptionName));
        caption_->setAlignment(Qt::AlignCenter);
        auto* layout = new QVBoxLayout(this);
        layout->addStretch(1);
        layout->addWidget(picture_, 0, Qt::AlignHCenter);
        layout->addWidget(caption_);
        layout->addStretch(1);
        FitPicture();
    }

    // The dialog's current file; a folder or nothing empties the pane.
    void ShowFile(const QString& path) {
        SetPreview(Bitmap32(), QString());
        if (path.isEmpty() || !QFileInfo(path).isFile()) {
            worker_.Abandon();
            return;
        }
        worker_.Request(path.toStdString(), kPreviewBoxSide, kPreviewBoxSide);
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QFrame::resizeEvent(event);
        FitPicture();
    }
    // The dialog opens with the side bar as wide as it was and the pane at
    // its own width, whatever the list then keeps.
    void showEvent(QShowEvent* event) override {
        QFrame::showEvent(event);
        auto* splitter = qobject_cast<QSplitter*>(parentWidget());
        if (sized_ || !splitter || splitter->count() != 3) return;
        sized_ = true;
        QList<int> sizes = splitter->sizes();
        const int total = sizes[0] + sizes[1] + sizes[2];
        sizes[0] = std::max(sizes[0], splitter->widget(0)->sizeHint().width());
        sizes[2] = kPaneWidth;
        sizes[1] = std::max(total - sizes[0] - sizes[2], 0);
        splitter->setSizes(sizes);
    }

private:
    void TakeResult() {
        std::optional<PreviewWorker::Result> result = worker_.Take();
        if (!result || !result->preview) return;
        SetPreview(std::move(result->preview->pixels), QString::fromStdString(PreviewCaption(*result->preview)));
    }

    void SetPreview(Bitmap32 picture, const QString& caption) {
        picture_->SetPicture(std::move(picture));
        caption_->setText(caption);
        FitPicture();
    }

    // The picture's widget takes the picture's shape at the largest size
    // that leaves room for the caption.
    void FitPicture() {
        const QRect area = contentsRect().marginsRemoved(layout()->contentsMargins());
        const int captionHeight = caption_->sizeHint().height() + layout()->spacing();
        const qreal ratio = devicePixelRatioF();
        const Bitmap32& picture = picture_->Picture();
        const PreviewSize fitted = FitPreview(picture.Width(), picture.Height(), int(area.width() * ratio),
                                              int((area.height() - captionHeight) * ratio));
        picture_->setFixedSize(int(std::ceil(fitted.width / ratio)), int(std::ceil(fitted.height / ratio)));
    }

    PreviewPicture* picture_;
    QLabel* caption_;
    PreviewWorker worker_;
    bool sized_ = false;
};

void AddPlace(QList<QUrl>& places, const QString& folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) return;
    const QUrl url = QUrl::fromLocalFile(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
    if (!places.contains(url)) places << url;
}

// The side bar as it was (Qt's own places, or the user's) with the desktop's
// standard folders and the user's bookmarked folders that exist.
QList<QUrl> DesktopPlaces(QList<QUrl> places) {
    for (const auto location : {QStandardPaths::HomeLocation, QStandardPaths::DesktopLocation,
                                QStandardPaths::DocumentsLocation, QStandardPaths::DownloadLocation,
                                QStandardPaths::PicturesLocation})
        AddPlace(places, QStandardPaths::writableLocation(location));
    // The desktop's bookmarks: one address a line, a label after a blank.
    QFile bookmarks(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                    QStringLiteral("/gtk-3.0/bookmarks"));
    if (bookmarks.open(QIODevice::ReadOnly | QIODevice::Text)) {
        while (!bookmarks.atEnd()) {
            const QString line = QString::fromUtf8(bookmarks.readLine()).trimmed();
            const QUrl url(line.section(QLatin1Char(' '), 0, 0), QUrl::StrictMode);
            if (url.isLocalFile()) AddPlace(places, url.toLocalFile());
        }
    }
    return places;
}

// The folders of the files the user used last, the most recent last, from
// the desktop's list of recently used files.
QStringList RecentFolders() {
    QFile list(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
               QStringLiteral("/recently-used.xbel"));
    if (list.size() > kRecentListMaxBytes || !list.open(QIODevice::ReadOnly)) return {};
    std::map<QString, QDateTime> latest;
    QXmlStreamReader xml(&list);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("bookmark")) continue;
        const QUrl url(xml.attributes().value(QLatin1String("href")).toString());
        if (!url.isLocalFile()) continue;
        const QDateTime modified =
            QDateTime::fromString(xml.attributes().value(QLatin1String("modified")).toString(), Qt::ISODate);
        QDateTime& when = latest[QFileInfo(url.toLocalFile()).absolutePath()];
        if (!when.isValid() || modified > when) when = modified;
    }
    std::vector<std::pair<QDateTime, QString>> folders;
    for (const auto& [folder, when] : latest) folders.emplace_back(when, folder);
    std::sort(folders.begin(), folders.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    QStringList recent;
    for (const auto& [when, folder] : folders) {
        if (recent.size() == kRecentFolders) break;
        if (QFileInfo(folder).isDir()) recent.prepend(folder);
    }
    return recent;
}

// Adds the preview pane beside the dialog's file list and the desktop's
// places and recent folders to its side bar and history.
void AddPicturePreview(QFileDialog& dialog, PictureDecoder& previews) {
    dialog.setSidebarUrls(DesktopPlaces(dialog.sidebarUrls()));
    QStringList history = dialog.history();
    for (const QString& folder : RecentFolders())
        if (!history.contains(folder)) history << folder;
    dialog.setHistory(history);

    auto* pane = new PreviewPane(previews, &dialog);
    QObject::connect(&dialog, &QFileDialog::currentChanged, pane, &PreviewPane::ShowFile);
    // Qt's dialog holds its side bar and its list in one splitter: the pane
    // becomes its third part, so that it follows the dialog's size.
    auto* splitter = dialog.findChild<QSplitter*>(QStringLiteral("splitter"));
    if (!splitter) {
        pane->hide();
        return;
    }
    splitter->addWidget(pane);
    splitter->setCollapsible(splitter->indexOf(pane), false);
    dialog.resize(dialog.width() + kPaneWidth, dialog.height());
}

}  // namespace

std::optional<QString> RunOpenPictureDialog(QWidget* parent, const QString& title, const QString& folder,
                                            const QStringList& nameFilters, PictureDecoder& previews) {
    QFileDialog dialog(parent, title, folder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(nameFilters);
    AddPicturePreview(dialog, previews);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front();
}

}  // namespace duskpane

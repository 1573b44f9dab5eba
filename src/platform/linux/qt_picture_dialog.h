// The open-picture dialog on Qt: Qt's own file dialog with the desktop's
// places and recent folders, and a preview of the current file beside its list.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace duskpane {

class PictureDecoder;

// The object names of the preview's parts, for tests and style sheets.
inline constexpr char kPreviewPaneName[] = "picturePreview";
inline constexpr char kPreviewPictureName[] = "picturePreviewPicture";
inline constexpr char kPreviewCaptionName[] = "picturePreviewCaption";

// Runs Qt's own file dialog on a folder with the name filters, a preview
// pane beside its list that previews the current file through the decoder,
// and the desktop's places and recent folders in its side bar and history;
// the chosen file, or nothing when the user cancels.
std::optional<QString> RunOpenPictureDialog(QWidget* parent, const QString& title, const QString& folder,
                                            const QStringList& nameFilters, PictureDecoder& previews);

}  // namespace duskpane

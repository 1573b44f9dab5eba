// The open-picture dialog on Qt: Qt's own file dialog with the desktop's
// places and recent folders, and a preview of the current file beside its list.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QFileDialog;
class QWidget;

namespace duskpane {

class PictureDecoder;

// The object names of the preview's parts, for tests and style sheets.
inline constexpr char kPreviewPaneName[] = "picturePreview";
inline constexpr char kPreviewPictureName[] = "picturePreviewPicture";
inline constexpr char kPreviewCaptionName[] = "picturePreviewCaption";

// Adds the preview pane beside the dialog's file list and the desktop's
// places and recent folders to its side bar and history; the pane previews
// the dialog's current file through the decoder.
void AddPicturePreview(QFileDialog& dialog, PictureDecoder& previews);

// Runs the dialog on a folder with the name filters; the chosen file, or
// nothing when the user cancels.
std::optional<QString> RunOpenPictureDialog(QWidget* parent, const QString& title, const QString& folder,
                                            const QStringList& nameFilters, PictureDecoder& previews);

}  // namespace duskpane

// The Qt peers of the kit's controls, shared by the backend's files.
#pragma once

#include <QImage>
#include <QPointer>
#include <QRect>
#include <QRegion>
#include <QWidget>

#include "platform/ui_seam.h"
#include "util/bitmap.h"
#include "ui/peer_rules.h"

class QTimer;

namespace duskpane {

class Control;
class Form;
class QtFormPeer;
class QtUi;

// A picture as Qt paints it; with transparentBlack the pure black pixels
// are left out (fully transparent).
QImage ToQImage(const Bitmap32& picture, bool transparentBlack);
QColor ToQColor(Pixel colour);
// The pixels of a rectangle of a form as it shows that are not pure black,
// as a region in the form's coordinates.
QRegion NonBlackRegion(const Form& form, const QRect& rect);

class QtControlPeer : public ControlPeer {
public:
    // Registers with the backend.
    QtControlPeer(QtUi& ui, Control& control);
    ~QtControlPeer() override;
    QtControlPeer(const QtControlPeer&) = delete;
    QtControlPeer& operator=(const QtControlPeer&) = delete;

    Control& GetControl() const { return control_; }
    QtUi& Ui() const { return ui_; }
    QWidget* Widget() const { return widget_; }
    // Where the children's widgets go.
    virtual QWidget* Container() const { return widget_; }

    void Changed(Change what) override;

protected:
    // Gives the peer its widget, which belongs to the peer from here on;
    // controls that their form paints have none.
    void Attach(QWidget* widget);
    // The kind's own part of a change; the common ones (bounds, visibility,
    // enabled, focus) are done by the base.
    virtual void Apply(Change what);
    virtual void ApplyBounds();
    // Reads everything from the control, as at creation.
    void ApplyAll();

    QtUi& ui_;
    Control& control_;
    QPointer<QWidget> widget_;
};

// Makes the peer of a child control (not a form).
std::unique_ptr<QtControlPeer> MakeChildPeer(QtUi& ui, Control& control);

// The top-level window of a form. Dialogs are ordinary Qt widgets with their
// controls as child widgets; a borderless form (the screen layers) paints
// the kit's own composed picture of itself, its controls being drawn by it.
class FormWidget : public QWidget {
public:
    FormWidget(QtFormPeer& peer, QWidget* parent, Qt::WindowFlags flags);
    QtFormPeer& Peer() const { return peer_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QtFormPeer& peer_;
};

class QtFormPeer : public QtControlPeer, public FormPeerBase {
public:
    QtFormPeer(QtUi& ui, Form& form);
    ~QtFormPeer() override;

    using FormPeerBase::GetForm;
    FormWidget* Window() const { return static_cast<FormWidget*>(Widget()); }
    bool StaysOnTop() const;
    // The screen layers' pixels carry their alpha (a 32-bit visual): the
    // colour key fully transparent, the dimming layer at its constant alpha.
    bool PerPixelAlpha() const { return perPixel_; }
    // The window is mapped and drawn (or, off screen, would be).
    bool Exposed() const;
    // The dimming layer has been drawn: the layer above it may show now.
    void DimmerShown();

    // A part of a rendered form changed (form coordinates); it is painted
    // again, and the shape updated, soon.
    void Invalidate(const QRect& rect);
    // Paints the changed parts now (normally done from the event loop).
    void Refresh();
    void Paint(QPainter& painter, const QRect& rect) const;
    int ShapeUpdates() const { return shapeUpdates_; }
    // The screen's geometry changed: places the window again.
    void ApplyBounds() override;
    void Repaint(const Rect& area) override;
    // The window system moved the window.
    void WindowMoved();

protected:
    void Apply(Change what) override;

private:
    bool QueueShow() override;
    void Appear() override;
    void Hide() override;
    bool IsShown() const override;
    void SetFrame(const Rect& screenArea) override;
    void SetClientSize(int width, int height) override;
    void SetWindowEnabled(bool enabled) override;
    void SetTitle(const std::string& title) override;
    void ApplyColour() override;
    void ApplyAlpha() override;
    void ApplyLayered() override;
    void Raise() override;
    void SetModal(bool modal) override;
    Rect OuterFrame() const override;
    Rect ScreenArea() const override;
    std::optional<Rect> OwnerFrame() const override;
    void MoveFrameTo(int left, int top) override;
    void FocusQuietly(Control& control) override;
    bool DimmerUndrawn() const override;
    void WaitForDimmer() override;

    void PrepareScreenLayer();
    QImage::Format FrameFormat() const;
    // Where a screen layer belongs on the screen.
    QRect LayerArea() const;
    void CheckPlace();

    bool perPixel_ = false;
    int placeRequests_ = 0;
    QTimer* placeCheck_ = nullptr;
    // The window's states and hints are set (once, before it first maps).
    bool prepared_ = false;
    bool awaitingDimmer_ = false;
    QTimer* dimmerWait_ = nullptr;
    bool refreshPending_ = false;
    // The whole shape is computed anew at the next refresh.
    bool forceShape_ = false;
    // The size the window was last painted at.
    QSize frameSize_;
    QRect dirty_;
    QRegion shape_;
    int shapeUpdates_ = 0;
};

}  // namespace duskpane

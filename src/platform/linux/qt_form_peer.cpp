// The Qt peer of a form: dialogs as fixed-size windows with their controls,
// and the borderless screen layers that paint the kit's composed picture:
// the dimming layer full screen at its constant alpha, the colour-keyed one
// above it shaped to its non-black pixels.
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QMoveEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>

#include "platform/linux/qt_peers.h"
#include "platform/linux/qt_ui.h"
#include "platform/linux/qt_x11_window.h"
#include "ui/application.h"
#include "ui/form.h"

namespace duskpane {

namespace {

// A window shape that lies wholly outside the window: nothing of it shows
// and every click goes through. (An empty region would remove the shape.)
const QRegion kNothingShows(-1, -1, 1, 1);

// How long the colour-keyed layer waits for the dimming layer to be drawn
// before it shows all the same (a window manager that never maps it).
constexpr int kDimmerWaitMs = 1000;

// How many times a screen layer asks again for its place when the window
// manager put it elsewhere, and how long it waits to see where it is.
constexpr int kPlaceRequests = 2;
constexpr int kPlaceCheckMs = 250;

Qt::WindowFlags FlagsFor(const Form& form, bool rendered, bool takesKeyboard) {
    if (rendered) {
        if (form.Style != FormStyle::StayOnTop) return Qt::Window | Qt::FramelessWindowHint;
        // The always-on-top layer belongs to the dimming layer (Qt writes
        // WM_TRANSIENT_FOR for dialog windows only; its window type is made
        // normal again before it maps).
        Qt::WindowFlags flags = Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
        if (!takesKeyboard) flags |= Qt::WindowDoesNotAcceptFocus;
        return flags;
    }
    Qt::WindowFlags flags = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint;
    if (form.CloseBoxOnly)
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    return flags;
}

// t / 255 rounded to the nearest, for t up to 255 x 255: what a compositing
// manager's 8-bit arithmetic gives for a channel times an alpha.
inline unsigned Scale255(unsigned channel, unsigned alpha) {
    const unsigned t = channel * alpha + 128u;
    return (t + (t >> 8)) >> 8;
}

// A pixel of the frame as the window shows it. With the window's own
// opacity the pixel is opaque; with per-pixel alpha the colour key is fully
// transparent and the rest carries the constant alpha, premultiplied.
inline QRgb FramePixel(Pixel colour, bool perPixel, bool keyed, unsigned alpha) {
    const Pixel rgb = colour & 0xFFFFFFu;
    if (!perPixel) return 0xFF000000u | rgb;
    if (keyed && rgb == 0) return 0;
    if (alpha == 255) return 0xFF000000u | rgb;
    return (alpha << 24) | (Scale255(RedOf(rgb), alpha) << 16) | (Scale255(GreenOf(rgb), alpha) << 8) |
           Scale255(BlueOf(rgb), alpha);
}

// The screen layers float where the dimming layer cannot be full screen;
// asked of screen layers only.
bool LayersFloat(QtUi& ui, const Form& form) {
    return form.Border == BorderStyle::None && ui.ScreenLayersFloat();
}

}  // namespace

FormWidget::FormWidget(QtFormPeer& peer, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), peer_(peer) {}

void FormWidget::paintEvent(QPaintEvent* event) {
    if (!peer_.Rendered()) {
        QWidget::paintEvent(event);
        return;
    }
    QPainter painter(this);
    // The frame's pixels as they are, alpha included.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    // The region is clipped to the window's shape, often a row at a time: the
    // part is composed once, over its bounding rectangle, and the painter
    // keeps to the region.
    peer_.Paint(painter, event->rect());
}

// The window system's close (the close box, the window manager) goes to the
// kit, which decides; the native window itself is only ever hidden.
void FormWidget::closeEvent(QCloseEvent* event) {
    event->ignore();
    peer_.GetForm().UserCloseBox();
}

void FormWidget::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    peer_.WindowMoved();
}

void FormWidget::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    const QPoint at = event->globalPos() - peer_.Ui().ScreenOrigin();
    Control* control = &peer_.GetForm();
    for (QWidget* child = childAt(event->pos()); child; child = child->parentWidget())
        if (QtControlPeer* peer = peer_.Ui().PeerAtWidget(child)) {
            control = &peer->GetControl();
            break;
        }
    control->UserContextMenu(at.x(), at.y());
}

QtFormPeer::QtFormPeer(QtUi& ui, Form& form)
    : QtControlPeer(ui, form), FormPeerBase(form, LayersFloat(ui, form)) {
    // Every compositing manager blends a window by its pixels' own alpha;
    // not every one honours a window's opacity property or its shape (the
    // Wayland compositors behind XWayland do not), and on one that does the
    // pixels come out the same.
    perPixel_ = Rendered();
    // Dialogs belong to the main window, so that a window manager keeps them
    // above it (it is always on top) and centres message boxes on them.
    QWidget* parent = Rendered() ? nullptr : ui.MainWidget();
    auto* window = new FormWidget(*this, parent, FlagsFor(form, Rendered(), TakesKeyboard()));
    window->setAttribute(Qt::WA_QuitOnClose, false);
    if (Rendered()) {
        window->setAttribute(Qt::WA_NoSystemBackground);
        // A 32-bit visual, so that the pixels carry their own alpha; without
        // one the window is opaque.
        window->setAttribute(perPixel_ ? Qt::WA_TranslucentBackground : Qt::WA_OpaquePaintEvent);
        forceShape_ = true;
    } else {
        window->setAutoFillBackground(true);
        if (!form.FontName.empty()) {
            QFont font(QString::fromStdString(form.FontName));
            font.setPixelSize(std::max(form.FontHeight, 1));
            window->setFont(font);
        }
    }
    Attach(window);
    ApplyAllForm();
}

QtFormPeer::~QtFormPeer() = default;

bool QtFormPeer::StaysOnTop() const { return GetForm().Style == FormStyle::StayOnTop; }

void QtFormPeer::Apply(Change what) {
    if (Window()) ApplyFormChange(what);
}

void QtFormPeer::ApplyBounds() {
    if (Window()) ApplyFormBounds();
}

bool QtFormPeer::IsShown() const { return Window()->isVisible(); }

void QtFormPeer::SetFrame(const Rect&) {
    FormWidget* window = Window();
    const QRect area = LayerArea();
    placeRequests_ = 0;
    if (FixedSize()) window->setFixedSize(area.size());
    if (FullScreen() && window->isVisible() && window->geometry() != area) {
        // A window manager keeps a full-screen window on its monitor: it
        // leaves full screen, moves to the new place and asks again.
        window->setWindowState(Qt::WindowNoState);
        window->setGeometry(area);
        window->setWindowState(Qt::WindowFullScreen);
    } else {
        window->setGeometry(area);
    }
}

void QtFormPeer::SetClientSize(int width, int height) { Window()->setFixedSize(width, height); }

void QtFormPeer::SetWindowEnabled(bool enabled) { Window()->setEnabled(enabled); }

// The main window carries the program's taskbar entry, under the
// application's title.
void QtFormPeer::SetTitle(const std::string& title) {
    const Form& form = GetForm();
    const bool main = form.FormApp().MainForm() == &form;
    Window()->setWindowTitle(QString::fromStdString(title.empty() && main ? form.FormApp().Title : title));
}

void QtFormPeer::Repaint(const Rect& area) { Invalidate(QRect(area.left, area.top, area.Width(), area.Height())); }

void QtFormPeer::ApplyColour() {
    QPalette palette = Window()->palette();
    palette.setColor(QPalette::Window, ToQColor(GetForm().Colour()));
    Window()->setPalette(palette);
    Repaint(WholeForm());
}

// With per-pixel alpha the frame carries it: drawn again whole.
void QtFormPeer::ApplyAlpha() {
    const Form& form = GetForm();
    if (perPixel_)
        Repaint(WholeForm());
    else
        Window()->setWindowOpacity(form.AlphaBlend ? form.AlphaBlendValue() / 255.0 : 1.0);
}

void QtFormPeer::ApplyLayered() {
    forceShape_ = true;
    if (GetForm().ColourKeyBlack())
        Repaint(WholeForm());
    else
        Window()->clearMask();
}

void QtFormPeer::Raise() {
    Window()->raise();
    ui_.Restack();
}

void QtFormPeer::SetModal(bool modal) { Window()->setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal); }

Rect QtFormPeer::OuterFrame() const {
    const QSize outer = Window()->frameGeometry().size().expandedTo(Window()->size());
    return Rect{0, 0, outer.width(), outer.height()};
}

Rect QtFormPeer::ScreenArea() const {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    return Rect{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
}

std::optional<Rect> QtFormPeer::OwnerFrame() const {
    QWidget* owner = ui_.MainWidget();
    if (!owner || owner == Window() || !owner->isVisible()) return std::nullopt;
    const QRect area = owner->frameGeometry();
    return Rect{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
}

void QtFormPeer::MoveFrameTo(int left, int top) { Window()->move(left, top); }

void QtFormPeer::FocusQuietly(Control& control) { ui_.SetFocusQuietly(ui_.WidgetOf(control)); }

QRect QtFormPeer::LayerArea() const {
    const Form& form = GetForm();
    return {ui_.ScreenOrigin() + QPoint(form.Left(), form.Top()),
            QSize(std::max(form.Width(), 1), std::max(form.Height(), 1))};
}

// Window managers place a floating window where they like: i3 a border's
// width above the place asked for, weston 10 at its work area's corner with
// the room of a frame around (it takes the screen's corner for no place at
// all). A floating screen layer that is not at its place a moment after it
// showed or moved asks for it again, a few times; when the window manager
// keeps it elsewhere (weston ignores a move of a mapped window), it asks to
// be maximized, which puts it at the corner of the work area.
void QtFormPeer::WindowMoved() {
    if (!Rendered() || FullScreen() || !Window() || !Window()->isVisible()) return;
    if (!placeCheck_) {
        placeCheck_ = new QTimer(Window());
        placeCheck_->setSingleShot(true);
        QObject::connect(placeCheck_, &QTimer::timeout, Window(), [this] { CheckPlace(); });
    }
    placeCheck_->start(kPlaceCheckMs);
}

void QtFormPeer::CheckPlace() {
    FormWidget* window = Window();
    if (!window || !window->isVisible() || !window->windowHandle() ||
        ScreenPosition(*window->windowHandle()) == LayerArea().topLeft())
        return;
    if (placeRequests_ < kPlaceRequests) {
        ++placeRequests_;
        window->move(LayerArea().topLeft());
        placeCheck_->start(kPlaceCheckMs);
    } else if (!(window->windowState() & Qt::WindowMaximized)) {
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
    }
}

bool QtFormPeer::QueueShow() {
    QMetaObject::invokeMethod(Window(), [this] { ShowWhenDue(); }, Qt::QueuedConnection);
    return true;
}

// What the window manager and the compositing manager need to know of a
// screen layer before it maps. The dimming layer covers its monitor in full
// screen (above panels and docks while the program has the keyboard) and
// has no taskbar or pager entry of its own. The layer above belongs to it
// (WM_TRANSIENT_FOR): window managers keep it above the dimming layer and
// in the full-screen layer with it whichever of the two has the keyboard, so
// a click on the dimming layer may give it the keyboard without raising it
// over the clock; the taskbar entry is this window's. Both stay composited.
void QtFormPeer::PrepareScreenLayer() {
    FormWidget* window = Window();
    if (prepared_ || !window) return;
    window->winId();
    QWindow* handle = window->windowHandle();
    if (!handle) return;
    prepared_ = true;
    if (perPixel_ && AlphaVisualRefused(*handle)) {
        // No 32-bit visual: the window's own opacity dims instead.
        perPixel_ = false;
        ApplyAlpha();
    }
    if (FullScreen()) window->setWindowState(Qt::WindowFullScreen);
    if (Dimmer()) {
        AddWindowStates(*handle, {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"});
    }
    if (TopLayer()) {
        if (QtFormPeer* dimmer = ui_.DimmerPeer(); dimmer && dimmer->Window() && dimmer->Window()->windowHandle())
            handle->setTransientParent(dimmer->Window()->windowHandle());
        SetWindowType(*handle, "_NET_WM_WINDOW_TYPE_NORMAL");
    }
    if (!TakesKeyboard()) RefuseKeyboard(*handle);
    KeepComposited(*handle);
}

bool QtFormPeer::DimmerUndrawn() const {
    const QtFormPeer* dimmer = ui_.DimmerPeer();
    return dimmer && dimmer->GetForm().Visible() && !dimmer->Exposed();
}

// The wait ends when the dimming layer is drawn, or after a while all the
// same (a window manager that never maps it).
void QtFormPeer::WaitForDimmer() {
    if (!dimmerWait_) {
        dimmerWait_ = new QTimer(Window());
        dimmerWait_->setSingleShot(true);
        QObject::connect(dimmerWait_, &QTimer::timeout, Window(), [this] { DimmerShown(); });
    }
    awaitingDimmer_ = true;
    dimmerWait_->start(kDimmerWaitMs);
}

bool QtFormPeer::Exposed() const {
    const FormWidget* window = Window();
    return window && window->windowHandle() && window->windowHandle()->isExposed();
}

void QtFormPeer::DimmerShown() {
    if (!awaitingDimmer_) return;
    awaitingDimmer_ = false;
    dimmerWait_->stop();
    if (GetForm().Visible()) ShowNow(true);
}

void QtFormPeer::Appear() {
    FormWidget* window = Window();
    if (Rendered()) {
        PrepareScreenLayer();
        Refresh();
    }
    window->show();
    WindowMoved();
    // The window's frame is known once it is shown the first time.
    if (!Rendered() && GetForm().Position != FormPosition::Designed) Place();
    if (Dimmer()) ui_.WarnIfNoCompositor();
    if (!Dimmer()) window->raise();
    if (TakesKeyboard()) ui_.ActivateUnlessFocused(window);
    ui_.Restack();
}

void QtFormPeer::Hide() {
    awaitingDimmer_ = false;
    FormWidget* window = Window();
    if (!window || !window->isVisible()) return;
    const bool wasActive = window->isActiveWindow();
    window->hide();
    if (Rendered() && !wasActive) return;
    // The keyboard goes back to the window below: a dialog still open, or
    // the screen layer that takes it.
    if (QWidget* modal = QApplication::activeModalWidget())
        ui_.ActivateUnlessFocused(modal);
    else if (QWidget* screen = ui_.KeyboardWidget(); screen && screen->isVisible())
        ui_.ActivateUnlessFocused(screen);
}

void QtFormPeer::Invalidate(const QRect& rect) {
    if (!Rendered() || !Window()) return;
    dirty_ |= rect & QRect(0, 0, std::max(GetForm().Width(), 1), std::max(GetForm().Height(), 1));
    if (refreshPending_) return;
    refreshPending_ = true;
    QMetaObject::invokeMethod(Window(), [this] { Refresh(); }, Qt::QueuedConnection);
}

// Asks for the changed part to be painted again. The shape of a
// colour-keyed window is set only when a pixel of that part changed between
// black and not black, as setting it is costly and makes the compositor
// repaint.
void QtFormPeer::Refresh() {
    refreshPending_ = false;
    FormWidget* window = Window();
    if (!Rendered() || !window) return;
    const Form& form = GetForm();
    const QRect whole(0, 0, std::max(form.Width(), 1), std::max(form.Height(), 1));
    if (whole.size() != frameSize_) {
        frameSize_ = whole.size();
        dirty_ = whole;
        forceShape_ = true;
    }
    const QRect dirty = dirty_ & whole;
    dirty_ = QRect();
    if (!dirty.isEmpty()) window->update(dirty);
    if (!form.ColourKeyBlack() || (dirty.isEmpty() && !forceShape_)) return;
    const QRect area = forceShape_ ? whole : dirty;
    const QRegion shown = NonBlackRegion(form, area);
    if (!forceShape_ && (shown ^ (shape_ & area)).isEmpty()) return;
    shape_ = forceShape_ ? shown : shape_.subtracted(area).united(shown);
    forceShape_ = false;
    window->setMask(shape_.isEmpty() ? kNothingShows : shape_);
    ++shapeUpdates_;
}

QImage::Format QtFormPeer::FrameFormat() const {
    return perPixel_ ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
}

// Paints a part of the window from the kit's composed picture, made for the
// paint itself: the toolkit's backing store is the only copy of the window's
// pixels.
void QtFormPeer::Paint(QPainter& painter, const QRect& rect) const {
    const Form& form = GetForm();
    const QRect area = rect & QRect(0, 0, form.Width(), form.Height());
    const bool keyed = form.ColourKeyBlack();
    const unsigned alpha = form.AlphaBlend ? form.AlphaBlendValue() : 255u;
    const QImage::Format format = FrameFormat();
    form.RenderBands(area.left(), area.top(), area.width(), area.height(), [&](int top, Bitmap32& band) {
        for (int y = 0; y < band.Height(); ++y) {
            Pixel* row = band.Row(y);
            for (int x = 0; x < band.Width(); ++x) row[x] = FramePixel(row[x], perPixel_, keyed, alpha);
        }
        const QImage image(reinterpret_cast<const uchar*>(band.Row(0)), band.Width(), band.Height(),
                           qsizetype(band.Width()) * qsizetype(sizeof(Pixel)), format);
        painter.drawImage(QPoint(area.left(), top), image);
    });
}

}  // namespace duskpane

// The Qt peer of a form: dialogs as fixed-size windows with their controls,
// and the borderless screen layers that paint the kit's composed picture,
// the colour-keyed one shaped to its non-black pixels.
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>

#include "platform/linux/qt_peers.h"
#include "platform/linux/qt_ui.h"
#include "ui/form.h"

namespace duskpane {

namespace {

// A window shape that lies wholly outside the window: nothing of it shows
// and every click goes through. (An empty region would remove the shape.)
const QRegion kNothingShows(-1, -1, 1, 1);

Qt::WindowFlags FlagsFor(const Form& form, bool rendered, bool dimmer) {
    if (rendered) {
        Qt::WindowFlags flags = Qt::Window | Qt::FramelessWindowHint;
        if (form.Style == FormStyle::StayOnTop) flags |= Qt::WindowStaysOnTopHint;
        // A click on the dimming layer must not raise it over the
        // always-on-top window, so it never takes the focus.
        if (dimmer) flags |= Qt::WindowDoesNotAcceptFocus;
        return flags;
    }
    Qt::WindowFlags flags = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint;
    if (form.CloseBoxOnly)
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    return flags;
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
    peer_.Paint(painter, event->rect());
}

// The window system's close (the close box, the window manager) goes to the
// kit, which decides; the native window itself is only ever hidden.
void FormWidget::closeEvent(QCloseEvent* event) {
    event->ignore();
    peer_.GetForm().UserCloseBox();
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

void FormWidget::mousePressEvent(QMouseEvent* event) {
    if (peer_.Dimmer() && event->button() == Qt::LeftButton) peer_.Ui().ActivateMainForm();
    QWidget::mousePressEvent(event);
}

QtFormPeer::QtFormPeer(QtUi& ui, Form& form) : QtControlPeer(ui, form), FormPeerBase(form) {
    // Dialogs belong to the main window, so that a window manager keeps them
    // above it (it is always on top) and centres message boxes on them.
    QWidget* parent = Rendered() ? nullptr : ui.MainWidget();
    auto* window = new FormWidget(*this, parent, FlagsFor(form, Rendered(), Dimmer()));
    window->setAttribute(Qt::WA_QuitOnClose, false);
    if (Rendered()) {
        window->setAttribute(Qt::WA_OpaquePaintEvent);
        window->setAttribute(Qt::WA_NoSystemBackground);
        frame_ = QImage(std::max(form.Width(), 1), std::max(form.Height(), 1), QImage::Format_RGB32);
        frame_.fill(Qt::black);
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

void QtFormPeer::SetFrame(const Rect& area) {
    Window()->setGeometry(QRect(area.left, area.top, area.Width(), area.Height()));
}

void QtFormPeer::SetClientSize(int width, int height) { Window()->setFixedSize(width, height); }

void QtFormPeer::SetWindowEnabled(bool enabled) { Window()->setEnabled(enabled); }

void QtFormPeer::SetTitle(const std::string& title) { Window()->setWindowTitle(QString::fromStdString(title)); }

void QtFormPeer::Repaint(const Rect& area) { Invalidate(QRect(area.left, area.top, area.Width(), area.Height())); }

void QtFormPeer::ApplyColour() {
    QPalette palette = Window()->palette();
    palette.setColor(QPalette::Window, ToQColor(GetForm().Colour()));
    Window()->setPalette(palette);
    Repaint(WholeForm());
}

void QtFormPeer::ApplyAlpha() {
    const Form& form = GetForm();
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

bool QtFormPeer::QueueShow() {
    QMetaObject::invokeMethod(Window(), [this] { ShowWhenDue(); }, Qt::QueuedConnection);
    return true;
}

void QtFormPeer::Appear() {
    FormWidget* window = Window();
    if (Rendered()) Refresh();
    window->show();
    // The window's frame is known once it is shown the first time.
    if (!Rendered() && GetForm().Position != FormPosition::Designed) Place();
    if (Dimmer()) {
        ui_.WarnIfNoCompositor();
    } else {
        window->raise();
        window->activateWindow();
    }
    ui_.Restack();
}

void QtFormPeer::Hide() {
    FormWidget* window = Window();
    if (!window || !window->isVisible()) return;
    const bool wasActive = window->isActiveWindow();
    window->hide();
    if (Rendered() && !wasActive) return;
    // The keyboard goes back to the window below: a dialog still open, or
    // the main window.
    if (QWidget* modal = QApplication::activeModalWidget())
        modal->activateWindow();
    else
        ui_.ActivateMainForm();
}

void QtFormPeer::Invalidate(const QRect& rect) {
    if (!Rendered() || !Window()) return;
    dirty_ |= rect & QRect(0, 0, std::max(GetForm().Width(), 1), std::max(GetForm().Height(), 1));
    if (refreshPending_) return;
    refreshPending_ = true;
    QMetaObject::invokeMethod(Window(), [this] { Refresh(); }, Qt::QueuedConnection);
}

// Paints the changed part from the kit's composed picture. The shape of a
// colour-keyed window is set only when a pixel of that part changed between
// black and not black, as setting it is costly and makes the compositor
// repaint.
void QtFormPeer::Refresh() {
    refreshPending_ = false;
    FormWidget* window = Window();
    if (!Rendered() || !window) return;
    const Form& form = GetForm();
    const QSize size(std::max(form.Width(), 1), std::max(form.Height(), 1));
    if (frame_.size() != size) {
        frame_ = QImage(size, QImage::Format_RGB32);
        frame_.fill(Qt::black);
        dirty_ = QRect(QPoint(0, 0), size);
        shape_ = QRegion();
        forceShape_ = true;
    }
    const QRect dirty = dirty_ & frame_.rect();
    dirty_ = QRect();
    if (dirty.isEmpty() && !forceShape_) return;

    bool keyChanged = false;
    if (!dirty.isEmpty()) {
        // Only the changed part is composed: the spectrum changes a few
        // times a second on a screen-sized window.
        const Bitmap32 picture = form.RenderPart(dirty.left(), dirty.top(), dirty.width(), dirty.height());
        const int right = std::min(dirty.right(), dirty.left() + picture.Width() - 1);
        const int bottom = std::min(dirty.bottom(), dirty.top() + picture.Height() - 1);
        for (int y = dirty.top(); y <= bottom; ++y) {
            const Pixel* source = picture.Row(y - dirty.top()) - dirty.left();
            auto* target = reinterpret_cast<QRgb*>(frame_.scanLine(y));
            for (int x = dirty.left(); x <= right; ++x) {
                const QRgb next = 0xFF000000u | (source[x] & 0xFFFFFFu);
                if (((target[x] & 0xFFFFFFu) == 0) != ((next & 0xFFFFFFu) == 0)) keyChanged = true;
                target[x] = next;
            }
        }
        window->update(dirty);
    }
    if (!form.ColourKeyBlack()) return;
    if (forceShape_) {
        shape_ = NonBlackRegion(frame_, frame_.rect());
    } else if (keyChanged) {
        shape_ = shape_.subtracted(dirty).united(NonBlackRegion(frame_, dirty));
    } else {
        return;
    }
    forceShape_ = false;
    window->setMask(shape_.isEmpty() ? kNothingShows : shape_);
    ++shapeUpdates_;
}

void QtFormPeer::Paint(QPainter& painter, const QRect& rect) const {
    painter.drawImage(rect.topLeft(), frame_, rect);
}

}  // namespace duskpane

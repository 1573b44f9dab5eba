// The Qt peers of the child controls: labels, edit boxes, buttons, radio
// buttons, track bars, pictures, paint boxes, panels and group boxes.
#include "platform/linux/qt_peers.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <vector>

#include "platform/linux/qt_ui.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace duskpane {

QColor ToQColor(Pixel colour) { return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour)); }

QImage ToQImage(const Bitmap32& picture, bool transparentBlack) {
    if (picture.Empty()) return QImage();
    QImage image(picture.Width(), picture.Height(),
                 transparentBlack ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < picture.Height(); ++y) {
        const Pixel* source = picture.Row(y);
        auto* target = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < picture.Width(); ++x) {
            const Pixel p = source[x] & 0xFFFFFFu;
            target[x] = transparentBlack && p == kBlack ? 0u : (0xFF000000u | p);
        }
    }
    return image;
}

QRegion NonBlackRegion(const Form& form, const QRect& rect) {
    std::vector<QRect> runs;
    form.RenderBands(rect.left(), rect.top(), rect.width(), rect.height(), [&](int top, Bitmap32& band) {
        for (int y = 0; y < band.Height(); ++y) {
            const Pixel* row = band.Row(y);
            int x = 0;
            while (x < band.Width()) {
                while (x < band.Width() && (row[x] & 0xFFFFFFu) == 0) ++x;
                const int start = x;
                while (x < band.Width() && (row[x] & 0xFFFFFFu) != 0) ++x;
                if (x > start) runs.emplace_back(rect.left() + start, top + y, x - start, 1);
            }
        }
    });
    QRegion region;
    // Rows of height one, sorted by y then x, never touching sideways: the
    // banded form that setRects takes as it is.
    if (!runs.empty()) region.setRects(runs.data(), int(runs.size()));
    return region;
}

QtControlPeer::QtControlPeer(QtUi& ui, Control& control) : ui_(ui), control_(control) {
    ui_.Register(*this, control_, nullptr);
}

QtControlPeer::~QtControlPeer() {
    ui_.Unregister(*this);
    delete widget_.data();
}

void QtControlPeer::Attach(QWidget* widget) {
    widget_ = widget;
    ui_.Register(*this, control_, widget);
}

void QtControlPeer::Changed(Change what) { Apply(what); }

void QtControlPeer::Apply(Change what) {
    if (!widget_) return;
    switch (what) {
        case Change::Bounds:
            ApplyBounds();
            break;
        case Change::Visible:
            widget_->setVisible(control_.Visible());
            break;
        case Change::Enabled:
            widget_->setEnabled(control_.Enabled());
            break;
        case Change::Focus:
            ui_.SetFocusQuietly(widget_);
            break;
        default:
            break;
    }
}

void QtControlPeer::ApplyBounds() {
    if (widget_) widget_->setGeometry(control_.Left(), control_.Top(), control_.Width(), control_.Height());
}

void QtControlPeer::ApplyAll() {
    for (Change what : kEveryChange) Apply(what);
}

namespace {

QWidget* ParentContainer(QtUi& ui, const Control& control) {
    QtControlPeer* parent = control.Parent() ? ui.PeerOf(*control.Parent()) : nullptr;
    return parent ? parent->Container() : nullptr;
}

void SetPaletteColour(QWidget& widget, QPalette::ColorRole role, Pixel colour) {
    QPalette palette = widget.palette();
    palette.setColor(role, ToQColor(colour));
    widget.setPalette(palette);
}

class LabelWidget : public QLabel {
public:
    LabelWidget(QtUi& ui, Control& control, QWidget* parent) : QLabel(parent), ui_(ui), control_(control) {}

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QLabel::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            ui_.Deliver([control = &control_] { control->Click(); });
    }

private:
    QtUi& ui_;
    Control& control_;
};

// A label sizes itself to its text when it is given no width; with a width
// it keeps its box and wraps its words.
class LabelPeer : public QtControlPeer {
public:
    LabelPeer(QtUi& ui, Control& control) : QtControlPeer(ui, control) {
        auto* label = new LabelWidget(ui, control, ParentContainer(ui, control));
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        Attach(label);
        ApplyAll();
    }

protected:
    QLabel& Label() const { return *static_cast<QLabel*>(widget_.data()); }

    void SyncUnannounced() override { Apply(Change::Font); }

    void Apply(Change what) override {
        QtControlPeer::Apply(what);
        if (!widget_) return;
        switch (what) {
            case Change::Text:
                Label().setText(QString::fromStdString(control_.Caption()));
                ApplyBounds();
                break;
            case Change::Font: {
                SetPaletteColour(Label(), QPalette::WindowText, control_.FontColour());
                QFont font = Label().font();
                font.setUnderline(control_.FontUnderline());
                Label().setFont(font);
                if (control_.HandCursor())
                    Label().setCursor(Qt::PointingHandCursor);
                else
                    Label().unsetCursor();
                Label().setToolTip(QString::fromStdString(control_.Hint()));
                ApplyBounds();
                break;
            }
            default:
                break;
        }
    }

    void ApplyBounds() override {
        if (control_.Width() > 0) {
            Label().setWordWrap(true);
            QtControlPeer::ApplyBounds();
            return;
        }
        Label().setWordWrap(false);
        Label().move(control_.Left(), control_.Top());
        Label().adjustSize();
    }
};

class EditPeer : public QtControlPeer {
public:
    EditPeer(QtUi& ui, Edit& edit) : QtControlPeer(ui, edit), edit_(edit) {
        auto* box = new QLineEdit(ParentContainer(ui, edit));
        // Only digits are typed here; an input method would only get between
        // the keys and the key handlers.
        box->setAttribute(Qt::WA_InputMethodEnabled, false);
        QObject::connect(box, &QLineEdit::textEdited, box, [this](const QString& text) {
            ui_.Deliver([this, typed = text.toStdString()] { edit_.UserTextChanged(typed); });
            SyncText();
        });
        Attach(box);
        ApplyAll();
    }

private:
    QLineEdit& Box() const { return *static_cast<QLineEdit*>(widget_.data()); }

    void SyncText() {
        if (!widget_) return;
        const QString text = QString::fromStdString(edit_.Text());
        if (Box().text() == text) return;
        const QSignalBlocker blocker(&Box());
        Box().setText(text);
    }

    void SyncUnannounced() override {
        if (!widget_) return;
        Box().setMaxLength(edit_.MaxLength() > 0 ? edit_.MaxLength() : 32767);
        Box().setReadOnly(edit_.ReadOnly());
    }

    void Apply(Change what) override {
        QtControlPeer::Apply(what);
        if (!widget_) return;
        SyncUnannounced();
        switch (what) {
            case Change::Text:
                SyncText();
                break;
            case Change::Colour:
                SetPaletteColour(Box(), QPalette::Base, edit_.Colour());
                break;
            case Change::Font:
                SetPaletteColour(Box(), QPalette::Text, edit_.FontColour());
                break;
            default:
                break;
        }
    }

    Edit& edit_;
};

// A glyph's bottom-left pixel is its transparent colour, as button pictures have it.
QIcon GlyphIcon(const Bitmap32& glyph) {
    QImage image = ToQImage(glyph, false).convertToFormat(QImage::Format_ARGB32);
    const QRgb key = image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (row[x] == key) row[x] = 0;
    }
    return QIcon(QPixmap::fromImage(image));
}

class ButtonPeer : public QtControlPeer {
public:
    ButtonPeer(QtUi& ui, Button& button) : QtControlPeer(ui, button), button_(button) {
        auto* push = new QPushButton(ParentContainer(ui, button));
        // Enter is the kit's: it clicks the focused or the default button.
        push->setAutoDefault(false);
        QObject::connect(push, &QPushButton::clicked, push,
                         [this] { ui_.Deliver([this] { button_.Click(); }); });
        Attach(push);
        ApplyAll();
    }

private:
    void SyncUnannounced() override { Apply(Change::Text); }

    void Apply(Change what) override {
        QtControlPeer::Apply(what);
        if (!widget_ || what != Change::Text) return;
        auto& push = *static_cast<QPushButton*>(widget_.data());
        push.setText(QString::fromStdString(button_.Caption()));
        push.setDefault(button_.Default);
        push.setIcon(button_.Glyph.Empty() ? QIcon() : GlyphIcon(button_.Glyph));
        if (!button_.Glyph.Empty()) push.setIconSize(QSize(button_.Glyph.Width(), button_.Glyph.Height()));
    }

    Button& button_;
};

// The kit keeps the group: a click never unchecks the button by itself.
class KitRadioButton : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    void nextCheckState() override {}
};

class RadioPeer : public QtControlPeer {
public:
    RadioPeer(QtUi& ui, RadioButton& radio) : QtControlPeer(ui, radio), radio_(radio) {
        auto* button = new KitRadioButton(ParentContainer(ui, radio));
        button->setAutoExclusive(false);
        QObject::connect(button, &QRadioButton::clicked, button,
                         [this] { ui_.Deliver([this] { radio_.Click(); }); });
        Attach(button);
        ApplyAll();
    }

private:
    void Apply(Change what) override {
        QtControlPeer::Apply(what);
        if (!widget_) return;
        auto& button = *static_cast<QRadioButton*>(widget_.data());
        if (what == Change::Text) button.setText(QString::fromStdString(radio_.Caption()));
        if (what == Change::Checked) {
            const QSignalBlocker blocker(&button);
            button.setChecked(radio_.Checked());
        }
    }

    RadioButton& radio_;
};

class TrackBarPeer : public QtControlPeer {
public:
    TrackBarPeer(QtUi& ui, TrackBar& track) : QtControlPeer(ui, track), track_(track) {
        auto* slider = new QSlider(Qt::Horizontal, ParentContainer(ui, track));
        QObject::connect(slider, &QSlider::valueChanged, slider, [this](int value) {
            ui_.Deliver([this, value] { track_.UserSetPosition(value); });
            Sync();
        });
        Attach(slider);
        ApplyAll();
    }

private:
    QSlider& Slider() const { return *static_cast<QSlider*>(widget_.data()); }

    // The slider shows the kit's position, whatever the handlers made of a move.
    void Sync() {
        if (!widget_) return;
        const QSignalBlocker blocker(&Slider());
        Slider().setRange(track_.Min(), track_.Max());
        Slider().setPageStep(std::max(1, (track_.Max() - track_.Min()) / 5));
        Slider().setValue(track_.Position());
    }

    void SyncUnannounced() override {
        if (widget_) Slider().setTickPosition(track_.ShowTicks ? QSlider::TicksBelow : QSlider::NoTicks);
    }

    void Apply(Change what) override {
        QtControlPeer::Apply(what);
        if (what == Change::Range || what == Change::Position) Sync();
        if (what == Change::Range) SyncUnannounced();
    }

    TrackBar& track_;
};

// Paints a prepared image from its top-left corner.
class PictureWidget : public QWidget {
public:
    using QWidget::QWidget;
    void SetImage(QImage image) {
        image_ = std::move(image);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (image_.isNull()) return;
        QPainter painter(this);
        painter.drawImage(0, 0, image_);
    }

private:
    QImage image_;
};

// The picture as the control shows it; what it leaves out is transparent.
QImage ComposeImage(const Image& image) {
    if (!image.HasPicture() || image.Width() <= 0 || image.Height() <= 0) return QImage();
    const Bitmap32 shown = ShownPicture(image, 0);
    return QImage(reinterpret_cast<const uchar*>(shown.Row(0)), shown.Width(), shown.Height(),
                  QImage::Format_ARGB32)
        .copy();
}

class ImagePeer : public QtControlPeer {
public:
    ImagePeer(QtUi& ui, Image& image) : QtControlPeer(ui, image), image_(image) {
        Attach(new PictureWidget(ParentContainer(ui, image)));
        ApplyAll();
    }

private:
    void SyncUnannounced() override { Apply(Change::Picture); }

    void Apply(Change what) override {
        QtControlPeer::Apply(what);
        if (widget_ && (what == Change::Picture || what == Change::Bounds))
            static_cast<PictureWidget*>(widget_.data())->SetImage(ComposeImage(image_));
    }

    Image& image_;
};

class PaintBoxPeer : public QtControlPeer {
public:
    PaintBoxPeer(QtUi& ui, PaintBox& box) : QtControlPeer(ui, box), box_(box) {
        Attach(new PictureWidget(ParentContainer(ui, box)));
        ApplyAll();
    }

private:
    void Apply(Change what) override {
        QtControlPeer::Apply(what);
        if (widget_ && what == Change::Picture) {
            const PaintBox& box = box_;
            static_cast<PictureWidget*>(widget_.data())->SetImage(ToQImage(box.Surface(), false));
        }
    }

    PaintBox& box_;
};

class PanelPeer : public QtControlPeer {
public:
    PanelPeer(QtUi& ui, Control& control) : QtControlPeer(ui, control) {
        QWidget* parent = ParentContainer(ui, control);
        if (control.Kind() == ControlKind::GroupBox) {
            Attach(new QGroupBox(parent));
        } else {
            auto* frame = new QFrame(parent);
            frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
            frame->setLineWidth(1);
            frame->setAutoFillBackground(true);
            Attach(frame);
        }
        ApplyAll();
    }

private:
    void Apply(Change what) override {
        QtControlPeer::Apply(what);
        if (!widget_) return;
        if (auto* box = qobject_cast<QGroupBox*>(widget_.data()); box && what == Change::Text)
            box->setTitle(QString::fromStdString(control_.Caption()));
        if (control_.Kind() == ControlKind::Panel && what == Change::Colour)
            SetPaletteColour(*widget_, QPalette::Window, control_.Colour());
    }
};

// The Qt peer of each kind of control.
struct QtPeerMaker {
    QtUi& ui;
    using Peer = std::unique_ptr<QtControlPeer>;
    QtFormPeer* FormPeerOf(const Form& form) const { return ui.FormPeerOf(form); }
    Peer Drawn(Control& control, QtFormPeer& form) const {
        return std::make_unique<DrawnPeer<QtControlPeer>>(ui, control, form);
    }
    Peer operator()(Label& label) const { return std::make_unique<LabelPeer>(ui, label); }
    Peer operator()(Edit& edit) const { return std::make_unique<EditPeer>(ui, edit); }
    Peer operator()(Button& button) const { return std::make_unique<ButtonPeer>(ui, button); }
    Peer operator()(RadioButton& radio) const { return std::make_unique<RadioPeer>(ui, radio); }
    Peer operator()(TrackBar& track) const { return std::make_unique<TrackBarPeer>(ui, track); }
    Peer operator()(Image& image) const { return std::make_unique<ImagePeer>(ui, image); }
    Peer operator()(PaintBox& box) const { return std::make_unique<PaintBoxPeer>(ui, box); }
    Peer operator()(Panel& panel) const { return std::make_unique<PanelPeer>(ui, panel); }
    Peer operator()(GroupBox& box) const { return std::make_unique<PanelPeer>(ui, box); }
};

}  // namespace

std::unique_ptr<QtControlPeer> MakeChildPeer(QtUi& ui, Control& control) {
    return MakeChildPeerWith(control, QtPeerMaker{ui});
}

}  // namespace duskpane

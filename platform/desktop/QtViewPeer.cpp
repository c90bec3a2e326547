#include <QCheckBox>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include "platform/desktop/QtViewPeer.h"

#include "platform/ui/Controls.h"
#include "platform/ui/TextField.h"

#include <algorithm>
#include <cmath>

namespace platform::desktop {

namespace {

Qt::Alignment alignmentFor(int alignment) {
    switch (alignment) {
        case 1: return Qt::AlignRight | Qt::AlignVCenter;
        case 2: return Qt::AlignHCenter | Qt::AlignVCenter;
        default: return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

// Template icons are monochrome shapes drawn in one colour whatever the
// picture's own, so that icons from different sources look alike.
const QColor kTemplateColour(40, 40, 40);

QPixmap tinted(QPixmap pixmap) {
    if (pixmap.isNull()) return pixmap;
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), kTemplateColour);
    return pixmap;
}

// The platform's own template icons that the application names: a padlock,
// closed or open.
QPixmap templateIcon(const std::string& name) {
    const bool locked = name == "NSLockLockedTemplate";
    if (!locked && name != "NSLockUnlockedTemplate") return {};
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kTemplateColour);
    painter.drawRoundedRect(QRectF(7, 14, 18, 14), 3, 3);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kTemplateColour, 3));
    // The open shackle swings to the right.
    painter.drawArc(locked ? QRectF(10, 4, 12, 20) : QRectF(18, 2, 12, 20), 0, 180 * 16);
    if (locked) {
        painter.drawLine(QPointF(10, 14), QPointF(10, 10));
        painter.drawLine(QPointF(22, 14), QPointF(22, 10));
    }
    return pixmap;
}

QPixmap pixmapFor(const Image& image) {
    if (!image.rgb().empty()) {
        QImage pixels(image.rgb().data(), image.width(), image.height(), image.width() * 3, QImage::Format_RGB888);
        return QPixmap::fromImage(pixels.copy());
    }
    if (!image.filePath().empty()) {
        QPixmap picture(QString::fromStdString(image.filePath()));
        return image.isTemplate() ? tinted(picture) : picture;
    }
    return templateIcon(image.name());
}

}  // namespace

QtViewPeer::QtViewPeer(View& view) : view_(view) {
    createWidget();
    if (widget_) widget_->installEventFilter(&filter_);
}

bool QtViewPeer::InputFilter::eventFilter(QObject* watched, QEvent* event) {
    const bool isControl = qobject_cast<QAbstractButton*>(watched) || qobject_cast<QLineEdit*>(watched);
    switch (event->type()) {
        case QEvent::Enter:
            if (!view_.trackingRects().empty()) view_.mouseEntered(Event::ofType(Event::Type::MouseEntered));
            return false;
        case QEvent::Leave:
            if (!view_.trackingRects().empty()) view_.mouseExited(Event::ofType(Event::Type::MouseExited));
            return false;
        case QEvent::MouseButtonPress:
            if (isControl || !view_.acceptsFirstResponder()) return false;
            view_.mouseDown(Event::ofType(Event::Type::LeftMouseDown));
            return true;
        default: return false;
    }
}

QtViewPeer::~QtViewPeer() {
    if (widget_) {
        widget_->hide();
        widget_->deleteLater();
    }
}

QtViewPeer& QtViewPeer::attach(View& view) {
    auto* existing = dynamic_cast<QtViewPeer*>(view.peer());
    if (!existing) {
        auto peer = std::make_shared<QtViewPeer>(view);
        existing = peer.get();
        view.setPeer(peer);
        existing->modelChanged();
    }
    return *existing;
}

void QtViewPeer::createWidget() {
    if (auto* field = dynamic_cast<TextField*>(&view_)) {
        if (field->isEditable()) {
            auto* edit = new QLineEdit;
            if (field->isSecure()) edit->setEchoMode(QLineEdit::Password);
            QObject::connect(edit, &QLineEdit::textEdited,
                             [this](const QString& text) { static_cast<TextField&>(view_).userEdited(text.toStdString()); });
            widget_ = edit;
        } else {
            auto* label = new QLabel;
            label->setWordWrap(true);
            widget_ = label;
        }
    } else if (dynamic_cast<ImageView*>(&view_)) {
        auto* label = new QLabel;
        label->setAlignment(Qt::AlignCenter);
        widget_ = label;
    } else if (auto* button = dynamic_cast<Button*>(&view_)) {
        QAbstractButton* qbutton = button->isCheckbox() ? static_cast<QAbstractButton*>(new QCheckBox)
                                                        : static_cast<QAbstractButton*>(new QPushButton);
        QObject::connect(qbutton, &QAbstractButton::clicked, [this] { static_cast<Button&>(view_).performClick(); });
        widget_ = qbutton;
    } else {
        widget_ = new QWidget;
    }
}

void QtViewPeer::modelChanged() {
    if (!widget_) return;
    syncContent();
    syncSubviews();
    if (QWidget* parent = widget_->parentWidget()) {
        if (fills_)
            fill(parent, fillSize_.width, fillSize_.height);
        else
            placeIn(parent, parentHeight_, offset_);
    }
}

void QtViewPeer::syncContent() {
    widget_->setToolTip(QString::fromStdString(view_.toolTip()));
    if (view_.alphaValue() < 1.0) {
        auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget_->graphicsEffect());
        if (!effect) {
            effect = new QGraphicsOpacityEffect(widget_);
            widget_->setGraphicsEffect(effect);
        }
        effect->setOpacity(view_.alphaValue());
    } else if (widget_->graphicsEffect()) {
        widget_->setGraphicsEffect(nullptr);
    }
    if (auto* field = dynamic_cast<TextField*>(&view_)) {
        const QString text = QString::fromStdString(field->stringValue());
        QFont font = widget_->font();
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(field->fontSize()))));
        widget_->setFont(font);
        if (auto* edit = qobject_cast<QLineEdit*>(widget_)) {
            if (edit->text() != text) edit->setText(text);
            edit->setAlignment(alignmentFor(field->alignment()));
            edit->setFrame(field->isBordered());
        } else if (auto* label = qobject_cast<QLabel*>(widget_)) {
            label->setText(text);
            label->setAlignment(alignmentFor(field->alignment()));
        }
    } else if (auto* imageView = dynamic_cast<ImageView*>(&view_)) {
        auto* label = static_cast<QLabel*>(widget_.data());
        const ImageRef& image = imageView->image();
        QPixmap pixmap = image ? pixmapFor(*image) : QPixmap();
        const QSize box(static_cast<int>(view_.frame().width), static_cast<int>(view_.frame().height));
        if (!pixmap.isNull() && box.isValid())
            pixmap = pixmap.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        label->setPixmap(pixmap);
    } else if (auto* button = dynamic_cast<Button*>(&view_)) {
        auto* qbutton = static_cast<QAbstractButton*>(widget_.data());
        qbutton->setText(QString::fromStdString(button->title()));
        if (button->isCheckbox()) qbutton->setChecked(button->state() != 0);
    }
}

void QtViewPeer::syncSubviews() {
    const Rect& own = view_.frame();
    const double height = fills_ ? fillSize_.height : own.height;
    const Point offset = fills_ ? Point{(fillSize_.width - own.width) / 2, (fillSize_.height - own.height) / 2} : Point{};
    for (const ViewRef& child : view_.subviews()) attach(*child).placeIn(widget_, height, offset);
}

void QtViewPeer::fill(QWidget* parent, double width, double height) {
    if (!widget_) return;
    fills_ = true;
    fillSize_ = {width, height};
    if (widget_->parentWidget() != parent) widget_->setParent(parent);
    widget_->setGeometry(0, 0, static_cast<int>(std::lround(width)), static_cast<int>(std::lround(height)));
    syncSubviews();
    widget_->setVisible(!view_.isHidden());
}

void QtViewPeer::placeIn(QWidget* parent, double parentHeight, Point offset) {
    if (!widget_) return;
    fills_ = false;
    parentHeight_ = parentHeight;
    offset_ = offset;
    if (widget_->parentWidget() != parent) widget_->setParent(parent);
    const Rect& frame = view_.frame();
    const double x = frame.x + offset.x;
    const double y = parentHeight - (frame.y + offset.y + frame.height);
    widget_->setGeometry(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)),
                         static_cast<int>(std::lround(frame.width)), static_cast<int>(std::lround(frame.height)));
    widget_->setVisible(!view_.isHidden() && parent);
}

}  // namespace platform::desktop

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabWidget>

#include "platform/desktop/qt/QtViewPeer.h"

#include "platform/desktop/qt/QtControlWidgets.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Layout.h"
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
        QImage pixels(image.rgb().data(), image.width(), image.height(), qsizetype{image.width()} * 3,
                      QImage::Format_RGB888);
        return QPixmap::fromImage(pixels.copy());
    }
    if (!image.filePath().empty()) {
        QPixmap picture(QString::fromStdString(image.filePath()));
        return image.isTemplate() ? tinted(picture) : picture;
    }
    return templateIcon(image.name());
}

// A button's picture: the platform's refresh and stop templates come from
// the icon theme (with the style's own as fallback), others as drawn.
QIcon iconFor(const Image& image) {
    const auto standard = [&image](const char* themeName, QStyle::StandardPixmap fallback) {
        QIcon icon = QIcon::fromTheme(themeName, QApplication::style()->standardIcon(fallback));
        if (image.width() <= 0) return icon;
        return QIcon(icon.pixmap(image.width(), image.height()));
    };
    if (image.name() == "NSRefreshFreestandingTemplate") return standard("view-refresh", QStyle::SP_BrowserReload);
    if (image.name() == "NSStopProgressFreestandingTemplate") return standard("process-stop", QStyle::SP_BrowserStop);
    return QIcon(pixmapFor(image));
}

constexpr int kPageMargin = 12;

// Black is the text colour of the desktop's style, whatever that is.
QPalette paletteFor(const Color& colour) {
    QPalette palette;
    if (colour == Color::black()) return palette;
    const QColor qcolour =
        QColor::fromRgbF(float(colour.red), float(colour.green), float(colour.blue), float(colour.alpha));
    palette.setColor(QPalette::WindowText, qcolour);
    palette.setColor(QPalette::Text, qcolour);
    return palette;
}

bool isDefaultFont(const TextField& field) { return field.fontName() == "system" && field.fontSize() == 13; }

// The widget of a layout view: a tab widget, a group box or a plain widget,
// with the layout that arranges its subviews.
QWidget* createLayoutWidget(View& view) {
    if (auto* tabs = dynamic_cast<TabView*>(&view)) {
        auto* widget = new QTabWidget;
        QObject::connect(widget, &QTabWidget::currentChanged, [tabs](int index) { tabs->selectTabAtIndex(index); });
        return widget;
    }
    if (auto* box = dynamic_cast<Box*>(&view)) {
        auto* group = new QGroupBox(QString::fromStdString(box->title()));
        new QVBoxLayout(group);
        return group;
    }
    if (dynamic_cast<FormView*>(&view)) {
        auto* widget = new QWidget;
        auto* form = new QFormLayout(widget);
        form->setContentsMargins(0, 0, 0, 0);
        form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
        return widget;
    }
    if (auto* stack = dynamic_cast<StackView*>(&view)) {
        auto* widget = new QWidget;
        auto* layout =
            new QBoxLayout(stack->orientation() == StackView::Orientation::Vertical ? QBoxLayout::TopToBottom
                                                                                    : QBoxLayout::LeftToRight,
                           widget);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(static_cast<int>(std::lround(stack->spacing())));
        // Room to spare goes to the end, until a subview that expands takes it.
        layout->addStretch(1);
        return widget;
    }
    return nullptr;
}

bool isLayoutView(const View& view) {
    return dynamic_cast<const TabView*>(&view) || dynamic_cast<const Box*>(&view) ||
           dynamic_cast<const FormView*>(&view) || dynamic_cast<const StackView*>(&view);
}

// Puts the widget of subview `index` of `container` into the container's layout.
void arrange(View& container, QWidget* containerWidget, std::size_t index, View& child, QWidget* childWidget) {
    if (auto* tabs = dynamic_cast<TabView*>(&container)) {
        // A page keeps its content off the tab widget's frame.
        if (QLayout* page = childWidget->layout())
            page->setContentsMargins(kPageMargin, kPageMargin, kPageMargin, kPageMargin);
        static_cast<QTabWidget*>(containerWidget)
            ->addTab(childWidget, QString::fromStdString(tabs->labels().at(index)));
    } else if (auto* form = dynamic_cast<FormView*>(&container)) {
        static_cast<QFormLayout*>(containerWidget->layout())
            ->addRow(QString::fromStdString(form->captions().at(index)), childWidget);
    } else if (auto* layout = qobject_cast<QBoxLayout*>(containerWidget->layout())) {
        const bool expands = expandsInLayout(child);
        const int spacer = dynamic_cast<StackView*>(&container) ? layout->count() - 1 : layout->count();
        layout->insertWidget(spacer, childWidget, expands ? 1 : 0);
        if (expands && dynamic_cast<StackView*>(&container)) layout->setStretch(layout->count() - 1, 0);
    }
}

bool refusesPaste(const View& view) {
    const auto* secure = dynamic_cast<const SecureTextField*>(&view);
    return secure && !secure->acceptsPaste();
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
            // The middle button pastes the X selection.
            if (refusesPaste(view_) && static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) return true;
            if (isControl || !view_.acceptsFirstResponder()) return false;
            view_.mouseDown(Event::ofType(Event::Type::LeftMouseDown));
            return true;
        case QEvent::KeyPress: {
            if (refusesPaste(view_) && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste)) return true;
            // Return goes to the field's own action, and to nothing else: a
            // dialog would press its default button as well.
            auto* field = dynamic_cast<TextField*>(&view_);
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (!field || !field->hasAction() || (key != Qt::Key_Return && key != Qt::Key_Enter)) return false;
            field->performReturn();
            return true;
        }
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

View* QtViewPeer::viewOfWidget(View& root, const QWidget* widget) {
    if (auto* peer = dynamic_cast<QtViewPeer*>(root.peer()); peer && peer->widget() == widget) return &root;
    for (const ViewRef& child : root.subviews())
        if (View* found = viewOfWidget(*child, widget)) return found;
    return nullptr;
}

void QtViewPeer::createWidget() {
    if (auto* field = dynamic_cast<TextField*>(&view_)) {
        // A secure field may be read-only for a while; it stays a masked line edit.
        if (field->isEditable() || field->isSecure()) {
            auto* edit = new QLineEdit;
            if (field->isSecure()) edit->setEchoMode(QLineEdit::Password);
            QObject::connect(edit, &QLineEdit::textEdited, [this](const QString& text) {
                static_cast<TextField&>(view_).userEdited(text.toStdString());
            });
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
    } else if (QWidget* control = createControlWidget(view_)) {
        widget_ = control;
    } else if (QWidget* container = createLayoutWidget(view_)) {
        widget_ = container;
    } else {
        widget_ = new QWidget;
    }
    widget_->setObjectName(QString::fromStdString(view_.identifier()));
}

void QtViewPeer::modelChanged() {
    if (!widget_) return;
    syncContent();
    syncSubviews();
    QWidget* parent = widget_->parentWidget();
    if (!parent) return;
    switch (placement_) {
        case Placement::Fills: fill(parent, fillSize_.width, fillSize_.height); return;
        case Placement::Free: placeIn(parent, parentHeight_, offset_); return;
        case Placement::Arranged: arrangeBy(parent); return;
    }
}

bool QtViewPeer::shouldShow() const { return !view_.isHidden() && shownWhileNotHidden(view_); }

void QtViewPeer::syncText(const TextField& field) {
    const QString text = QString::fromStdString(field.stringValue());
    if (!isDefaultFont(field)) {
        QFont font = widget_->font();
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(field.fontSize()))));
        widget_->setFont(font);
    }
    widget_->setPalette(paletteFor(field.textColor()));
    widget_->setEnabled(field.isEnabled());
    if (auto* edit = qobject_cast<QLineEdit*>(widget_)) {
        if (edit->text() != text) edit->setText(text);
        edit->setAlignment(alignmentFor(field.alignment()));
        edit->setFrame(field.isBordered());
        edit->setReadOnly(!field.isEditable());
        if (!field.isEditable()) edit->setEnabled(false);
        const auto* secure = dynamic_cast<const SecureTextField*>(&field);
        const bool refusesPaste = secure && !secure->acceptsPaste();
        edit->setAcceptDrops(!refusesPaste);
        edit->setContextMenuPolicy(refusesPaste ? Qt::NoContextMenu : Qt::DefaultContextMenu);
    } else if (auto* label = qobject_cast<QLabel*>(widget_)) {
        label->setText(text);
        label->setAlignment(alignmentFor(field.alignment()));
    }
}

void QtViewPeer::syncContent() {
    widget_->setToolTip(QString::fromStdString(view_.toolTip()));
    if (!view_.accessibilityLabel().empty())
        widget_->setAccessibleName(QString::fromStdString(view_.accessibilityLabel()));
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
        syncText(*field);
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
        qbutton->setIcon(button->image() ? iconFor(*button->image()) : QIcon());
        qbutton->setEnabled(button->isEnabled());
        if (button->isCheckbox()) qbutton->setChecked(button->state() != 0);
    } else if (auto* tabs = dynamic_cast<TabView*>(&view_)) {
        auto* widget = static_cast<QTabWidget*>(widget_.data());
        const QSignalBlocker quiet(widget);
        if (widget->count() > tabs->indexOfSelectedTab()) widget->setCurrentIndex(tabs->indexOfSelectedTab());
    } else {
        syncControlWidget(view_, widget_);
    }
}

void QtViewPeer::syncSubviews() {
    if (isLayoutView(view_)) {
        arrangeSubviews();
        return;
    }
    const Rect& own = view_.frame();
    const bool fills = placement_ == Placement::Fills;
    const double height = fills ? fillSize_.height : own.height;
    const Point offset =
        fills ? Point{(fillSize_.width - own.width) / 2, (fillSize_.height - own.height) / 2} : Point{};
    for (const ViewRef& child : view_.subviews()) attach(*child).placeIn(widget_, height, offset);
}

void QtViewPeer::arrangeSubviews() {
    // Subviews join the layout once, in order; a layout view's subviews are
    // never taken away.
    const auto& children = view_.subviews();
    const QSignalBlocker quiet(widget_.data());
    for (std::size_t i = arranged_.size(); i < children.size(); ++i) {
        arranged_.push_back(children[i].get());
        QtViewPeer& child = attach(*children[i]);
        child.arrangeBy(widget_);
        arrange(view_, widget_, i, *children[i], child.widget());
    }
}

void QtViewPeer::arrangeBy(QWidget* parent) {
    if (!widget_) return;
    placement_ = Placement::Arranged;
    if (widget_->parentWidget() != parent) widget_->setParent(parent);
    const Rect& frame = view_.frame();
    widget_->setMinimumSize(static_cast<int>(std::lround(frame.width)), static_cast<int>(std::lround(frame.height)));
    widget_->setVisible(shouldShow());
}

void QtViewPeer::fill(QWidget* parent, double width, double height) {
    if (!widget_) return;
    placement_ = Placement::Fills;
    fillSize_ = {width, height};
    if (widget_->parentWidget() != parent) widget_->setParent(parent);
    widget_->setGeometry(0, 0, static_cast<int>(std::lround(width)), static_cast<int>(std::lround(height)));
    syncSubviews();
    widget_->setVisible(shouldShow());
}

void QtViewPeer::placeIn(QWidget* parent, double parentHeight, Point offset) {
    if (!widget_) return;
    placement_ = Placement::Free;
    parentHeight_ = parentHeight;
    offset_ = offset;
    if (widget_->parentWidget() != parent) widget_->setParent(parent);
    const Rect& frame = view_.frame();
    const double x = frame.x + offset.x;
    const double y = parentHeight - (frame.y + offset.y + frame.height);
    widget_->setGeometry(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)),
                         static_cast<int>(std::lround(frame.width)), static_cast<int>(std::lround(frame.height)));
    widget_->setVisible(shouldShow() && parent);
}

}  // namespace platform::desktop

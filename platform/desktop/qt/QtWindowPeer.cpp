#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QtGui/qguiapplication_platform.h>

#include "platform/desktop/qt/QtWindowPeer.h"

#include "platform/desktop/qt/QtViewPeer.h"
#include "platform/ui/Panel.h"

#include <X11/Xlib.h>
#include <cmath>
#include <string>

namespace platform::desktop {

namespace {

// A thin line around a borderless window that asks for a shadow, where no
// compositor draws one: without it the window would melt into what lies
// below. Clicks go through to the content.
class FrameLine final : public QWidget {
public:
    explicit FrameLine(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(QColor(0, 0, 0, 160));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

// A compositing manager owns the selection _NET_WM_CM_S<screen>.
bool compositorRuns() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* dpy = x11 ? x11->display() : nullptr;
    if (!dpy) return false;
    const std::string selection = "_NET_WM_CM_S" + std::to_string(DefaultScreen(dpy));
    return XGetSelectionOwner(dpy, XInternAtom(dpy, selection.c_str(), False)) != 0;
}

}  // namespace

void WindowWidget::keyPressEvent(QKeyEvent* event) {
    if (!model_) return;
    if (EventRef translated = translator_ ? translator_(event) : nullptr) model_->sendEvent(translated);
}

void WindowWidget::mousePressEvent(QMouseEvent* event) {
    if (!model_) return;
    const auto type = event->button() == Qt::LeftButton    ? Event::Type::LeftMouseDown
                      : event->button() == Qt::RightButton ? Event::Type::RightMouseDown
                                                           : Event::Type::OtherMouseDown;
    model_->sendEvent(Event::ofType(type));
}

void WindowWidget::mouseMoveEvent(QMouseEvent*) {
    if (model_ && model_->acceptsMouseMovedEvents()) model_->sendEvent(Event::ofType(Event::Type::MouseMoved));
}

void WindowWidget::closeEvent(QCloseEvent* event) {
    // The model decides; it orders itself out when it agrees. A shielding
    // window is the lock itself: another client's close request
    // (WM_DELETE_WINDOW) must not take away the only place the password
    // can be typed.
    event->ignore();
    if (model_ && model_->level() < windowlevel::Shielding) model_->performClose();
}

void WindowWidget::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || isActiveWindow() || !model_) return;
    // The user turned to another client. The lock window keeps its key
    // status whatever happens to the focus: its grabs guard it.
    if (model_->isKeyWindow() && model_->level() < windowlevel::Shielding) model_->resignKey();
}

QtWindowPeer::QtWindowPeer(Window& window, ShieldHost& host, WindowWidget::KeyTranslator translator)
    : window_(window), host_(host), widget_(new WindowWidget(&window, std::move(translator))) {
    widget_->setAutoFillBackground(true);
    widget_->setMouseTracking(window.acceptsMouseMovedEvents());
}

QtWindowPeer::~QtWindowPeer() {
    setShielding(false);
    // The content view outlives its window (the lock window's content is
    // kept for the next lock); its widget must not die with this one.
    if (content_ && content_->parentWidget() == widget_) {
        content_->hide();
        content_->setParent(nullptr);
    }
    if (widget_) {
        widget_->detach();
        widget_->hide();
        widget_->deleteLater();
    }
}

void QtWindowPeer::applyLevel() {
    if (appliedLevel_ == window_.level()) return;
    const bool wasVisible = widget_->isVisible();
    Qt::WindowFlags flags = Qt::Window;
    auto* panel = dynamic_cast<Panel*>(&window_);
    if (panel) {
        // Panels (previews, palettes) never take the focus from the window they serve.
        flags = Qt::Tool | Qt::WindowDoesNotAcceptFocus;
        widget_->setAttribute(Qt::WA_ShowWithoutActivating);
    }
    if (window_.styleMask() == Window::Borderless) flags |= Qt::FramelessWindowHint;
    if (window_.level() >= windowlevel::Shielding)
        flags = Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint | Qt::WindowStaysOnTopHint;
    else if (window_.level() >= windowlevel::Floating)
        flags |= Qt::WindowStaysOnTopHint;
    // Where the lock draws its windows itself, the toolkit lays them out and
    // paints them but never puts them on screen.
    widget_->setAttribute(Qt::WA_DontShowOnScreen,
                          window_.level() >= windowlevel::Shielding && host_.drawsShieldWindows());
    // Changing the flags of a shown window hides it; the shield registration
    // follows the new native window.
    setShielding(false);
    widget_->setWindowFlags(flags);
    appliedLevel_ = window_.level();
    if (wasVisible) widget_->show();
}

void QtWindowPeer::setShielding(bool registered) {
    if (!registered) {
        if (shieldWidget_) host_.removeShieldWindow(shieldWidget_);
        shieldWidget_ = nullptr;
        shieldId_ = 0;
        return;
    }
    // A new native window (after one was lost) is registered anew.
    const unsigned long id = host_.drawsShieldWindows() ? 1 : widget_->winId();
    if (shieldWidget_ && shieldId_ == id) return;
    if (shieldWidget_) host_.removeShieldWindow(shieldWidget_);
    shieldId_ = id;
    shieldWidget_ = widget_;
    host_.addShieldWindow(widget_, [this] { nativeWindowLost(); });
}

void QtWindowPeer::nativeWindowLost() {
    // Another client destroyed the X window under the widget. Qt makes a
    // new one when the widget's flags are set again; the content and the
    // shield registration follow. Later, from the event loop: the lost
    // window's events are still being handled.
    shieldId_ = 0;
    shieldWidget_ = nullptr;
    QMetaObject::invokeMethod(
        widget_,
        [this, alive = std::weak_ptr<bool>(alive_)] {
            if (alive.expired() || !widget_) return;
            widget_->hide();
            widget_->recreateNativeWindow();
            appliedLevel_ = -1;
            modelChanged();
        },
        Qt::QueuedConnection);
}

void QtWindowPeer::syncContent() {
    const ViewRef& view = window_.contentView();
    QWidget* wanted = view ? QtViewPeer::attach(*view).widget() : nullptr;
    if (content_ && content_ != wanted && content_->parentWidget() == widget_) {
        content_->hide();
        content_->setParent(nullptr);
    }
    content_ = wanted;
    if (!view || !wanted) return;
    const Rect& frame = window_.frame();
    QtViewPeer& peer = QtViewPeer::attach(*view);
    peer.modelChanged();
    peer.fill(widget_, frame.width, frame.height);
}

void QtWindowPeer::syncFrameLine() {
    const bool wanted = window_.hasShadow() && window_.styleMask() == Window::Borderless && !compositorRuns();
    if (!wanted) {
        if (frameLine_) frameLine_->hide();
        return;
    }
    if (!frameLine_) frameLine_ = new FrameLine(widget_);
    frameLine_->setGeometry(widget_->rect());
    frameLine_->raise();
    frameLine_->show();
}

void QtWindowPeer::modelChanged() {
    if (!widget_) return;
    applyLevel();
    // X root coordinates are device pixels; Qt places windows in its own
    // scaled pixels on a high-density screen.
    const Rect root = host_.toRoot(window_.frame());
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double scale = screen ? screen->devicePixelRatio() : 1.0;
    widget_->setGeometry(static_cast<int>(std::lround(root.x / scale)), static_cast<int>(std::lround(root.y / scale)),
                         static_cast<int>(std::lround(root.width / scale)),
                         static_cast<int>(std::lround(root.height / scale)));
    widget_->setWindowTitle(QString::fromStdString(window_.title()));
    widget_->setMouseTracking(window_.acceptsMouseMovedEvents());
    const Color& background = window_.backgroundColor();
    QPalette palette = widget_->palette();
    // Without a compositor a clear window shows black, like the covers below it.
    const QColor color = background.alpha <= 0.0
                             ? QColor(Qt::black)
                             : QColor::fromRgbF(float(background.red), float(background.green), float(background.blue));
    palette.setColor(QPalette::Window, color);
    widget_->setPalette(palette);
    widget_->setWindowOpacity(window_.alphaValue());
    syncContent();
    syncFrameLine();

    // A fully transparent window (a photo preview at rest, a panel fading
    // out) is left unmapped: without a compositor it would show opaque, and
    // mapped it would take the pointer from the window below.
    if (!window_.isVisible() || window_.alphaValue() <= 0.0) {
        setShielding(false);
        widget_->hide();
        return;
    }
    widget_->show();
    if (window_.level() >= windowlevel::Shielding) {
        setShielding(true);
    } else if (window_.isKeyWindow() && !dynamic_cast<Panel*>(&window_)) {
        widget_->raise();
        widget_->activateWindow();
    }
}

}  // namespace platform::desktop

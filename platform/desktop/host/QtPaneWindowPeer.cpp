#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QScreen>
#include <QVBoxLayout>

#include "platform/desktop/host/QtPaneWindowPeer.h"

#include "platform/desktop/qt/QtViewPeer.h"

#include <algorithm>
#include <cmath>

namespace platform::desktop {

namespace {

constexpr int kMargin = 12;

// The top-level widget of a normal window.
class PaneWindowWidget final : public QWidget {
public:
    explicit PaneWindowWidget(Window* model) : model_(model) {}
    void detach() { model_ = nullptr; }

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        if (model_) model_->performClose();
    }

private:
    Window* model_;
};

// The dialog of a sheet.
class SheetDialog final : public QDialog {
public:
    SheetDialog(Window* model, QWidget* parent) : QDialog(parent), model_(model) { setWindowModality(Qt::WindowModal); }
    void detach() { model_ = nullptr; }
    void reject() override {
        if (model_) model_->performClose();
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        reject();
    }

private:
    Window* model_;
};

}  // namespace

QtPaneWindowPeer::QtPaneWindowPeer(Window& window) : window_(window) {
    const Window* parent = window.sheetParent();
    if (QWidget* parentWidget = parent ? widgetOf(*parent) : nullptr)
        widget_ = new SheetDialog(&window, parentWidget);
    else
        widget_ = new PaneWindowWidget(&window);
    auto* layout = new QVBoxLayout(widget_);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    QObject::connect(qApp, &QApplication::focusChanged, widget_, [this](QWidget*, QWidget* now) { followFocus(now); });
}

QtPaneWindowPeer::~QtPaneWindowPeer() {
    if (!widget_) return;
    // The content view outlives its window; its widget must not die with it.
    if (content_ && content_->parentWidget() == widget_) {
        content_->hide();
        content_->setParent(nullptr);
    }
    if (auto* dialog = dynamic_cast<SheetDialog*>(widget_.data())) dialog->detach();
    if (auto* plain = dynamic_cast<PaneWindowWidget*>(widget_.data())) plain->detach();
    widget_->hide();
    widget_->deleteLater();
}

QWidget* QtPaneWindowPeer::widgetOf(const Window& window) {
    auto* peer = dynamic_cast<QtPaneWindowPeer*>(window.peer());
    return peer ? peer->widget() : nullptr;
}

void QtPaneWindowPeer::syncContent() {
    const ViewRef& view = window_.contentView();
    QWidget* wanted = view ? QtViewPeer::attach(*view).widget() : nullptr;
    if (content_ == wanted) return;
    if (content_ && content_->parentWidget() == widget_) {
        widget_->layout()->removeWidget(content_);
        content_->hide();
        content_->setParent(nullptr);
    }
    content_ = wanted;
    if (!view || !wanted) return;
    QtViewPeer::attach(*view).arrangeBy(widget_);
    widget_->layout()->addWidget(wanted);
}

void QtPaneWindowPeer::sizeOnFirstShow() {
    if (shownBefore_) return;
    shownBefore_ = true;
    // Everything fits, and the window fits the screen.
    const QSize wanted = widget_->sizeHint().expandedTo(QSize(static_cast<int>(std::lround(window_.frame().width)),
                                                              static_cast<int>(std::lround(window_.frame().height))));
    const QScreen* screen = widget_->screen() ? widget_->screen() : QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableGeometry().size() : wanted;
    widget_->resize(wanted.boundedTo(room));
}

void QtPaneWindowPeer::syncFocus() {
    auto* view = dynamic_cast<View*>(window_.firstResponder());
    auto* peer = view ? dynamic_cast<QtViewPeer*>(view->peer()) : nullptr;
    if (peer && peer->widget() && !peer->widget()->hasFocus()) peer->widget()->setFocus(Qt::OtherFocusReason);
}

void QtPaneWindowPeer::followFocus(QWidget* now) {
    if (!now || !widget_ || !widget_->isAncestorOf(now) || !window_.contentView()) return;
    View* view = QtViewPeer::viewOfWidget(*window_.contentView(), now);
    if (view && view != window_.firstResponder() && view->acceptsFirstResponder()) window_.makeFirstResponder(view);
}

void QtPaneWindowPeer::modelChanged() {
    if (!widget_) return;
    widget_->setWindowTitle(QString::fromStdString(window_.title()));
    syncContent();
    if (!window_.isVisible()) {
        widget_->hide();
        return;
    }
    sizeOnFirstShow();
    if (!widget_->isVisible()) widget_->show();
    if (window_.isKeyWindow()) {
        widget_->raise();
        widget_->activateWindow();
    }
    syncFocus();
}

}  // namespace platform::desktop

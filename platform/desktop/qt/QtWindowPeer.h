#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/desktop/qt/ShieldHost.h"
#include "platform/ui/Window.h"

#include <functional>
#include <memory>

namespace platform::desktop {

// The top-level widget of a window model: forwards keys, clicks and closing
// to the model.
class WindowWidget final : public QWidget {
public:
    using KeyTranslator = std::function<EventRef(QKeyEvent*)>;
    WindowWidget(Window* model, KeyTranslator translator) : model_(model), translator_(std::move(translator)) {}
    void detach() { model_ = nullptr; }
    // A new X window for the widget, after someone destroyed the old one.
    void recreateNativeWindow() {
        destroy(true, true);
        create();
    }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    Window* model_;
    KeyTranslator translator_;
};

// Draws a window model: frame (from screen into X root coordinates), level
// (shielding windows bypass the window manager and stay above the display
// covers), background, opacity, visibility and key status, and its content
// view tree.
class QtWindowPeer final : public Peer {
public:
    QtWindowPeer(Window& window, ShieldHost& host, WindowWidget::KeyTranslator translator);
    ~QtWindowPeer() override;

    void modelChanged() override;
    QWidget* widget() const { return widget_; }

private:
    void applyLevel();
    void syncContent();
    void syncFrameLine();
    void setShielding(bool registered);
    void nativeWindowLost();

    Window& window_;
    ShieldHost& host_;
    QPointer<WindowWidget> widget_;
    QPointer<QWidget> content_;
    QPointer<QWidget> frameLine_;
    int appliedLevel_ = -1;
    unsigned long shieldId_ = 0;
    QWidget* shieldWidget_ = nullptr;  // as registered with the host
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace platform::desktop

#include <gtest/gtest.h>

#include "desktop/PrivateDisplay.h"
#include "desktop/QtWidgetTesting.h"

#include "desktop/QtPeersOnX11.h"

#include <QWidget>

#include "app/AboutPanel.h"
#include "platform/desktop/qt/QtWindowPeer.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unistd.h>

// The about window drawn by the Qt peers on a real X server: no decorations
// from any window manager, and gone after a click or when another client
// takes the focus. The end-to-end runner starts these under Xvfb.

using namespace platform::desktop;

namespace {

// The Motif hints a client sets to ask the window manager for no title bar
// and no frame: flags, functions, decorations, input mode, status.
struct MotifHints {
    bool present = false;
    unsigned long flags = 0;
    unsigned long decorations = 0;
};
constexpr unsigned long kMotifDecorationsFlag = 1ul << 1;

class AboutWindowDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        if (!havePrivateXServer()) GTEST_SKIP() << "needs a private X server (run through with_xvfb.py)";
        widgetTestApplication();
        config_ = std::filesystem::temp_directory_path() / ("tarnwick-about-desktop-" + std::to_string(::getpid()));
        std::filesystem::create_directories(config_);
        ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
        client_ = XOpenDisplay(nullptr);
        ASSERT_NE(client_, nullptr);
        peers_ = std::make_unique<QtPeersOnX11>();
    }

    void TearDown() override {
        processEventsFor(50);
        peers_.reset();
        if (client_) XCloseDisplay(client_);
        std::filesystem::remove_all(config_);
    }

    // Shows a panel and waits until it has the focus; the caller keeps only
    // a weak reference, as the application does.
    std::weak_ptr<AboutPanel> showPanel() {
        std::shared_ptr<AboutPanel> panel = AboutPanel::displayAboutPanel();
        EXPECT_TRUE(processEventsUntil([&] {
            QWidget* widget = widgetOf(*panel);
            return widget && widget->isVisible() && widget->isActiveWindow();
        })) << "the about window never got the focus";
        return panel;
    }

    static QWidget* widgetOf(platform::Window& window) {
        auto* peer = dynamic_cast<QtWindowPeer*>(window.peer());
        return peer ? peer->widget() : nullptr;
    }

    MotifHints motifHintsOf(QWidget& widget) {
        MotifHints hints;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        const Atom property = XInternAtom(client_, "_MOTIF_WM_HINTS", False);
        if (XGetWindowProperty(client_, widget.winId(), property, 0, 5, False, AnyPropertyType, &type, &format, &count,
                               &after, &data) == Success &&
            data && format == 32 && count >= 3) {
            const auto* values = reinterpret_cast<const unsigned long*>(data);
            hints = {true, values[0], values[2]};
        }
        if (data) XFree(data);
        return hints;
    }

    unsigned long pixelAt(int x, int y) {
        XImage* image = XGetImage(client_, DefaultRootWindow(client_), x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image) return 0;
        const unsigned long pixel = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        return pixel;
    }

    void clickAt(QPoint point) {
        XTestFakeMotionEvent(client_, -1, point.x(), point.y(), CurrentTime);
        XTestFakeButtonEvent(client_, 1, True, CurrentTime);
        XTestFakeButtonEvent(client_, 1, False, CurrentTime);
        XFlush(client_);
    }

    // Another client maps a window of its own and takes the focus.
    void focusAnotherClient() {
        const ::Window other = XCreateSimpleWindow(client_, DefaultRootWindow(client_), 0, 0, 50, 50, 0, 0, 0);
        XSelectInput(client_, other, StructureNotifyMask);
        XMapWindow(client_, other);
        XEvent event;
        do XWindowEvent(client_, other, StructureNotifyMask, &event);
        while (event.type != MapNotify);
        XSetInputFocus(client_, other, RevertToPointerRoot, CurrentTime);
        XFlush(client_);
    }

    std::filesystem::path config_;
    Display* client_ = nullptr;
    std::unique_ptr<QtPeersOnX11> peers_;
};

TEST_F(AboutWindowDrawing, HasNoDecorationsAndGoesAwayAfterAClick) {
    std::weak_ptr<AboutPanel> panel = showPanel();
    ASSERT_FALSE(panel.expired());
    QWidget* widget = widgetOf(*panel.lock());
    ASSERT_NE(widget, nullptr);
    const MotifHints hints = motifHintsOf(*widget);
    ASSERT_TRUE(hints.present) << "no _MOTIF_WM_HINTS on the about window";
    EXPECT_NE(hints.flags & kMotifDecorationsFlag, 0u);
    EXPECT_EQ(hints.decorations, 0u);
    EXPECT_EQ(widget->size(), QSize(400, 400));

    // Xvfb runs no compositor, so a line stands in for the shadow.
    const QRect frame = widget->geometry();
    EXPECT_NE(pixelAt(frame.left(), frame.top()), pixelAt(frame.center().x(), frame.top() + 40));

    clickAt(widget->mapToGlobal(QPoint(200, 200)));
    // Closed a second after it began to fade out.
    EXPECT_TRUE(processEventsUntil([&] { return panel.expired(); }, 3000)) << "the clicked panel was not closed";
}

TEST_F(AboutWindowDrawing, GoesAwayWhenAnotherClientTakesTheFocus) {
    std::weak_ptr<AboutPanel> panel = showPanel();
    ASSERT_FALSE(panel.expired());
    focusAnotherClient();
    EXPECT_TRUE(processEventsUntil([&] { return panel.expired(); }, 3000)) << "the panel stayed after losing the focus";
}

}  // namespace

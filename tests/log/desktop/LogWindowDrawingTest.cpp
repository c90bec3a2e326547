#include <gtest/gtest.h>

#include "desktop/PrivateDisplay.h"
#include "desktop/QtWidgetTesting.h"

#include "desktop/QtPeersOnX11.h"

#include <QWidget>

#include "app/ImageView_MouseOver.h"
#include "app/LogController.h"
#include "app/LogItem.h"
#include "platform/desktop/qt/QtViewPeer.h"
#include "platform/desktop/qt/QtWindowPeer.h"
#include "platform/foundation/FileManager.h"
#include "platform/headless/HeadlessWorkspace.h"
#include "shared/TarnwickConstants.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

// The log window drawn by the Qt peers on a real X server, driven with the
// real pointer. The end-to-end runner starts these under Xvfb; without a
// private display they skip.

using namespace platform::desktop;

namespace {

QWidget* widgetOf(platform::View& view) {
    auto* peer = dynamic_cast<QtViewPeer*>(view.peer());
    return peer ? peer->widget() : nullptr;
}

QWidget* widgetOf(platform::Window& window) {
    auto* peer = dynamic_cast<QtWindowPeer*>(window.peer());
    return peer ? peer->widget() : nullptr;
}

std::shared_ptr<platform::Image> photo() {
    std::vector<std::uint8_t> pixels(64 * 48 * 3, 0);
    for (std::size_t i = 0; i < pixels.size(); i += 3) pixels[i] = 200;  // red
    auto image = platform::Image::fromRGB(64, 48, std::move(pixels));
    image->setName("20120131235959123.tiff");
    return image;
}

std::shared_ptr<platform::Image> icon() {
    auto image = std::make_shared<platform::Image>();
    image->setName("NSLockLockedTemplate");
    image->setTemplate(true);
    return image;
}

class LogWindowDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        if (!havePrivateXServer()) GTEST_SKIP() << "needs a private X server (run through with_xvfb.py)";
        widgetTestApplication();
        cache_ = std::filesystem::temp_directory_path() / ("tarnwick-log-desktop-" + std::to_string(::getpid()));
        std::filesystem::create_directories(cache_);
        ::setenv("XDG_CACHE_HOME", cache_.c_str(), 1);
        pointer_ = XOpenDisplay(nullptr);
        ASSERT_NE(pointer_, nullptr);
        peers_ = std::make_unique<QtPeersOnX11>();
        platform::Workspace::install(&workspace_);
        log_ = std::make_shared<LogController>(nullptr);
    }

    void TearDown() override {
        log_.reset();
        processEventsFor(50);
        platform::Workspace::install(nullptr);
        peers_.reset();
        if (pointer_) XCloseDisplay(pointer_);
        std::filesystem::remove_all(cache_);
    }

    void addEntry(const std::string& message, const platform::ImageRef& image) {
        auto entry = std::dynamic_pointer_cast<LogItem>(log_->logEntriesController()->newObject());
        entry->setMessage(message);
        entry->setImage(image);
        log_->logEntriesController()->addObject(entry);
    }

    void showLog() {
        log_->adjustLogWindow();
        log_->window().makeKeyAndOrderFront();
        ASSERT_TRUE(processEventsUntil([this] {
            QWidget* window = widgetOf(log_->window());
            return window && window->isVisible();
        }));
        processEventsFor(200);
    }

    ImageView_MouseOver& thumbnail(std::size_t row) {
        return dynamic_cast<ImageView_MouseOver&>(
            *log_->collectionView().itemAtIndex(row)->viewWithIdentifier("image"));
    }

    void movePointerTo(QPoint point) {
        XTestFakeMotionEvent(pointer_, -1, point.x(), point.y(), CurrentTime);
        XFlush(pointer_);
        processEventsFor(150);
    }

    void click() {
        XTestFakeButtonEvent(pointer_, 1, True, CurrentTime);
        XTestFakeButtonEvent(pointer_, 1, False, CurrentTime);
        XFlush(pointer_);
        processEventsFor(150);
    }

    QPoint centreOf(platform::View& view) {
        QWidget* widget = widgetOf(view);
        return widget ? widget->mapToGlobal(widget->rect().center()) : QPoint();
    }

    std::filesystem::path cache_;
    Display* pointer_ = nullptr;
    std::unique_ptr<QtPeersOnX11> peers_;
    platform::headless::HeadlessWorkspace workspace_;
    std::shared_ptr<LogController> log_;
};

TEST_F(LogWindowDrawing, RowsFollowTheEntriesAndTheClearButtonClosesTheWindow) {
    addEntry("Screen locked", icon());
    addEntry("Screen unlocked", icon());
    log_->clearButton().setHidden(false);  // as an incoming event leaves it
    showLog();

    QWidget* rows = widgetOf(log_->collectionView());
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(rows->height(), 84);
    int visibleRows = 0;
    for (QObject* child : rows->children())
        if (auto* row = qobject_cast<QWidget*>(child); row && row->isVisible()) ++visibleRows;
    EXPECT_EQ(visibleRows, 2);
    EXPECT_EQ(widgetOf(log_->window())->height(), 2 * 42 + 60);

    movePointerTo(centreOf(log_->clearButton()));
    click();
    EXPECT_TRUE(processEventsUntil([this] { return !widgetOf(log_->window())->isVisible(); }));
    EXPECT_EQ(log_->logEntryCount(), 0u);
    processEventsFor(100);
    visibleRows = 0;
    for (QObject* child : rows->children())
        if (auto* row = qobject_cast<QWidget*>(child); row && row->isVisible()) ++visibleRows;
    EXPECT_EQ(visibleRows, 0);
}

TEST_F(LogWindowDrawing, PhotoPreviewShowsWhileThePointerIsOverTheThumbnailAndAClickOpensThePhoto) {
    addEntry("Invalid password entered: ******", photo());
    showLog();
    ImageView_MouseOver& view = thumbnail(0);
    QWidget* thumb = widgetOf(view);
    ASSERT_NE(thumb, nullptr);
    EXPECT_EQ(thumb->toolTip().toStdString(), "Click to open image in Preview.app");

    movePointerTo(centreOf(view));
    ASSERT_NE(view.previewWindow(), nullptr);
    EXPECT_TRUE(processEventsUntil([&] {
        QWidget* preview = widgetOf(*view.previewWindow());
        return preview && preview->isVisible();
    }));
    QWidget* preview = widgetOf(*view.previewWindow());
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->size(), QSize(320, 240));
    // Beside the thumbnail, its bottom level with the thumbnail's.
    const QPoint thumbBottomRight = thumb->mapToGlobal(QPoint(thumb->width(), thumb->height()));
    EXPECT_EQ(preview->geometry().left(), thumbBottomRight.x());
    EXPECT_EQ(preview->geometry().bottom() + 1, thumbBottomRight.y());

    movePointerTo({5, 5});
    EXPECT_TRUE(processEventsUntil([&] { return !preview->isVisible(); }));

    movePointerTo(centreOf(view));
    click();
    const auto opened = workspace_.openedFiles();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], (cache_ / kBundleName / "20120131235959123.tiff").string());
    EXPECT_TRUE(std::filesystem::exists(opened[0]));
}

TEST_F(LogWindowDrawing, IconsShowNoPreviewAndOpenNothing) {
    addEntry("Screen locked", icon());
    showLog();
    ImageView_MouseOver& view = thumbnail(0);
    QWidget* thumb = widgetOf(view);
    ASSERT_NE(thumb, nullptr);
    EXPECT_TRUE(thumb->toolTip().isEmpty());

    movePointerTo(centreOf(view));
    click();
    processEventsFor(200);
    ASSERT_NE(view.previewWindow(), nullptr);
    QWidget* preview = widgetOf(*view.previewWindow());
    EXPECT_TRUE(!preview || !preview->isVisible());
    EXPECT_TRUE(workspace_.openedFiles().empty());
}

}  // namespace

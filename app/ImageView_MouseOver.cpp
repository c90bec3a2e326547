#include "app/ImageView_MouseOver.h"

#include "platform/foundation/FileManager.h"
#include "platform/foundation/Notification.h"
#include "platform/services/Workspace.h"
#include "platform/ui/Window.h"
#include "shared/TarnwickConstants.h"

namespace {

constexpr const char* kHidePreviewPanel = "hidePreviewPanel";
constexpr const char* kOpenInPreviewTip = "Click to open image in Preview.app";
constexpr const char* kImageViewer = "Preview";

}  // namespace

ImageView_MouseOver::ImageView_MouseOver(platform::Rect frame) : platform::ImageView(frame) {}

ImageView_MouseOver::~ImageView_MouseOver() { platform::NotificationCenter::defaultCenter().removeObserver(this); }

bool ImageView_MouseOver::showsPhoto() const { return image() && !image()->isTemplate(); }

void ImageView_MouseOver::setImage(const platform::ImageRef& image) {
    platform::ImageView::setImage(image);
    setToolTip(tooltip());
}

std::string ImageView_MouseOver::tooltip() const { return showsPhoto() ? kOpenInPreviewTip : std::string(); }

platform::Point ImageView_MouseOver::previewOrigin() const {
    platform::Point inWindow = convertPointToWindow({0, 0});
    inWindow.x += frame().width;
    if (!window()) return inWindow;
    return {inWindow.x + window()->frame().x, inWindow.y + window()->frame().y};
}

void ImageView_MouseOver::dismantlePreview() {
    platform::NotificationCenter::defaultCenter().removeObserver(this, kHidePreviewPanel);
    if (trackingRect_) removeTrackingRect(trackingRect_);
    trackingRect_ = 0;
    previewWindow_.reset();
    previewImageView_.reset();
}

void ImageView_MouseOver::viewDidMoveToWindow() {
    // Moving between windows must not leave a second panel or observer behind.
    dismantlePreview();
    if (!window()) return;

    const platform::Point origin = previewOrigin();
    const double width = frame().width;
    const double height = frame().height;
    previewWindow_ = std::make_unique<platform::Panel>(platform::Rect{origin.x, origin.y, width, height},
                                                       platform::Panel::Borderless);
    previewWindow_->setAlphaValue(0);
    previewImageView_ = std::make_shared<platform::ImageView>(platform::Rect{0, 0, width, height});
    previewWindow_->setContentView(previewImageView_);

    trackingRect_ = addTrackingRect({0, 0, width, height}, false);
    platform::NotificationCenter::defaultCenter().addObserver(
        this, kHidePreviewPanel, {}, [this](const platform::NotificationRef&) { hidePreviewWindow(nullptr); });
}

void ImageView_MouseOver::setPreviewFrame(const platform::Rect& frame) {
    previewWindow_->setFrame(frame, true);
    // The image view fills the panel whatever its size.
    previewImageView_->setFrame({0, 0, frame.width, frame.height});
}

void ImageView_MouseOver::showPreviewWindowWithImage(const platform::ImageRef& image, platform::Point position) {
    if (!previewWindow_) return;
    previewImageView_->setImage(image);
    setPreviewFrame({position.x, position.y, kPreviewWidth, kPreviewHeight});
    previewWindow_->setFloatingPanel(true);
    previewWindow_->makeKeyAndOrderFront();
    previewWindow_->setAlphaValue(1.0);
}

void ImageView_MouseOver::hidePreviewWindow(platform::Object*) {
    if (!previewWindow_) return;
    previewWindow_->setAlphaValue(0);
    const platform::Point origin = previewOrigin();
    setPreviewFrame({origin.x, origin.y, frame().width, frame().height});
}

void ImageView_MouseOver::mouseEntered(const platform::EventRef&) {
    if (!showsPhoto() || !window()) return;
    window()->makeFirstResponder(this);
    showPreviewWindowWithImage(image(), previewOrigin());
}

void ImageView_MouseOver::mouseExited(const platform::EventRef&) {
    if (!showsPhoto() || !window()) return;
    hidePreviewWindow(nullptr);
    window()->makeFirstResponder(window());
}

void ImageView_MouseOver::mouseDown(const platform::EventRef&) {
    if (!showsPhoto()) return;
    // Only the last component: a name can never lead the file out of the caches folder.
    const std::string fileName = platform::paths::lastComponent(image()->name());
    if (fileName.empty()) return;
    const std::string folder = platform::paths::appendComponent(platform::paths::cachesDirectory(), kBundleName);
    platform::FileManager::createDirectory(folder);
    const std::string path = platform::paths::appendComponent(folder, fileName);
    const platform::Data tiff = image()->tiffRepresentation();
    if (tiff.empty() || !platform::FileManager::writeAtomically(path, tiff)) return;
    if (platform::Workspace::isInstalled()) platform::Workspace::shared().openFile(path, kImageViewer);
}

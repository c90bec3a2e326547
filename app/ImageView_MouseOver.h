#pragma once

#include "platform/ui/Controls.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Panel.h"

#include <memory>
#include <string>

// A thumbnail that shows a larger floating preview of its photo while the
// pointer is over it, and opens the photo in the image viewer when clicked.
// Icons (template images) get none of this.
class ImageView_MouseOver : public platform::ImageView {
public:
    static constexpr double kPreviewWidth = 320;
    static constexpr double kPreviewHeight = 240;

    explicit ImageView_MouseOver(platform::Rect frame = {});
    ~ImageView_MouseOver() override;

    void setImage(const platform::ImageRef& image) override;
    // "Click to open image in Preview.app" for a photo, empty otherwise.
    std::string tooltip() const;
    bool acceptsFirstResponder() const override { return true; }

    void viewDidMoveToWindow() override;
    void mouseEntered(const platform::EventRef& event) override;
    void mouseExited(const platform::EventRef& event) override;
    void mouseDown(const platform::EventRef& event) override;

    // The right edge of the thumbnail, level with its origin, in screen coordinates.
    platform::Point previewOrigin() const;
    void showPreviewWindowWithImage(const platform::ImageRef& image, platform::Point position);
    void hidePreviewWindow(platform::Object* sender);

    platform::Panel* previewWindow() const { return previewWindow_.get(); }

private:
    bool showsPhoto() const;
    void dismantlePreview();
    void setPreviewFrame(const platform::Rect& frame);

    std::unique_ptr<platform::Panel> previewWindow_;
    std::shared_ptr<platform::ImageView> previewImageView_;
    int trackingRect_ = 0;
};

#pragma once

#include "platform/ui/Controls.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"

#include <memory>

// The about window: the about picture with the version line over it. It
// fades in when shown and goes away at the first click or key press, or as
// soon as it stops being the key window. It keeps itself alive until closed.
class AboutPanel : public platform::Window, public platform::WindowDelegate {
public:
    // Builds and shows a new panel; each call makes another one.
    static std::shared_ptr<AboutPanel> displayAboutPanel();

    explicit AboutPanel(platform::Rect contentRect);

    bool canBecomeKeyWindow() const override { return true; }
    bool acceptsFirstResponder() const override { return true; }
    void windowDidResignKey(platform::Window& window) override;
    void sendEvent(const platform::EventRef& event) override;

    const std::shared_ptr<platform::ImageView>& imageView() const { return imageView_; }
    void setImageView(std::shared_ptr<platform::ImageView> view) { imageView_ = std::move(view); }
    const std::shared_ptr<platform::TextField>& versionInfo() const { return versionInfo_; }
    void setVersionInfo(std::shared_ptr<platform::TextField> field) { versionInfo_ = std::move(field); }

    bool isDismissing() const { return dismissing_; }
    // "VERSION 1.0" when the bundle version reads as a non-zero number,
    // otherwise the short version alone.
    static std::string versionText();

private:
    void dismiss();

    std::shared_ptr<platform::ImageView> imageView_;
    std::shared_ptr<platform::TextField> versionInfo_;
    std::shared_ptr<AboutPanel> keepAlive_;
    bool dismissing_ = false;
};

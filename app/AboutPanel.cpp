#include "app/AboutPanel.h"

#include "app/ApplicationDelegateAccess.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Defaults.h"
#include "platform/foundation/RunLoop.h"
#include "platform/services/Displays.h"
#include "platform/ui/Application.h"
#include "shared/TarnwickConstants.h"

namespace {

constexpr double kSide = 400;

TarnwickDelegate* applicationDelegate() {
    return dynamic_cast<TarnwickDelegate*>(platform::Application::shared().delegate());
}

platform::Rect mainScreenFrame() {
    if (!platform::Displays::isInstalled()) return {0, 0, 1440, 900};
    const auto frames = platform::Displays::shared().screenFrames();
    return frames.empty() ? platform::Rect{0, 0, 1440, 900} : frames.front();
}

}  // namespace

AboutPanel::AboutPanel(platform::Rect contentRect) : platform::Window(contentRect, Borderless) {}

std::string AboutPanel::versionText() {
    const platform::Bundle& bundle = platform::Bundle::main();
    std::string shortVersion = bundle.objectForInfoDictionaryKey("CFBundleShortVersionString").stringValue();
    if (bundle.objectForInfoDictionaryKey("CFBundleVersion").integerValue() != 0) return "VERSION " + shortVersion;
    return shortVersion;
}

std::shared_ptr<AboutPanel> AboutPanel::displayAboutPanel() {
    if (TarnwickDelegate* delegate = applicationDelegate()) delegate->rememberFrontmostApplication();

    const platform::Rect screen = mainScreenFrame();
    auto panel =
        std::make_shared<AboutPanel>(platform::Rect{0.5 * screen.width - 200, 0.5 * screen.height - 200, kSide, kSide});
    panel->setAlphaValue(0.0);
    panel->setOneShot(true);
    panel->setDelegate(panel.get());
    panel->setHasShadow(true);
    panel->keepAlive_ = panel;

    auto picture = std::make_shared<platform::ImageView>(platform::Rect{0, 0, kSide, kSide});
    auto image = platform::Image::named("about.png");
    if (image) image->setSize(static_cast<int>(kSide), static_cast<int>(kSide));
    picture->setImage(image);
    panel->setImageView(picture);
    panel->setContentView(picture);

    auto version = std::make_shared<platform::TextField>(platform::Rect{0, 0, kSide, 16});
    version->setEditable(false);
    version->setDrawsBackground(false);
    version->setBordered(false);
    version->setAlphaValue(0.85);
    version->setFont("Times", 12);
    version->setAlignment(1);
    version->setStringValue(versionText());
    panel->setVersionInfo(version);
    picture->addSubview(version);

    panel->makeKeyAndOrderFront();
    panel->setAlphaValue(1.0);
    platform::Application::shared().activateIgnoringOtherApps();
    return panel;
}

void AboutPanel::windowDidResignKey(platform::Window&) { dismiss(); }

void AboutPanel::sendEvent(const platform::EventRef& event) {
    switch (event->type()) {
        case platform::Event::Type::LeftMouseDown:
        case platform::Event::Type::RightMouseDown:
        case platform::Event::Type::OtherMouseDown:
        case platform::Event::Type::KeyDown: dismiss(); return;
        default: platform::Window::sendEvent(event);
    }
}

void AboutPanel::dismiss() {
    if (dismissing_) return;
    dismissing_ = true;
    setAlphaValue(0.0);
    // The delayed close holds the last reference, so the panel goes with it.
    std::shared_ptr<AboutPanel> self = std::move(keepAlive_);
    platform::RunLoop::main().performAfterDelay(1.0, [self] { self->close(); });
    if (!platform::Defaults::standard().boolForKey(kPrefShowInDock)) {
        platform::RunLoop::main().performAfterDelay(1.0, [] {
            if (TarnwickDelegate* delegate = applicationDelegate()) delegate->restoreFrontmostApplication();
        });
    }
}

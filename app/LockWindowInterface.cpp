#include "app/LockWindowInterface.h"

#include "app/Tarnwick.h"
#include "shared/InputField.h"

namespace {

constexpr double kPanelWidth = 1440;
constexpr double kPanelHeight = 900;
constexpr double kPictureSize = 256;
constexpr double kFieldWidth = 360;

}  // namespace

LockWindowInterface buildLockWindowInterface(Tarnwick& owner) {
    LockWindowInterface ui;
    ui.panel = std::make_unique<platform::Window>(platform::Rect{0, 0, kPanelWidth, kPanelHeight});

    auto content = std::make_shared<platform::View>(platform::Rect{0, 0, kPanelWidth, kPanelHeight});
    content->setIdentifier("lockContent");

    ui.imageView = std::make_shared<platform::ImageView>(
        platform::Rect{(kPanelWidth - kPictureSize) / 2, kPanelHeight / 2 - 40, kPictureSize, kPictureSize});
    ui.imageView->setIdentifier("lockPicture");

    ui.infoText =
        std::make_shared<platform::TextField>(platform::Rect{(kPanelWidth - 600) / 2, kPanelHeight / 2 - 100, 600, 28});
    ui.infoText->setIdentifier("lockMessage");
    ui.infoText->setEditable(false);
    ui.infoText->setBordered(false);
    ui.infoText->setDrawsBackground(false);
    ui.infoText->setAlignment(2);
    ui.infoText->setFont("system", 18);

    ui.passwordField = std::make_shared<InputField>(
        platform::Rect{(kPanelWidth - kFieldWidth) / 2, kPanelHeight / 2 - 160, kFieldWidth, 40});
    ui.passwordField->setIdentifier("lockPassword");
    ui.passwordField->setEditable(true);
    ui.passwordField->setAlignment(2);
    ui.passwordField->setDelegate(&owner);

    content->addSubview(ui.imageView);
    content->addSubview(ui.infoText);
    content->addSubview(ui.passwordField);
    // Keys that reach the field while it holds the focus take the controller's
    // path, so Return checks the password either way.
    ui.passwordField->setNextResponder(&owner);
    ui.panel->setContentView(content);
    return ui;
}

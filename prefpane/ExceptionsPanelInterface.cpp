#include "prefpane/ExceptionsPanelInterface.h"

#include "platform/services/CompositorSession.h"
#include "platform/ui/Layout.h"
#include "prefpane/InterfaceBuilding.h"
#include "platform/ui/TextField.h"
#include "prefpane/ExceptionsPanelController.h"

#include <string>

namespace {

using interface_building::pushButton;
using platform::Button;
using Orientation = platform::StackView::Orientation;

bool onWayland() {
    return platform::CompositorSession::isInstalled() &&
           platform::CompositorSession::shared().compositor() != platform::Compositor::X11;
}

}  // namespace

std::shared_ptr<platform::Window> loadExceptionsPanelInterface(ExceptionsPanelController& o, Button::Action done) {
    using Kind = platform::TableCellKind;
    o.tableView = std::make_shared<platform::TableView>(platform::Rect{0, 0, 0, 200});
    o.tableView->setIdentifier("tableView");
    o.tableView->addTableColumn({ExceptionsPanelController::kIconColumn, "", Kind::Image, 28});
    o.tableView->addTableColumn({ExceptionsPanelController::kNameColumn, "Application", Kind::Text, 0});
    o.tableView->setDataSource(&o);

    o.addButton = pushButton("addButton", "+", [&o](Button& sender) { o.selectApplicationBundle(&sender); });
    o.addButton->setToolTip("Add an application");
    o.removeButton = pushButton("removeButton", "\u2212", [&o](Button& sender) { o.removeApplicationBundle(&sender); });
    o.removeButton->setToolTip("Remove the selected application");
    auto editButtons = std::make_shared<platform::StackView>(Orientation::Horizontal);
    editButtons->add(o.addButton);
    editButtons->add(o.removeButton);
    editButtons->add(pushButton("doneButton", "Done", std::move(done)));

    auto explanation = std::make_shared<platform::TextField>(platform::Rect{0, 0, 400, 0});
    explanation->setEditable(false);
    explanation->setBordered(false);
    explanation->setDrawsBackground(false);
    std::string text = "The screen does not lock by itself while one of these applications is in front.";
    if (onWayland())
        text +=
            "\nOn Wayland the application in front is known only where the compositor offers "
            "wlr-foreign-toplevel-management (sway, Hyprland, river, labwc, wayfire); elsewhere these exceptions "
            "cannot be honoured.";
    explanation->setStringValue(text);

    auto content = std::make_shared<platform::StackView>(Orientation::Vertical, 10);
    content->setIdentifier("exceptionsPanel");
    content->add(explanation);
    content->add(o.tableView);
    content->add(editButtons);
    auto sheet = std::make_shared<platform::Window>(platform::Rect{0, 0, 440, 300});
    sheet->setTitle("Tarnwick Exceptions");
    sheet->setContentView(content);
    return sheet;
}

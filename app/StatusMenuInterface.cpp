#include "app/StatusMenuInterface.h"

#include "app/Tarnwick.h"

platform::MenuRef buildStatusMenu(Tarnwick& owner) {
    auto menu = std::make_shared<platform::Menu>("Tarnwick");
    // A chosen item names the menu as its sender, as a menu item would.
    platform::Menu* self = menu.get();
    auto from = [self](platform::Object* sender) { return sender ? sender : self; };
    menu->addItem({"Lock", [&owner, from](platform::Object* sender) { owner.lockScreen(from(sender)); }});
    menu->addItem({"Show log", [&owner, from](platform::Object* sender) { owner.showLogWindow(from(sender)); }});
    menu->addItem({});
    menu->addItem(
        {"Preferences\u2026", [&owner, from](platform::Object* sender) { owner.showPreferences(from(sender)); }});
    menu->addItem({"About", [&owner, from](platform::Object* sender) { owner.showAboutWindow(from(sender)); }});
    menu->addItem({});
    menu->addItem({"Quit", [&owner, from](platform::Object* sender) { owner.quit(from(sender)); }});
    return menu;
}

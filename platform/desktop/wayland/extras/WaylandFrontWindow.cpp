#include "platform/desktop/wayland/extras/WaylandFrontWindow.h"

#include "platform/foundation/FileManager.h"
#include "platform/foundation/LogSink.h"
#include "shared/ExceptionEntry.h"

#include <wayland-client.h>

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <algorithm>

namespace platform::desktop::wayland {

WaylandFrontWindow::WaylandFrontWindow(wl_display* display, zwlr_foreign_toplevel_manager_v1* manager, wl_seat* seat,
                                       Namer namer)
    : display_(display), manager_(manager), seat_(seat), namer_(std::move(namer)) {
    if (!namer_) namer_ = [](const std::string& appID) { return applicationNameOfAppID(appID, applicationFolders()); };
    if (!manager_) {
        LogSink::write(
            "Tarnwick: this compositor offers no wlr-foreign-toplevel-management-unstable-v1; the application in "
            "front is unknown, so the exceptions cannot be honoured");
        return;
    }
    static const zwlr_foreign_toplevel_manager_v1_listener listener = {&WaylandFrontWindow::toplevel,
                                                                       &WaylandFrontWindow::finished};
    zwlr_foreign_toplevel_manager_v1_add_listener(manager_, &listener, this);
}

WaylandFrontWindow::~WaylandFrontWindow() {
    while (!windows_.empty()) forget(windows_.back());
    if (!manager_) return;
    // The protocol has no destructor request: stop, and let the compositor's
    // later events fall on a proxy that is gone.
    zwlr_foreign_toplevel_manager_v1_stop(manager_);
    wl_proxy_destroy(reinterpret_cast<wl_proxy*>(manager_));
    wl_display_flush(display_);
}

std::vector<std::string> WaylandFrontWindow::applicationFolders() {
    std::vector<std::string> folders;
    for (const auto domain : {paths::Domain::User, paths::Domain::Local})
        for (const std::string& data : paths::libraryDirectories(domain))
            folders.push_back(paths::appendComponent(data, "applications"));
    return folders;
}

void WaylandFrontWindow::toplevel(void* data, zwlr_foreign_toplevel_manager_v1*,
                                  zwlr_foreign_toplevel_handle_v1* handle) {
    static const zwlr_foreign_toplevel_handle_v1_listener listener = {
        &WaylandFrontWindow::title,       &WaylandFrontWindow::appID, &WaylandFrontWindow::outputEnter,
        &WaylandFrontWindow::outputLeave, &WaylandFrontWindow::state, &WaylandFrontWindow::done,
        &WaylandFrontWindow::closed,      &WaylandFrontWindow::parent};
    auto& self = *static_cast<WaylandFrontWindow*>(data);
    auto* window = new Window;
    window->owner = &self;
    window->handle = handle;
    window->number = self.nextNumber_++;
    self.windows_.push_back(window);
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &listener, window);
}

void WaylandFrontWindow::finished(void* data, zwlr_foreign_toplevel_manager_v1* manager) {
    auto& self = *static_cast<WaylandFrontWindow*>(data);
    zwlr_foreign_toplevel_manager_v1_destroy(manager);
    self.manager_ = nullptr;
}

void WaylandFrontWindow::appID(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appID) {
    static_cast<Window*>(data)->pendingAppID = appID ? appID : "";
}

void WaylandFrontWindow::state(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
    auto& window = *static_cast<Window*>(data);
    const auto* first = static_cast<const std::uint32_t*>(states->data);
    const auto* last = first + states->size / sizeof(std::uint32_t);
    window.pendingActivated = std::find(first, last, ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED) != last;
}

void WaylandFrontWindow::done(void* data, zwlr_foreign_toplevel_handle_v1*) {
    auto& window = *static_cast<Window*>(data);
    window.appID = window.pendingAppID;
    window.activated = window.pendingActivated;
}

void WaylandFrontWindow::closed(void* data, zwlr_foreign_toplevel_handle_v1*) {
    auto* window = static_cast<Window*>(data);
    window->owner->forget(window);
}

void WaylandFrontWindow::forget(Window* window) {
    std::erase(windows_, window);
    zwlr_foreign_toplevel_handle_v1_destroy(window->handle);
    delete window;
}

const WaylandFrontWindow::Window* WaylandFrontWindow::windowNumbered(std::uint32_t number) const {
    for (const Window* window : windows_)
        if (window->number == number) return window;
    return nullptr;
}

std::string WaylandFrontWindow::frontAppID() const {
    for (const Window* window : windows_)
        if (window->activated) return window->appID;
    return {};
}

int WaylandFrontWindow::frontProcess(ProcessSerialNumber& psn) {
    for (const Window* window : windows_)
        if (window->activated) {
            psn = {0, window->number};
            return 0;
        }
    return kProcessNotFound;
}

int WaylandFrontWindow::setFrontProcess(const ProcessSerialNumber& psn) {
    const Window* window = windowNumbered(psn.lowLongOfPSN);
    if (!window || !seat_) return kProcessNotFound;
    zwlr_foreign_toplevel_handle_v1_activate(window->handle, seat_);
    wl_display_flush(display_);
    return 0;
}

int WaylandFrontWindow::processName(const ProcessSerialNumber& psn, std::string& name) {
    const Window* window = windowNumbered(psn.lowLongOfPSN);
    if (!window || window->appID.empty()) return kProcessNotFound;
    name = namer_(window->appID);
    return 0;
}

int WaylandFrontWindow::transformCurrentProcess(ProcessType) { return 0; }

std::int32_t WaylandFrontWindow::systemVersion() { return 0x1070; }

}  // namespace platform::desktop::wayland

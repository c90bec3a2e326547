#pragma once

#include "platform/services/Processes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct wl_display;
struct wl_seat;
struct wl_array;
struct wl_output;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;

namespace platform::desktop::wayland {

// The application in front, as the compositor tells every window's app id
// and which one is activated (wlr-foreign-toplevel-management-unstable-v1).
// A process serial number carries a window's own number in its low half.
// The name of the window's application is what the desktop entry standing
// for its app id names, so that it compares with the exceptions' names.
// Without the protocol nothing is ever in front and the exceptions cannot
// be honoured, which is said once in the log.
class WaylandFrontWindow final : public Processes {
public:
    // The application name for an app id.
    using Namer = std::function<std::string(const std::string& appID)>;

    // `manager` may be nullptr: the compositor does not offer it. Without a
    // namer, the desktop entries of the XDG applications folders name them.
    WaylandFrontWindow(wl_display* display, zwlr_foreign_toplevel_manager_v1* manager, wl_seat* seat, Namer namer = {});
    ~WaylandFrontWindow() override;
    WaylandFrontWindow(const WaylandFrontWindow&) = delete;
    WaylandFrontWindow& operator=(const WaylandFrontWindow&) = delete;

    static constexpr std::uint32_t kManagerVersion = 3;

    bool available() const { return manager_ != nullptr; }
    // The app id of the activated window; empty when none is.
    std::string frontAppID() const;

    int frontProcess(ProcessSerialNumber& psn) override;
    int setFrontProcess(const ProcessSerialNumber& psn) override;
    int processName(const ProcessSerialNumber& psn, std::string& name) override;
    int transformCurrentProcess(ProcessType type) override;
    std::int32_t systemVersion() override;

    static constexpr int kProcessNotFound = -600;

    // The applications folders of the XDG data directories, the user's first.
    static std::vector<std::string> applicationFolders();

private:
    struct Window {
        WaylandFrontWindow* owner = nullptr;
        zwlr_foreign_toplevel_handle_v1* handle = nullptr;
        std::uint32_t number = 0;
        std::string appID;
        std::string pendingAppID;
        bool activated = false;
        bool pendingActivated = false;
    };

    static void toplevel(void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle);
    static void finished(void* data, zwlr_foreign_toplevel_manager_v1*);
    static void title(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}
    static void appID(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appID);
    static void outputEnter(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void outputLeave(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void state(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states);
    static void done(void* data, zwlr_foreign_toplevel_handle_v1*);
    static void closed(void* data, zwlr_foreign_toplevel_handle_v1*);
    static void parent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}

    const Window* windowNumbered(std::uint32_t number) const;
    void forget(Window* window);

    wl_display* display_;
    zwlr_foreign_toplevel_manager_v1* manager_;
    wl_seat* seat_;
    Namer namer_;
    std::vector<Window*> windows_;
    std::uint32_t nextNumber_ = 1;
};

}  // namespace platform::desktop::wayland

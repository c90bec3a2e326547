#pragma once

#include "platform/desktop/qt/ShieldHost.h"

#include <map>

namespace platform::desktop {

class X11Displays;

// Shielding windows on X11: their native windows are raised with the covers
// and defended like them.
class X11ShieldHost final : public ShieldHost {
public:
    explicit X11ShieldHost(X11Displays& displays) : displays_(displays) {}

    Rect toRoot(const Rect& frame) override;
    bool drawsShieldWindows() const override { return false; }
    void addShieldWindow(QWidget* widget, std::function<void()> lost) override;
    void removeShieldWindow(QWidget* widget) override;

private:
    X11Displays& displays_;
    std::map<QWidget*, unsigned long> registered_;
};

}  // namespace platform::desktop

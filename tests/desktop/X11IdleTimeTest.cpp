#include <gtest/gtest.h>

#include "desktop/X11SessionTest.h"

#include "platform/desktop/x11/X11IdleTime.h"

#include <chrono>
#include <thread>

// The X server's idle counter as another client's screen-saver reset moves
// it (what "xset s reset" and "xdg-screensaver reset" do).

using X11IdleTimeTest = X11SessionTest;

TEST_F(X11IdleTimeTest, AnotherClientsScreenSaverResetRestartsTheIdleCounter) {
    if (!sessionReady()) return;
    platform::desktop::X11IdleTime idleTime(*session);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const auto before = idleTime.secondsSinceActivity();
    ASSERT_TRUE(before.has_value()) << "Xvfb offers MIT-SCREEN-SAVER";
    EXPECT_GE(*before, 1.0);

    Display* player = XOpenDisplay(nullptr);
    ASSERT_NE(player, nullptr);
    XResetScreenSaver(player);
    XSync(player, False);
    XCloseDisplay(player);
    const auto after = idleTime.secondsSinceActivity();
    ASSERT_TRUE(after.has_value());
    EXPECT_LT(*after, 1.0);
}

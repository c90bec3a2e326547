#include "AppTestFixture.h"

namespace apptest {
namespace {

class DesktopEntryExceptionTest : public AppTest {};

// A desktop entry in the exceptions is matched by the process its program
// becomes; once another program is in front, the inactivity lock comes back.
TEST_F(DesktopEntryExceptionTest, ItsProgramInFrontKeepsTheInactivityLockAway) {
    set(kPrefAutoActivate, 1.0);  // one minute
    const std::string folder = env.home() + "/.local/share/applications";
    platform::FileManager::createDirectory(folder, true);
    const std::string entry = folder + "/mpv.desktop";
    const std::string text =
        "[Desktop Entry]\nName=mpv Media Player\nExec=/usr/bin/mpv --player-operation-mode=pseudo-gui -- %U\n";
    platform::FileManager::writeAtomically(entry, platform::Data(text.begin(), text.end()));
    set(kPrefExceptions, platform::Array{entry});
    const auto player = processes.launch("mpv");
    launch();
    processes.bringToFront(player);
    env.advance(61);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    EXPECT_TRUE(env.logged("Not locking computer. mpv is currently the frontmost application."));

    processes.bringToFront(finder);
    ASSERT_TRUE(tap.deliver(platform::Event::ofType(platform::Event::Type::MouseMoved)));
    env.advance(61);
    EXPECT_EQ(app->lockState(), LockState::Locked);
}

}  // namespace
}  // namespace apptest

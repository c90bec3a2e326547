// The Wayland pieces on real compositors: sway 1.10 of the Debian 13 root
// (run through scripts/with-sway, which sets WAYLAND_DISPLAY and
// TARNWICK_SWAY_STATE), and Debian 12's weston, which offers none of the
// protocols these pieces use.

#include "platform/desktop/wayland/extras/ExtrasConnection.h"
#include "platform/desktop/wayland/extras/WaylandExtras.h"
#include "platform/desktop/wayland/extras/WaylandKeymapLayouts.h"
#include "platform/desktop/wayland/extras/WaylandLayoutCharacters.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/LogSink.h"
#include "platform/headless/HeadlessEnvironment.h"

#include <gtest/gtest.h>
#include <wayland-client.h>

#include "ext-idle-notify-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using platform::desktop::wayland::ExtrasConnection;
using platform::desktop::wayland::WaylandExtras;
using platform::desktop::wayland::WaylandGlobals;

constexpr int kEventMilliseconds = 10000;

// What a command prints, and whether it succeeded.
std::pair<bool, std::string> run(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {false, output};
    std::array<char, 4096> buffer{};
    for (std::size_t n; (n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) output.append(buffer.data(), n);
    return {pclose(pipe) == 0, output};
}

// A command of the Debian 13 root, next to the sway of this run.
std::pair<bool, std::string> inRoot(const std::string& command) {
    return run(std::string(TARNWICK_WITH_SWAY) + " --exec-in-root " + command + " 2>&1");
}

// The log lines written while alive.
class LogLines {
public:
    LogLines() {
        platform::LogSink::setCapture([this](const std::string& line) { lines_.push_back(line); });
    }
    ~LogLines() { platform::LogSink::setCapture(nullptr); }
    std::size_t countContaining(const std::string& text) const {
        return static_cast<std::size_t>(std::count_if(lines_.begin(), lines_.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        }));
    }
    const std::vector<std::string>& lines() const { return lines_; }

private:
    std::vector<std::string> lines_;
};

// A window of its own with an app id, that sway maps and focuses.
class TestWindow {
public:
    TestWindow(ExtrasConnection& connection, const char* appID) : connection_(connection) {
        WaylandGlobals& globals = connection.globals();
        compositor_ = static_cast<wl_compositor*>(globals.bind(wl_compositor_interface, 4));
        shm_ = static_cast<wl_shm*>(globals.bind(wl_shm_interface, 1));
        shell_ = static_cast<xdg_wm_base*>(globals.bind(xdg_wm_base_interface, 1));
        surface_ = wl_compositor_create_surface(compositor_);
        xdgSurface_ = xdg_wm_base_get_xdg_surface(shell_, surface_);
        static const xdg_surface_listener listener = {&TestWindow::configured};
        xdg_surface_add_listener(xdgSurface_, &listener, this);
        toplevel_ = xdg_surface_get_toplevel(xdgSurface_);
        xdg_toplevel_set_app_id(toplevel_, appID);
        wl_surface_commit(surface_);
    }
    ~TestWindow() {
        if (buffer_) wl_buffer_destroy(buffer_);
        xdg_toplevel_destroy(toplevel_);
        xdg_surface_destroy(xdgSurface_);
        wl_surface_destroy(surface_);
        xdg_wm_base_destroy(shell_);
        wl_shm_destroy(shm_);
        wl_compositor_destroy(compositor_);
        wl_display_flush(connection_.display());
    }
    bool mapped() const { return buffer_ != nullptr; }

private:
    static void configured(void* data, xdg_surface* surface, std::uint32_t serial) {
        auto& self = *static_cast<TestWindow*>(data);
        xdg_surface_ack_configure(surface, serial);
        if (!self.buffer_) self.buffer_ = self.whiteBuffer(64, 64);
        wl_surface_attach(self.surface_, self.buffer_, 0, 0);
        wl_surface_commit(self.surface_);
    }
    wl_buffer* whiteBuffer(int width, int height) {
        const int stride = width * 4, size = stride * height;
        const int fd = memfd_create("test-window", MFD_CLOEXEC);
        if (fd < 0 || ftruncate(fd, size) != 0) return nullptr;
        void* pixels = mmap(nullptr, static_cast<std::size_t>(size), PROT_WRITE, MAP_SHARED, fd, 0);
        std::memset(pixels, 0xff, static_cast<std::size_t>(size));
        munmap(pixels, static_cast<std::size_t>(size));
        wl_shm_pool* pool = wl_shm_create_pool(shm_, fd, size);
        wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
        wl_shm_pool_destroy(pool);
        close(fd);
        return buffer;
    }

    ExtrasConnection& connection_;
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    xdg_wm_base* shell_ = nullptr;
    wl_surface* surface_ = nullptr;
    xdg_surface* xdgSurface_ = nullptr;
    xdg_toplevel* toplevel_ = nullptr;
    wl_buffer* buffer_ = nullptr;
};

class Sway : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("TARNWICK_SWAY_STATE"))
            FAIL() << "run through scripts/with-sway: no headless sway here (TARNWICK_SWAY_STATE is not set)";
        connection = ExtrasConnection::open();
        ASSERT_TRUE(connection) << "cannot reach sway at " << std::getenv("WAYLAND_DISPLAY");
    }
    std::unique_ptr<ExtrasConnection> connection;
};

// Inactivity comes from the compositor: quiet after the quiet time, and
// the first key after it is activity that restarts the inactivity timer.
TEST_F(Sway, IdleNotificationsCountQuietAndActivity) {
    auto& globals = connection->globals();
    platform::desktop::wayland::WaylandIdleNotify idle(
        static_cast<ext_idle_notifier_v1*>(globals.bind(ext_idle_notifier_v1_interface, 1)), globals.seat(), 300);
    int activity = 0;
    ASSERT_TRUE(idle.create([&activity](const platform::EventRef&) { ++activity; }));
    ASSERT_TRUE(connection->dispatchUntil([&] { return idle.idle(); }, kEventMilliseconds)) << "never idle";
    EXPECT_GE(idle.secondsSinceActivity().value_or(0), 0.3);

    ASSERT_TRUE(inRoot("wtype x").first);
    ASSERT_TRUE(connection->dispatchUntil([&] { return activity > 0; }, kEventMilliseconds)) << "no activity seen";
    EXPECT_FALSE(idle.idle());
    EXPECT_EQ(idle.secondsSinceActivity(), 0.0);
}

// The displays go off on request and come back on at the first key after a
// quiet moment, as the compositor itself reports.
TEST_F(Sway, DisplaysSwitchOffAndComeBackOnAtTheNextKey) {
    platform::headless::HeadlessEnvironment env;
    WaylandExtras extras(connection->display(), connection->globals());
    auto& power = extras.displayPower();
    ASSERT_TRUE(power.hasPowerEntry());
    power.requestIdle();
    ASSERT_TRUE(connection->dispatchUntil([&] { return power.outputsReportedOff() == 1; }, kEventMilliseconds));
    EXPECT_NE(inRoot("swaymsg -r -t get_outputs").second.find("\"power\": false"), std::string::npos);

    // After the quiet time, a key wakes them.
    ASSERT_TRUE(connection->dispatchUntil([&] { return power.wakesAtNextInput(); }, kEventMilliseconds));
    ASSERT_TRUE(inRoot("wtype y").first);
    ASSERT_TRUE(connection->dispatchUntil([&] { return power.outputsReportedOff() == 0; }, kEventMilliseconds));
    connection->roundtrip();
    const auto outputs = inRoot("swaymsg -r -t get_outputs").second;
    EXPECT_NE(outputs.find("\"power\": true"), std::string::npos) << outputs;
}

// What the guard does after a crash: outputs left off by a process that is
// gone come back on from a connection of its own.
TEST_F(Sway, ANewConnectionSwitchesOutputsLeftOffBackOn) {
    platform::headless::HeadlessEnvironment env;
    {
        auto first = ExtrasConnection::open();
        ASSERT_TRUE(first);
        WaylandExtras extras(first->display(), first->globals());
        extras.displayPower().requestIdle();
        first->roundtrip();
    }
    ASSERT_NE(inRoot("swaymsg -r -t get_outputs").second.find("\"power\": false"), std::string::npos);
    WaylandExtras extras(connection->display(), connection->globals());
    extras.displayPower().switchOn();
    connection->roundtrip();
    EXPECT_NE(inRoot("swaymsg -r -t get_outputs").second.find("\"power\": true"), std::string::npos);
}

// The window in front is named through the desktop entry whose
// StartupWMClass is its app id, as an exception entry names it.
TEST_F(Sway, TheWindowInFrontIsNamedByItsDesktopEntry) {
    platform::headless::HeadlessEnvironment env;
    const std::string applications = env.home() + "/.local/share/applications";
    platform::FileManager::createDirectory(applications);
    std::ofstream(applications + "/front.desktop")
        << "[Desktop Entry]\nExec=/opt/front/front-app %u\nStartupWMClass=org.example.TarnwickFront\n";

    WaylandExtras extras(connection->display(), connection->globals());
    auto& front = extras.frontWindow();
    ASSERT_TRUE(front.available());
    connection->roundtrip();
    platform::ProcessSerialNumber psn;
    EXPECT_EQ(front.frontProcess(psn), front.kProcessNotFound);

    TestWindow window(*connection, "org.example.TarnwickFront");
    ASSERT_TRUE(connection->dispatchUntil([&] { return front.frontAppID() == "org.example.TarnwickFront"; },
                                          kEventMilliseconds));
    ASSERT_EQ(front.frontProcess(psn), 0);
    std::string name;
    ASSERT_EQ(front.processName(psn, name), 0);
    EXPECT_EQ(name, "front-app");
}

// Fades keep to their reservation, and the connection survives every step:
// sway's headless outputs have no gamma tables and refuse the control, which
// a fade must then leave alone.
TEST_F(Sway, AFadeHoldsTheGammaTablesForItsReservationOnly) {
    platform::headless::HeadlessEnvironment env;
    WaylandExtras extras(connection->display(), connection->globals());
    auto& gamma = extras.gamma();
    ASSERT_TRUE(gamma.available());
    std::uint32_t token = 0;
    ASSERT_EQ(gamma.acquireReservation(15, token, 1011, 1001), 0);
    std::uint32_t second = 0;
    EXPECT_EQ(gamma.acquireReservation(15, second, 1011, 1001), 1011);
    EXPECT_EQ(gamma.fade(token, 0.1, 0.0, 1.0, 0, 0, 0, true), 0);
    EXPECT_EQ(gamma.fade(token + 1, 0.1, 1.0, 0.0, 0, 0, 0, true), -1);
    EXPECT_EQ(gamma.fade(token, 0.1, 1.0, 0.0, 0, 0, 0, true), 0);
    EXPECT_TRUE(gamma.release(token));
    EXPECT_EQ(gamma.controlledOutputs(), 0u);
    EXPECT_TRUE(connection->roundtrip()) << "the compositor ended the connection";
}

// The settings read the password's keyboard from the keymap the compositor
// sends, as the lock does: a virtual keyboard's keymap with a dead key and
// a compose key types what their sequences compose, and nothing beyond its
// keys.
TEST_F(Sway, ThePasswordsKeyboardIsTheCompositorsKeymap) {
    const std::string locale = std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "";
    ::setenv("LC_ALL", "C.UTF-8", 1);
    platform::desktop::wayland::WaylandKeymapLayouts layouts(connection->globals());
    platform::desktop::wayland::WaylandLayoutCharacters characters(layouts);
    // The keyboard lasts as long as wtype: it waits with its keymap uploaded.
    std::thread typing([] { inRoot("wtype -k dead_acute -k e -k Multi_key -k o -k c -s 4000"); });
    const bool keymapCame =
        connection->dispatchUntil([&] { return !layouts.keymapText().empty(); }, kEventMilliseconds);
    typing.join();
    EXPECT_TRUE(keymapCame) << "no keymap from the compositor";
    EXPECT_FALSE(layouts.current().empty());
    EXPECT_EQ(characters.untypable("\u00e9oc\u00a9x"), std::vector<std::string>{"x"});
    if (locale.empty())
        ::unsetenv("LC_ALL");
    else
        ::setenv("LC_ALL", locale.c_str(), 1);
}

// A private weston, headless, with a runtime folder of its own.
class Weston : public ::testing::Test {
protected:
    void SetUp() override {
        if (!run("command -v weston >/dev/null").first) GTEST_SKIP() << "weston is not installed (Debian: weston)";
        char folder[] = "/tmp/tarnwick-weston.XXXXXX";
        ASSERT_TRUE(mkdtemp(folder));
        runtime_ = folder;
        ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        const char* argv[] = {"weston", "--backend=headless-backend.so", "--socket=tarnwick-weston", "--idle-time=0",
                              nullptr};
        // Its log would bury the test's; it stays in the runtime folder.
        posix_spawn_file_actions_t streams;
        posix_spawn_file_actions_init(&streams);
        const std::string log = runtime_ + "/weston.log";
        posix_spawn_file_actions_addopen(&streams, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        posix_spawn_file_actions_adddup2(&streams, 1, 2);
        const int spawned = posix_spawnp(&weston_, "weston", &streams, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&streams);
        ASSERT_EQ(spawned, 0);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!connection && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            struct stat socket {};
            if (stat((runtime_ + "/tarnwick-weston").c_str(), &socket) == 0)
                connection = ExtrasConnection::open("tarnwick-weston");
        }
        ASSERT_TRUE(connection) << "weston did not come up within 20 s";
    }
    void TearDown() override {
        connection.reset();
        if (weston_ > 0) {
            kill(weston_, SIGTERM);
            waitpid(weston_, nullptr, 0);
        }
        if (!runtime_.empty()) run("rm -rf " + runtime_);
    }
    std::unique_ptr<ExtrasConnection> connection;

private:
    pid_t weston_ = 0;
    std::string runtime_;
};

// Each missing protocol is said once, and each piece does nothing rather
// than fail: no idle counter, nothing in front, no display power.
TEST_F(Weston, WithoutTheProtocolsEachPieceSaysSoOnceAndStandsAside) {
    platform::headless::HeadlessEnvironment env;
    LogLines log;
    WaylandExtras extras(connection->display(), connection->globals());
    for (const char* protocol :
         {"ext-idle-notify-v1; the inactivity lock", "wlr-gamma-control-unstable-v1",
          "wlr-output-power-management-unstable-v1", "wlr-foreign-toplevel-management-unstable-v1"})
        EXPECT_EQ(log.countContaining(protocol), 1u) << protocol;
    EXPECT_EQ(log.lines().size(), 4u);

    EXPECT_FALSE(extras.idle().create([](const platform::EventRef&) {}));
    EXPECT_EQ(extras.idle().secondsSinceActivity(), std::nullopt);
    EXPECT_FALSE(extras.displayPower().hasPowerEntry());
    extras.displayPower().requestIdle();
    platform::ProcessSerialNumber psn;
    EXPECT_EQ(extras.frontWindow().frontProcess(psn), extras.frontWindow().kProcessNotFound);
    std::uint32_t token = 0;
    ASSERT_EQ(extras.gamma().acquireReservation(15, token, 1011, 1001), 0);
    EXPECT_EQ(extras.gamma().fade(token, 0.05, 0.0, 1.0, 0, 0, 0, true), 0);
    EXPECT_TRUE(extras.gamma().release(token));
    EXPECT_TRUE(connection->roundtrip());
    EXPECT_EQ(log.lines().size(), 4u);
}

}  // namespace

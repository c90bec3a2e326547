#include <gtest/gtest.h>

#include "QtTestApplication.h"

#include "platform/desktop/dbus/DesktopWorkspace.h"
#include "platform/desktop/qt/QtRunLoop.h"

#include <QCoreApplication>
#include <csignal>
#include <optional>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

// Opening files with a named application: a program of that name on the PATH
// gets the file; a name that is no program here ("Preview", the image viewer
// of the system the application was written for) leaves it to xdg-open.

namespace fs = std::filesystem;

namespace {

class DesktopWorkspaceOpening : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("tarnwick-workspace-" + std::to_string(::getpid()));
        fs::create_directories(folder_ / "bin");
        if (const char* path = std::getenv("PATH")) savedPath_ = path;
        ::setenv("PATH", (folder_ / "bin").c_str(), 1);
        photo_ = (folder_ / "photo.tiff").string();
        std::ofstream(photo_) << "II*";
    }

    void TearDown() override {
        ::setenv("PATH", savedPath_.c_str(), 1);
        fs::remove_all(folder_);
    }

    // A program that writes its name and arguments where the test reads them.
    void installRecorder(const std::string& name) {
        const fs::path program = folder_ / "bin" / name;
        std::ofstream(program) << "#!/bin/sh\necho \"" << name << " $*\" > '" << (folder_ / "opened").string()
                               << ".tmp' && /bin/mv '" << (folder_ / "opened").string() << ".tmp' '"
                               << (folder_ / "opened").string() << "'\n";
        fs::permissions(program, fs::perms::owner_all);
    }

    std::string opened() {
        const fs::path record = folder_ / "opened";
        for (int i = 0; i < 200 && !fs::exists(record); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(record);
        std::string line;
        std::getline(in, line);
        return line;
    }

    fs::path folder_;
    std::string savedPath_;
    std::string photo_;
    platform::desktop::DesktopWorkspace workspace_;
};

TEST_F(DesktopWorkspaceOpening, AnApplicationThatIsNoProgramHereLeavesTheFileToTheDesktopDefault) {
    installRecorder("xdg-open");
    EXPECT_TRUE(workspace_.openFile(photo_, "Preview"));
    EXPECT_EQ(opened(), "xdg-open " + photo_);
}

TEST_F(DesktopWorkspaceOpening, AnApplicationOnThePathOpensTheFileItself) {
    installRecorder("xdg-open");
    installRecorder("viewer");
    EXPECT_TRUE(workspace_.openFile(photo_, "viewer"));
    EXPECT_EQ(opened(), "viewer " + photo_);
}

TEST_F(DesktopWorkspaceOpening, AMissingFileOrNoOpenerAnswersFalse) {
    installRecorder("xdg-open");
    EXPECT_FALSE(workspace_.openFile((folder_ / "missing.tiff").string(), "Preview"));
    fs::remove(folder_ / "bin" / "xdg-open");
    EXPECT_FALSE(workspace_.openFile(photo_, "Preview"));
}

// A launched application's end reaches whoever launched it, on the main
// thread, however it ended.
TEST_F(DesktopWorkspaceOpening, ALaunchedApplicationsEndIsToldWithItsStatusOrSignal) {
    qtTestApplication();
    platform::desktop::QtRunLoop loop;
    platform::RunLoop::install(&loop);
    using Exit = platform::Workspace::ApplicationExit;
    const std::vector<std::pair<std::string, Exit>> cases = {
        {"exit 3", Exit{3, 0}},
        {"kill -SEGV $$", Exit{0, SIGSEGV}},
    };
    for (const auto& [script, expected] : cases) {
        const fs::path bundle = folder_ / "Ends.app";
        fs::create_directories(bundle / "Contents" / "MacOS");
        std::ofstream(bundle / "Contents" / "MacOS" / "Ends") << "#!/bin/sh\n" << script << "\n";
        fs::permissions(bundle / "Contents" / "MacOS" / "Ends", fs::perms::owner_all);
        std::optional<Exit> told;
        bool onMainThread = false;
        ASSERT_TRUE(workspace_.launchApplication(bundle.string(), [&](const Exit& exit) {
            told = exit;
            onMainThread = loop.isMainThread();
        }));
        for (int i = 0; i < 500 && !told; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(told.has_value()) << script;
        EXPECT_EQ(told->status, expected.status) << script;
        EXPECT_EQ(told->signal, expected.signal) << script;
        EXPECT_TRUE(onMainThread) << script;
    }
    platform::RunLoop::install(nullptr);
}

}  // namespace

#include <gtest/gtest.h>

#include "platform/desktop/dbus/DesktopWorkspace.h"

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

}  // namespace

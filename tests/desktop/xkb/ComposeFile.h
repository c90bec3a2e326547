#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

// A user's Compose file for the length of one case: xkbcommon reads
// XCOMPOSEFILE in place of ~/.XCompose. Empty content leaves the locale's
// own table in charge.
class ComposeFile {
public:
    explicit ComposeFile(const std::string& content) {
        if (content.empty()) return;
        path_ = std::filesystem::temp_directory_path() / ("tarnwick-compose-" + std::to_string(::getpid()));
        std::ofstream(path_) << content;
        ::setenv("XCOMPOSEFILE", path_.c_str(), 1);
    }
    ~ComposeFile() {
        if (path_.empty()) return;
        ::unsetenv("XCOMPOSEFILE");
        std::filesystem::remove(path_);
    }
    ComposeFile(const ComposeFile&) = delete;
    ComposeFile& operator=(const ComposeFile&) = delete;

private:
    std::filesystem::path path_;
};

#include "platform/headless/HeadlessEnvironment.h"

#include "platform/foundation/Defaults.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/LogSink.h"
#include "platform/ui/Application.h"
#include "platform/ui/StatusBar.h"

#include <cstdlib>
#include <stdexcept>

namespace platform::headless {

namespace {

const char* const kVariables[] = {"HOME", "XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"};

}  // namespace

HeadlessEnvironment::HeadlessEnvironment(const std::string& defaultsDomain) {
    char pattern[] = "/tmp/tarnwick-test-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("cannot create a temporary home");
    home_ = pattern;
    for (const char* name : kVariables) {
        const char* old = std::getenv(name);
        savedEnvironment_.emplace_back(name, old ? old : std::string("\x01"));
    }
    ::setenv("HOME", home_.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home_ + "/.local/share").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (home_ + "/system/local/share:" + home_ + "/system/share").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home_ + "/.cache").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home_ + "/.config").c_str(), 1);

    Clock::install(&clock_);
    RunLoop::install(&runLoop_);
    AlertPresenter::install(&alerts_);
    Defaults::setStandardDomain(defaultsDomain);
    Application::shared().reset();
    StatusBar::system().reset();
    LogSink::setCapture([this](const std::string& line) {
        std::lock_guard<std::mutex> guard(logLock_);
        lines_.push_back(line);
    });
}

HeadlessEnvironment::~HeadlessEnvironment() {
    LogSink::setCapture(nullptr);
    StatusBar::system().reset();
    Application::shared().reset();
    AlertPresenter::install(nullptr);
    RunLoop::install(nullptr);
    Clock::install(nullptr);
    for (const auto& [name, value] : savedEnvironment_) {
        if (value == "\x01")
            ::unsetenv(name.c_str());
        else
            ::setenv(name.c_str(), value.c_str(), 1);
    }
    FileManager::removeItem(home_);
}

std::vector<std::string> HeadlessEnvironment::logLines() const {
    std::lock_guard<std::mutex> guard(logLock_);
    return lines_;
}

std::vector<std::string> HeadlessEnvironment::logLinesContaining(const std::string& text) const {
    std::lock_guard<std::mutex> guard(logLock_);
    std::vector<std::string> hits;
    for (const auto& line : lines_)
        if (line.find(text) != std::string::npos) hits.push_back(line);
    return hits;
}

void HeadlessEnvironment::clearLog() {
    std::lock_guard<std::mutex> guard(logLock_);
    lines_.clear();
}

}  // namespace platform::headless

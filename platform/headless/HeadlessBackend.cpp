#include "platform/headless/HeadlessBackend.h"

namespace platform::headless {

HeadlessBackend::HeadlessBackend() {
    Clock::install(&clock_);
    RunLoop::install(&runLoop_);
    AlertPresenter::install(&alerts_);
    Displays::install(&displays_);
    DisplayPower::install(&displayPower_);
    SystemUIMode::install(&systemUIMode_);
    Processes::install(&processes_);
    InputSources::install(&inputSources_);
    EventTap::install(&eventTap_);
    HotKeyCenter::install(&hotKeys_);
    Workspace::install(&workspace_);
    DistributedNotificationCenter::install(&distributedCenter_);
    ConnectionService::install(&connections_);
    Capture::install(&capture_);
    Bluetooth::install(&bluetooth_);
}

HeadlessBackend::~HeadlessBackend() {
    Bluetooth::install(nullptr);
    Capture::install(nullptr);
    ConnectionService::install(nullptr);
    DistributedNotificationCenter::install(nullptr);
    Workspace::install(nullptr);
    HotKeyCenter::install(nullptr);
    EventTap::install(nullptr);
    InputSources::install(nullptr);
    Processes::install(nullptr);
    SystemUIMode::install(nullptr);
    DisplayPower::install(nullptr);
    Displays::install(nullptr);
    AlertPresenter::install(nullptr);
    RunLoop::install(nullptr);
    Clock::install(nullptr);
}

int HeadlessBackend::exec() {
    runLoop_.run();
    return 0;
}

}  // namespace platform::headless

#include "platform/headless/HeadlessBackend.h"

#include "platform/services/Services.h"

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
    LockRequests::install(&lockRequests_);
    IdleTime::install(&idleTime_);
}

HeadlessBackend::~HeadlessBackend() {
    uninstallAllServices();
    Clock::install(nullptr);
}

int HeadlessBackend::exec() {
    runLoop_.run();
    return 0;
}

}  // namespace platform::headless

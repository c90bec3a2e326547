#pragma once

#include "platform/foundation/Clock.h"
#include "platform/foundation/QueueRunLoop.h"
#include "platform/headless/ConsoleAlertPresenter.h"
#include "platform/headless/HeadlessBluetooth.h"
#include "platform/headless/HeadlessCapture.h"
#include "platform/headless/HeadlessDisplayPower.h"
#include "platform/headless/HeadlessDisplays.h"
#include "platform/headless/HeadlessEventTap.h"
#include "platform/headless/HeadlessHotKeyCenter.h"
#include "platform/headless/HeadlessInputSources.h"
#include "platform/headless/HeadlessLockRequests.h"
#include "platform/headless/HeadlessProcesses.h"
#include "platform/headless/HeadlessSystemUIMode.h"
#include "platform/headless/HeadlessWorkspace.h"
#include "platform/headless/InMemoryBus.h"
#include "platform/headless/InMemoryConnectionService.h"
#include "platform/headless/InMemoryNotificationCenter.h"

namespace platform::headless {

// Every headless service installed at once, on the system clock, with the
// main run loop on the constructing thread: the platform of the headless
// executable. Uninstalls everything when destroyed.
class HeadlessBackend {
public:
    HeadlessBackend();
    ~HeadlessBackend();
    HeadlessBackend(const HeadlessBackend&) = delete;
    HeadlessBackend& operator=(const HeadlessBackend&) = delete;

    // Runs the main run loop until the application terminates.
    int exec();

    QueueRunLoop& runLoop() { return runLoop_; }
    InMemoryBus& bus() { return bus_; }

private:
    SystemClock clock_;
    QueueRunLoop runLoop_;
    ConsoleAlertPresenter alerts_;
    HeadlessDisplays displays_;
    HeadlessDisplayPower displayPower_;
    HeadlessSystemUIMode systemUIMode_;
    HeadlessProcesses processes_;
    HeadlessInputSources inputSources_;
    HeadlessEventTap eventTap_;
    HeadlessHotKeyCenter hotKeys_;
    HeadlessWorkspace workspace_;
    InMemoryBus bus_;
    InMemoryNotificationCenter distributedCenter_{bus_};
    InMemoryConnectionService connections_{bus_};
    // No camera and no radio: the headless machine has neither.
    HeadlessCapture capture_;
    HeadlessBluetooth bluetooth_{HeadlessBluetooth::Controller::Absent};
    HeadlessLockRequests lockRequests_;
    HeadlessIdleTime idleTime_;
};

}  // namespace platform::headless

#include "platform/services/AttemptsRecord.h"
#include "platform/services/Services.h"

#include "platform/foundation/RunLoop.h"
#include "platform/services/Bluetooth.h"
#include "platform/services/Capture.h"
#include "platform/services/Channel.h"
#include "platform/services/CompositorSession.h"
#include "platform/services/Displays.h"
#include "platform/services/Input.h"
#include "platform/services/LayoutCharacters.h"
#include "platform/services/LockRequests.h"
#include "platform/services/Processes.h"
#include "platform/services/Workspace.h"
#include "platform/ui/Alert.h"
#include "platform/ui/OpenPanel.h"

namespace platform {

void uninstallAllServices() {
    AttemptsRecord::install(nullptr);
    LockRequests::install(nullptr);
    CompositorSession::install(nullptr);
    IdleTime::install(nullptr);
    Bluetooth::install(nullptr);
    Capture::install(nullptr);
    ConnectionService::install(nullptr);
    DistributedNotificationCenter::install(nullptr);
    Workspace::install(nullptr);
    HotKeyCenter::install(nullptr);
    EventTap::install(nullptr);
    InputSources::install(nullptr);
    LayoutCharacters::install(nullptr);
    Processes::install(nullptr);
    SystemUIMode::install(nullptr);
    DisplayPower::install(nullptr);
    Displays::install(nullptr);
    AlertPresenter::install(nullptr);
    OpenPanelPresenter::install(nullptr);
    RunLoop::install(nullptr);
}

}  // namespace platform

#include "prefpane/PreferenceController.h"

#include "platform/foundation/Thread.h"
#include "platform/services/Capture.h"
#include "prefglue/PrefGlue.h"
#include "shared/QMASL.h"
#include "shared/TarnwickConstants.h"

#include <algorithm>
#include <mutex>

namespace {

// The camera's name and whether it can be used now. A camera that is in use
// elsewhere (a running Tarnwick may hold it) is not opened, so that nobody
// loses it to the probe.
std::string titleFor(platform::CaptureDevice& camera) {
    std::string name = camera.localizedDisplayName();
    if (!camera.isConnected()) return name + " (not connected)";
    if (camera.isInUseByAnotherApplication()) return name + " (busy)";
    std::string error;
    if (camera.open(&error)) {
        camera.close();
        return name;
    }
    return name + " (" + error + ")";
}

}  // namespace

// A search's answer, written by its thread and taken by the main thread.
struct PreferenceController::VideoSearchSlot {
    std::mutex lock;
    bool done = false;
    VideoDeviceSearch found;
};

namespace {

constexpr double kVideoSearchPollInterval = 0.05;

}  // namespace

void PreferenceController::updateVideoDevices(platform::Object*) { searchForVideoCaptureDevices(); }

// The cameras are listed here, which is quick; opening each one may take its
// time, so that happens on a thread of its own, which shares nothing with the
// controller but the slot and keeps the cameras it probes alive itself. A
// search started while another runs takes its place: only the newest list
// reaches the menu.
void PreferenceController::searchForVideoCaptureDevices() {
    std::vector<platform::CaptureDeviceRef> cameras;
    std::string defaultID;
    if (platform::Capture::isInstalled()) {
        platform::Capture& capture = platform::Capture::shared();
        capture.removeDeviceObserver(this);
        cameras = capture.inputDevices();
        // The desktop has no default camera of its own: the first video input stands for it.
        const auto video = capture.inputDevicesWithMediaType(platform::Capture::MediaType::Video);
        if (!video.empty()) defaultID = video.front()->uniqueID();
    }
    showVideoSearch(true);
    auto slot = std::make_shared<VideoSearchSlot>();
    videoSearch_ = slot;
    platform::Thread::detach([slot, cameras = std::move(cameras), defaultID = std::move(defaultID)] {
        VideoDeviceSearch found{{}, defaultID};
        for (const platform::CaptureDeviceRef& camera : cameras)
            found.devices.push_back({camera->uniqueID(), titleFor(*camera)});
        const std::lock_guard<std::mutex> guard(slot->lock);
        slot->found = std::move(found);
        slot->done = true;
    });
    if (!videoSearchPoll_)
        videoSearchPoll_ = platform::RunLoop::main().scheduleTimer(kVideoSearchPollInterval, true,
                                                                   [this](platform::Timer&) { pollVideoSearch(); });
}

void PreferenceController::pollVideoSearch() {
    if (!videoSearch_) return;
    VideoDeviceSearch found;
    {
        const std::lock_guard<std::mutex> guard(videoSearch_->lock);
        if (!videoSearch_->done) return;
        found = std::move(videoSearch_->found);
    }
    videoSearch_.reset();
    videoSearchPoll_->invalidate();
    videoSearchPoll_.reset();
    showVideoDevices(found);
}

void PreferenceController::showVideoSearch(bool searching) {
    if (videoSearchIndicator)
        searching ? videoSearchIndicator->startAnimation() : videoSearchIndicator->stopAnimation();
    if (videoSearchInfo) videoSearchInfo->setHidden(!searching);
    if (updateVideoDevicesButton) updateVideoDevicesButton->setEnabled(!searching);
}

void PreferenceController::showVideoDevices(const VideoDeviceSearch& found) {
    if (!videoPopupButton) return;
    while (videoPopupButton->numberOfItems() > 1) videoPopupButton->removeItemAtIndex(1);
    const platform::PopUpItemRef noPhotos = videoPopupButton->items().front();
    noPhotos->setRepresentedObject("");
    noPhotos->setState(found.devices.empty() ? 1 : 0);
    for (const VideoDevice& device : found.devices) {
        const platform::PopUpItemRef item = videoPopupButton->addItem(
            device.title, 0, [this](platform::Object* sender) { videoCaptureDeviceChanged(sender); });
        item->setRepresentedObject(device.uniqueID);
    }
    selectStoredVideoDevice(found);
    showVideoSearch(false);
    videoPopupButton->setEnabled(true);
    if (platform::Capture::isInstalled())
        platform::Capture::shared().observeDevices(this, [this, alive = alive_] {
            if (alive->load()) searchForVideoCaptureDevices();
        });
}

void PreferenceController::selectStoredVideoDevice(const VideoDeviceSearch& found) {
    const std::string stored = PreferencesStringValue(kPrefVideoCaptureDevice, "", appID_);
    if (stored.empty()) return;
    const auto listed = [&found](const std::string& id) {
        return !id.empty() && std::any_of(found.devices.begin(), found.devices.end(),
                                          [&id](const VideoDevice& device) { return device.uniqueID == id; });
    };
    // A stored camera that is gone gives way to the default one; a listed one
    // is never replaced.
    const bool useDefault = !listed(stored) && listed(found.defaultID);
    const std::string chosen = useDefault ? found.defaultID : stored;
    const auto& items = videoPopupButton->items();
    for (std::size_t index = 1; index < items.size(); ++index) {
        if (items[index]->representedObject() != chosen) continue;
        items[index]->setState(1);
        videoPopupButton->selectItemAtIndex(static_cast<int>(index));
        break;
    }
    if (!useDefault) return;
    writeValue(kPrefVideoCaptureDevice, chosen);
    synchronizeWithApplication();
}

void PreferenceController::videoCaptureDeviceChanged(platform::Object* sender) {
    auto* chosen = dynamic_cast<platform::PopUpItem*>(sender);
    if (!chosen || !videoPopupButton) return;
    for (const platform::PopUpItemRef& item : videoPopupButton->items()) item->setState(item.get() == chosen ? 1 : 0);
    QMLog(7, "VideoCaptureDevice changed %@", chosen->representedObject());
    writeValue(kPrefVideoCaptureDevice, chosen->representedObject());
    synchronizeWithApplication();
}

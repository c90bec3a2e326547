#include "app/Photographer.h"

#include "platform/foundation/Defaults.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Alert.h"
#include "shared/QMASL.h"
#include "shared/TarnwickConstants.h"

// Life cycle, session set-up, the camera check and termination. The photo
// work itself lives in PhotographerPhotos.cpp.

namespace {

const char* const kNoSessionText =
    "The currently configured camera %@ cannot be used. Press \"Try Again\" or select another camera in "
    "System Preferences.";
const char* const kNotAttachedText =
    "The currently configured camera %@ is not connected. Reconnect it and press \"Try Again\" or select "
    "another camera in System Preferences.";
const char* const kBusyText =
    "The currently configured camera %@ is being used by another application. Quit that application or "
    "select another camera in System Preferences.";

bool onMainThread() { return platform::RunLoop::isInstalled() && platform::RunLoop::main().isMainThread(); }

std::vector<platform::CaptureDeviceRef> availableCameras() {
    if (!platform::Capture::isInstalled()) return {};
    return platform::Capture::shared().inputDevices();
}

}  // namespace

std::unique_ptr<Photographer> Photographer::initWithDelegate(TarnwickDelegate* delegate) {
    return std::make_unique<Photographer>(delegate);
}

Photographer::Photographer(TarnwickDelegate* delegate)
    : delegate_(delegate), photosToTake(std::make_shared<NotificationQueue>()) {
    workThread = std::make_unique<platform::Thread>([this](platform::Thread&) { takePhotos(); });
    workThread->start();
    platform::NotificationCenter::defaultCenter().addObserver(
        this, "", platform::Value(), [this](const platform::NotificationRef& n) { incomingEvent(n); });
}

Photographer::~Photographer() { terminate(); }

TarnwickDelegate* Photographer::delegate() const { return delegate_.load(); }

void Photographer::setDelegate(TarnwickDelegate* delegate) { delegate_.store(delegate); }

platform::NotificationRef Photographer::eventNotification() const {
    std::lock_guard<std::recursive_mutex> guard(objectLock());
    return eventNotification_;
}

void Photographer::setEventNotification(platform::NotificationRef notification) {
    std::lock_guard<std::recursive_mutex> guard(objectLock());
    eventNotification_ = std::move(notification);
}

platform::CaptureSessionRef Photographer::currentSession() const {
    std::lock_guard<std::mutex> guard(sessionLock_);
    return session;
}

bool Photographer::hasSession() const { return currentSession() != nullptr; }

platform::CaptureDeviceRef Photographer::boundDevice() const {
    const auto current = currentSession();
    if (!current) return nullptr;
    const auto inputs = current->inputs();
    return inputs.empty() ? nullptr : inputs.front()->device();
}

// --- Set-up -------------------------------------------------------------------

bool Photographer::setupCaptureSession() {
    if (hasSession()) {
        QMLog(7, "Session already set.");
        return true;
    }
    capturing.store(0);
    workSignal_->ring();
    const std::string configured = platform::Defaults::standard().stringForKey(kPrefVideoCaptureDevice);
    if (configured.empty()) {
        QMLog(7, "Video capturing disabled.");
        return false;
    }
    const auto newSession = std::make_shared<platform::CaptureSession>();
    newSession->setStopObserver([signal = workSignal_] { signal->ring(); });
    {
        std::lock_guard<std::mutex> guard(sessionLock_);
        session = newSession;
    }

    const auto devices = availableCameras();
    if (devices.empty()) {
        platform::Alert::withMessage("No camera found", "Ok", "", "",
                                     "Maybe it is in use by another application? Tarnwick will not be able to "
                                     "take photos.")
            .runModal();
        failSetup();
        return false;
    }

    platform::CaptureDeviceRef chosen;
    for (const auto& device : devices) {
        if (device->uniqueID() != configured) continue;
        if (!device->isConnected()) {
            QMLog(7, "Set video capture device to %@ (not connected)", device->localizedDisplayName());
            failSetup();
            return false;
        }
        if (device->isInUseByAnotherApplication()) {
            QMLog(7, "Set video capture device to %@ (used by another application)", device->localizedDisplayName());
            failSetup();
            return false;
        }
        QMLog(7, "Set video capture device to %@", device->localizedDisplayName());
        chosen = device;
    }
    if (!chosen) {
        failSetup();
        return false;
    }

    std::string error;
    if (!chosen->open(&error)) {
        QMLog(7, "%@", error);
        failSetup();
        return false;
    }
    const auto input = std::make_shared<platform::CaptureDeviceInput>(chosen);
    if (!newSession->addInput(input, &error)) {
        QMLog(7, "%@", error);
        chosen->close();  // not bound to the session, so the failure path would not close it
        failSetup();
        return false;
    }
    const auto output = std::make_shared<platform::CaptureDecompressedVideoOutput>();
    output->setDelegate(this);
    if (!newSession->addOutput(output, &error)) {
        platform::Alert::withMessage(error, "", "", "", "").runModal();
        failSetup();
        return false;
    }
    // The session keeps the camera bound but closed until a photo is due.
    chosen->close();
    return true;
}

void Photographer::failSetup() {
    closeInputDevice();
    platform::CaptureSessionRef failed;
    {
        std::lock_guard<std::mutex> guard(sessionLock_);
        failed = std::move(session);
        session = nullptr;
    }
    if (failed) {
        if (const auto inputs = failed->inputs(); !inputs.empty()) failed->removeInput(inputs.front());
        if (const auto outputs = failed->outputs(); !outputs.empty()) failed->removeOutput(outputs.front());
    }
    QMLog(7, "Failed to setup session.");
}

// --- Camera check ---------------------------------------------------------------

CameraAnswer Photographer::cameraReady() {
    const auto device = boundDevice();
    if (!device) return askAboutCamera("Configured camera cannot be used", kNoSessionText, nullptr);
    if (!device->isConnected()) return askAboutCamera("Camera not attached", kNotAttachedText, device);
    if (device->isInUseByAnotherApplication()) return askAboutCamera("Camera busy", kBusyText, device);
    return CameraAnswer::Ready;
}

std::optional<std::string> Photographer::cameraProblem() const {
    const auto device = boundDevice();
    if (!device) return "Configured camera cannot be used";
    if (!device->isConnected()) return "Camera not attached";
    if (device->isInUseByAnotherApplication()) return "Camera busy";
    return std::nullopt;
}

CameraAnswer Photographer::askAboutCamera(const std::string& message, const char* informativeFormat,
                                          const platform::CaptureDeviceRef& device) {
    const qmasl::Argument cameraName = device ? qmasl::Argument(device->localizedDisplayName())
                                              : qmasl::Argument(static_cast<const platform::Object*>(nullptr));
    const std::string informative = qmasl::format(informativeFormat, {cameraName});
    const auto alert = platform::Alert::withMessage(message, "Open Tarnwick preferences", "Try again", "", informative);
    if (alert.runModal() == platform::Alert::DefaultReturn) {
        if (TarnwickDelegate* d = delegate()) d->showPreferences(this);
        return CameraAnswer::OpenPreferences;
    }
    return CameraAnswer::TryAgain;
}

// --- Termination ----------------------------------------------------------------

void Photographer::terminate() {
    QMLog(7, "Received terminate reuqest");
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    if (workThread && workThread->isExecuting()) {
        QMLog(7, "Cancelling worjer thread");
        workThread->cancel();
        workSignal_->ring();
        // The work thread never waits for the main thread, so a plain join
        // cannot deadlock, and no other main-thread work runs meanwhile.
        workThread->join();
    }
    workThread.reset();
    closeSession();
    if (photosToTake) {
        clearQueue();
        photosToTake.reset();
    }
}

void Photographer::stopAndWait(const platform::CaptureSessionRef& stopping) const {
    stopping->stopRunning();
    if (stopping->isCaptureThread()) return;  // a callback cannot wait for itself
    // A photo being posted may wait for the main thread; only then does the
    // main thread serve handed-over work while it waits.
    while (!stopping->waitUntilStopped(0.01))
        if (postingPhoto_.load() && onMainThread()) platform::RunLoop::main().servicePendingPerforms();
}

void Photographer::closeSession() {
    QMLog(7, ">closeSession");
    platform::CaptureSessionRef closing;
    {
        std::lock_guard<std::mutex> guard(sessionLock_);
        closing = std::move(session);
        session = nullptr;
    }
    if (closing) {
        // No frame callback may run once the session is gone.
        stopAndWait(closing);
        if (const auto inputs = closing->inputs(); !inputs.empty()) {
            inputs.front()->device()->close();
            closing->removeInput(inputs.front());
        }
        if (const auto outputs = closing->outputs(); !outputs.empty()) {
            outputs.front()->setDelegate(nullptr);
            closing->removeOutput(outputs.front());
        }
    }
    QMLog(7, "<closeSession");
}

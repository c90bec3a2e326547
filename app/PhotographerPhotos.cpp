#include "app/Photographer.h"

#include "platform/foundation/Defaults.h"
#include "platform/foundation/FileManager.h"
#include "shared/QMASL.h"
#include "shared/TarnwickConstants.h"
#include "shared/TarnwickEvents.h"

#include <cerrno>
#include <cstring>

// Photo requests: queueing events, the work thread that takes one photo at a
// time, the frame callback and opening and closing the camera.

std::string Photographer::photoFileName(const platform::Value& timestamp) {
    return timestamp.dateValue().format(kPhotoTimestampFormat) + ".tiff";
}

// --- Requests -------------------------------------------------------------------

void Photographer::incomingEvent(const platform::NotificationRef& notification) {
    const TarnwickEvent* event = tarnwickEventNamed(notification->name());
    if (!event) return;
    if (TarnwickDelegate* d = delegate(); d && d->sleeping()) {
        QMLog(7, "PhotoHandler ignored event %@ due to computer sleep", notification->name());
        return;
    }
    QMLog(7, "PhotoHandler got event %@", notification->name());
    if (eventWantsPhoto(event->prefix)) enqueuePhoto(notification);
}

bool Photographer::eventWantsPhoto(const std::string& prefix) const {
    const auto& defaults = platform::Defaults::standard();
    if (!defaults.boolForKey(prefix)) return false;
    // However many of its actions want the photo, one is taken per event.
    for (const char* action : {kActionLog, kActionEmail, kActionScript}) {
        const std::string key = actionKey(prefix, action);
        if (defaults.boolForKey(key) && defaults.boolForKey(photoKey(key))) return true;
    }
    return false;
}

void Photographer::enqueuePhoto(const platform::NotificationRef& notification) {
    if (!photosToTake) return;
    {
        std::lock_guard<std::recursive_mutex> guard(photosToTake->objectLock());
        photosToTake->items.push_back(notification);
    }
    workSignal_->ring();
}

platform::NotificationRef Photographer::dequeuePhoto() {
    if (!photosToTake) return nullptr;
    std::lock_guard<std::recursive_mutex> guard(photosToTake->objectLock());
    if (photosToTake->items.empty()) return nullptr;
    platform::NotificationRef first = photosToTake->items.front();
    photosToTake->items.pop_front();
    return first;
}

void Photographer::clearQueue() {
    if (!photosToTake) return;
    std::lock_guard<std::recursive_mutex> guard(photosToTake->objectLock());
    photosToTake->items.clear();
}

std::size_t Photographer::queuedPhotoCount() const {
    if (!photosToTake) return 0;
    std::lock_guard<std::recursive_mutex> guard(photosToTake->objectLock());
    return photosToTake->items.size();
}

// --- Work thread ----------------------------------------------------------------

void Photographer::WorkSignal::ring() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        pending_ = true;
    }
    rung_.notify_one();
}

void Photographer::WorkSignal::wait() {
    std::unique_lock<std::mutex> guard(lock_);
    rung_.wait(guard, [this] { return pending_; });
    pending_ = false;
}

bool Photographer::workThreadCancelled() const { return workThread && workThread->isCancelled(); }

// Each state is checked before sleeping and every change to it rings the
// signal, so the thread sleeps without a time limit and misses nothing.
void Photographer::takePhotos() {
    while (!workThreadCancelled()) {
        if (cameraBusy()) {
            workSignal_->wait();
            if (workThreadCancelled()) {
                clearQueue();
                return;
            }
            continue;
        }
        if (queuedPhotoCount() == 0) {
            // The camera stays open only while requests are waiting.
            if (const auto device = boundDevice(); device && device->isOpen()) closeInputDevice();
            workSignal_->wait();
            continue;
        }
        if (!claimCamera()) return;
        if (openInputDevice()) {
            startPhoto();
        } else {
            QMLog(7, "Failed to open video capture device. Clearing queue.");
            releaseCamera();
            clearQueue();
        }
    }
}

// Busy while a photo is under way, and after it while the capture thread
// hands over the frames in flight. The work thread waits for the session's
// stop to be announced rather than joining its capture thread, so that it
// never waits for anything that may wait for the main thread.
bool Photographer::cameraBusy() const {
    if (capturing.load() == 1) return true;
    const auto current = currentSession();
    return current && !current->isStopped();
}

bool Photographer::claimCamera() {
    for (;;) {
        std::int32_t expected = 0;
        if (capturing.compare_exchange_strong(expected, 1, std::memory_order_seq_cst)) return true;
        if (workThreadCancelled()) return false;
        workSignal_->wait();
    }
}

void Photographer::releaseCamera() {
    std::int32_t expected = 1;
    if (capturing.compare_exchange_strong(expected, 0, std::memory_order_seq_cst)) workSignal_->ring();
}

void Photographer::startPhoto() {
    platform::NotificationRef next = dequeuePhoto();
    const auto current = currentSession();
    if (!next || !current) {
        // A capture failure emptied the queue meanwhile, or the session is gone.
        releaseCamera();
        return;
    }
    setEventNotification(std::move(next));
    current->startRunning();
}

// --- Capture thread -------------------------------------------------------------

void Photographer::captureOutputDidOutputVideoFrame(platform::CaptureDecompressedVideoOutput&,
                                                    const platform::ImageRef& videoFrame) {
    QMLog(7, ">captureOutput");
    if (const auto current = currentSession()) current->stopRunning();
    const platform::NotificationRef event = eventNotification();
    if (videoFrame && event) {
        const platform::Value& timestamp = event->userInfoValue("timestamp");
        const std::string fileName = photoFileName(timestamp);
        videoFrame->setName(fileName);
        platform::Dictionary userInfo{{"eventName", event->userInfoValue("eventName")},
                                      {"timestamp", timestamp},
                                      {"image", platform::Value(videoFrame)}};
        if (platform::Defaults::standard().boolForKey(kPrefSaveImagesImmediately)) savePhoto(videoFrame, fileName);
        postingPhoto_.store(true);
        platform::NotificationCenter::defaultCenter().post(kPhotoReadyNotification, platform::Value(event->name()),
                                                           std::move(userInfo));
        postingPhoto_.store(false);
    }
    releaseCamera();
    QMLog(7, "<captureOutput");
}

void Photographer::captureOutputDidFail(platform::CaptureDecompressedVideoOutput&, const std::string& error) {
    // Treated like a camera that fails to open: every waiting request is
    // dropped and the camera is free for later ones.
    QMLog(3, "Video capture device failed: %@. Clearing queue.", error);
    clearQueue();
    releaseCamera();
}

void Photographer::savePhoto(const platform::ImageRef& image, const std::string& fileName) const {
    const std::string folder =
        platform::paths::expandTilde(platform::Defaults::standard().stringForKey(kPrefSaveImagesPath));
    const std::string path = platform::paths::appendComponent(folder, fileName);
    const platform::Data tiff = image->tiffRepresentation();
    if (folder.empty() || tiff.empty() || !platform::FileManager::writeAtomically(path, tiff)) {
        const int reason = errno;
        QMLog(3, "Cannot save photo %@: %@", path, folder.empty() ? "no photo folder set" : std::strerror(reason));
    }
}

// --- Camera ---------------------------------------------------------------------

bool Photographer::openInputDevice() {
    QMLog(7, ">openInputDevice");
    bool opened = false;
    const auto current = currentSession();
    const auto inputs = current ? current->inputs() : std::vector<platform::CaptureSession::InputRef>{};
    if (!current) {
        QMLog(7, "Cannot open input device: no session");
    } else if (inputs.empty()) {
        QMLog(7, "Cannot open input device: no device bound to session.");
    } else if (inputs.front()->device()->isOpen()) {
        opened = true;
    } else {
        std::string error;
        opened = inputs.front()->device()->open(&error);
        if (!opened) QMLog(7, "%@", error);
    }
    QMLog(7, "<openInputDevice");
    return opened;
}

void Photographer::closeInputDevice() {
    QMLog(7, ">closeInputDevice");
    if (const auto current = currentSession()) {
        const auto inputs = current->inputs();
        if (!inputs.empty() && inputs.front()->device()->isOpen()) {
            stopAndWait(current);
            inputs.front()->device()->close();
        }
    }
    QMLog(7, "<closeInputDevice");
}

#pragma once

#include "app/ApplicationDelegateAccess.h"
#include "platform/foundation/Notification.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/Thread.h"
#include "platform/services/Capture.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// Takes one photo with the configured camera for each event that asks for one
// and announces it with the photo-ready notification.
//
// Threads: the main thread creates it, sets up the session, checks the
// camera and terminates it; events arrive on the thread that posts them; the
// work thread takes the photos one at a time; frames arrive on the capture
// thread of the session, which also posts the photo-ready notification.
// The camera's answer before a lock: usable now, or what the user chose in
// the question about it.
enum class CameraAnswer { OpenPreferences = 0, TryAgain = 1, Ready = 2 };

class Photographer final : public platform::Object, public platform::CaptureVideoOutputDelegate {
public:
    // initWithDelegate: starts the work thread and observes every notification.
    static std::unique_ptr<Photographer> initWithDelegate(TarnwickDelegate* delegate);
    explicit Photographer(TarnwickDelegate* delegate);
    ~Photographer() override;  // terminates

    // Builds the session for the configured camera; true when one exists afterwards.
    bool setupCaptureSession();
    // Ready when the camera can be used now; otherwise asks the user: "Try
    // again" or "Open Tarnwick preferences".
    CameraAnswer cameraReady();
    // Why the camera cannot be used now, without asking anybody.
    std::optional<std::string> cameraProblem() const;
    // Queues a photo request when the event asks for one.
    void incomingEvent(const platform::NotificationRef& notification);
    // The work thread's body.
    void takePhotos();
    // The video output's delegate calls, on the capture thread.
    void captureOutputDidOutputVideoFrame(platform::CaptureDecompressedVideoOutput& output,
                                          const platform::ImageRef& videoFrame) override;
    void captureOutputDidFail(platform::CaptureDecompressedVideoOutput& output, const std::string& error) override;

    bool openInputDevice();
    void closeInputDevice();
    void closeSession();
    // Stops everything; a second call is harmless.
    void terminate();

    TarnwickDelegate* delegate() const;
    void setDelegate(TarnwickDelegate* delegate);
    platform::NotificationRef eventNotification() const;
    void setEventNotification(platform::NotificationRef notification);

    // State as the other threads see it, for diagnostics and tests.
    std::size_t queuedPhotoCount() const;
    std::int32_t capturingState() const { return capturing.load(); }
    bool hasSession() const;

    // The photo file name for an event time stamp: "%Y%m%d%H%M%S%F" + ".tiff".
    static std::string photoFileName(const platform::Value& timestamp);

private:
    // First in, first out; every change holds the queue object's own lock.
    struct NotificationQueue : platform::Object {
        std::deque<platform::NotificationRef> items;
    };

    // What the work thread sleeps on. Whoever changes something it waits for
    // (a request, a cancel, a freed camera, a stopped capture) rings after
    // the change; a ring before the thread sleeps is kept, so none is lost.
    class WorkSignal {
    public:
        void ring();
        void wait();

    private:
        std::mutex lock_;
        std::condition_variable rung_;
        bool pending_ = false;
    };

    platform::CaptureSessionRef currentSession() const;
    platform::CaptureDeviceRef boundDevice() const;
    void failSetup();
    CameraAnswer askAboutCamera(const std::string& message, const char* informativeFormat,
                                const platform::CaptureDeviceRef& device);
    bool eventWantsPhoto(const std::string& prefix) const;
    void enqueuePhoto(const platform::NotificationRef& notification);
    platform::NotificationRef dequeuePhoto();
    void clearQueue();
    bool workThreadCancelled() const;
    bool cameraBusy() const;
    bool claimCamera();
    void releaseCamera();
    void startPhoto();
    void savePhoto(const platform::ImageRef& image, const std::string& fileName) const;
    void stopAndWait(const platform::CaptureSessionRef& session) const;

    std::atomic<TarnwickDelegate*> delegate_{nullptr};
    std::atomic<std::int32_t> capturing{0};
    // Set while the capture thread posts a photo, whose observers may wait
    // for the main thread.
    std::atomic<bool> postingPhoto_{false};
    mutable std::mutex sessionLock_;
    platform::CaptureSessionRef session;
    platform::NotificationRef eventNotification_;
    std::shared_ptr<NotificationQueue> photosToTake;
    // Shared with the sessions, which ring it from their capture threads.
    std::shared_ptr<WorkSignal> workSignal_ = std::make_shared<WorkSignal>();
    std::unique_ptr<platform::Thread> workThread;
};

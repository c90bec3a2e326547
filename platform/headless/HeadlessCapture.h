#pragma once

#include "platform/services/Capture.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace platform::headless {

// A scriptable camera. By default it is connected, free, opens, and delivers
// one frame as soon as its session starts, then one more every frame interval.
class HeadlessCamera final : public CaptureDevice {
public:
    HeadlessCamera(std::string uniqueID, std::string displayName);

    // --- Script -------------------------------------------------------------
    void setConnected(bool connected);
    void setBusy(bool busy);
    // Another application takes the camera the moment this one closes it.
    void setTakenOnClose(bool taken);
    // A non-empty reason makes open fail with it.
    void setOpenError(std::string reason);
    // A non-empty reason makes streaming refuse to start with it.
    void setStreamError(std::string reason);
    // Real time from the start of streaming to the first batch of frames, and
    // between later batches.
    void setFrameDelay(double seconds);
    // Frames handed over together (already in flight when the first arrives).
    void setFramesPerBatch(int count);
    // While held, no frames come; releasing lets the next batch come at once.
    void holdFrames();
    void releaseFrames();
    // Batches of frames without a picture.
    void setDeliversEmptyFrames(bool empty);
    void setFrameSize(int width, int height);
    // Unplugged: disconnected, and a running stream fails.
    void unplug();

    // --- Observation --------------------------------------------------------
    bool isStreaming() const;
    int openCount() const;
    int streamStartCount() const;
    int framesDelivered() const;
    // The pixels every frame carries: a gradient that depends on the size.
    static std::vector<std::uint8_t> framePixels(int width, int height);

    // --- CaptureDevice ------------------------------------------------------
    std::string uniqueID() const override { return uniqueID_; }
    std::string localizedDisplayName() const override { return displayName_; }
    bool isConnected() const override;
    bool isInUseByAnotherApplication() const override;
    bool open(std::string* error) override;
    bool isOpen() const override;
    void close() override;
    bool beginStreaming(std::string* error) override;
    CaptureFrames waitForFrames(double timeoutSeconds) override;
    void endStreaming() override;

private:
    using Clock = std::chrono::steady_clock;
    CaptureFrames makeBatch();

    const std::string uniqueID_;
    const std::string displayName_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    bool connected_ = true;
    bool busy_ = false;
    bool takenOnClose_ = false;
    bool open_ = false;
    bool streaming_ = false;
    bool held_ = false;
    bool emptyFrames_ = false;
    std::string openError_;
    std::string streamError_;
    double frameDelay_ = 0.0;
    int framesPerBatch_ = 1;
    int width_ = 64;
    int height_ = 48;
    int openCount_ = 0;
    int streamStarts_ = 0;
    int framesDelivered_ = 0;
    Clock::time_point nextBatch_{};
};

using HeadlessCameraRef = std::shared_ptr<HeadlessCamera>;

// The cameras of the headless world. Adding, removing, plugging and
// unplugging tell the device observers.
class HeadlessCapture final : public Capture {
public:
    HeadlessCameraRef addCamera(const std::string& uniqueID, const std::string& displayName,
                                MediaType type = MediaType::Video);
    void removeCamera(const std::string& uniqueID);
    // Unplugs the camera (a running stream fails) and reports the change.
    void unplugCamera(const std::string& uniqueID);
    HeadlessCameraRef camera(const std::string& uniqueID) const;

    std::vector<CaptureDeviceRef> inputDevicesWithMediaType(MediaType type) override;

private:
    mutable std::mutex lock_;
    std::vector<std::pair<MediaType, HeadlessCameraRef>> cameras_;
};

}  // namespace platform::headless

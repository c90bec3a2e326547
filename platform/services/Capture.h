#pragma once

#include "platform/foundation/Object.h"
#include "platform/services/Service.h"
#include "platform/ui/Image.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {

// What a streaming camera hands over when asked for frames. Frames come in
// batches: everything the device had ready at once, delivered to the outputs
// even if the session is being stopped meanwhile (frames already in flight).
struct CaptureFrames {
    enum class Status { Frames, Timeout, Failed };
    Status status = Status::Timeout;
    std::vector<ImageRef> frames;  // a null entry is a frame without a picture
    std::string error;             // for Failed

    static CaptureFrames timeout() { return {}; }
    static CaptureFrames failed(std::string error) { return {Status::Failed, {}, std::move(error)}; }
    static CaptureFrames delivered(std::vector<ImageRef> frames) { return {Status::Frames, std::move(frames), {}}; }
};

// A camera. The backend keeps each device's state behind its own lock, so
// the device may be asked from any thread.
class CaptureDevice : public Object {
public:
    virtual std::string uniqueID() const = 0;
    virtual std::string localizedDisplayName() const = 0;
    virtual bool isConnected() const = 0;
    virtual bool isInUseByAnotherApplication() const = 0;
    // Opening claims the camera for this process; `error` receives a readable
    // reason on failure.
    virtual bool open(std::string* error) = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;

    // Streaming, used by the session on its capture thread only.
    virtual bool beginStreaming(std::string* error) = 0;
    // Waits at most `timeoutSeconds` of real time.
    virtual CaptureFrames waitForFrames(double timeoutSeconds) = 0;
    virtual void endStreaming() = 0;

    std::string description() const override { return localizedDisplayName(); }
};

using CaptureDeviceRef = std::shared_ptr<CaptureDevice>;

// A session input bound to one device.
class CaptureDeviceInput : public Object {
public:
    explicit CaptureDeviceInput(CaptureDeviceRef device) : device_(std::move(device)) {}
    const CaptureDeviceRef& device() const { return device_; }

private:
    CaptureDeviceRef device_;
};

class CaptureDecompressedVideoOutput;

// Receives the frames of a video output, on the session's capture thread.
class CaptureVideoOutputDelegate {
public:
    virtual ~CaptureVideoOutputDelegate() = default;
    // One call per delivered frame; `videoFrame` is null for a frame without a
    // picture.
    virtual void captureOutputDidOutputVideoFrame(CaptureDecompressedVideoOutput& output,
                                                  const ImageRef& videoFrame) = 0;
    // The device stopped streaming on its own (unplugged, refused to stream).
    // The session has stopped running when this is called.
    virtual void captureOutputDidFail(CaptureDecompressedVideoOutput& output, const std::string& error) = 0;
};

// A session output that hands decompressed RGB frames to its delegate.
class CaptureDecompressedVideoOutput : public Object {
public:
    void setDelegate(CaptureVideoOutputDelegate* delegate);
    CaptureVideoOutputDelegate* delegate() const;

    // Used by the session on its capture thread.
    void deliverFrame(const ImageRef& frame);
    void deliverFailure(const std::string& error);

private:
    std::atomic<CaptureVideoOutputDelegate*> delegate_{nullptr};
};

// One device input and one or more outputs. While running, a capture thread
// of the session streams the first input's device and delivers each frame to
// every output. Must be created with std::make_shared.
class CaptureSession : public Object {
public:
    using InputRef = std::shared_ptr<CaptureDeviceInput>;
    using OutputRef = std::shared_ptr<CaptureDecompressedVideoOutput>;

    CaptureSession() = default;
    ~CaptureSession() override;

    bool addInput(const InputRef& input, std::string* error);
    bool addOutput(const OutputRef& output, std::string* error);
    std::vector<InputRef> inputs() const;
    std::vector<OutputRef> outputs() const;
    void removeInput(const InputRef& input);
    void removeOutput(const OutputRef& output);

    // Starts the capture thread; waits for a previous one that is winding
    // down. Does nothing without an input or while running.
    void startRunning();
    // Asks the capture thread to end after the frames in flight; returns at
    // once, so a frame callback may call it.
    void stopRunning();
    bool isRunning() const;
    // True once the capture thread has ended (or never started): no frame
    // callback runs and startRunning will not wait.
    bool isStopped() const;
    // Waits until the capture thread has ended, so no callback runs any more.
    // False when `timeoutSeconds` passed first, or when called from the
    // capture thread itself.
    bool waitUntilStopped(double timeoutSeconds);
    // Whether the caller runs on this session's capture thread.
    bool isCaptureThread() const;
    // Runs on the capture thread each time it has ended (isStopped() is true
    // by then), so that whoever waits for the session need not poll it.
    void setStopObserver(std::function<void()> observer);

private:
    void captureLoop(const CaptureDeviceRef& device, const std::vector<OutputRef>& outputs);
    void joinFinishedThread(std::unique_lock<std::mutex>& guard);

    mutable std::mutex lock_;
    std::condition_variable finished_;
    std::vector<InputRef> inputs_;
    std::vector<OutputRef> outputs_;
    std::thread thread_;
    bool threadAlive_ = false;
    std::function<void()> stopObserver_;
    std::atomic<bool> stopRequested_{false};
};

using CaptureSessionRef = std::shared_ptr<CaptureSession>;

// The cameras of the machine.
class Capture : public Service<Capture> {
public:
    enum class MediaType { Video, Muxed };

    virtual ~Capture() = default;
    virtual std::vector<CaptureDeviceRef> inputDevicesWithMediaType(MediaType type) = 0;
    // Video devices first, then muxed ones.
    std::vector<CaptureDeviceRef> inputDevices();

    // Cameras plugged in or out (or connected and disconnected), reported on
    // the main thread.
    using DeviceObserver = std::function<void()>;
    void observeDevices(const void* owner, DeviceObserver observer);
    void removeDeviceObserver(const void* owner);

protected:
    // Called by the backend from any thread; observers run on the main thread.
    void devicesChanged();

private:
    struct Observers {
        std::mutex lock;
        std::vector<std::pair<const void*, std::shared_ptr<DeviceObserver>>> entries;
    };
    // Shared with pending main-thread deliveries, which may outlive the service.
    std::shared_ptr<Observers> observers_ = std::make_shared<Observers>();
};

}  // namespace platform

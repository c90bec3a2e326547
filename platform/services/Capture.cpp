#include "platform/services/Capture.h"

#include "platform/foundation/RunLoop.h"

#include <algorithm>
#include <chrono>

namespace platform {

// --- Output -----------------------------------------------------------------

void CaptureDecompressedVideoOutput::setDelegate(CaptureVideoOutputDelegate* delegate) { delegate_.store(delegate); }

CaptureVideoOutputDelegate* CaptureDecompressedVideoOutput::delegate() const { return delegate_.load(); }

void CaptureDecompressedVideoOutput::deliverFrame(const ImageRef& frame) {
    if (CaptureVideoOutputDelegate* d = delegate()) d->captureOutputDidOutputVideoFrame(*this, frame);
}

void CaptureDecompressedVideoOutput::deliverFailure(const std::string& error) {
    if (CaptureVideoOutputDelegate* d = delegate()) d->captureOutputDidFail(*this, error);
}

// --- Session ----------------------------------------------------------------

namespace {

constexpr double kFramePollSeconds = 0.05;

}  // namespace

CaptureSession::~CaptureSession() {
    stopRunning();
    std::unique_lock<std::mutex> guard(lock_);
    if (!thread_.joinable()) return;
    // The capture thread holds a reference while it runs, so the last one can
    // only be dropped there, after it has touched the session for the last time.
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach();
    else
        thread_.join();
}

bool CaptureSession::addInput(const InputRef& input, std::string* error) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!input || !input->device()) {
        if (error) *error = "The input has no capture device.";
        return false;
    }
    if (!inputs_.empty()) {
        if (error) *error = "The session already has an input.";
        return false;
    }
    inputs_.push_back(input);
    return true;
}

bool CaptureSession::addOutput(const OutputRef& output, std::string* error) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!output) {
        if (error) *error = "No output to add.";
        return false;
    }
    if (std::find(outputs_.begin(), outputs_.end(), output) != outputs_.end()) {
        if (error) *error = "The output is already part of the session.";
        return false;
    }
    outputs_.push_back(output);
    return true;
}

std::vector<CaptureSession::InputRef> CaptureSession::inputs() const {
    std::lock_guard<std::mutex> guard(lock_);
    return inputs_;
}

std::vector<CaptureSession::OutputRef> CaptureSession::outputs() const {
    std::lock_guard<std::mutex> guard(lock_);
    return outputs_;
}

void CaptureSession::removeInput(const InputRef& input) {
    std::lock_guard<std::mutex> guard(lock_);
    std::erase(inputs_, input);
}

void CaptureSession::removeOutput(const OutputRef& output) {
    std::lock_guard<std::mutex> guard(lock_);
    std::erase(outputs_, output);
}

void CaptureSession::joinFinishedThread(std::unique_lock<std::mutex>& guard) {
    if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
    finished_.wait(guard, [this] { return !threadAlive_; });
    std::thread finished = std::move(thread_);
    guard.unlock();
    finished.join();
    guard.lock();
}

void CaptureSession::startRunning() {
    std::unique_lock<std::mutex> guard(lock_);
    if (threadAlive_ && !stopRequested_.load()) return;
    joinFinishedThread(guard);
    if (thread_.joinable() || inputs_.empty()) return;
    const CaptureDeviceRef device = inputs_.front()->device();
    const std::vector<OutputRef> outputs = outputs_;
    auto self = std::static_pointer_cast<CaptureSession>(shared_from_this());
    stopRequested_.store(false);
    threadAlive_ = true;
    thread_ = std::thread([self, device, outputs]() mutable {
        self->captureLoop(device, outputs);
        std::function<void()> stopped;
        {
            std::lock_guard<std::mutex> done(self->lock_);
            self->threadAlive_ = false;
            stopped = self->stopObserver_;
        }
        self->finished_.notify_all();
        if (stopped) stopped();
        self.reset();  // may destroy the session; nothing of it is touched after this
    });
}

void CaptureSession::stopRunning() { stopRequested_.store(true); }

bool CaptureSession::isRunning() const {
    std::lock_guard<std::mutex> guard(lock_);
    return threadAlive_ && !stopRequested_.load();
}

bool CaptureSession::isStopped() const {
    std::lock_guard<std::mutex> guard(lock_);
    return !threadAlive_;
}

bool CaptureSession::isCaptureThread() const {
    std::lock_guard<std::mutex> guard(lock_);
    return thread_.joinable() && thread_.get_id() == std::this_thread::get_id();
}

void CaptureSession::setStopObserver(std::function<void()> observer) {
    std::lock_guard<std::mutex> guard(lock_);
    stopObserver_ = std::move(observer);
}

bool CaptureSession::waitUntilStopped(double timeoutSeconds) {
    std::unique_lock<std::mutex> guard(lock_);
    if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) return false;
    const auto limit = std::chrono::duration<double>(timeoutSeconds);
    if (!finished_.wait_for(guard, limit, [this] { return !threadAlive_; })) return false;
    joinFinishedThread(guard);
    return true;
}

void CaptureSession::captureLoop(const CaptureDeviceRef& device, const std::vector<OutputRef>& outputs) {
    auto reportFailure = [&](const std::string& error) {
        stopRequested_.store(true);
        for (const auto& output : outputs) output->deliverFailure(error);
    };
    std::string error;
    if (!device->beginStreaming(&error)) {
        reportFailure(error);
        return;
    }
    while (!stopRequested_.load()) {
        CaptureFrames batch = device->waitForFrames(kFramePollSeconds);
        if (batch.status == CaptureFrames::Status::Failed) {
            device->endStreaming();
            reportFailure(batch.error);
            return;
        }
        for (const auto& frame : batch.frames)
            for (const auto& output : outputs) output->deliverFrame(frame);
    }
    device->endStreaming();
}

// --- Service ----------------------------------------------------------------

std::vector<CaptureDeviceRef> Capture::inputDevices() {
    std::vector<CaptureDeviceRef> devices = inputDevicesWithMediaType(MediaType::Video);
    for (auto& device : inputDevicesWithMediaType(MediaType::Muxed)) devices.push_back(std::move(device));
    return devices;
}

void Capture::observeDevices(const void* owner, DeviceObserver observer) {
    std::lock_guard<std::mutex> guard(observers_->lock);
    observers_->entries.emplace_back(owner, std::make_shared<DeviceObserver>(std::move(observer)));
}

void Capture::removeDeviceObserver(const void* owner) {
    std::lock_guard<std::mutex> guard(observers_->lock);
    std::erase_if(observers_->entries, [owner](const auto& entry) { return entry.first == owner; });
}

void Capture::devicesChanged() {
    if (!RunLoop::isInstalled()) return;
    std::weak_ptr<Observers> weak = observers_;
    RunLoop::main().performOnMainThread(
        [weak] {
            const auto observers = weak.lock();
            if (!observers) return;
            std::vector<std::shared_ptr<DeviceObserver>> current;
            {
                std::lock_guard<std::mutex> guard(observers->lock);
                for (const auto& entry : observers->entries) current.push_back(entry.second);
            }
            for (const auto& observer : current) (*observer)();
        },
        false);
}

}  // namespace platform

#include "platform/headless/HeadlessCapture.h"

#include <algorithm>

namespace platform::headless {

HeadlessCamera::HeadlessCamera(std::string uniqueID, std::string displayName)
    : uniqueID_(std::move(uniqueID)), displayName_(std::move(displayName)) {}

void HeadlessCamera::setConnected(bool connected) {
    std::lock_guard<std::mutex> guard(lock_);
    connected_ = connected;
    changed_.notify_all();
}

void HeadlessCamera::setBusy(bool busy) {
    std::lock_guard<std::mutex> guard(lock_);
    busy_ = busy;
}

void HeadlessCamera::setTakenOnClose(bool taken) {
    std::lock_guard<std::mutex> guard(lock_);
    takenOnClose_ = taken;
}

void HeadlessCamera::setOpenError(std::string reason) {
    std::lock_guard<std::mutex> guard(lock_);
    openError_ = std::move(reason);
}

void HeadlessCamera::setStreamError(std::string reason) {
    std::lock_guard<std::mutex> guard(lock_);
    streamError_ = std::move(reason);
}

void HeadlessCamera::setFrameDelay(double seconds) {
    std::lock_guard<std::mutex> guard(lock_);
    frameDelay_ = std::max(0.0, seconds);
}

void HeadlessCamera::setFramesPerBatch(int count) {
    std::lock_guard<std::mutex> guard(lock_);
    framesPerBatch_ = std::max(1, count);
}

void HeadlessCamera::holdFrames() {
    std::lock_guard<std::mutex> guard(lock_);
    held_ = true;
}

void HeadlessCamera::releaseFrames() {
    std::lock_guard<std::mutex> guard(lock_);
    held_ = false;
    nextBatch_ = Clock::now();
    changed_.notify_all();
}

void HeadlessCamera::setDeliversEmptyFrames(bool empty) {
    std::lock_guard<std::mutex> guard(lock_);
    emptyFrames_ = empty;
}

void HeadlessCamera::setFrameSize(int width, int height) {
    std::lock_guard<std::mutex> guard(lock_);
    width_ = std::max(1, width);
    height_ = std::max(1, height);
}

void HeadlessCamera::unplug() { setConnected(false); }

bool HeadlessCamera::isStreaming() const {
    std::lock_guard<std::mutex> guard(lock_);
    return streaming_;
}

int HeadlessCamera::openCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return openCount_;
}

int HeadlessCamera::streamStartCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return streamStarts_;
}

int HeadlessCamera::framesDelivered() const {
    std::lock_guard<std::mutex> guard(lock_);
    return framesDelivered_;
}

std::vector<std::uint8_t> HeadlessCamera::framePixels(int width, int height) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1));
            p[1] = static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1));
            p[2] = static_cast<std::uint8_t>((x + y) & 0xFF);
        }
    return rgb;
}

bool HeadlessCamera::isConnected() const {
    std::lock_guard<std::mutex> guard(lock_);
    return connected_;
}

bool HeadlessCamera::isInUseByAnotherApplication() const {
    std::lock_guard<std::mutex> guard(lock_);
    return busy_;
}

bool HeadlessCamera::open(std::string* error) {
    std::lock_guard<std::mutex> guard(lock_);
    std::string reason = openError_;
    if (reason.empty() && !connected_) reason = "The camera " + displayName_ + " is not connected.";
    if (reason.empty() && busy_) reason = "The camera " + displayName_ + " is in use by another application.";
    if (!reason.empty()) {
        if (error) *error = reason;
        return false;
    }
    open_ = true;
    ++openCount_;
    return true;
}

bool HeadlessCamera::isOpen() const {
    std::lock_guard<std::mutex> guard(lock_);
    return open_;
}

void HeadlessCamera::close() {
    std::lock_guard<std::mutex> guard(lock_);
    if (open_ && takenOnClose_) busy_ = true;
    open_ = false;
    streaming_ = false;
}

bool HeadlessCamera::beginStreaming(std::string* error) {
    std::lock_guard<std::mutex> guard(lock_);
    std::string reason = streamError_;
    if (reason.empty() && !open_) reason = "The camera " + displayName_ + " is not open.";
    if (reason.empty() && !connected_) reason = "The camera " + displayName_ + " was disconnected.";
    if (!reason.empty()) {
        if (error) *error = reason;
        return false;
    }
    streaming_ = true;
    ++streamStarts_;
    nextBatch_ = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(frameDelay_));
    return true;
}

CaptureFrames HeadlessCamera::makeBatch() {
    std::vector<ImageRef> frames;
    frames.reserve(std::max(framesPerBatch_, 0));
    for (int i = 0; i < framesPerBatch_; ++i)
        frames.push_back(emptyFrames_ ? nullptr : Image::fromRGB(width_, height_, framePixels(width_, height_)));
    framesDelivered_ += framesPerBatch_;
    const double interval = std::max(frameDelay_, 0.02);
    nextBatch_ = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(interval));
    return CaptureFrames::delivered(std::move(frames));
}

CaptureFrames HeadlessCamera::waitForFrames(double timeoutSeconds) {
    std::unique_lock<std::mutex> guard(lock_);
    const auto limit =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));
    for (;;) {
        if (!connected_) return CaptureFrames::failed("The camera " + displayName_ + " was disconnected.");
        if (!held_ && Clock::now() >= nextBatch_) return makeBatch();
        const auto wake = held_ ? limit : std::min(limit, nextBatch_);
        if (Clock::now() >= limit) return CaptureFrames::timeout();
        changed_.wait_until(guard, wake);
    }
}

void HeadlessCamera::endStreaming() {
    std::lock_guard<std::mutex> guard(lock_);
    streaming_ = false;
}

// --- Service ----------------------------------------------------------------

HeadlessCameraRef HeadlessCapture::addCamera(const std::string& uniqueID, const std::string& displayName,
                                             MediaType type) {
    auto camera = std::make_shared<HeadlessCamera>(uniqueID, displayName);
    {
        std::lock_guard<std::mutex> guard(lock_);
        cameras_.emplace_back(type, camera);
    }
    devicesChanged();
    return camera;
}

void HeadlessCapture::removeCamera(const std::string& uniqueID) {
    HeadlessCameraRef removed = camera(uniqueID);
    if (!removed) return;
    removed->unplug();
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::erase_if(cameras_, [&](const auto& entry) { return entry.second == removed; });
    }
    devicesChanged();
}

void HeadlessCapture::unplugCamera(const std::string& uniqueID) {
    if (HeadlessCameraRef unplugged = camera(uniqueID)) {
        unplugged->unplug();
        devicesChanged();
    }
}

HeadlessCameraRef HeadlessCapture::camera(const std::string& uniqueID) const {
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& entry : cameras_)
        if (entry.second->uniqueID() == uniqueID) return entry.second;
    return nullptr;
}

std::vector<CaptureDeviceRef> HeadlessCapture::inputDevicesWithMediaType(MediaType type) {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<CaptureDeviceRef> devices;
    for (const auto& entry : cameras_)
        if (entry.first == type) devices.push_back(entry.second);
    return devices;
}

}  // namespace platform::headless

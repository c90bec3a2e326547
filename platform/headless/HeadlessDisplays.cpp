#include "platform/headless/HeadlessDisplays.h"

#include "platform/foundation/Clock.h"

#include <utility>

namespace platform::headless {

HeadlessDisplays::HeadlessDisplays(int displayCount) { setDisplayCount(displayCount); }

void HeadlessDisplays::setDisplayCount(int count) {
    std::lock_guard<std::mutex> guard(lock_);
    displays_.clear();
    for (int i = 0; i < count; ++i) displays_.push_back(static_cast<DisplayID>(0x4280 + i));
}

int HeadlessDisplays::onlineDisplays(std::uint32_t maxDisplays, std::vector<DisplayID>& out) {
    out.clear();
    if (int status = statuses_.of(Call::OnlineDisplays)) return status;
    std::lock_guard<std::mutex> guard(lock_);
    for (DisplayID id : displays_) {
        if (out.size() >= maxDisplays) break;
        out.push_back(id);
    }
    return 0;
}

DisplayID HeadlessDisplays::mainDisplay() {
    std::lock_guard<std::mutex> guard(lock_);
    return displays_.empty() ? 0 : displays_.front();
}

std::vector<Rect> HeadlessDisplays::screenFrames() {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<Rect> frames;
    double x = 0;
    for (std::size_t i = 0; i < displays_.size(); ++i) {
        frames.push_back(Rect{x, 0, 1440, 900});
        x += 1440;
    }
    return frames;
}

int HeadlessDisplays::capture(DisplayID display, std::uint32_t options) {
    if (int status = statuses_.of(Call::Capture)) return status;
    std::lock_guard<std::mutex> guard(lock_);
    auto failure = captureFailures_.find(display);
    if (failure != captureFailures_.end()) return failure->second;
    captured_[display] = options;
    return 0;
}

int HeadlessDisplays::releaseAll() {
    std::lock_guard<std::mutex> guard(lock_);
    ++releaseAllCount_;
    if (int status = statuses_.of(Call::ReleaseAll)) return status;
    captured_.clear();
    return 0;
}

CaptureOutcome HeadlessDisplays::captureEveryDisplay() {
    std::vector<DisplayID> online;
    if (onlineDisplays(8, online) != 0) return CaptureOutcome::Refused;
    const DisplayID main = mainDisplay();
    // A refusal leaves earlier captures for the caller to release.
    for (DisplayID display : online)
        if (capture(display, display == main ? CaptureNoFill : 0) != 0) return CaptureOutcome::Refused;
    return CaptureOutcome::Held;
}

void HeadlessDisplays::captureAll(std::function<void(CaptureOutcome)> done) {
    if (holdAnswers_) {
        pendingCapture_ = std::move(done);
        return;
    }
    done(captureEveryDisplay());
}

void HeadlessDisplays::answerCapture(CaptureOutcome outcome) {
    auto done = std::exchange(pendingCapture_, nullptr);
    if (!done) return;
    if (outcome == CaptureOutcome::Held) outcome = captureEveryDisplay();
    done(outcome);
}

void HeadlessDisplays::setCaptureLostHandler(std::function<void()> lost) { captureLost_ = std::move(lost); }

void HeadlessDisplays::loseCapture() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        captured_.clear();
    }
    if (captureLost_) captureLost_();
}

int HeadlessDisplays::hideCursor(DisplayID) {
    if (int status = statuses_.of(Call::HideCursor)) return status;
    std::lock_guard<std::mutex> guard(lock_);
    ++cursorHideCount_;
    return 0;
}

int HeadlessDisplays::showCursor(DisplayID) {
    if (int status = statuses_.of(Call::ShowCursor)) return status;
    std::lock_guard<std::mutex> guard(lock_);
    if (cursorHideCount_ > 0) --cursorHideCount_;
    return 0;
}

bool HeadlessDisplays::reservationLiveLocked() const {
    return heldToken_ != 0 && Clock::current().now() < reservationEnd_;
}

int HeadlessDisplays::acquireFadeReservation(double seconds, std::uint32_t& token) {
    if (int status = statuses_.of(Call::AcquireFadeReservation)) return status;
    std::lock_guard<std::mutex> guard(lock_);
    if (reservationLiveLocked()) return kNoneAvailable;
    heldToken_ = nextToken_++;
    reservationEnd_ = Clock::current().now() + seconds;
    token = heldToken_;
    return 0;
}

int HeadlessDisplays::fade(std::uint32_t token, double duration, double startBlend, double endBlend, double red,
                           double green, double blue, bool synchronous) {
    if (int status = statuses_.of(Call::Fade)) return status;
    std::lock_guard<std::mutex> guard(lock_);
    if (token == 0 || token != heldToken_ || !reservationLiveLocked()) return kIllegalArgument;
    fades_.push_back(FadeRecord{token, duration, startBlend, endBlend, red, green, blue, synchronous});
    blend_ = endBlend;
    return 0;
}

int HeadlessDisplays::releaseFadeReservation(std::uint32_t token) {
    if (int status = statuses_.of(Call::ReleaseFadeReservation)) return status;
    std::lock_guard<std::mutex> guard(lock_);
    if (token == 0 || token != heldToken_) return kIllegalArgument;
    heldToken_ = 0;
    return 0;
}

void HeadlessDisplays::failCaptureOf(DisplayID display, int status) {
    std::lock_guard<std::mutex> guard(lock_);
    if (status == 0)
        captureFailures_.erase(display);
    else
        captureFailures_[display] = status;
}

void HeadlessDisplays::clearFailures() {
    statuses_.clear();
    std::lock_guard<std::mutex> guard(lock_);
    captureFailures_.clear();
}

std::vector<DisplayID> HeadlessDisplays::displays() const {
    std::lock_guard<std::mutex> guard(lock_);
    return displays_;
}

std::map<DisplayID, std::uint32_t> HeadlessDisplays::captured() const {
    std::lock_guard<std::mutex> guard(lock_);
    return captured_;
}

int HeadlessDisplays::releaseAllCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return releaseAllCount_;
}

bool HeadlessDisplays::cursorHidden() const {
    std::lock_guard<std::mutex> guard(lock_);
    return cursorHideCount_ > 0;
}

std::vector<HeadlessDisplays::FadeRecord> HeadlessDisplays::fades() const {
    std::lock_guard<std::mutex> guard(lock_);
    return fades_;
}

double HeadlessDisplays::currentBlend() const {
    std::lock_guard<std::mutex> guard(lock_);
    // A reservation that lapsed gives the displays back their normal look.
    if (heldToken_ != 0 && !reservationLiveLocked()) return 0.0;
    return blend_;
}

bool HeadlessDisplays::reservationHeld() const {
    std::lock_guard<std::mutex> guard(lock_);
    return reservationLiveLocked();
}

}  // namespace platform::headless

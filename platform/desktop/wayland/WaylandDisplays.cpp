#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include "platform/desktop/wayland/WaylandDisplays.h"

#include "platform/desktop/wayland/extras/WaylandGamma.h"

#include "platform/desktop/LockGuard.h"
#include "platform/desktop/xkb/KeyTranslation.h"
#include "platform/foundation/LogSink.h"
#include "platform/ui/Window.h"

#include <chrono>
#include <cstdlib>
#include <poll.h>
#include <unistd.h>

namespace platform::desktop::wayland {

namespace {

// How long the first capture of a lock waits for the compositor's answer.
constexpr int kLockAnswerMilliseconds = 5000;
// Key codes the lock screen does not know travel as this one, with their text.
constexpr std::uint16_t kUnmappedKeyCode = 0xFFFF;

std::uint32_t eventFlags(std::uint32_t modifiers) {
    std::uint32_t flags = 0;
    if (modifiers & Shift) flags |= Event::Shift;
    if (modifiers & Control) flags |= Event::Control;
    if (modifiers & Alt) flags |= Event::Option;
    if (modifiers & Super) flags |= Event::Command;
    return flags;
}

}  // namespace

WaylandDisplays::WaylandDisplays(std::unique_ptr<LockClient> client, LockGuard& guard)
    : client_(std::move(client)), guard_(guard), notifier_(client_->fd(), QSocketNotifier::Read) {
    client_->setHandlers({.locked = [this] { onLocked(); },
                          .ended = [this](LockEnd end) { onEnded(end); },
                          .key = [this](const TypedKey& press) { onKey(press); },
                          .paint = [this](Canvas& canvas) { paint(canvas); },
                          .connectionLost =
                              [](const std::string& message) {
                                  // Whatever the lock was, this connection cannot hold it any
                                  // more; the compositor keeps a held lock and the guard takes it
                                  // over once this process is gone.
                                  LogSink::write(message);
                                  ::_exit(EXIT_FAILURE);
                              },
                          .log = [](const std::string& line) { LogSink::write(line); }});
    QObject::connect(&notifier_, &QSocketNotifier::activated, this, [this] { client_->dispatch(); });
    heartbeat_.setInterval(guard::kHeartbeatMilliseconds);
    QObject::connect(&heartbeat_, &QTimer::timeout, this, [this] { guard_.heartbeat(); });
}

WaylandDisplays::~WaylandDisplays() {
    if (QCoreApplication* application = QCoreApplication::instance()) application->removeEventFilter(this);
}

int WaylandDisplays::onlineDisplays(std::uint32_t maxDisplays, std::vector<DisplayID>& out) {
    out.clear();
    const std::size_t count = std::max<std::size_t>(client_->outputCount(), 1);
    for (std::size_t i = 0; i < count && out.size() < maxDisplays; ++i) out.push_back(static_cast<DisplayID>(i + 1));
    return 0;
}

std::vector<Rect> WaylandDisplays::screenFrames() {
    std::vector<Rect> frames;
    double left = 0;
    for (const OutputInfo& output : client_->outputs()) {
        if (output.width <= 0 || output.height <= 0) continue;
        frames.push_back({left, 0, double(output.width), double(output.height)});
        left += output.width;
    }
    return frames;
}

bool WaylandDisplays::requestLock() {
    if (client_->state() != LockState::Unlocked) return true;
    if (!client_->lock()) {
        LogSink::write("Tarnwick: the compositor offers no session lock any more");
        return false;
    }
    return true;
}

int WaylandDisplays::capture(DisplayID, std::uint32_t) {
    if (client_->state() == LockState::Locked) return 0;
    if (!requestLock()) return kCannotComplete;
    // The compositor answers at once (it has nothing to wait for but its
    // own frame); the wait only guards against a compositor that hangs.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLockAnswerMilliseconds);
    while (client_->state() == LockState::Requested && client_->connected()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) break;
        pollfd readable{client_->fd(), POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(left)) > 0) client_->dispatch();
    }
    if (client_->state() == LockState::Locked) return 0;
    if (client_->state() == LockState::Requested) {
        LogSink::write("Tarnwick: the compositor did not answer the lock request in time");
        client_->unlock();
    }
    return kCannotComplete;
}

void WaylandDisplays::captureAll(std::function<void(CaptureOutcome)> done) {
    if (client_->state() == LockState::Locked) {
        QMetaObject::invokeMethod(
            this, [done = std::move(done)] { done(CaptureOutcome::Held); }, Qt::QueuedConnection);
        return;
    }
    pendingCapture_ = std::move(done);
    if (!requestLock()) finishCapture(CaptureOutcome::Refused);
}

void WaylandDisplays::setCaptureLostHandler(std::function<void()> lost) { captureLost_ = std::move(lost); }

void WaylandDisplays::finishCapture(CaptureOutcome outcome) {
    if (!pendingCapture_) return;
    // Later, from the event loop: the caller may be inside the request that started it.
    QMetaObject::invokeMethod(
        this, [done = std::exchange(pendingCapture_, nullptr), outcome] { done(outcome); }, Qt::QueuedConnection);
}

int WaylandDisplays::releaseAll() {
    const bool wasLocked = client_->state() == LockState::Locked;
    client_->unlock();
    heartbeat_.stop();
    if (wasLocked) guard_.lockReleased();
    return 0;
}

void WaylandDisplays::onLocked() {
    guard_.lockEngaged();
    heartbeat_.start();
    finishCapture(CaptureOutcome::Held);
}

void WaylandDisplays::onEnded(LockEnd end) {
    heartbeat_.stop();
    if (end == LockEnd::Refused) {
        LogSink::write("Tarnwick: the compositor refused the session lock: another screen locker holds it");
        return finishCapture(CaptureOutcome::Refused);
    }
    if (captureLost_) {
        guard_.lockReleased();
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (captureLost_) captureLost_();
            },
            Qt::QueuedConnection);
        return;
    }
    // Nobody above hears of a lost lock: it is asked for again at once, so
    // that the screen never stays open behind a lock screen that still shows.
    LogSink::write("Tarnwick: the session lock was taken away; locking again");
    if (!client_->lock()) guard_.lockReleased();
}

void WaylandDisplays::onKey(const TypedKey& press) {
    const std::optional<std::uint16_t> code =
        keys::macKeyCode(press.unshiftedKeysym ? press.unshiftedKeysym : press.keysym);
    if (!code && press.text.empty()) return;
    auto event = std::make_shared<Event>(Event::Type::KeyDown, code.value_or(kUnmappedKeyCode), press.text,
                                         press.repeat, eventFlags(press.modifiers));
    if (Window* target = Window::inputTarget()) target->sendEvent(event);
    scheduleRedraw();
}

void WaylandDisplays::addShieldWindow(QWidget* widget, std::function<void()>) {
    shield_ = widget;
    // A change anywhere in the window's widgets asks for a new picture.
    QCoreApplication::instance()->installEventFilter(this);
    scheduleRedraw();
}

void WaylandDisplays::removeShieldWindow(QWidget* widget) {
    if (shield_ != widget) return;
    shield_ = nullptr;
    QCoreApplication::instance()->removeEventFilter(this);
    scheduleRedraw();
}

// What can change the picture of a widget: it is drawn again once this
// turn of the event loop is over.
bool WaylandDisplays::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::UpdateRequest:
        case QEvent::UpdateLater:
        case QEvent::LayoutRequest:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::Resize:
        case QEvent::Move:
        case QEvent::PaletteChange:
        case QEvent::FontChange:
        case QEvent::EnabledChange:
        case QEvent::ZOrderChange: {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (shield_ && !painting_ && widget && widget->window() == shield_) scheduleRedraw();
            break;
        }
        default: break;
    }
    return QObject::eventFilter(watched, event);
}

void WaylandDisplays::scheduleRedraw() {
    if (redrawScheduled_) return;
    redrawScheduled_ = true;
    // Once per turn of the event loop, after every change of this turn.
    QMetaObject::invokeMethod(
        this,
        [this] {
            redrawScheduled_ = false;
            client_->redraw();
        },
        Qt::QueuedConnection);
}

void WaylandDisplays::paint(Canvas& canvas) {
    QImage image(reinterpret_cast<uchar*>(canvas.pixels), canvas.width, canvas.height, canvas.stride,
                 QImage::Format_RGB32);
    image.fill(Qt::black);
    if (!canvas.main || !shield_) return;
    // What the drawing itself sets off asks for no further picture.
    painting_ = true;
    image.setDevicePixelRatio(canvas.scale);
    const QSize logical(canvas.width / canvas.scale, canvas.height / canvas.scale);
    if (shield_->size() != logical) shield_->resize(logical);
    QPainter painter(&image);
    shield_->render(&painter, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    painter.end();
    painting_ = false;
}

int WaylandDisplays::acquireFadeReservation(double seconds, std::uint32_t& token) {
    if (gamma_) return gamma_->acquireReservation(seconds, token, kNoneAvailable, kIllegalArgument);
    token = ++fadeToken_;
    return 0;
}

int WaylandDisplays::fade(std::uint32_t token, double duration, double startBlend, double endBlend, double red,
                          double green, double blue, bool synchronous) {
    if (gamma_) return gamma_->fade(token, duration, startBlend, endBlend, red, green, blue, synchronous);
    return token == fadeToken_ ? 0 : kIllegalArgument;
}

int WaylandDisplays::releaseFadeReservation(std::uint32_t token) {
    if (gamma_) return gamma_->release(token) ? 0 : kIllegalArgument;
    return token == fadeToken_ ? 0 : kIllegalArgument;
}

}  // namespace platform::desktop::wayland

#include "platform/desktop/guard/Guard.h"

#include "platform/desktop/guard/PasswordDigest.h"
#include "platform/desktop/guard/Process.h"

#include <X11/keysym.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <poll.h>
#include <unistd.h>

namespace platform::desktop::guard {

namespace {

constexpr int kGrabRetryMilliseconds = 20;

}  // namespace

Guard::Guard(Options options) : GuardLoop(std::move(options)) {}

void Guard::startAgainAfterLostConnection() {
    if (watch_ == Watch::Unlocked) _exit(0);
    const char* state = watch_ == Watch::TakenOver ? "taken-over" : "locked";
    const std::string channel = std::to_string(channel_);
    std::vector<const char*> arguments = {options_.self.c_str(),
                                          "--display",
                                          options_.display.c_str(),
                                          "--application",
                                          options_.application.c_str(),
                                          "--resume",
                                          state};
    if (channel_ >= 0) arguments.insert(arguments.end(), {"--channel", channel.c_str()});
    arguments.push_back(nullptr);
    ::execv(options_.self.c_str(), const_cast<char* const*>(arguments.data()));
    _exit(1);
}

bool Guard::listening() const { return shield_ && (watch_ == Watch::Stalled || watch_ == Watch::TakenOver); }

// Events Xlib has already read do not wake poll.
GuardLoop::ServerPoll Guard::serverPoll() {
    if (!listening()) return {};
    XFlush(shield_->display());
    return {shield_->connection(), XEventsQueued(shield_->display(), QueuedAlready) > 0};
}

void Guard::serverReady(bool) {
    if (listening()) handleEvents();
}

int Guard::timeoutMilliseconds() const {
    const bool grabbing = watch_ == Watch::TakenOver && !shield_->inputHeld();
    return heartbeatOr(grabbing ? kGrabRetryMilliseconds : -1);
}

void Guard::onTimeout() {
    GuardLoop::onTimeout();
    if (watch_ == Watch::TakenOver) {
        holdInput();
        tickWait();
    }
}

void Guard::rampsChanged(const Message& message) {
    if (message.kind == MessageKind::RememberRamps)
        pendingRamps_ = message.ramps;
    else
        pendingRamps_.clear();
}

void Guard::onApplicationGone() {
    if (watch_ == Watch::Locked || watch_ == Watch::Stalled) return takeOver();
    if (!pendingRamps_.empty()) {
        if (!shield_) shield_ = Shield::open(options_.display);
        if (shield_) shield_->restoreGamma(pendingRamps_);
    }
    std::exit(0);
}

// The connection, the covers and the prompt.
void Guard::prepare() {
    if (!shield_) shield_ = Shield::open(options_.display);
    if (!shield_) return note("cannot open display " + options_.display + " while the screen is locked");
    shield_->fitToMonitors();
    if (!prompt_) prompt_ = std::make_unique<Prompt>(shield_->display());
    XSync(shield_->display(), False);
}

void Guard::letGo() {
    prompt_.reset();
    shield_.reset();
}

// A heartbeat, or (while stalled) the application's windows moving again.
void Guard::answered() {
    lastHeartbeat_ = Clock::now();
    if (watch_ != Watch::Stalled) return;
    watch_ = Watch::Locked;
    if (!shield_) return;
    shield_->watch(false);
    shield_->hide();
    XSync(shield_->display(), True);
    note("the application answers again");
}

// A stopped or hung application still holds its grab, so no input reaches
// anyone; the covers keep whatever maps itself from showing above its lock.
void Guard::stall() {
    watch_ = Watch::Stalled;
    note("the locked application stopped answering; covering the screen until it does");
    if (!shield_) return;
    shield_->fitToMonitors();
    shield_->show();
    shield_->watch(true);
}

void Guard::holdSession() {
    if (!shield_) shield_ = Shield::open(options_.display);
    if (!shield_) {
        note("the application died while the screen was locked, and display " + options_.display +
             " cannot be reached");
        std::exit(1);
    }
    shield_->show();
    shield_->watch(true);
    holdInput();
    shield_->fitToMonitors();
    shield_->restoreGamma(pendingRamps_);
    pendingRamps_.clear();
    if (!prompt_) prompt_ = std::make_unique<Prompt>(shield_->display());
    const std::optional<std::string> layout = engagedDigest_ ? engagedLayout_ : readPasswordLayout(preferencesFile());
    if (layout) prompt_->useLayout(*layout);
}

void Guard::showPrompt() { redraw(); }

// The dying application's grab lasts until the server has closed its
// connection; until then the guard asks again at every event (the
// application's windows being destroyed) and every few milliseconds.
void Guard::holdInput() {
    if (shield_->inputHeld() || !shield_->holdInput() || inputReported_) return;
    inputReported_ = true;
    const double now = monotonicSeconds();
    char line[160];
    std::snprintf(line, sizeof line, "keyboard and pointer held %.1f ms into the take-over (monotonic %.6f)",
                  (now - takeOverStart_) * 1000.0, now);
    note(line);
}

// As many events as there are now, not until there are none: a client that
// restacks as fast as the guard must not keep it from its channel or keys.
void Guard::handleEvents() {
    Display* dpy = shield_->display();
    for (int pending = XEventsQueued(dpy, QueuedAfterReading); pending > 0 && listening(); --pending) {
        XEvent event;
        XNextEvent(dpy, &event);
        if (prompt_ && prompt_->followKeymap(event)) continue;
        if (watch_ == Watch::TakenOver && event.type == KeyPress)
            onKey(event.xkey);
        else if (watch_ == Watch::TakenOver && event.type == Expose && event.xexpose.count == 0 &&
                 event.xexpose.window == shield_->mainCover())
            redraw();
        else if (watch_ == Watch::Stalled && restackedByTheApplication(event))
            answered();
        else
            shield_->keep(event);
    }
    if (watch_ == Watch::TakenOver) holdInput();
}

// The application keeps its own covers on top as the guard does. A stopped
// application moves nothing, so when its windows move it runs again, and the
// guard gives way instead of contending with it for the top of the stack.
bool Guard::restackedByTheApplication(const XEvent& event) const {
    const ::Window window = event.type == MapNotify         ? event.xmap.window
                            : event.type == ConfigureNotify ? event.xconfigure.window
                                                            : 0;
    return window && !shield_->isCover(window) && shield_->ownerOf(window) == options_.applicationPid;
}

void Guard::onKey(XKeyEvent& event) {
    // While waiting after three wrong passwords no password is checked:
    // the keys go nowhere, as at the lock screen.
    if (swallowedDuringWait(XLookupKeysym(&event, 0) == XK_Return)) return;
    const Prompt::Outcome outcome = prompt_->type(event);
    if (outcome != Prompt::Outcome::Ignored) keyTaken(outcome == Prompt::Outcome::Submitted);
}

std::string Guard::takeTyped() { return prompt_ ? prompt_->takePassword() : std::string(); }

void Guard::say(const std::string& status) {
    if (prompt_) prompt_->say(status);
}

void Guard::clearTyped() {
    if (prompt_) prompt_->clear();
}

void Guard::unlockAndRestart() {
    note("the right password was typed: unlocking and starting the application again");
    prompt_.reset();
    shield_.reset();
    startDetached(options_.application);
    std::exit(0);
}

void Guard::redraw() {
    if (prompt_ && shield_) prompt_->draw(shield_->mainCover(), shield_->mainArea());
}

}  // namespace platform::desktop::guard

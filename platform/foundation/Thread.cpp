#include "platform/foundation/Thread.h"

#include <chrono>

namespace platform {

namespace {

std::atomic<int> nextThreadNumber{2};
const std::thread::id processMainThread = std::this_thread::get_id();

}  // namespace

int Thread::currentNumber() {
    thread_local int number = std::this_thread::get_id() == processMainThread ? 1 : nextThreadNumber.fetch_add(1);
    return number;
}

void Thread::sleepFor(double seconds) {
    if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

void Thread::detach(std::function<void()> fn) { std::thread(std::move(fn)).detach(); }

Thread::Thread(Body body) : body_(std::move(body)) {}

Thread::~Thread() {
    cancel();
    join();
}

void Thread::start() {
    if (thread_.joinable()) return;
    executing_.store(true);
    thread_ = std::thread([this] {
        number_.store(currentNumber());
        body_(*this);
        std::lock_guard<std::mutex> guard(finishLock_);
        executing_.store(false);
        finished_.notify_all();
    });
}

bool Thread::waitUntilFinished(double seconds) {
    std::unique_lock<std::mutex> guard(finishLock_);
    return finished_.wait_for(guard, std::chrono::duration<double>(seconds), [this] { return !executing_.load(); });
}

void Thread::join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

}  // namespace platform

#include "platform/headless/HeadlessProcesses.h"

namespace platform::headless {

HeadlessProcesses::HeadlessProcesses() {
    self_ = launch("Tarnwick");
    front_ = launch("Finder");
}

int HeadlessProcesses::frontProcess(ProcessSerialNumber& psn) {
    if (int status = statuses_.of(Call::FrontProcess)) return status;
    std::lock_guard<std::mutex> guard(lock_);
    psn = front_;
    return 0;
}

int HeadlessProcesses::setFrontProcess(const ProcessSerialNumber& psn) {
    if (int status = statuses_.of(Call::SetFrontProcess)) return status;
    std::lock_guard<std::mutex> guard(lock_);
    if (!names_.count(psn.lowLongOfPSN)) return kProcessNotFound;
    front_ = psn;
    return 0;
}

int HeadlessProcesses::processName(const ProcessSerialNumber& psn, std::string& name) {
    if (int status = statuses_.of(Call::ProcessName)) return status;
    std::lock_guard<std::mutex> guard(lock_);
    auto it = names_.find(psn.lowLongOfPSN);
    if (it == names_.end()) return kProcessNotFound;
    name = it->second;
    return 0;
}

int HeadlessProcesses::transformCurrentProcess(ProcessType type) {
    if (int status = statuses_.of(Call::Transform)) return status;
    std::lock_guard<std::mutex> guard(lock_);
    type_ = type;
    return 0;
}

std::int32_t HeadlessProcesses::systemVersion() {
    std::lock_guard<std::mutex> guard(lock_);
    return version_;
}

ProcessSerialNumber HeadlessProcesses::launch(const std::string& name) {
    std::lock_guard<std::mutex> guard(lock_);
    ProcessSerialNumber psn{0, nextLow_++};
    names_[psn.lowLongOfPSN] = name;
    return psn;
}

void HeadlessProcesses::bringToFront(const ProcessSerialNumber& psn) {
    std::lock_guard<std::mutex> guard(lock_);
    front_ = psn;
}

void HeadlessProcesses::setSystemVersion(std::int32_t version) {
    std::lock_guard<std::mutex> guard(lock_);
    version_ = version;
}

ProcessSerialNumber HeadlessProcesses::front() const {
    std::lock_guard<std::mutex> guard(lock_);
    return front_;
}

std::string HeadlessProcesses::frontName() const {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = names_.find(front_.lowLongOfPSN);
    return it == names_.end() ? std::string() : it->second;
}

Processes::ProcessType HeadlessProcesses::currentProcessType() const {
    std::lock_guard<std::mutex> guard(lock_);
    return type_;
}

}  // namespace platform::headless

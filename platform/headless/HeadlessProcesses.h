#pragma once

#include "platform/headless/InjectedStatus.h"
#include "platform/services/Processes.h"

#include <map>
#include <mutex>

namespace platform::headless {

// Running applications in memory: serial numbers with names, the frontmost
// one, and the process type of this application.
class HeadlessProcesses final : public Processes {
public:
    enum class Call { FrontProcess, SetFrontProcess, ProcessName, Transform };
    static constexpr int kProcessNotFound = -600;

    HeadlessProcesses();

    int frontProcess(ProcessSerialNumber& psn) override;
    int setFrontProcess(const ProcessSerialNumber& psn) override;
    int processName(const ProcessSerialNumber& psn, std::string& name) override;
    int transformCurrentProcess(ProcessType type) override;
    std::int32_t systemVersion() override;

    // Adds a running application and answers its serial number.
    ProcessSerialNumber launch(const std::string& name);
    // Brings an application to the front as the user would.
    void bringToFront(const ProcessSerialNumber& psn);
    void setSystemVersion(std::int32_t version);
    void failCall(Call call, int status) { statuses_.set(call, status); }
    void clearFailures() { statuses_.clear(); }

    ProcessSerialNumber front() const;
    std::string frontName() const;
    ProcessType currentProcessType() const;
    // The serial number of this application.
    ProcessSerialNumber self() const { return self_; }

private:
    InjectedStatus<Call> statuses_;
    mutable std::mutex lock_;
    std::map<std::uint32_t, std::string> names_;
    std::uint32_t nextLow_ = 1;
    ProcessSerialNumber self_;
    ProcessSerialNumber front_;
    ProcessType type_ = ProcessType::UIElement;
    std::int32_t version_ = 0x1070;
};

}  // namespace platform::headless

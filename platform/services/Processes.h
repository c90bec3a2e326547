#pragma once

#include "platform/services/Service.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// A process serial number: two unsigned 32-bit halves.
struct ProcessSerialNumber {
    std::uint32_t highLongOfPSN = 0;
    std::uint32_t lowLongOfPSN = 0;
    bool operator==(const ProcessSerialNumber&) const = default;
};

// The frontmost application and the application's own process type.
class Processes : public Service<Processes> {
public:
    virtual ~Processes() = default;
    // 0 on success.
    virtual int frontProcess(ProcessSerialNumber& psn) = 0;
    virtual int setFrontProcess(const ProcessSerialNumber& psn) = 0;
    virtual int processName(const ProcessSerialNumber& psn, std::string& name) = 0;

    enum class ProcessType { Foreground = 1, UIElement = 4 };
    virtual int transformCurrentProcess(ProcessType type) = 0;
    // Operating-system version as four BCD digits (0x1070 for 10.7.0).
    virtual std::int32_t systemVersion() = 0;
};

// Keyboard input sources (layouts), by identifier.
class InputSources : public Service<InputSources> {
public:
    virtual ~InputSources() = default;
    // The identifier of the current keyboard input source.
    virtual std::string current() = 0;
    // Identifiers of the enabled sources whose identifier equals `identifier`.
    virtual std::vector<std::string> enabledWithIdentifier(const std::string& identifier) = 0;
    // 0 on success.
    virtual int select(const std::string& identifier) = 0;
};

}  // namespace platform

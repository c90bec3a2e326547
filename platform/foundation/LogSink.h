#pragma once

#include <functional>
#include <string>

namespace platform {

// Where log lines go: standard error and the system log. Tests may capture
// the lines instead.
class LogSink {
public:
    using Capture = std::function<void(const std::string&)>;

    // Writes one line as it stands; percent signs are not interpreted.
    static void write(const std::string& line);
    // With a capture installed, lines go to it only. nullptr restores output.
    static void setCapture(Capture capture);
};

}  // namespace platform

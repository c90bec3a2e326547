#include "platform/foundation/LogSink.h"

#include "platform/foundation/Date.h"

#include <cstdio>
#include <mutex>
#include <syslog.h>
#include <unistd.h>

namespace platform {

namespace {

std::mutex sinkLock;
LogSink::Capture capture;
std::string processName = "Tarnwick";
bool syslogOpen = false;

}  // namespace

void LogSink::write(const std::string& line) {
    std::lock_guard<std::mutex> guard(sinkLock);
    if (capture) {
        capture(line);
        return;
    }
    const std::string stamp = Date::now().format("%Y-%m-%d %H:%M:%S.%F");
    std::fprintf(stderr, "%s %s[%d] %s\n", stamp.c_str(), processName.c_str(), static_cast<int>(::getpid()),
                 line.c_str());
    std::fflush(stderr);
    if (!syslogOpen) {
        ::openlog(processName.c_str(), LOG_PID, LOG_USER);
        syslogOpen = true;
    }
    ::syslog(LOG_NOTICE, "%s", line.c_str());
}

void LogSink::setCapture(Capture c) {
    std::lock_guard<std::mutex> guard(sinkLock);
    capture = std::move(c);
}

}  // namespace platform

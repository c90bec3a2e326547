#pragma once

#include "platform/services/Capture.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform::v4l2 {

// A capture node found under /dev: its path, the stable identifier and the
// name the driver gives the camera.
struct NodeInfo {
    std::string path;
    std::string uniqueID;
    std::string displayName;
};

// Every /dev/video* node that captures video (metadata and output nodes of
// the same camera are left out).
std::vector<NodeInfo> scanCaptureNodes(const std::string& devDirectory = "/dev");

// The V4L2 cameras of the machine, all of them video devices (V4L2 has no
// muxed ones). Nodes appearing and disappearing in /dev are reported to the
// device observers.
class V4L2Capture final : public Capture {
public:
    V4L2Capture();
    ~V4L2Capture() override;

    std::vector<CaptureDeviceRef> inputDevicesWithMediaType(MediaType type) override;

private:
    void watchDevices();

    std::mutex lock_;
    // Device objects stay the same while their camera is known, so a session's
    // device and the listed one agree about being open.
    std::map<std::string, CaptureDeviceRef> devices_;
    int inotify_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::thread watcher_;
};

}  // namespace platform::v4l2

#include "platform/desktop/v4l2/V4L2Capture.h"

#include "platform/desktop/v4l2/V4L2Camera.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform::v4l2 {

namespace {

std::string resolved(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The stable name udev gives the node under /dev/v4l/by-id, if any.
std::string byIdName(const std::string& devDirectory, const std::string& nodePath) {
    const std::string folder = devDirectory + "/v4l/by-id";
    const std::string target = resolved(nodePath);
    for (const auto& name : entriesOf(folder))
        if (!target.empty() && resolved(std::string(folder).append("/").append(name)) == target) return name;
    return {};
}

bool isVideoNodeName(const std::string& name) {
    return name.rfind("video", 0) == 0 && name.size() > 5 &&
           std::all_of(name.begin() + 5, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int nodeNumber(const std::string& name) { return std::atoi(name.c_str() + 5); }

}  // namespace

std::vector<NodeInfo> scanCaptureNodes(const std::string& devDirectory) {
    std::vector<std::string> names;
    for (const auto& name : entriesOf(devDirectory))
        if (isVideoNodeName(name)) names.push_back(name);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return nodeNumber(a) < nodeNumber(b); });

    std::vector<NodeInfo> nodes;
    for (const auto& name : names) {
        const std::string path = std::string(devDirectory).append("/").append(name);
        const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        v4l2_capability capability{};
        const bool queried = ::ioctl(fd, VIDIOC_QUERYCAP, &capability) == 0;
        ::close(fd);
        if (!queried) continue;
        const std::uint32_t caps =
            (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
        if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) continue;

        NodeInfo node;
        node.path = path;
        node.displayName = reinterpret_cast<const char*>(capability.card);
        node.uniqueID = byIdName(devDirectory, path);
        if (node.uniqueID.empty())
            node.uniqueID =
                std::string("v4l2:") + reinterpret_cast<const char*>(capability.bus_info) + ":" + node.displayName;
        // Two capture nodes of one camera share the bus; keep their identifiers apart.
        const auto sameID = std::count_if(nodes.begin(), nodes.end(), [&](const NodeInfo& other) {
            return other.uniqueID == node.uniqueID || other.uniqueID.rfind(node.uniqueID + "#", 0) == 0;
        });
        if (sameID > 0) node.uniqueID += "#" + std::to_string(sameID + 1);
        nodes.push_back(std::move(node));
    }
    return nodes;
}

V4L2Capture::V4L2Capture() {
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0) return;
    if (::inotify_add_watch(inotify_, "/dev", IN_CREATE | IN_DELETE | IN_ATTRIB) < 0 ||
        ::pipe2(wakePipe_, O_CLOEXEC) != 0) {
        ::close(inotify_);
        inotify_ = -1;
        return;
    }
    watcher_ = std::thread([this] { watchDevices(); });
}

V4L2Capture::~V4L2Capture() {
    if (watcher_.joinable()) {
        const char stop = 1;
        [[maybe_unused]] const auto written = ::write(wakePipe_[1], &stop, 1);
        watcher_.join();
    }
    for (int fd : {inotify_, wakePipe_[0], wakePipe_[1]})
        if (fd >= 0) ::close(fd);
}

void V4L2Capture::watchDevices() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        pollfd watch[2] = {{inotify_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (::poll(watch, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (watch[1].revents) return;
        bool cameraNodeChanged = false;
        ssize_t length;
        while ((length = ::read(inotify_, buffer, sizeof buffer)) > 0) {
            for (char* p = buffer; p < buffer + length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(p);
                if (event->len > 0 && isVideoNodeName(event->name)) cameraNodeChanged = true;
                p += sizeof(inotify_event) + event->len;
            }
        }
        if (cameraNodeChanged) devicesChanged();
    }
}

std::vector<CaptureDeviceRef> V4L2Capture::inputDevicesWithMediaType(MediaType type) {
    if (type != MediaType::Video) return {};
    const auto nodes = scanCaptureNodes();
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<CaptureDeviceRef> devices;
    for (const auto& node : nodes) {
        auto& device = devices_[node.uniqueID];
        if (!device) device = std::make_shared<V4L2Camera>(node.uniqueID, node.displayName, node.path);
        devices.push_back(device);
    }
    return devices;
}

}  // namespace platform::v4l2

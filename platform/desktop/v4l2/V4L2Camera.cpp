#include "platform/desktop/v4l2/V4L2Camera.h"

#include "platform/desktop/v4l2/V4L2Capture.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platform::v4l2 {

namespace {

constexpr int kPreferredWidth = 640;
constexpr int kPreferredHeight = 480;
constexpr unsigned kBufferCount = 4;

int xioctl(int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result == -1 && errno == EINTR);
    return result;
}

bool isGone(int error) { return error == ENODEV || error == ENXIO || error == EIO; }

std::vector<std::uint32_t> pixelFormats(int fd) {
    std::vector<std::uint32_t> formats;
    v4l2_fmtdesc description{};
    description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    while (xioctl(fd, VIDIOC_ENUM_FMT, &description) == 0) {
        formats.push_back(description.pixelformat);
        ++description.index;
    }
    return formats;
}

}  // namespace

V4L2Camera::V4L2Camera(std::string uniqueID, std::string displayName, std::string devicePath)
    : uniqueID_(std::move(uniqueID)), displayName_(std::move(displayName)), path_(std::move(devicePath)) {}

V4L2Camera::~V4L2Camera() { close(); }

std::string V4L2Camera::devicePath() const {
    std::lock_guard<std::mutex> guard(lock_);
    return path_;
}

bool V4L2Camera::isConnected() const {
    const auto nodes = scanCaptureNodes();
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& node : nodes)
        if (node.uniqueID == uniqueID_) {
            // Plugged into another port, the camera may come back under a new node.
            if (fd_ < 0) path_ = node.path;
            return true;
        }
    return false;
}

bool V4L2Camera::isInUseByAnotherApplication() const {
    std::lock_guard<std::mutex> guard(lock_);
    if (fd_ >= 0) return false;
    const int probe = ::open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (probe < 0) return errno == EBUSY;
    // Asking to free no buffers fails with EBUSY while another file handle
    // owns the buffer queue, that is while another application streams.
    v4l2_requestbuffers request{};
    request.count = 0;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    const bool busy = xioctl(probe, VIDIOC_REQBUFS, &request) == -1 && errno == EBUSY;
    ::close(probe);
    return busy;
}

bool V4L2Camera::open(std::string* error) {
    std::lock_guard<std::mutex> guard(lock_);
    if (fd_ >= 0) return true;
    fd_ = ::open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        if (error) *error = "Cannot open camera " + displayName_ + " (" + path_ + "): " + std::strerror(errno);
        return false;
    }
    if (negotiateFormat(error) && mapBuffers(error)) return true;
    closeLocked();
    return false;
}

bool V4L2Camera::negotiateFormat(std::string* error) {
    const auto formats = pixelFormats(fd_);
    auto offers = [&](std::uint32_t f) { return std::find(formats.begin(), formats.end(), f) != formats.end(); };
    std::uint32_t wanted = 0;
    if (offers(V4L2_PIX_FMT_YUYV))
        wanted = V4L2_PIX_FMT_YUYV;
    else if (offers(V4L2_PIX_FMT_MJPEG))
        wanted = V4L2_PIX_FMT_MJPEG;
    else {
        if (error) *error = "The camera " + displayName_ + " offers neither YUYV nor MJPEG frames.";
        return false;
    }
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = kPreferredWidth;
    format.fmt.pix.height = kPreferredHeight;
    format.fmt.pix.pixelformat = wanted;
    format.fmt.pix.field = V4L2_FIELD_ANY;
    if (xioctl(fd_, VIDIOC_S_FMT, &format) == -1) {
        if (error)
            *error = errno == EBUSY ? "The camera " + displayName_ + " is in use by another application."
                                    : "Cannot set the frame format of " + displayName_ + ": " + std::strerror(errno);
        return false;
    }
    pixelFormat_ = format.fmt.pix.pixelformat;
    width_ = static_cast<int>(format.fmt.pix.width);
    height_ = static_cast<int>(format.fmt.pix.height);
    bytesPerLine_ = static_cast<int>(format.fmt.pix.bytesperline);
    if (pixelFormat_ != V4L2_PIX_FMT_YUYV && pixelFormat_ != V4L2_PIX_FMT_MJPEG) {
        if (error) *error = "The camera " + displayName_ + " changed to an unsupported frame format.";
        return false;
    }
    return true;
}

bool V4L2Camera::mapBuffers(std::string* error) {
    v4l2_requestbuffers request{};
    request.count = kBufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (xioctl(fd_, VIDIOC_REQBUFS, &request) == -1) {
        if (error)
            *error = errno == EBUSY ? "The camera " + displayName_ + " is in use by another application."
                                    : "Cannot get frame buffers of " + displayName_ + ": " + std::strerror(errno);
        return false;
    }
    if (request.count < 2) {
        if (error) *error = "The camera " + displayName_ + " has too little buffer memory.";
        return false;
    }
    for (unsigned index = 0; index < request.count; ++index) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        if (xioctl(fd_, VIDIOC_QUERYBUF, &buffer) == -1) {
            if (error) *error = "Cannot query frame buffers of " + displayName_ + ": " + std::strerror(errno);
            return false;
        }
        void* start = ::mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, buffer.m.offset);
        if (start == MAP_FAILED) {
            if (error) *error = "Cannot map frame buffers of " + displayName_ + ": " + std::strerror(errno);
            return false;
        }
        buffers_.push_back({start, buffer.length});
    }
    return true;
}

void V4L2Camera::releaseBuffers() {
    for (const auto& buffer : buffers_) ::munmap(buffer.start, buffer.length);
    if (!buffers_.empty() && fd_ >= 0) {
        v4l2_requestbuffers request{};
        request.count = 0;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        xioctl(fd_, VIDIOC_REQBUFS, &request);
    }
    buffers_.clear();
}

void V4L2Camera::closeLocked() {
    if (fd_ < 0) return;
    if (streaming_) {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        xioctl(fd_, VIDIOC_STREAMOFF, &type);
        streaming_ = false;
    }
    releaseBuffers();
    ::close(fd_);
    fd_ = -1;
}

bool V4L2Camera::isOpen() const {
    std::lock_guard<std::mutex> guard(lock_);
    return fd_ >= 0;
}

void V4L2Camera::close() {
    std::lock_guard<std::mutex> guard(lock_);
    closeLocked();
}

bool V4L2Camera::beginStreaming(std::string* error) {
    std::lock_guard<std::mutex> guard(lock_);
    if (fd_ < 0) {
        if (error) *error = "The camera " + displayName_ + " is not open.";
        return false;
    }
    for (unsigned index = 0; index < buffers_.size(); ++index) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        if (xioctl(fd_, VIDIOC_QBUF, &buffer) == -1) {
            if (error) *error = "Cannot queue frame buffers of " + displayName_ + ": " + std::strerror(errno);
            return false;
        }
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(fd_, VIDIOC_STREAMON, &type) == -1) {
        const int reason = errno;
        // Buffers queued above go back to the driver's idle state.
        xioctl(fd_, VIDIOC_STREAMOFF, &type);
        if (error)
            *error = reason == EBUSY ? "The camera " + displayName_ + " is in use by another application."
                                     : "Cannot start the camera " + displayName_ + ": " + std::strerror(reason);
        return false;
    }
    streaming_ = true;
    framesToSkip_ = kSettleFrames;
    return true;
}

bool V4L2Camera::convert(const std::uint8_t* data, std::size_t size, RGBFrame& frame) const {
    if (pixelFormat_ == V4L2_PIX_FMT_YUYV) return yuyvToRGB(data, size, width_, height_, bytesPerLine_, frame);
    return mjpegToRGB(data, size, frame);
}

CaptureFrames V4L2Camera::waitForFrames(double timeoutSeconds) {
    std::lock_guard<std::mutex> guard(lock_);
    if (fd_ < 0 || !streaming_) return CaptureFrames::failed("The camera " + displayName_ + " is not streaming.");
    pollfd watch{fd_, POLLIN, 0};
    const int ready = ::poll(&watch, 1, static_cast<int>(timeoutSeconds * 1000));
    if (ready == 0 || (ready < 0 && errno == EINTR)) return CaptureFrames::timeout();
    if (ready < 0 || (watch.revents & (POLLERR | POLLHUP | POLLNVAL)))
        return CaptureFrames::failed("The camera " + displayName_ + " was disconnected.");

    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    if (xioctl(fd_, VIDIOC_DQBUF, &buffer) == -1) {
        if (errno == EAGAIN) return CaptureFrames::timeout();
        if (isGone(errno)) return CaptureFrames::failed("The camera " + displayName_ + " was disconnected.");
        return CaptureFrames::failed("Cannot read a frame of " + displayName_ + ": " + std::strerror(errno));
    }
    RGBFrame frame;
    const bool usable = framesToSkip_ == 0 && !(buffer.flags & V4L2_BUF_FLAG_ERROR) && buffer.index < buffers_.size() &&
                        convert(static_cast<const std::uint8_t*>(buffers_[buffer.index].start),
                                std::min<std::size_t>(buffer.bytesused, buffers_[buffer.index].length), frame);
    if (framesToSkip_ > 0) --framesToSkip_;
    if (xioctl(fd_, VIDIOC_QBUF, &buffer) == -1 && isGone(errno))
        return CaptureFrames::failed("The camera " + displayName_ + " was disconnected.");
    // Frames taken while exposure settles, and corrupt ones, are dropped.
    if (!usable) return CaptureFrames::timeout();
    return CaptureFrames::delivered({Image::fromRGB(frame.width, frame.height, std::move(frame.rgb))});
}

void V4L2Camera::endStreaming() {
    std::lock_guard<std::mutex> guard(lock_);
    if (fd_ < 0 || !streaming_) return;
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    xioctl(fd_, VIDIOC_STREAMOFF, &type);
    streaming_ = false;
}

}  // namespace platform::v4l2

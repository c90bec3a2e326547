#pragma once

#include "platform/desktop/v4l2/V4L2FrameConversion.h"
#include "platform/services/Capture.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace platform::v4l2 {

// One V4L2 video-capture node (/dev/videoN). Opening claims the device's
// buffer queue for this process, so a camera streaming for another
// application refuses at once instead of hanging.
class V4L2Camera final : public CaptureDevice {
public:
    V4L2Camera(std::string uniqueID, std::string displayName, std::string devicePath);
    ~V4L2Camera() override;

    std::string devicePath() const;

    std::string uniqueID() const override { return uniqueID_; }
    std::string localizedDisplayName() const override { return displayName_; }
    bool isConnected() const override;
    bool isInUseByAnotherApplication() const override;
    bool open(std::string* error) override;
    bool isOpen() const override;
    void close() override;
    bool beginStreaming(std::string* error) override;
    CaptureFrames waitForFrames(double timeoutSeconds) override;
    void endStreaming() override;

    // Frames dropped after the stream starts while auto exposure settles.
    static constexpr int kSettleFrames = 8;

private:
    struct Buffer {
        void* start = nullptr;
        std::size_t length = 0;
    };

    bool negotiateFormat(std::string* error);
    bool mapBuffers(std::string* error);
    void releaseBuffers();
    void closeLocked();
    bool convert(const std::uint8_t* data, std::size_t size, RGBFrame& frame) const;

    const std::string uniqueID_;
    const std::string displayName_;
    mutable std::mutex lock_;
    mutable std::string path_;  // follows the camera to another node while closed
    int fd_ = -1;
    bool streaming_ = false;
    int framesToSkip_ = 0;
    std::uint32_t pixelFormat_ = 0;
    int width_ = 0;
    int height_ = 0;
    int bytesPerLine_ = 0;
    std::vector<Buffer> buffers_;
};

}  // namespace platform::v4l2

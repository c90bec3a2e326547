#pragma once

#include <cstdint>
#include <functional>
#include <memory>

struct wl_buffer;
struct wl_shm;

namespace platform::desktop::wayland {

// One XRGB8888 picture in shared memory that the compositor reads: the
// pixels stay ours to write while the compositor has released the buffer.
class ShmBuffer {
public:
    // None when the memory cannot be made or mapped.
    static std::unique_ptr<ShmBuffer> create(wl_shm* shm, int width, int height);
    ~ShmBuffer();
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;

    wl_buffer* buffer() const { return buffer_; }
    std::uint32_t* pixels() const { return pixels_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return width_ * 4; }
    bool busy() const { return busy_; }
    // Attached and committed: the compositor reads it until it releases it.
    void markBusy() { busy_ = true; }
    // Called when the compositor has let go of the pixels.
    void setReleaseHandler(std::function<void()> handler) { released_ = std::move(handler); }

private:
    ShmBuffer() = default;
    static void onRelease(void* data, wl_buffer* buffer);

    wl_buffer* buffer_ = nullptr;
    std::uint32_t* pixels_ = nullptr;
    std::size_t size_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool busy_ = false;
    std::function<void()> released_;
};

}  // namespace platform::desktop::wayland

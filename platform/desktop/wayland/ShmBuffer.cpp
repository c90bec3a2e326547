#include "platform/desktop/wayland/ShmBuffer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

namespace platform::desktop::wayland {

namespace {

// An anonymous file that nobody else can open by name.
int sharedMemoryFile(std::size_t size) {
    const int fd = ::memfd_create("tarnwick-lock", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) return -1;
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        ::close(fd);
        return -1;
    }
    // The compositor may rely on the size staying put.
    ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_SEAL);
    return fd;
}

}  // namespace

std::unique_ptr<ShmBuffer> ShmBuffer::create(wl_shm* shm, int width, int height) {
    if (!shm || width <= 0 || height <= 0 || width > 32768 || height > 32768) return nullptr;
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    const int fd = sharedMemoryFile(size);
    if (fd < 0) return nullptr;
    void* memory = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (memory == MAP_FAILED) {
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<ShmBuffer> result(new ShmBuffer);
    result->pixels_ = static_cast<std::uint32_t*>(memory);
    result->size_ = size;
    result->width_ = width;
    result->height_ = height;
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(size));
    result->buffer_ = wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    ::close(fd);
    static const wl_buffer_listener listener = {.release = &ShmBuffer::onRelease};
    wl_buffer_add_listener(result->buffer_, &listener, result.get());
    return result;
}

void ShmBuffer::onRelease(void* data, wl_buffer*) {
    auto& self = *static_cast<ShmBuffer*>(data);
    self.busy_ = false;
    if (self.released_) self.released_();
}

ShmBuffer::~ShmBuffer() {
    if (buffer_) wl_buffer_destroy(buffer_);
    if (pixels_) ::munmap(pixels_, size_);
}

}  // namespace platform::desktop::wayland

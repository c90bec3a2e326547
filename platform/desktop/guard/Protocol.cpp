#include "platform/desktop/guard/Protocol.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::desktop::guard {

namespace {

// Far beyond any real machine; a larger count means a corrupt stream.
constexpr std::uint32_t kMostRamps = 64;
// The lock screen allows three, and counts no further during the wait.
constexpr std::uint32_t kMostWrongPasswords = 3;
constexpr std::uint32_t kLongestRamp = 65536;

bool readFully(int fd, void* buffer, std::size_t size) {
    auto* bytes = static_cast<char*>(buffer);
    while (size > 0) {
        const ssize_t n = ::read(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool writeFully(int fd, const void* buffer, std::size_t size) {
    const auto* bytes = static_cast<const char*>(buffer);
    while (size > 0) {
        const ssize_t n = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool knownKind(std::uint32_t kind) {
    return kind >= static_cast<std::uint32_t>(MessageKind::RememberRamps) &&
           kind <= static_cast<std::uint32_t>(MessageKind::Attempts);
}

std::optional<GammaRamp> readRamp(int fd) {
    std::uint32_t head[2];
    if (!readFully(fd, head, sizeof head) || head[1] > kLongestRamp) return std::nullopt;
    GammaRamp ramp;
    ramp.crtc = head[0];
    for (auto* channel : {&ramp.red, &ramp.green, &ramp.blue}) {
        channel->resize(head[1]);
        if (!readFully(fd, channel->data(), head[1] * sizeof(std::uint16_t))) return std::nullopt;
    }
    return ramp;
}

}  // namespace

bool writeMessage(int fd, const Message& message) {
    // One buffer, one send: a malformed ramp never leaves half a message in
    // the stream.
    if (message.ramps.size() > kMostRamps) return false;
    std::vector<char> bytes;
    auto append = [&bytes](const void* data, std::size_t size) {
        bytes.insert(bytes.end(), static_cast<const char*>(data), static_cast<const char*>(data) + size);
    };
    // The second word counts the ramps, or the wrong passwords, which the
    // wait follows.
    const bool attempts = message.kind == MessageKind::Attempts;
    const std::uint32_t header[2] = {
        static_cast<std::uint32_t>(message.kind),
        attempts ? message.attempts.wrong : static_cast<std::uint32_t>(message.ramps.size())};
    append(header, sizeof header);
    if (attempts) append(&message.attempts.waitMilliseconds, sizeof message.attempts.waitMilliseconds);
    for (const GammaRamp& ramp : message.ramps) {
        const std::size_t size = ramp.red.size();
        if (ramp.green.size() != size || ramp.blue.size() != size || size > kLongestRamp) return false;
        const std::uint32_t head[2] = {static_cast<std::uint32_t>(ramp.crtc), static_cast<std::uint32_t>(size)};
        append(head, sizeof head);
        for (const auto* channel : {&ramp.red, &ramp.green, &ramp.blue})
            append(channel->data(), size * sizeof(std::uint16_t));
    }
    return writeFully(fd, bytes.data(), bytes.size());
}

std::optional<Message> readMessage(int fd) {
    std::uint32_t header[2];
    if (!readFully(fd, header, sizeof header) || !knownKind(header[0])) return std::nullopt;
    Message message;
    message.kind = static_cast<MessageKind>(header[0]);
    if (message.kind == MessageKind::Attempts) {
        message.attempts.wrong = header[1];
        if (header[1] > kMostWrongPasswords ||
            !readFully(fd, &message.attempts.waitMilliseconds, sizeof message.attempts.waitMilliseconds))
            return std::nullopt;
        return message;
    }
    const std::uint32_t count = message.kind == MessageKind::RememberRamps ? header[1] : 0;
    if (count > kMostRamps || (message.kind != MessageKind::RememberRamps && header[1] != 0)) return std::nullopt;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::optional<GammaRamp> ramp = readRamp(fd);
        if (!ramp) return std::nullopt;
        message.ramps.push_back(std::move(*ramp));
    }
    return message;
}

}  // namespace platform::desktop::guard

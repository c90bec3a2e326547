#include "platform/foundation/PropertyListNesting.h"

#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::plist {

namespace {

// The bytes being looked at, with bounds.
struct Bytes {
    const std::uint8_t* data;
    std::size_t length;
    std::size_t size() const { return length; }
    std::uint8_t operator[](std::size_t i) const { return data[i]; }
};

constexpr std::string_view kBinaryMagic = "bplist00";
constexpr std::size_t kTrailerBytes = 32;
// Shared references can make a small binary list a huge tree; past this many
// visits it is refused rather than walked.
constexpr std::size_t kMaximumVisits = 1u << 20;

bool startsWith(const Bytes& bytes, std::size_t at, std::string_view text) {
    return at + text.size() <= bytes.size() && std::memcmp(bytes.data + at, text.data(), text.size()) == 0;
}

// XML: every <array> or <dict> that is not empty (<array/>) opens a level,
// its closing tag ends it.
bool xmlNestingWithin(const Bytes& bytes, int maxDepth) {
    int depth = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '<') continue;
        const bool closing = startsWith(bytes, i + 1, "/");
        const std::size_t name = i + (closing ? 2 : 1);
        std::size_t length = 0;
        if (startsWith(bytes, name, "array"))
            length = 5;
        else if (startsWith(bytes, name, "dict"))
            length = 4;
        if (!length) continue;
        std::size_t end = name + length;
        while (end < bytes.size() && bytes[end] != '>') ++end;
        if (end >= bytes.size()) return true;  // malformed: the parser refuses it
        if (closing) {
            --depth;
        } else if (bytes[end - 1] != '/' && ++depth > maxDepth) {
            return false;
        }
        i = end;
    }
    return true;
}

std::uint64_t bigEndian(const Bytes& bytes, std::size_t at, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width && at + i < bytes.size(); ++i) value = value << 8 | bytes[at + i];
    return value;
}

// Binary: objects sit in a table; arrays, sets and dictionaries refer to
// their members by index. Walked depth first with a stack of its own.
class BinaryWalk {
public:
    explicit BinaryWalk(const Bytes& bytes) : bytes_(bytes) {
        const std::size_t trailer = bytes.size() - kTrailerBytes;
        offsetSize_ = bytes[trailer + 6];
        refSize_ = bytes[trailer + 7];
        objects_ = bigEndian(bytes, trailer + 8, 8);
        top_ = bigEndian(bytes, trailer + 16, 8);
        table_ = bigEndian(bytes, trailer + 24, 8);
    }

    bool within(int maxDepth) {
        std::vector<std::pair<std::uint64_t, int>> stack{{top_, 0}};
        std::size_t visits = 0;
        while (!stack.empty()) {
            const auto [object, depth] = stack.back();
            stack.pop_back();
            if (++visits > kMaximumVisits) return false;
            std::vector<std::uint64_t> members;
            if (!membersOf(object, members)) continue;
            if (depth + 1 > maxDepth) return false;
            for (std::uint64_t member : members) stack.emplace_back(member, depth + 1);
        }
        return true;
    }

private:
    // Answers false for objects that hold no others (or that the parser
    // will refuse anyway).
    bool membersOf(std::uint64_t object, std::vector<std::uint64_t>& members) const {
        if (object >= objects_ || offsetSize_ == 0 || refSize_ == 0) return false;
        const std::uint64_t at = bigEndian(bytes_, table_ + object * offsetSize_, offsetSize_);
        if (at >= bytes_.size()) return false;
        const std::uint8_t marker = bytes_[at];
        const int kind = marker >> 4;
        if (kind != 0xA && kind != 0xC && kind != 0xD) return false;
        std::uint64_t count = marker & 0x0F;
        std::uint64_t refs = at + 1;
        if (count == 0x0F) {
            // The count follows as an integer object: 0x1n, then 2^n bytes.
            if (refs >= bytes_.size() || (bytes_[refs] >> 4) != 0x1) return false;
            const std::size_t width = std::size_t{1} << (bytes_[refs] & 0x0F);
            count = bigEndian(bytes_, refs + 1, width);
            refs += 1 + width;
        }
        if (kind == 0xD) count *= 2;
        if (count > bytes_.size()) return false;
        for (std::uint64_t i = 0; i < count; ++i) members.push_back(bigEndian(bytes_, refs + i * refSize_, refSize_));
        return true;
    }

    const Bytes& bytes_;
    std::size_t offsetSize_ = 0, refSize_ = 0;
    std::uint64_t objects_ = 0, top_ = 0, table_ = 0;
};

}  // namespace

bool nestingWithin(const std::uint8_t* data, std::size_t size, int maxDepth) {
    const Bytes bytes{data, size};
    if (startsWith(bytes, 0, kBinaryMagic))
        return bytes.size() < kBinaryMagic.size() + kTrailerBytes || BinaryWalk(bytes).within(maxDepth);
    return xmlNestingWithin(bytes, maxDepth);
}

}  // namespace platform::plist

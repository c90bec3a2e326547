#include "platform/desktop/guard/PasswordDigest.h"

#include "platform/foundation/PropertyListNesting.h"
#include "platform/foundation/libplist/Libplist.h"
#include "shared/PasswordDigest.h"
#include "shared/PreferencesContract.h"
#include "shared/md5.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <plist/plist.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform::desktop::guard {

namespace {

// The application's own limits: the guard must read every file it reads.
constexpr std::size_t kLargestPreferencesFile = preferences_contract::kLargestFileBytes;
constexpr int kDeepestNesting = preferences_contract::kDeepestNesting;

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    const passwd* entry = ::getpwuid(::getuid());
    return entry && entry->pw_dir ? entry->pw_dir : "";
}

// Reads to the end, or until more than `limit` bytes came: a file that grew
// past the limit while being read is refused too.
std::optional<std::vector<char>> readToTheEnd(int fd, std::size_t limit) {
    std::vector<char> bytes;
    char chunk[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return bytes;
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (bytes.size() > limit) return std::nullopt;
    }
}

// The whole file, or none. O_NONBLOCK keeps a FIFO planted in its place from
// hanging the guard. A link to a regular file is read, as the application
// reads it: the guard must find the password the application checks.
std::optional<std::vector<char>> readSmallRegularFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat status {};
    std::optional<std::vector<char>> contents;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<std::uintmax_t>(status.st_size) <= kLargestPreferencesFile)
        contents = readToTheEnd(fd, kLargestPreferencesFile);
    ::close(fd);
    return contents;
}

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistRef = std::unique_ptr<void, PlistFree>;

// The file's top dictionary; none when the file is missing, not a regular
// file, too large or too deeply nested, or no property list with one.
PlistRef readPreferences(const std::string& path) {
    const std::optional<std::vector<char>> bytes = readSmallRegularFile(path);
    if (!bytes || bytes->empty()) return nullptr;
    if (!platform::plist::nestingWithin(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size(),
                                        kDeepestNesting))
        return nullptr;
    PlistRef root(platform::plist::libplist::fromMemory(bytes->data(), static_cast<std::uint32_t>(bytes->size())));
    if (root && plist_get_node_type(root.get()) != PLIST_DICT) root.reset();
    return root;
}

std::optional<std::string> readString(const std::string& path, const char* key) {
    const PlistRef root = readPreferences(path);
    const plist_t entry = root ? plist_dict_get_item(root.get(), key) : nullptr;
    if (!entry || plist_get_node_type(entry) != PLIST_STRING) return std::nullopt;
    char* text = nullptr;
    plist_get_string_val(entry, &text);
    std::optional<std::string> value;
    if (text) value = text;
    std::free(text);
    return value;
}

}  // namespace

std::string preferencesFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // A relative XDG_CONFIG_HOME is invalid and is ignored.
    const std::string folder = config && *config == '/' ? config : homeFolder() + "/.config";
    return preferences_contract::fileInConfigFolder(folder, kBundleName);
}

std::optional<std::string> readPasswordDigest(const std::string& path) {
    const std::optional<std::string> stored = readString(path, "password");
    return stored ? password_digest::normalised(*stored) : std::nullopt;
}

std::optional<std::string> readPasswordLayout(const std::string& path) {
    return readString(path, "passwordInputSource");
}

std::optional<long> readPenaltyMinutes(const std::string& path) {
    const PlistRef root = readPreferences(path);
    const plist_t entry = root ? plist_dict_get_item(root.get(), "penalty") : nullptr;
    const plist_type type = entry ? plist_get_node_type(entry) : PLIST_NONE;
    if (type == PLIST_UINT) {
        std::uint64_t value = 0;
        plist_get_uint_val(entry, &value);
        return static_cast<long>(static_cast<std::int64_t>(value));
    }
    if (type == PLIST_REAL) {
        double value = 0;
        plist_get_real_val(entry, &value);
        return static_cast<long>(value);  // toward zero, as the application's integer reading
    }
    return std::nullopt;
}

bool passwordMatches(const std::string& password, const std::string& digest) {
    const std::string typed = md5HexDigest(password);
    if (typed.size() != digest.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < typed.size(); ++i) difference |= static_cast<unsigned char>(typed[i] ^ digest[i]);
    return difference == 0;
}

}  // namespace platform::desktop::guard

#include "platform/foundation/FileManager.h"

#include "shared/PreferencesContract.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace paths {

namespace {

std::string environmentOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    // The XDG rules ignore relative paths.
    return (value && value[0] == '/') ? std::string(value) : fallback;
}

}  // namespace

std::string home() {
    if (const char* h = std::getenv("HOME"); h && *h) return h;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

std::string expandTilde(const std::string& path) {
    if (path.empty() || path[0] != '~') return path;
    const std::size_t slash = path.find('/');
    const std::string user = path.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
    std::string base;
    if (user.empty()) {
        base = home();
    } else if (const passwd* pw = getpwnam(user.c_str()); pw && pw->pw_dir) {
        base = pw->pw_dir;
    } else {
        return path;
    }
    return slash == std::string::npos ? base : appendComponent(base, path.substr(slash + 1));
}

std::string abbreviateWithTilde(const std::string& path) {
    const std::string h = home();
    if (h.empty() || h == "/") return path;
    if (path == h) return "~";
    if (path.size() > h.size() && path.compare(0, h.size(), h) == 0 && path[h.size()] == '/')
        return "~" + path.substr(h.size());
    return path;
}

bool sameLocation(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    std::error_code ec;
    const auto canonical = [&ec](const std::string& path) {
        return std::filesystem::weakly_canonical(std::filesystem::path(path), ec).lexically_normal();
    };
    auto left = canonical(a), right = canonical(b);
    if (ec) return false;
    // "a/b/" and "a/b" are one folder.
    if (!left.has_filename()) left = left.parent_path();
    if (!right.has_filename()) right = right.parent_path();
    return left == right;
}

std::string appendComponent(const std::string& base, const std::string& component) {
    if (base.empty()) return component;
    if (component.empty()) return base;
    std::string result = base;
    while (result.size() > 1 && result.back() == '/') result.pop_back();
    std::size_t start = 0;
    while (start < component.size() && component[start] == '/') ++start;
    if (result != "/") result += '/';
    return result + component.substr(start);
}

std::string lastComponent(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const std::size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string deletingLastComponent(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const std::size_t slash = p.rfind('/');
    if (slash == std::string::npos) return "";
    if (slash == 0) return "/";
    return p.substr(0, slash);
}

std::string pathExtension(const std::string& path) {
    const std::string last = lastComponent(path);
    const std::size_t dot = last.rfind('.');
    return (dot == std::string::npos || dot == 0) ? "" : last.substr(dot + 1);
}

std::vector<std::string> libraryDirectories(Domain domain) {
    if (domain == Domain::User) return {environmentOr("XDG_DATA_HOME", appendComponent(home(), ".local/share"))};
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string list = (dirs && *dirs) ? dirs : "/usr/local/share:/usr/share";
    std::vector<std::string> result;
    std::stringstream in(list);
    std::string entry;
    while (std::getline(in, entry, ':'))
        if (!entry.empty() && entry[0] == '/') result.push_back(entry);
    return result;
}

std::string cachesDirectory() { return environmentOr("XDG_CACHE_HOME", appendComponent(home(), ".cache")); }

std::string configDirectory() { return environmentOr("XDG_CONFIG_HOME", appendComponent(home(), ".config")); }

std::string preferencesDirectory() { return appendComponent(configDirectory(), preferences_contract::kFolderName); }

}  // namespace paths

bool FileManager::fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool FileManager::isDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileManager::createDirectory(const std::string& path, bool withIntermediates) {
    std::error_code ec;
    if (withIntermediates) {
        std::filesystem::create_directories(path, ec);
        return !ec && isDirectory(path);
    }
    return ::mkdir(path.c_str(), 0755) == 0;
}

std::vector<std::string> FileManager::contentsOfDirectory(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return names;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

bool FileManager::removeItem(const std::string& path) {
    std::error_code ec;
    return std::filesystem::remove_all(path, ec) > 0 && !ec;
}

namespace {

// Reads to the end, or until more than `limit` bytes came.
std::optional<Data> readAll(int fd, std::size_t limit) {
    Data data;
    std::uint8_t buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) return data;
        data.insert(data.end(), buffer, buffer + n);
        if (data.size() > limit) return std::nullopt;
    }
}

}  // namespace

std::optional<Data> FileManager::readFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    auto data = readAll(fd, std::numeric_limits<std::size_t>::max());
    ::close(fd);
    return data;
}

std::optional<Data> FileManager::readRegularFile(const std::string& path, std::size_t maxBytes) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    std::optional<Data> data;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::uintmax_t>(st.st_size) <= maxBytes)
        data = readAll(fd, maxBytes);
    ::close(fd);
    return data;
}

bool FileManager::writeAtomically(const std::string& path, const Data& data, unsigned mode) {
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, mode) == 0;
    std::size_t written = 0;
    while (ok && written < data.size()) {
        const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

}  // namespace platform

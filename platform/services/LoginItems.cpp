#include "platform/services/LoginItems.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/DesktopEntry.h"
#include "platform/foundation/FileManager.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

const std::string kEntryPrefix = "tarnwick-login-item-";
const std::string kEntrySuffix = ".desktop";

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string escapeValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default: out += c; break;
        }
    }
    return out;
}

// A program path quoted for an Exec line.
std::string quotedForExec(const std::string& program) {
    std::string out = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        out += c;
        if (c == '%') out += '%';
    }
    return out + "\"";
}

// <bundle>/Contents/MacOS/<exe> → <bundle>; any other program stands for itself.
std::string bundleOfProgram(const std::string& program) {
    const std::string macos = paths::deletingLastComponent(program);
    const std::string contents = paths::deletingLastComponent(macos);
    if (paths::lastComponent(macos) == "MacOS" && paths::lastComponent(contents) == "Contents")
        return paths::deletingLastComponent(contents);
    return program;
}

// The executable inside an application bundle, as its Info.plist names it.
std::string executableOfBundle(const std::string& bundlePath) {
    std::string name;
    if (const auto info = Bundle::readInfoPlist(bundlePath)) {
        if (auto it = info->find("CFBundleExecutable"); it != info->end() && it->second.isString())
            name = it->second.stringValue();
    }
    if (name.empty()) {
        name = paths::lastComponent(bundlePath);
        if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.erase(dot);
    }
    return paths::appendComponent(bundlePath, "Contents/MacOS/" + name);
}

std::string entryText(const std::string& bundlePath) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tarnwick\n"
           "Exec=" +
           escapeValue(quotedForExec(executableOfBundle(bundlePath))) +
           "\n"
           "X-GNOME-Autostart-enabled=true\n";
}

std::string counterName(int counter) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%06d", counter);
    return kEntryPrefix + digits + kEntrySuffix;
}

bool writeWhole(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string LoginItems::programOfBundle(const std::string& bundlePath) { return executableOfBundle(bundlePath); }

std::string LoginItems::autostartFolder() { return paths::appendComponent(paths::configDirectory(), "autostart"); }

std::optional<LoginItems> LoginItems::sessionLoginItems() {
    const std::string folder = autostartFolder();
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0) {
        // No folder yet is an empty list; anything else in the way is a failure.
        if (errno == ENOENT) return LoginItems(folder);
        return std::nullopt;
    }
    if (!S_ISDIR(st.st_mode)) return std::nullopt;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return std::nullopt;
    ::closedir(dir);
    return LoginItems(folder);
}

std::vector<LoginItem> LoginItems::snapshot() const {
    std::vector<std::string> names;
    for (const std::string& name : FileManager::contentsOfDirectory(folder_))
        if (endsWith(name, kEntrySuffix) && name[0] != '.') names.push_back(name);
    std::sort(names.begin(), names.end());
    std::vector<LoginItem> items;
    items.reserve(names.size());
    for (const std::string& name : names) items.push_back({paths::appendComponent(folder_, name)});
    return items;
}

std::optional<std::string> LoginItems::resolve(const LoginItem& item) {
    const auto entry = DesktopEntry::read(item.entryPath);
    if (!entry || entry->value("Hidden") == "true") return std::nullopt;
    const std::vector<std::string> words = DesktopEntry::execArguments(entry->value("Exec").value_or(""));
    const std::string program = words.empty() ? std::string() : words.front();
    if (program.empty() || program[0] != '/' || !FileManager::fileExists(program)) return std::nullopt;
    return bundleOfProgram(program);
}

int LoginItems::highestCounter() const {
    int highest = 0;
    for (const std::string& name : FileManager::contentsOfDirectory(folder_)) {
        if (name.compare(0, kEntryPrefix.size(), kEntryPrefix) != 0 || !endsWith(name, kEntrySuffix)) continue;
        const std::string digits =
            name.substr(kEntryPrefix.size(), name.size() - kEntryPrefix.size() - kEntrySuffix.size());
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9)
            continue;
        highest = std::max(highest, std::atoi(digits.c_str()));
    }
    return highest;
}

std::optional<LoginItem> LoginItems::insertLast(const std::string& bundlePath) {
    if (!FileManager::createDirectory(folder_, true)) return std::nullopt;

    // Written under a name the list ignores, then linked to its final name:
    // a reader never sees half an entry, and link() never replaces another one.
    std::string temporary = paths::appendComponent(folder_, ".tarnwick-login-item.XXXXXX");
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const bool written = ::fchmod(fd, 0644) == 0 && writeWhole(fd, entryText(bundlePath));
    const bool closed = ::close(fd) == 0;
    std::optional<LoginItem> inserted;
    if (written && closed) {
        const int first = highestCounter() + 1;
        for (int counter = first; counter < first + 100; ++counter) {
            const std::string path = paths::appendComponent(folder_, counterName(counter));
            if (::link(temporary.c_str(), path.c_str()) == 0) {
                inserted = LoginItem{path};
                break;
            }
            if (errno != EEXIST) break;
        }
    }
    ::unlink(temporary.c_str());
    return inserted;
}

bool LoginItems::remove(const LoginItem& item) { return ::unlink(item.entryPath.c_str()) == 0; }

}  // namespace platform

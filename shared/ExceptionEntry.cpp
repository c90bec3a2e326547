#include "shared/ExceptionEntry.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/DesktopEntry.h"
#include "platform/foundation/FileManager.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

// The kernel keeps this many bytes of a process's name (TASK_COMM_LEN less its terminator).
constexpr std::size_t kProcessNameLength = 15;

std::optional<std::string> bundleName(const std::string& bundlePath) {
    const auto info = platform::Bundle::readInfoPlist(bundlePath);
    if (!info) return std::nullopt;
    auto text = [&](const char* key) -> std::optional<std::string> {
        auto it = info->find(key);
        if (it == info->end() || !it->second.isString()) return std::nullopt;
        return it->second.stringValue();
    };
    if (auto display = text("CFBundleDisplayName")) return display;
    return text("CFBundleExecutable");
}

// "env NAME=value program …" starts `program`: env replaces itself with it.
std::optional<std::string> programOfExec(const std::string& exec) {
    const std::vector<std::string> words = platform::DesktopEntry::execArguments(exec);
    std::size_t first = 0;
    if (first < words.size() && processNameOfProgram(words[first]) == "env") {
        ++first;
        while (first < words.size() && words[first].find('=') != std::string::npos) ++first;
    }
    if (first >= words.size()) return std::nullopt;
    return words[first];
}

std::optional<std::string> desktopEntryName(const std::string& path) {
    const auto entry = platform::DesktopEntry::read(path);
    if (!entry) return std::nullopt;
    std::optional<std::string> program = entry->value("TryExec");
    if (!program || program->empty()) {
        const auto exec = entry->value("Exec");
        program = exec ? programOfExec(*exec) : std::nullopt;
    }
    if (!program) return std::nullopt;
    const std::string name = processNameOfProgram(*program);
    if (name.empty()) return std::nullopt;
    return name;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string processNameOfProgram(const std::string& program) {
    const auto slash = program.find_last_of('/');
    const std::string file = slash == std::string::npos ? program : program.substr(slash + 1);
    return file.substr(0, kProcessNameLength);
}

std::optional<std::string> exceptionEntryName(const std::string& path) {
    if (platform::paths::pathExtension(path) == platform::DesktopEntry::kExtension) return desktopEntryName(path);
    return bundleName(path);
}

bool desktopEntryMatchesAppID(const std::string& path, const std::string& appID) {
    if (appID.empty() || platform::paths::pathExtension(path) != platform::DesktopEntry::kExtension) return false;
    const std::string fileName = platform::paths::lastComponent(path);
    const std::string stem = fileName.substr(0, fileName.size() - std::string(".desktop").size());
    if (sameIgnoringCase(stem, appID)) return true;
    const auto entry = platform::DesktopEntry::read(path);
    if (!entry) return false;
    const auto windowClass = entry->value("StartupWMClass");
    return windowClass && sameIgnoringCase(*windowClass, appID);
}

std::string applicationNameOfAppID(const std::string& appID, const std::vector<std::string>& folders) {
    for (const std::string& folder : folders)
        for (const std::string& file : platform::FileManager::contentsOfDirectory(folder)) {
            const std::string path = platform::paths::appendComponent(folder, file);
            if (!desktopEntryMatchesAppID(path, appID)) continue;
            if (const auto name = exceptionEntryName(path)) return *name;
        }
    return processNameOfProgram(appID);
}

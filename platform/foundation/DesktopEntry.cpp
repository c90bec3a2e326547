#include "platform/foundation/DesktopEntry.h"

#include "platform/foundation/FileManager.h"

#include <sstream>

namespace platform {

namespace {

constexpr const char* kGroupHeader = "[Desktop Entry]";
// Entries are small; anything far larger is no desktop entry worth reading.
constexpr std::size_t kLargestEntry = 1 << 20;

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string unescapedString(const std::string& raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
            out += raw[i];
            continue;
        }
        switch (raw[++i]) {
            case 's': out += ' '; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case '\\': out += '\\'; break;
            // Other escapes (the list separator "\;") belong to the value's own syntax.
            default:
                out += '\\';
                out += raw[i];
                break;
        }
    }
    return out;
}

// A field code stands for files, URLs or the entry itself at launch time;
// the program's own words are what is left.
std::string withoutFieldCodes(const std::string& word) {
    std::string out;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word[i] != '%' || i + 1 == word.size()) {
            out += word[i];
            continue;
        }
        if (word[++i] == '%') out += '%';
    }
    return out;
}

}  // namespace

std::optional<DesktopEntry> DesktopEntry::read(const std::string& path) {
    if (FileManager::isDirectory(path)) return std::nullopt;
    const std::optional<Data> data = FileManager::readFile(path);
    if (!data || data->size() > kLargestEntry) return std::nullopt;
    DesktopEntry entry = parse(std::string(data->begin(), data->end()));
    if (!entry.hasGroup()) return std::nullopt;
    return entry;
}

DesktopEntry DesktopEntry::parse(const std::string& text) {
    DesktopEntry entry;
    std::istringstream lines(text);
    std::string line;
    bool inGroup = false;
    while (std::getline(lines, line)) {
        const std::string content = trimmed(line);
        if (content.empty() || content.front() == '#') continue;
        if (content.front() == '[') {
            // Only the first "Desktop Entry" group counts; actions and others are not the program.
            inGroup = content == kGroupHeader && !entry.hasGroup_;
            if (inGroup) entry.hasGroup_ = true;
            continue;
        }
        if (!inGroup) continue;
        const auto equals = content.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = trimmed(content.substr(0, equals));
        if (!key.empty() && !entry.values_.count(key))
            entry.values_[key] = unescapedString(trimmed(content.substr(equals + 1)));
    }
    return entry;
}

std::optional<std::string> DesktopEntry::value(const std::string& key) const {
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

std::vector<std::string> DesktopEntry::execArguments(const std::string& exec) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    const auto finishWord = [&] {
        if (!inWord) return;
        std::string program = withoutFieldCodes(word);
        if (!program.empty()) words.push_back(std::move(program));
        word.clear();
        inWord = false;
    };
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < exec.size()) {
                word += exec[++i];
            } else {
                word += c;
            }
        } else if (c == '"') {
            quoted = inWord = true;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            finishWord();
        } else {
            word += c;
            inWord = true;
        }
    }
    finishWord();
    return words;
}

}  // namespace platform

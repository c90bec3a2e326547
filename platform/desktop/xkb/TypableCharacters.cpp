#include "platform/desktop/xkb/TypableCharacters.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace platform::desktop {

namespace {

// Includes of includes; the system files go two deep.
constexpr int kDeepestInclude = 8;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool isFile(const std::string& path) {
    struct stat status {};
    return !path.empty() && ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string localeFolder() {
    const std::string folder = environment("XLOCALEDIR");
    return folder.empty() ? "/usr/share/X11/locale" : folder;
}

std::string homeFolder() { return environment("HOME"); }

// The first column of the line whose second column is `key`, in the X
// locale folder's tables ("name: value" or "name value").
std::string lookUp(const std::string& table, const std::string& key, bool keyFirst) {
    std::ifstream file(localeFolder() + "/" + table);
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream columns(line);
        std::string first, second;
        if (!(columns >> first >> second)) continue;
        if (!first.empty() && first.back() == ':') first.pop_back();
        if (keyFirst && first == key) return second;
        if (!keyFirst && second == key) return first;
    }
    return {};
}

// UTF-8 → code points; a malformed byte stands for itself.
std::vector<std::pair<char32_t, std::string>> decodeUtf8(const std::string& text) {
    std::vector<std::pair<char32_t, std::string>> characters;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x6  ? 2
                                   : (lead >> 4) == 0xE  ? 3
                                   : (lead >> 3) == 0x1E ? 4
                                                         : 1;
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        std::size_t used = 1;
        for (; used < length && i + used < text.size(); ++used)
            code = (code << 6) | (static_cast<unsigned char>(text[i + used]) & 0x3F);
        characters.emplace_back(code, text.substr(i, used));
        i += used;
    }
    return characters;
}

// The text between the quotes of a compose result, escapes resolved.
std::string quotedResult(const std::string& rest) {
    const std::size_t open = rest.find('"');
    if (open == std::string::npos) return {};
    std::string result;
    for (std::size_t i = open + 1; i < rest.size() && rest[i] != '"'; ++i) {
        if (rest[i] != '\\' || i + 1 >= rest.size()) {
            result += rest[i];
            continue;
        }
        const char next = rest[++i];
        if (next == 'x' || next == 'X' || (next >= '0' && next <= '7')) {
            const bool hex = next == 'x' || next == 'X';
            std::size_t end = hex ? i + 1 : i;
            const std::string digits = hex ? "0123456789abcdefABCDEF" : "01234567";
            while (end < rest.size() && end - i < 4 && digits.find(rest[end]) != std::string::npos) ++end;
            const std::size_t start = hex ? i + 1 : i;
            if (end > start)
                result += static_cast<char>(std::stoi(rest.substr(start, end - start), nullptr, hex ? 16 : 8));
            i = end - 1;
        } else {
            result += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        }
    }
    return result;
}

// %L the locale's own file, %H the home folder, %S the X locale folder.
std::string expandIncludePath(const std::string& path, const std::string& locale) {
    std::string expanded;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '%' || i + 1 >= path.size()) {
            expanded += path[i];
            continue;
        }
        const char what = path[++i];
        if (what == 'L')
            expanded += TypableCharacters::localeComposeFile(locale);
        else if (what == 'H')
            expanded += homeFolder();
        else if (what == 'S')
            expanded += localeFolder();
        else
            expanded += what;
    }
    return expanded;
}

}  // namespace

TypableCharacters::TypableCharacters(xkb_keymap* keymap, const std::string& locale) {
    if (!keymap) return;
    addKeys(keymap);
    if (const std::string file = composeFileFor(locale); !file.empty()) addComposeFile(file, locale, 0);
}

void TypableCharacters::addKeys(xkb_keymap* keymap) {
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap); ++key) {
        for (xkb_layout_index_t layout = 0; layout < xkb_keymap_num_layouts_for_key(keymap, key); ++layout) {
            for (xkb_level_index_t level = 0; level < xkb_keymap_num_levels_for_key(keymap, key, layout); ++level) {
                const xkb_keysym_t* symbols = nullptr;
                const int count = xkb_keymap_key_get_syms_by_level(keymap, key, layout, level, &symbols);
                for (int i = 0; i < count; ++i) {
                    keysyms_.insert(symbols[i]);
                    if (const char32_t c = xkb_keysym_to_utf32(symbols[i])) characters_.insert(c);
                }
            }
        }
    }
}

void TypableCharacters::addComposeFile(const std::string& path, const std::string& locale, int depth) {
    if (depth > kDeepestInclude) return;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) addComposeLine(line, locale, depth);
}

// "<dead_acute> <e> : "é" eacute", "include "%L"". Sequences with a
// symbol that no key types are out of reach.
void TypableCharacters::addComposeLine(const std::string& line, const std::string& locale, int depth) {
    std::istringstream words(line);
    std::string first;
    if (!(words >> first) || first[0] == '#') return;
    if (first == "include") return addComposeFile(expandIncludePath(quotedResult(line), locale), locale, depth + 1);
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) return;
    bool reachable = false;
    for (std::size_t open = line.find('<'); open < colon; open = line.find('<', open + 1)) {
        const std::size_t close = line.find('>', open);
        if (close == std::string::npos || close > colon) return;
        const xkb_keysym_t keysym =
            xkb_keysym_from_name(line.substr(open + 1, close - open - 1).c_str(), XKB_KEYSYM_NO_FLAGS);
        if (keysym == XKB_KEY_NoSymbol || !keysyms_.count(keysym)) return;
        reachable = true;
    }
    if (!reachable) return;
    const std::string rest = line.substr(colon + 1);
    std::string result = quotedResult(rest);
    if (result.empty()) {
        // Only a keysym: "<Multi_key> <o> <c> : copyright".
        std::istringstream names(rest);
        std::string name;
        names >> name;
        if (const char32_t c = xkb_keysym_to_utf32(xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_NO_FLAGS)))
            characters_.insert(c);
        return;
    }
    for (const auto& [code, bytes] : decodeUtf8(result)) characters_.insert(code);
}

std::vector<std::string> TypableCharacters::untypable(const std::string& utf8) const {
    std::vector<std::string> missing;
    std::set<char32_t> reported;
    for (const auto& [code, bytes] : decodeUtf8(utf8))
        if (!canType(code) && reported.insert(code).second) missing.push_back(bytes);
    return missing;
}

std::string TypableCharacters::localeComposeFile(const std::string& locale) {
    std::string file = lookUp("compose.dir", locale, false);
    if (file.empty()) {
        const std::string resolved = lookUp("locale.alias", locale, true);
        if (!resolved.empty()) file = lookUp("compose.dir", resolved, false);
    }
    return file.empty() ? std::string() : localeFolder() + "/" + file;
}

std::string TypableCharacters::composeFileFor(const std::string& locale) {
    if (std::string file = environment("XCOMPOSEFILE"); !file.empty()) return file;
    std::string config = environment("XDG_CONFIG_HOME");
    if (config.empty() && !homeFolder().empty()) config = homeFolder() + "/.config";
    if (!config.empty() && isFile(config + "/XCompose")) return config + "/XCompose";
    if (!homeFolder().empty() && isFile(homeFolder() + "/.XCompose")) return homeFolder() + "/.XCompose";
    return localeComposeFile(locale);
}

}  // namespace platform::desktop

#pragma once

#include <set>
#include <string>
#include <vector>
#include <xkbcommon/xkbcommon.h>

namespace platform::desktop {

// The characters a keymap types: those on its keys, at any level of any of
// its groups, and the results of the compose sequences whose every symbol is
// on a key. The compose sequences are read from the same Compose file as
// xkbcommon reads for the locale (this version of xkbcommon cannot list a
// compose table's sequences).
class TypableCharacters {
public:
    // The compose sequences of the file xkbcommon reads for `locale`.
    TypableCharacters(xkb_keymap* keymap, const std::string& locale);

    bool canType(char32_t character) const { return characters_.count(character) > 0; }
    // The characters of `utf8` that cannot be typed, each once, in the order
    // they first appear there, as UTF-8.
    std::vector<std::string> untypable(const std::string& utf8) const;

    // The Compose file xkbcommon reads for `locale`: XCOMPOSEFILE, else
    // $XDG_CONFIG_HOME/XCompose (~/.config/XCompose), else ~/.XCompose, else the locale's own from
    // the X locale folder (XLOCALEDIR, else /usr/share/X11/locale); empty when
    // there is none.
    static std::string composeFileFor(const std::string& locale);
    // The locale's own Compose file, through compose.dir and locale.alias.
    static std::string localeComposeFile(const std::string& locale);

private:
    void addKeys(xkb_keymap* keymap);
    void addComposeFile(const std::string& path, const std::string& locale, int depth);
    void addComposeLine(const std::string& line, const std::string& locale, int depth);

    std::set<xkb_keysym_t> keysyms_;
    std::set<char32_t> characters_;
};

}  // namespace platform::desktop

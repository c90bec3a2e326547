#include "platform/headless/HeadlessLayoutCharacters.h"

#include <algorithm>

namespace platform::headless {

namespace {

std::size_t utf8Length(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

}  // namespace

std::vector<std::string> HeadlessLayoutCharacters::untypable(const std::string& text) {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::string> found;
    for (std::size_t i = 0; i < text.size();) {
        const std::string character = text.substr(i, utf8Length(static_cast<unsigned char>(text[i])));
        i += character.size();
        if (missing_.count(character) && std::find(found.begin(), found.end(), character) == found.end())
            found.push_back(character);
    }
    return found;
}

void HeadlessLayoutCharacters::setMissing(std::set<std::string> characters) {
    std::lock_guard<std::mutex> guard(lock_);
    missing_ = std::move(characters);
}

}  // namespace platform::headless

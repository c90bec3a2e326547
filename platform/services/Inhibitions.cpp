#include "platform/services/Inhibitions.h"

#include <algorithm>

namespace platform {

namespace {

bool isUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        const std::uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < shortest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

// Program-chosen text ends up in the log: one line per entry, whatever it holds.
std::string withoutControlCharacters(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, '?');
    return text;
}

}  // namespace

const char* Inhibitions::describe(Refusal refusal) {
    switch (refusal) {
        case Refusal::TextTooLong: return "the application name or reason is longer than 4096 bytes";
        case Refusal::NotUtf8: return "the application name or reason is not valid UTF-8";
        case Refusal::TooManyForCaller: return "this caller already holds 64 inhibitions";
        case Refusal::TooManyInTotal: return "1024 inhibitions are held already";
        case Refusal::UnknownCookie: return "no inhibition is held under this cookie";
        case Refusal::NotTheOwner: return "the inhibition under this cookie belongs to another caller";
    }
    return "refused";
}

std::variant<std::uint32_t, Inhibitions::Refusal> Inhibitions::inhibit(const std::string& caller,
                                                                       const std::string& application,
                                                                       const std::string& reason) {
    if (application.size() > kMaximumTextBytes || reason.size() > kMaximumTextBytes) return Refusal::TextTooLong;
    if (!isUtf8(application) || !isUtf8(reason)) return Refusal::NotUtf8;
    if (held_.size() >= kMaximumInTotal) return Refusal::TooManyInTotal;
    if (countOf(caller) >= kMaximumPerCaller) return Refusal::TooManyForCaller;
    const std::uint32_t cookie = nextCookie();
    held_[cookie] = {caller, withoutControlCharacters(application), withoutControlCharacters(reason)};
    return cookie;
}

std::optional<Inhibitions::Refusal> Inhibitions::uninhibit(const std::string& caller, std::uint32_t cookie) {
    const auto it = held_.find(cookie);
    if (it == held_.end()) return Refusal::UnknownCookie;
    if (it->second.caller != caller) return Refusal::NotTheOwner;
    held_.erase(it);
    return std::nullopt;
}

std::size_t Inhibitions::callerLeft(const std::string& caller) {
    return std::erase_if(held_, [&caller](const auto& entry) { return entry.second.caller == caller; });
}

std::size_t Inhibitions::countOf(const std::string& caller) const {
    return static_cast<std::size_t>(std::count_if(
        held_.begin(), held_.end(), [&caller](const auto& entry) { return entry.second.caller == caller; }));
}

std::optional<std::string> Inhibitions::anyApplication() const {
    if (held_.empty()) return std::nullopt;
    return held_.begin()->second.application;
}

std::uint32_t Inhibitions::nextCookie() {
    // Cookies are not reused while the old one may still be held; 0 is never one.
    do {
        ++lastCookie_;
    } while (lastCookie_ == 0 || held_.contains(lastCookie_));
    return lastCookie_;
}

}  // namespace platform

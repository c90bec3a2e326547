#include "platform/desktop/xkb/LayoutKeymap.h"

#include <algorithm>
#include <cctype>

namespace platform::desktop {

namespace {

constexpr const char* kPrefix = "xkb:";

bool isName(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
    });
}

}  // namespace

xkb_keymap* compileLayout(xkb_context* context, const std::string& identifier, const std::string& rules,
                          const std::string& model) {
    if (identifier.rfind(kPrefix, 0) != 0) return nullptr;
    std::string layout = identifier.substr(std::string(kPrefix).size()), variant;
    if (const std::size_t open = layout.find('('); open != std::string::npos) {
        if (layout.back() != ')') return nullptr;
        variant = layout.substr(open + 1, layout.size() - open - 2);
        layout.resize(open);
        if (!isName(variant)) return nullptr;
    }
    if (!isName(layout)) return nullptr;
    const xkb_rule_names names{rules.empty() ? nullptr : rules.c_str(), model.empty() ? nullptr : model.c_str(),
                               layout.c_str(), variant.c_str(), nullptr};
    return xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
}

}  // namespace platform::desktop

#include "platform/desktop/x11/XkbInputSources.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XKBrules.h>
#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace platform::desktop {

namespace {

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> parts;
    std::stringstream stream(list);
    std::string part;
    while (std::getline(stream, part, ',')) parts.push_back(part);
    if (!list.empty() && list.back() == ',') parts.emplace_back();
    return parts;
}

}  // namespace

std::vector<std::string> XkbInputSources::identifiersFor(const std::string& layouts, const std::string& variants) {
    const std::vector<std::string> layoutList = split(layouts);
    const std::vector<std::string> variantList = split(variants);
    std::vector<std::string> identifiers;
    for (std::size_t i = 0; i < layoutList.size(); ++i) {
        if (layoutList[i].empty()) continue;
        std::string id = "xkb:" + layoutList[i];
        if (i < variantList.size() && !variantList[i].empty()) id += "(" + variantList[i] + ")";
        identifiers.push_back(id);
    }
    return identifiers;
}

std::vector<std::string> XkbInputSources::groups() {
    XkbRF_VarDefsRec defs{};
    char* rules = nullptr;
    std::vector<std::string> result;
    if (XkbRF_GetNamesProp(session_.display(), &rules, &defs)) {
        result = identifiersFor(defs.layout ? defs.layout : "", defs.variant ? defs.variant : "");
        std::free(rules);
        std::free(defs.model);
        std::free(defs.layout);
        std::free(defs.variant);
        std::free(defs.options);
    }
    // A server that never had its rules named types with the US layout.
    if (result.empty()) result.push_back("xkb:us");
    return result;
}

std::string XkbInputSources::current() {
    XkbStateRec state{};
    const std::vector<std::string> all = groups();
    if (XkbGetState(session_.display(), XkbUseCoreKbd, &state) != Success) return all.front();
    const std::size_t group = state.locked_group;
    return group < all.size() ? all[group] : all.front();
}

std::vector<std::string> XkbInputSources::enabledWithIdentifier(const std::string& identifier) {
    std::vector<std::string> matches;
    for (const std::string& id : groups())
        if (id == identifier) matches.push_back(id);
    return matches;
}

int XkbInputSources::select(const std::string& identifier) {
    const std::vector<std::string> all = groups();
    const auto it = std::find(all.begin(), all.end(), identifier);
    if (it == all.end()) return kNotFound;
    const auto group = static_cast<unsigned>(it - all.begin());
    if (!XkbLockGroup(session_.display(), XkbUseCoreKbd, group)) return kNotFound;
    XSync(session_.display(), False);
    return 0;
}

}  // namespace platform::desktop

#include "shared/TarnwickEvents.h"

const TarnwickEvent* tarnwickEventNamed(std::string_view name) {
    for (const TarnwickEvent& event : kTarnwickEvents)
        if (name == event.name) return &event;
    return nullptr;
}

std::string actionKey(std::string_view prefix, std::string_view action) {
    return std::string(prefix) + "." + std::string(action);
}

std::string photoKey(std::string_view actionKey) { return std::string(actionKey) + ".photo"; }

std::string detailsKey(std::string_view actionKey) { return std::string(actionKey) + ".details"; }

const platform::Dictionary& eventDefaults() {
    static const platform::Dictionary defaults = [] {
        platform::Dictionary d;
        for (const TarnwickEvent& event : kTarnwickEvents) {
            const std::string log = actionKey(event.prefix, kActionLog);
            const std::string script = actionKey(event.prefix, kActionScript);
            const std::string email = actionKey(event.prefix, kActionEmail);
            d[event.prefix] = true;
            d[log] = true;
            d[photoKey(log)] = event.logsPhotoByDefault;
            d[script] = false;
            d[photoKey(script)] = false;
            d[detailsKey(script)] = "";
            d[email] = false;
            d[photoKey(email)] = false;
        }
        return d;
    }();
    return defaults;
}

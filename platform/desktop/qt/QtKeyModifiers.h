#pragma once

#include <Qt>

#include "platform/ui/Event.h"

#include <cstdint>

namespace platform::desktop {

// The platform's event modifier flags for Qt's keyboard modifiers.
inline std::uint32_t eventFlagsFor(Qt::KeyboardModifiers modifiers) {
    std::uint32_t flags = 0;
    if (modifiers & Qt::ShiftModifier) flags |= Event::Shift;
    if (modifiers & Qt::ControlModifier) flags |= Event::Control;
    if (modifiers & Qt::AltModifier) flags |= Event::Option;
    if (modifiers & Qt::MetaModifier) flags |= Event::Command;
    return flags;
}

}  // namespace platform::desktop

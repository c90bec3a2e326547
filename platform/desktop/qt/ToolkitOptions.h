#pragma once

#include <optional>
#include <string_view>

namespace platform::desktop {

// The command-line options that Qt takes out of the arguments when the
// backend creates its application object (QGuiApplication, QApplication and
// the xcb platform plug-in), each with one dash or two: how many values follow
// `argument` (0 or 1), or none when Qt does not know it. Checked before Qt
// starts, so that a misspelt option is refused even where no display answers.
std::optional<int> toolkitOptionValues(std::string_view argument);

}  // namespace platform::desktop

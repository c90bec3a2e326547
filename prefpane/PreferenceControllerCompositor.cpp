#include "prefpane/PreferenceController.h"

#include "platform/services/CompositorSession.h"
#include "platform/services/Input.h"
#include "platform/services/LoginItems.h"
#include "shared/TarnwickPaths.h"

namespace {

constexpr const char* kLockCommand = "tarnwick-ctl lock";
constexpr const char* kShowLogCommand = "tarnwick-ctl log";
// The line shown before a lock hot key is recorded.
constexpr std::int32_t kExampleLockKeyCode = 0x25;  // L
constexpr std::int32_t kExampleLockModifiers = platform::carbon::controlKey | platform::carbon::optionKey;

const char* compositorName(platform::Compositor compositor) {
    switch (compositor) {
        case platform::Compositor::Sway: return "sway";
        case platform::Compositor::Hyprland: return "Hyprland";
        case platform::Compositor::River: return "river";
        case platform::Compositor::X11:
        case platform::Compositor::OtherWayland: break;
    }
    return "the compositor";
}

// A program path as a shell word, for the compositors that start their
// lines through the shell.
std::string shellWord(const std::string& text) {
    if (text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+") ==
        std::string::npos)
        return text;
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string bindLine(const platform::CompositorSession& session, const platform::ShortcutRecorder::KeyCombo& combo,
                     const char* command) {
    return platform::hotKeyBindLine(session.compositor(), session.keyName(combo.code),
                                    platform::ShortcutRecorder::cocoaToCarbonFlags(combo.flags), command);
}

std::string hotKeysNote(const platform::CompositorSession& session,
                        std::optional<platform::ShortcutRecorder::KeyCombo> lockCombo,
                        std::optional<platform::ShortcutRecorder::KeyCombo> showLogCombo) {
    const platform::Compositor compositor = session.compositor();
    std::string note = "On Wayland the lock hot key is set in the compositor, not here.";
    const platform::ShortcutRecorder::KeyCombo lock = lockCombo.value_or(platform::ShortcutRecorder::KeyCombo{
        platform::ShortcutRecorder::carbonToCocoaFlags(kExampleLockModifiers), kExampleLockKeyCode});
    const std::string lockLine = bindLine(session, lock, kLockCommand);
    if (lockLine.empty())
        return note + " Bind a key to \"" + kLockCommand + "\" (and one to \"" + kShowLogCommand +
               "\" for the event log) in the compositor's settings.";
    note += std::string(" Add to ") + compositorName(compositor) + "'s configuration:\n" + lockLine;
    if (showLogCombo) {
        const std::string logLine = bindLine(session, *showLogCombo, kShowLogCommand);
        if (!logLine.empty()) note += "\n" + logLine;
    }
    return note;
}

std::optional<platform::ShortcutRecorder::KeyCombo> recorded(const std::shared_ptr<platform::ShortcutRecorder>& r) {
    if (!r || r->keyCombo().code == platform::ShortcutRecorder::kNoKeyCode) return std::nullopt;
    return r->keyCombo();
}

}  // namespace

void PreferenceController::showCompositorNotes() {
    const bool known = platform::CompositorSession::isInstalled();
    const platform::Compositor compositor =
        known ? platform::CompositorSession::shared().compositor() : platform::Compositor::X11;
    if (hotKeysCompositorNote) {
        hotKeysCompositorNote->setHidden(!platform::bindsHotKeysItself(compositor));
        if (platform::bindsHotKeysItself(compositor))
            hotKeysCompositorNote->setStringValue(hotKeysNote(
                platform::CompositorSession::shared(), recorded(lockScreenHotKeyInput), recorded(showLogHotKeyInput)));
    }
    if (loginCompositorNote) {
        const auto application = TarnwickPaths::pathToApplication();
        const std::string line =
            application
                ? platform::autostartLine(compositor, shellWord(platform::LoginItems::programOfBundle(*application)))
                : std::string();
        const bool shown = !platform::startsAutostartEntries(compositor) && !line.empty();
        loginCompositorNote->setHidden(!shown);
        if (shown)
            loginCompositorNote->setStringValue(std::string(compositorName(compositor)) +
                                                " starts no login items: to start Tarnwick at login, add to its "
                                                "configuration:\n" +
                                                line);
    }
}

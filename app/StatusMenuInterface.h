#pragma once

#include "platform/ui/StatusBar.h"

class Tarnwick;

// The menu of the menu-bar item: Lock, Show log, Preferences…, About, Quit.
platform::MenuRef buildStatusMenu(Tarnwick& owner);

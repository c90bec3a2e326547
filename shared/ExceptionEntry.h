#pragma once

#include <optional>
#include <string>

// An entry of the "exceptions" setting is the path of an application: a
// bundle folder ("….app", named by its Info.plist) or a desktop entry
// ("….desktop", named after the program it starts). The pane shows this
// name and the application compares it with the frontmost process's name,
// so both take it from here.

// None when the entry cannot be read or names no program; such an entry
// never matches a process.
std::optional<std::string> exceptionEntryName(const std::string& path);

// The name the kernel gives a process started from the program `program`
// (a path or a bare file name): its file name, cut to the kernel's length.
std::string processNameOfProgram(const std::string& program);

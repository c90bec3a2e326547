#pragma once

#include "platform/foundation/Object.h"
#include "platform/foundation/Value.h"

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

// The log facility. Levels follow the system log scale, 0 (emergency) to 7
// (debug). The format takes %@ for any object or text and printf conversions
// for numbers and C strings.

namespace qmasl {

// One argument of a log call, kept in a form both %@ and printf conversions can use.
struct Argument {
    std::variant<long long, unsigned long long, double, std::string, const void*> value;
    bool isText = false;

    // clang-format 14 cannot lay out requires-clauses.
    // clang-format off
    Argument(bool b) : value(static_cast<long long>(b)) {}
    template <class T>
        requires(std::is_integral_v<T> && std::is_signed_v<T>)
    Argument(T v) : value(static_cast<long long>(v)) {}
    template <class T>
        requires(std::is_integral_v<T> && std::is_unsigned_v<T> && !std::is_same_v<T, bool>)
    Argument(T v) : value(static_cast<unsigned long long>(v)) {}
    template <class T>
        requires std::is_enum_v<T>
    Argument(T v) : value(static_cast<long long>(v)) {}
    Argument(double v) : value(v) {}
    Argument(float v) : value(static_cast<double>(v)) {}
    Argument(const char* s) : value(std::string(s ? s : "(null)")), isText(true) {}
    Argument(const std::string& s) : value(s), isText(true) {}
    Argument(std::string_view s) : value(std::string(s)), isText(true) {}
    Argument(const platform::Value& v) : value(v.description()), isText(true) {}
    Argument(const platform::Object* o) : value(o ? o->description() : std::string("(null)")), isText(true) {}
    Argument(const platform::Object& o) : value(o.description()), isText(true) {}
    template <class T>
        requires std::is_base_of_v<platform::Object, T>
    Argument(const std::shared_ptr<T>& o) : value(o ? o->description() : std::string("(null)")), isText(true) {}
    // clang-format on
    Argument(const void* p) : value(p) {}
};

// The message with every conversion applied.
std::string format(const char* format, const std::vector<Argument>& arguments);
// The same for arguments a C caller passed (the plain _qm_asl_log): %@ and
// %s take a NUL-terminated UTF-8 text, the other conversions their C types.
std::string formatCArguments(const char* format, std::va_list arguments);

// Whether a call of this level is written, reading "logLevel" first if needed.
bool shouldLog(std::int16_t level);
void write(const char* file, std::int32_t line, std::int16_t level, const std::string& message);

// The process-wide level (-1 = not read yet).
std::int16_t currentLevel();
void resetLevelForTesting(std::int16_t level = -1);

}  // namespace qmasl

template <class... Args>
void _qm_asl_log(const char* file, std::int32_t line, std::int16_t level, const char* format, const Args&... args) {
    if (!qmasl::shouldLog(level)) return;
    qmasl::write(file, line, level, qmasl::format(format, {qmasl::Argument(args)...}));
}

// Sets the level (the low 16 bits) and stores it under "logLevel" in the
// standard defaults. A plain symbol, which the pane exports.
extern "C" void qm_asl_set_log_level(std::int32_t level);

#define QMLog(level, ...) _qm_asl_log(__FILE__, __LINE__, static_cast<std::int16_t>(level), __VA_ARGS__)

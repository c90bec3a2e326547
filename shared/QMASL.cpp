#include "shared/QMASL.h"

#include "platform/foundation/Defaults.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/LogSink.h"
#include "shared/ThreadNumber.h"

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace qmasl {

namespace {

// The process-wide level; -1 until read from the defaults. An atomic so that
// threads making their first call together read and store without a race.
std::atomic<std::int16_t> logLevel{-1};

struct Conversion {
    std::string spec;  // "%-08.3l" without the conversion character
    char type = 0;
    std::size_t length = 0;  // characters consumed from the format
};

Conversion parseConversion(const char* f) {
    Conversion c;
    std::size_t i = 1;
    auto in = [&](const char* set) { return f[i] && std::string_view(set).find(f[i]) != std::string_view::npos; };
    while (in("-+ #0'")) ++i;
    while (in("0123456789*")) ++i;
    if (f[i] == '.') {
        ++i;
        while (in("0123456789*")) ++i;
    }
    const std::size_t lengthStart = i;
    while (in("hlqLjzt")) ++i;
    c.spec.assign(f, lengthStart);
    c.type = f[i];
    c.length = f[i] ? i + 1 : i;
    return c;
}

std::string textOf(const Argument& a) {
    if (const auto* s = std::get_if<std::string>(&a.value)) return *s;
    if (const auto* i = std::get_if<long long>(&a.value)) return std::to_string(*i);
    if (const auto* u = std::get_if<unsigned long long>(&a.value)) return std::to_string(*u);
    if (const auto* d = std::get_if<double>(&a.value)) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%g", *d);
        return buf;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%p", std::get<const void*>(a.value));
    return buf;
}

long long integerOf(const Argument& a) {
    if (const auto* i = std::get_if<long long>(&a.value)) return *i;
    if (const auto* u = std::get_if<unsigned long long>(&a.value)) return static_cast<long long>(*u);
    if (const auto* d = std::get_if<double>(&a.value)) return static_cast<long long>(*d);
    return 0;
}

double realOf(const Argument& a) {
    if (const auto* d = std::get_if<double>(&a.value)) return *d;
    return static_cast<double>(integerOf(a));
}

std::string convert(const Conversion& c, const Argument& a) {
    char buf[512];
    const std::string spec = c.spec;
    switch (c.type) {
        case 'd':
        case 'i': std::snprintf(buf, sizeof buf, (spec + "lld").c_str(), integerOf(a)); return buf;
        case 'u':
        case 'x':
        case 'X':
        case 'o':
            std::snprintf(buf, sizeof buf, (spec + "ll" + c.type).c_str(),
                          static_cast<unsigned long long>(integerOf(a)));
            return buf;
        case 'c': std::snprintf(buf, sizeof buf, (spec + "c").c_str(), static_cast<int>(integerOf(a))); return buf;
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G': std::snprintf(buf, sizeof buf, (spec + c.type).c_str(), realOf(a)); return buf;
        case 'p':
            if (const auto* p = std::get_if<const void*>(&a.value)) {
                std::snprintf(buf, sizeof buf, "%p", *p);
                return buf;
            }
            return textOf(a);
        default:  // %s, %@ and anything unknown: the argument's text
            return textOf(a);
    }
}

// The argument a C caller passed for a conversion, read with the type its
// length modifiers and conversion character give it.
Argument nextArgument(char type, std::string_view lengthModifiers, std::va_list& arguments) {
    const bool isLongLong = lengthModifiers == "ll" || lengthModifiers == "q";
    switch (type) {
        case 'd':
        case 'i':
            if (isLongLong) return va_arg(arguments, long long);
            if (lengthModifiers == "l") return va_arg(arguments, long);
            if (lengthModifiers == "z" || lengthModifiers == "t") return va_arg(arguments, std::ptrdiff_t);
            if (lengthModifiers == "j") return va_arg(arguments, std::intmax_t);
            return va_arg(arguments, int);
        case 'u':
        case 'x':
        case 'X':
        case 'o':
            if (isLongLong) return va_arg(arguments, unsigned long long);
            if (lengthModifiers == "l") return va_arg(arguments, unsigned long);
            if (lengthModifiers == "z" || lengthModifiers == "t") return va_arg(arguments, std::size_t);
            if (lengthModifiers == "j") return va_arg(arguments, std::uintmax_t);
            return va_arg(arguments, unsigned int);
        case 'c': return va_arg(arguments, int);
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
            if (lengthModifiers == "L") return static_cast<double>(va_arg(arguments, long double));
            return va_arg(arguments, double);
        case 'p': return va_arg(arguments, const void*);
        default:  // %s and %@: a C caller's text
            return va_arg(arguments, const char*);
    }
}

}  // namespace

std::string formatCArguments(const char* format, std::va_list arguments) {
    std::va_list remaining;
    va_copy(remaining, arguments);
    std::string rewritten;
    std::vector<Argument> values;
    for (const char* f = format; *f;) {
        if (*f != '%' || f[1] == '%') {
            const std::size_t n = *f == '%' ? 2 : 1;
            rewritten.append(f, n);
            f += n;
            continue;
        }
        const Conversion c = parseConversion(f);
        if (c.type == 0) {
            rewritten += f;
            break;
        }
        // Widths and precisions given as arguments become part of the text.
        for (char ch : c.spec) rewritten += ch == '*' ? std::to_string(va_arg(remaining, int)) : std::string(1, ch);
        const std::string_view lengthModifiers(f + c.spec.size(), c.length - 1 - c.spec.size());
        rewritten.append(lengthModifiers).push_back(c.type);
        values.push_back(nextArgument(c.type, lengthModifiers, remaining));
        f += c.length;
    }
    va_end(remaining);
    return qmasl::format(rewritten.c_str(), values);
}

std::string format(const char* format, const std::vector<Argument>& arguments) {
    std::string out;
    std::size_t next = 0;
    for (const char* f = format; *f;) {
        if (*f != '%') {
            out += *f++;
            continue;
        }
        if (f[1] == '%') {
            out += '%';
            f += 2;
            continue;
        }
        const Conversion c = parseConversion(f);
        if (c.type == 0) {
            out += f;
            break;
        }
        // Arguments are substituted as they stand: their own percent signs are
        // never read as conversions.
        out += next < arguments.size() ? convert(c, arguments[next]) : std::string("(null)");
        ++next;
        f += c.length;
    }
    return out;
}

bool shouldLog(std::int16_t level) {
    std::int16_t current = logLevel.load(std::memory_order_relaxed);
    if (current == -1) {
        const platform::Value stored = platform::Defaults::standard().valueForKey("logLevel");
        current = stored.isNull() ? 4 : stored.shortValue();
        logLevel.store(current, std::memory_order_relaxed);
    }
    return current >= level;
}

void write(const char* file, std::int32_t line, std::int16_t level, const std::string& message) {
    const std::int16_t current = logLevel.load(std::memory_order_relaxed);
    if (current == 7 || level <= 4) {
        const std::string prefix = std::to_string(ThreadNumber::current()) + ":" +
                                   platform::paths::lastComponent(file ? file : "") + ":" + std::to_string(line) + " ";
        platform::LogSink::write(prefix + message);
    } else {
        platform::LogSink::write(message);
    }
}

std::int16_t currentLevel() { return logLevel.load(); }

void resetLevelForTesting(std::int16_t level) { logLevel.store(level); }

}  // namespace qmasl

extern "C" void _qm_asl_log(const char* file, std::int32_t line, std::int16_t level, const char* format, ...) {
    if (!format || !qmasl::shouldLog(level)) return;
    std::va_list arguments;
    va_start(arguments, format);
    const std::string message = qmasl::formatCArguments(format, arguments);
    va_end(arguments);
    qmasl::write(file, line, level, message);
}

extern "C" void qm_asl_set_log_level(std::int32_t level) {
    const auto low = static_cast<std::int16_t>(level & 0xFFFF);
    qmasl::resetLevelForTesting(low);
    platform::Defaults::standard().setValue(platform::Value(static_cast<int>(low)), "logLevel");
}

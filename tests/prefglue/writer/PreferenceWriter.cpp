// Stores one value in an application's preferences domain from a process of
// its own: prefglue_test_writer <domain> <key> <bool|integer|real|string> <text>
#include "platform/foundation/Defaults.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s domain key bool|integer|real|string text\n", argv[0]);
        return 2;
    }
    const std::string domain = argv[1], key = argv[2], kind = argv[3], text = argv[4];
    platform::Value value;
    if (kind == "bool")
        value = platform::Value(text == "true");
    else if (kind == "integer")
        value = platform::Value(std::stoll(text));
    else if (kind == "real")
        value = platform::Value(std::stod(text));
    else if (kind == "string")
        value = platform::Value(text);
    else
        return 2;
    platform::preferences::setAppValue(key, value, domain);
    return platform::preferences::appSynchronize(domain) ? 0 : 1;
}

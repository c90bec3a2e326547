#include "platform/foundation/AssertionHandler.h"

#include <cstdio>

namespace platform {

void handleFailureInMethod(const std::string& method, const std::string& file, int line,
                           const std::string& description) {
    std::fprintf(stderr, "*** Assertion failure in %s, %s:%d: %s\n", method.c_str(), file.c_str(), line,
                 description.c_str());
    throw AssertionFailure(method, file, line, description);
}

}  // namespace platform

#include "shared/ThreadNumber.h"

#include "platform/foundation/Thread.h"

namespace ThreadNumber {

int current() { return platform::Thread::currentNumber(); }

}  // namespace ThreadNumber

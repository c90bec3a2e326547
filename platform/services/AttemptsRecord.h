#pragma once

#include "platform/services/Service.h"

namespace platform {

// Where the lock screen's count of wrong passwords goes besides the lock
// screen: a process that takes the lock over should the application die
// carries the count and a running wait on, so that ending the application
// buys no fresh guesses.
class AttemptsRecord : public Service<AttemptsRecord> {
public:
    virtual ~AttemptsRecord() = default;
    // `wrong` passwords since the lock began or the last wait ended;
    // `waitSeconds` until a running wait ends, 0 without one.
    virtual void record(int wrong, double waitSeconds) = 0;
};

}  // namespace platform

#pragma once

// The number that tells threads apart in log lines: 1 for the main thread,
// then one stable number per thread.
namespace ThreadNumber {
int current();
}

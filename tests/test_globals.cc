// The RetryEvent and AbortEvent of the test binaries and helpers, which the
// product's code refers to. They do not link Src/VTDropper/process_globals.cc:
// its start-up objects would start the product's ETW session in every test
// process.
#include "Src/VTDropper/process_globals.h"

HANDLE RetryEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
HANDLE AbortEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);

// The one kind of failure that desktop operations and core routines raise.
#pragma once

#include <stdexcept>

// Raised by any desktop operation or core routine that cannot do its job. Callers never tell
// one failure from another: they either catch Failure where the behaviour says so, or let it
// travel on.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

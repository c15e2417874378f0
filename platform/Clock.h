#pragma once
// Port: the wall clock in local time.

namespace platform {

// Seconds since local midnight (0..86399, 86400 in a leap second).
int LocalSecondsOfDay();

}  // namespace platform

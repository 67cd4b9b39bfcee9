#pragma once

namespace core {

// Whether the PC's clock is kept right by a time service.
enum class ClockSync { synchronised, unsynchronised, unknown };

// What the system says now: on Linux the kernel's unsynchronised flag (ntp_adjtime), which a
// time service clears while it keeps the clock; elsewhere unknown.
ClockSync system_clock_sync();

// How a program that sets the boards' clocks treats an unsynchronised PC clock: not at all,
// by saying so, or also by holding its corrections of the boards' clocks until it is right.
enum class ClockCheckMode { off, warn, hold };

}  // namespace core

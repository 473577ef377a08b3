// Time sources of the engine. Ticks are milliseconds of a monotonic clock
// kept as an unsigned 32-bit count (it wraps after 49 days, so compare ticks
// by difference). File times are 64-bit counts of 100 ns since 1601-01-01
// UTC, the form in which link records and settings keep modification times.
#pragma once

#include <cstdint>
#include <ctime>

namespace sg {

uint32_t tickCount();

using FileTime = uint64_t;

FileTime fileTimeFromUnix(const timespec& ts);
timespec unixFromFileTime(FileTime ft);
FileTime fileTimeFromTimeT(time_t t);
time_t timeTFromFileTime(FileTime ft);
FileTime currentFileTime();

}  // namespace sg

#pragma once

#include <windows.h>

namespace morvane::bench {

// The local time of day in milliseconds, to the system clock's own precision
// (GetLocalTime stops at whole milliseconds).
inline double PreciseLocalMsOfDay() {
    FILETIME utc{}, local{};
    GetSystemTimePreciseAsFileTime(&utc);
    FileTimeToLocalFileTime(&utc, &local);
    ULARGE_INTEGER since1601{};
    since1601.LowPart = local.dwLowDateTime;
    since1601.HighPart = local.dwHighDateTime;
    // FILETIME counts 100 ns units from a midnight.
    constexpr ULONGLONG kUnitsPerDay = 864'000'000'000ULL;
    return static_cast<double>(since1601.QuadPart % kUnitsPerDay) / 10'000.0;
}

}  // namespace morvane::bench

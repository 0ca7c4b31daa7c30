// The rule that carries Windows' 32-bit millisecond count (GetTickCount, which wraps every 49.7
// days) on as a 64-bit count, for the XP stand-in of GetTickCount64. A plain function without
// <windows.h>, so that it is tested natively.
#pragma once

#include <cstdint>

// The 64-bit count for a 32-bit reading `now`, given the last 64-bit count handed out (0 for
// none yet). The reading is taken as the nearer of the two ways round from the last count: ahead
// of it, the count moves on by the difference, across a wrap too; behind it (another thread
// handed out a newer count in between), the count stays where it is, so it never runs backwards
// nor jumps a whole wrap ahead. Right as long as the count is asked at least every 24.8 days.
constexpr uint64_t ExtendTickCount(uint64_t last, uint32_t now) {
    if (last == 0)
        return now;
    uint32_t ahead = now - static_cast<uint32_t>(last);
    return ahead < 0x80000000u ? last + ahead : last;
}

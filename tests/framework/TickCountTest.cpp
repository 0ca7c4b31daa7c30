// The XP stand-in for GetTickCount64: the 32-bit count carried on across its wrap, never
// backwards and never a wrap ahead when another thread's newer count got in first.
#include <gtest/gtest.h>

#include "TickCount.h"

namespace {

struct Case {
    const char* name;
    uint64_t last;
    uint32_t now;
    uint64_t expected;
};

TEST(TickCount, Table) {
    const Case cases[] = {
        {"first reading", 0, 5, 5},
        {"first reading after 25 days up", 0, 0x90000000u, 0x90000000u},
        {"moves on", 100, 150, 150},
        {"across the wrap", 0xFFFFFFF0u, 0x10, 0x100000010u},
        {"across the second wrap", 0x1FFFFFFFFu, 0x1, 0x200000001u},
        {"a day after the wrap", 0x100000010u, 86400010u, 0x100000000u + 86400010u},
        {"older reading stays", 200, 150, 200},
        {"older reading from before the wrap stays", 0x100000010u, 0xFFFFFFF0u, 0x100000010u},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExtendTickCount(c.last, c.now), c.expected) << c.name;
}

}  // namespace

// The loop's idle rule: which retrieved messages start a new idle period.
#include <gtest/gtest.h>

#include "IdleRule.h"

namespace {

TEST(IdleRule, PaintAndMouseMovesAndCaretTimerDoNotRestartIdle) {
    for (unsigned message : {0x000Fu, 0x00A0u, 0x0200u, 0x0118u})
        EXPECT_FALSE(RestartsIdle(message)) << std::hex << message;
}

TEST(IdleRule, EveryOtherMessageRestartsIdle) {
    // Neighbours of the four exceptions, and the messages a user's actions bring.
    const unsigned others[] = {0x0000, 0x0002, 0x000E, 0x0010, 0x0014, 0x0020, 0x009F,
                               0x00A1, 0x0100, 0x0111, 0x0113, 0x0117, 0x0119, 0x01FF,
                               0x0201, 0x0202, 0x02A3, 0x0400, 0x0464, 0x8000, 0xC000};
    for (unsigned message : others)
        EXPECT_TRUE(RestartsIdle(message)) << std::hex << message;
}

}  // namespace

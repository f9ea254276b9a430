#include <gtest/gtest.h>
#include "crc.h"
TEST(Smoke, Crc) {
    uint8_t f[] = {1, 3, 0, 0, 0, 3};
    EXPECT_EQ(ups::crc16(f, 6), 0xCB05);
}

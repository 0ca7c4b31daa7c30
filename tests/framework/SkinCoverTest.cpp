// The skin's size on the main window: as it is where it covers the client area, else scaled up
// evenly, covering every client size without a pixel short and without stretching more than that.
#include <gtest/gtest.h>

#include "SkinCover.h"

namespace {

constexpr SkinSize kSkin{389, 180};

TEST(SkinCover, AsItIsWhereItCovers) {
    for (SkinSize client : {SkinSize{389, 180}, SkinSize{389, 177}, SkinSize{300, 150}}) {
        SkinSize got = SkinCover(client, kSkin);
        EXPECT_EQ(got.width, kSkin.width);
        EXPECT_EQ(got.height, kSkin.height);
    }
}

TEST(SkinCover, EveryLargerClientIsCoveredByTheLeastEvenScale) {
    for (int w = 300; w <= 1200; w += 7) {
        for (int h = 150; h <= 600; h += 3) {
            if (w <= kSkin.width && h <= kSkin.height)
                continue;
            SkinSize got = SkinCover({w, h}, kSkin);
            ASSERT_TRUE(got.width >= w && got.height >= h) << w << "x" << h;
            // One side fits exactly, the other keeps the skin's proportion to the pixel.
            ASSERT_TRUE(got.width == w || got.height == h) << w << "x" << h;
            ASSERT_LT((got.width - 1) * kSkin.height, got.height * kSkin.width) << w << "x" << h;
            ASSERT_LT((got.height - 1) * kSkin.width, got.width * kSkin.height) << w << "x" << h;
        }
    }
}

}  // namespace

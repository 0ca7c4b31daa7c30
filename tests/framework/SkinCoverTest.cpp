// The skin's size on the main window: as it is where it covers the client area, else scaled up
// evenly, covering every client size without a pixel short and without stretching more than that.
#include <gtest/gtest.h>

#include "SkinCover.h"

namespace {

TEST(SkinCover, EveryClientIsCoveredByTheSkinAsItIsOrByTheLeastEvenScale) {
    const SkinSize skin{389, 180};
    for (int w = 300; w <= 1200; w += 7) {
        for (int h = 150; h <= 600; h += 3) {
            SkinSize got = SkinCover({w, h}, skin);
            if (w <= skin.width && h <= skin.height) {
                ASSERT_TRUE(got.width == skin.width && got.height == skin.height) << w << "x" << h;
                continue;
            }
            ASSERT_TRUE(got.width >= w && got.height >= h) << w << "x" << h;
            // One side fits exactly, the other keeps the skin's proportion to the pixel.
            ASSERT_TRUE(got.width == w || got.height == h) << w << "x" << h;
            ASSERT_LT((got.width - 1) * skin.height, got.height * skin.width) << w << "x" << h;
            ASSERT_LT((got.height - 1) * skin.width, got.width * skin.height) << w << "x" << h;
        }
    }
}

}  // namespace

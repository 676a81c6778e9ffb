// A whole upgrade on real loopback sockets and real time, against one
// emulated collector.
#include "loopback_upgrade.h"

#include <gtest/gtest.h>

using core::Mode;

namespace {

TEST(WholeUpgrade, FewBlocksEndCompleteAndTheCollectorHoldsTheImage) {
    std::string image; // 3 blocks, the last one short
    for (int i = 0; i < 700; ++i)
        image += static_cast<char>((i * 37) & 0xFF);

    const auto run = RunLoopbackUpgrade("S9.99.bin", image, std::chrono::seconds(20));

    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.versionText, "S9.99");
    EXPECT_EQ(run.notices, std::vector<std::string>{"升级完成"});
    EXPECT_EQ(run.modeAfter, Mode::Empty);
    EXPECT_EQ(run.collectorImage, image);
    EXPECT_EQ(run.queries, 1);
    // 3 × 150 ms + 5000 ms before the first query.
    EXPECT_GE(run.elapsed, std::chrono::milliseconds(5450));
}

} // namespace

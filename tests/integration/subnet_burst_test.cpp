// Replies of a whole /24 arriving back to back while the UI thread is busy
// must all reach the device list: the socket's receive buffer has to hold them.
#include "subnet_burst.h"

#include <gtest/gtest.h>

namespace {

TEST(SubnetBurst, AllRepliesOfAFullSubnetAreListedAfterAStall) {
    const auto burst = RunSubnetBurst(254);
    ASSERT_TRUE(burst.sent);
    EXPECT_EQ(burst.listed, 254u) << "receive buffer " << burst.receiveBufferBytes << " bytes";
}

} // namespace

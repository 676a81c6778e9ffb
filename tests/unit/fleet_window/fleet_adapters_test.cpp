// Which adapter the fleet window chooses when its list is read again.
#include "gui/fleet/shell/fleet_adapters.h"

#include <gtest/gtest.h>

using fleetui::OfferAdapters;
using platform::NetworkAdapter;

namespace {

NetworkAdapter Adapter(const char* name, const char* address, bool running = true) {
    NetworkAdapter adapter;
    adapter.name = name;
    adapter.address = address;
    adapter.prefixLength = 24;
    adapter.loopback = address[0] == '1' && address[1] == '2' && address[2] == '7';
    adapter.running = running;
    return adapter;
}

} // namespace

TEST(FleetAdapters, TheOnlyAdapterThatCanReachCollectorsIsChosenByItself) {
    // Loopback, a self-assigned address and a port without carrier do not count.
    const std::vector<NetworkAdapter> laptop = {
        Adapter("lo", "127.0.0.1"), Adapter("wlan0", "169.254.7.7"),
        Adapter("eth1", "10.0.0.5", /*running=*/false), Adapter("eth0", "192.168.1.20")};
    const auto offered = OfferAdapters(laptop, "", "", "");
    ASSERT_EQ(offered.chosen, 3);
    EXPECT_EQ(offered.Labels()[3], "eth0  192.168.1.20/24");
    // Two that could: the operator chooses.
    auto two = laptop;
    two[2].running = true;
    EXPECT_EQ(OfferAdapters(two, "", "", "").chosen, -1);
    // ...unless one was remembered from the last run.
    EXPECT_EQ(OfferAdapters(two, "", "", "eth1").chosen, 2);
}

TEST(FleetAdapters, TheChosenAdapterStaysChosenWhileListedAtItsNewAddress) {
    const std::vector<NetworkAdapter> before = {Adapter("eth0", "192.168.1.20"),
                                                Adapter("eth1", "10.0.0.5")};
    // eth1 chosen by hand (eth0 remembered from an earlier run); eth1's
    // address changes and an adapter appears in front of it.
    const std::vector<NetworkAdapter> after = {Adapter("usb0", "172.16.0.2"),
                                               Adapter("eth0", "192.168.1.20"),
                                               Adapter("eth1", "10.0.0.9")};
    const auto offered = OfferAdapters(after, before[1].name, before[1].address, "eth0");
    ASSERT_EQ(offered.chosen, 2);
    EXPECT_EQ(offered.adapters[2].address, "10.0.0.9");
    // An adapter with two addresses keeps the one that was chosen.
    const std::vector<NetworkAdapter> twoAddresses = {Adapter("eth1", "10.0.0.5"),
                                                      Adapter("eth1", "10.0.1.5")};
    EXPECT_EQ(OfferAdapters(twoAddresses, "eth1", "10.0.1.5", "").chosen, 1);
    // Gone: the remembered one takes its place.
    EXPECT_EQ(OfferAdapters({Adapter("eth0", "192.168.1.20")}, "eth1", "10.0.0.5", "eth0").chosen,
              0);
}

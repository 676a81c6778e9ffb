// collector-fleet on an adapter whose subnet is narrower than a /24: the sweep
// and every target stay inside the adapter's own subnet, even where a route
// would carry datagrams to the rest of the /24.
#include "netns_fixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <set>
#include <string>

using nlohmann::json;

TEST(FleetSubnetE2e, Slash26Adapter_SweepsAndTargetsOnlyItsOwnHosts) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(2, 100));
    ASSERT_TRUE(net.Ok()) << net.Error();
    // The tool's adapter becomes 198.51.100.1/26 (hosts .1 .. .62); a route
    // for the whole /24 stays, so only the program keeps .63 .. .100 unprobed.
    const std::string own = std::string(e2e::kToolAddress);
    for (const std::vector<std::string>& step :
         {std::vector<std::string>{"ip", "addr", "del", own + "/24", "dev", "veth0"},
          std::vector<std::string>{"ip", "addr", "add", own + "/26", "dev", "veth0"},
          std::vector<std::string>{"ip", "route", "add", "198.51.100.0/24", "dev", "veth0"}}) {
        std::string output;
        ASSERT_EQ(net.RunInTool(step, &output), 0) << output;
    }
    const std::string summary = net.ScratchDir() + "/summary.json";
    const pid_t emulator =
        e2e::StartEmulatorInField(net, COLLECTOR_EMULATOR_PATH, "field",
                                  {"--address", "198.51.100.2-100", "--summary", summary});

    std::string listing;
    EXPECT_EQ(net.RunInTool({"sh", "-c", "exec \"$0\" \"$@\" 2>/dev/null", COLLECTOR_FLEET_PATH,
                             "discover", "--format", "json", "--sweeps", "1", "--wait", "500"},
                            &listing),
              0);
    std::set<std::string> listed;
    for (const auto& entry : json::parse(listing))
        listed.insert(entry.at("ip").get<std::string>());
    const auto inside = e2e::FieldRange(2, 62);
    EXPECT_EQ(listed, std::set<std::string>(inside.begin(), inside.end())) << listing;

    const std::string image = net.ScratchDir() + "/S1.02.bin";
    e2e::WriteImage(image, 300);
    std::string refusal;
    EXPECT_EQ(net.RunInTool({COLLECTOR_FLEET_PATH, "upgrade", "--image", image, "--target",
                             "198.51.100.64", "--yes"},
                            &refusal),
              2);
    EXPECT_NE(refusal.find("198.51.100.64 lies outside 198.51.100.0/26"), std::string::npos)
        << refusal;

    EXPECT_EQ(net.Terminate(emulator), 0);
    for (const auto& collector : json::parse(e2e::ReadFile(summary)).at("collectors")) {
        const std::string address = collector.at("address");
        const int host = std::stoi(address.substr(address.rfind('.') + 1));
        EXPECT_EQ(collector.at("probes").get<int>() > 0, host <= 62) << address;
        EXPECT_EQ(collector.at("requests"), 0) << address;
    }
}

// The emulator as a separate process in the field namespace, driven by a
// small in-test tool side in the tool namespace: proves the namespaces, the
// veth pair, the addresses and the emulator before the real program joins.
#include "collector_emulator.h"
#include "frame_codec.h"
#include "netns_fixture.h"
#include "tool_side.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;
namespace emu = collector_emulator;

namespace {

const std::string kProbe("\xFF\x04\x03\xFB", 4);

// Starts one emulator process in the field and waits until it is bound.
pid_t StartEmulator(e2e::NetnsFixture& net, const std::string& tag,
                    const std::vector<std::string>& options) {
    return e2e::StartEmulatorInField(net, COLLECTOR_EMULATOR_PATH, tag, options);
}

std::string Block(const std::string& hex, std::uint32_t index) {
    return emu::BuildFrame("UD" + emu::HexNumber(index) + hex.substr(index * 600, 600));
}

// Sends `frame` to the collector's upgrade port and waits for one valid reply.
// A bounded number of attempts, so a lost datagram does not fail the test.
std::optional<std::string> Ask(e2e::ToolSide& tool, const std::string& address,
                               const std::string& frame) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!tool.Send(address, 8000, frame))
            return std::nullopt;
        if (auto reply = tool.Receive(1500ms))
            return emu::CheckedPayload(reply->bytes);
    }
    return std::nullopt;
}

} // namespace

TEST(EmulatorField, ProbeToThreeCollectors_EachAnswersWithItsSerialAndVersion) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 12));
    ASSERT_TRUE(net.Ok()) << net.Error();
    const std::string summary = net.ScratchDir() + "/summary.json";
    // The second collector's serial is GBK bytes ("采集6" in GBK), as a
    // Chinese collector may send.
    const pid_t emulator = StartEmulator(net, "three",
                                         {"--address",
                                          "198.51.100.10,198.51.100.11=\xB2\xC9\xBC\xAF"
                                          "6#V2.00,198.51.100.12",
                                          "--version", "S1.07", "--summary", summary});

    std::map<std::string, std::string> replies;
    {
        e2e::NetnsFixture::InNamespace in(net.ToolNamespace());
        ASSERT_TRUE(in.Ok());
        e2e::ToolSide tool(23);
        ASSERT_TRUE(tool.Bound());
        for (const auto& address : net.FieldAddresses())
            EXPECT_TRUE(tool.Send(address, 23, kProbe)) << address;
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (replies.size() < 3 && std::chrono::steady_clock::now() < deadline)
            if (auto d = tool.Receive(200ms))
                replies[d->sender] = d->bytes;
    }
    EXPECT_EQ(replies, (std::map<std::string, std::string>{
                           {"198.51.100.10", "\x1B"
                                             "8100010#S1.07\x05"},
                           {"198.51.100.11", "\x1B\xB2\xC9\xBC\xAF"
                                             "6#V2.00\x05"},
                           {"198.51.100.12", "\x1B"
                                             "8100012#S1.07\x05"},
                       }));

    EXPECT_EQ(net.Terminate(emulator), 0) << "emulator must end cleanly on SIGTERM:\n"
                                          << net.LogOf(emulator);
    const auto json = nlohmann::json::parse(e2e::ReadFile(summary), nullptr, false);
    ASSERT_TRUE(json.is_object()) << e2e::ReadFile(summary);
    const auto& collectors = json.at("collectors");
    ASSERT_EQ(collectors.size(), 3u);
    for (const auto& c : collectors)
        EXPECT_EQ(c.at("probes"), 1) << c.at("address");
    EXPECT_EQ(collectors[1].at("serial"), "\xE9\x87\x87\xE9\x9B\x86"
                                          "6");
    EXPECT_EQ(collectors[1].at("serial_hex"), "B2C9BCAF36");
    EXPECT_EQ(collectors[1].at("version"), "V2.00");
}

TEST(EmulatorField, UpgradeAcrossTheLink_LostBlockIsListedResentAndTheImageWritten) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 10));
    ASSERT_TRUE(net.Ok()) << net.Error();
    const std::string imagePattern = net.ScratchDir() + "/image-%a.bin";
    const pid_t emulator = StartEmulator(net, "upgrade",
                                         {"--address", "198.51.100.10", "--drop-blocks", "2",
                                          "--image-out", imagePattern, "--start-block", "0"});
    std::string image;
    for (int i = 0; i < 1000; ++i)
        image += static_cast<char>(i * 13 + 1);
    std::string hex;
    for (unsigned char b : image) {
        hex += "0123456789ABCDEF"[b >> 4];
        hex += "0123456789ABCDEF"[b & 0xF];
    }
    {
        e2e::NetnsFixture::InNamespace in(net.ToolNamespace());
        ASSERT_TRUE(in.Ok());
        e2e::ToolSide tool(8000);
        ASSERT_TRUE(tool.Bound());
        EXPECT_EQ(Ask(tool, "198.51.100.10", emu::BuildFrame("LUS1.020004")), "R0000");
        for (std::uint32_t i = 0; i < 4; ++i) {
            tool.Send("198.51.100.10", 8000, Block(hex, i));
            std::this_thread::sleep_for(5ms);
        }
        EXPECT_EQ(Ask(tool, "198.51.100.10", emu::BuildFrame("EN")), "R00010002");
        tool.Send("198.51.100.10", 8000, Block(hex, 2));
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(Ask(tool, "198.51.100.10", emu::BuildFrame("EN")), "R");

        // Once complete, the collector reports the version it was given.
        e2e::ToolSide search(23);
        ASSERT_TRUE(search.Bound());
        std::optional<e2e::ToolSide::Datagram> reply;
        for (int attempt = 0; attempt < 3 && !reply; ++attempt) {
            search.Send("198.51.100.10", 23, kProbe);
            reply = search.Receive(1500ms);
        }
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->bytes, "\x1B"
                                "8100010#S1.02\x05");
    }
    EXPECT_EQ(net.Terminate(emulator), 0);
    EXPECT_EQ(e2e::ReadFile(net.ScratchDir() + "/image-198.51.100.10.bin"), image);
}

TEST(EmulatorField, EmulatorEndsByItselfAtItsRunLimit) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 10));
    ASSERT_TRUE(net.Ok()) << net.Error();
    const pid_t emulator = net.SpawnInField(
        {COLLECTOR_EMULATOR_PATH, "--address", "198.51.100.10", "--run-seconds", "1"});
    ASSERT_GT(emulator, 0);
    EXPECT_EQ(net.WaitExit(emulator, 5s), 0) << net.LogOf(emulator);
}

TEST(NetnsFixture, NamespacesAreIsolatedAndGoneAfterTeardown) {
    E2E_REQUIRE_NAMESPACES();
    std::string tool, field;
    {
        e2e::NetnsFixture net(e2e::FieldRange(10, 11));
        ASSERT_TRUE(net.Ok()) << net.Error();
        tool = net.ToolNamespace();
        field = net.FieldNamespace();
        EXPECT_NE(tool, field);

        // The tool side sees lo and its veth end only, and has no default route.
        std::string links, routes;
        ASSERT_EQ(net.RunInTool({"ip", "-o", "link", "show"}, &links), 0);
        EXPECT_NE(links.find("lo:"), std::string::npos);
        EXPECT_NE(links.find("veth0@"), std::string::npos);
        // Count interface lines only: `ip` may add a warning on stderr when
        // other namespaces come and go meanwhile.
        int interfaces = 0;
        std::istringstream lines(links);
        for (std::string line; std::getline(lines, line);)
            interfaces +=
                !line.empty() && std::isdigit(static_cast<unsigned char>(line[0])) ? 1 : 0;
        EXPECT_EQ(interfaces, 2) << links;
        ASSERT_EQ(net.RunInTool({"ip", "route", "show", "default"}, &routes), 0);
        EXPECT_EQ(routes, "");

        // A thread inside the tool namespace reaches the field, cannot leave the
        // namespace's network, and is back home afterwards.
        struct stat before {
        }, after{};
        ASSERT_EQ(::stat("/proc/thread-self/ns/net", &before), 0);
        {
            e2e::NetnsFixture::InNamespace in(net.ToolNamespace());
            ASSERT_TRUE(in.Ok());
            struct stat inside {};
            ASSERT_EQ(::stat("/proc/thread-self/ns/net", &inside), 0);
            EXPECT_NE(inside.st_ino, before.st_ino);
            e2e::ToolSide probe(0);
            EXPECT_TRUE(probe.Send("198.51.100.11", 9, "x"));
            EXPECT_FALSE(probe.Send("192.0.2.1", 9, "x")); // no route out
        }
        ASSERT_EQ(::stat("/proc/thread-self/ns/net", &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);

        const pid_t sleeper = net.SpawnInField({"sleep", "30"});
        ASSERT_GT(sleeper, 0);
    } // teardown kills the sleeper and deletes both namespaces
    std::string list;
    e2e::RunCommand({"ip", "netns", "list"}, &list);
    EXPECT_EQ(list.find(tool), std::string::npos) << list;
    EXPECT_EQ(list.find(field), std::string::npos) << list;
}

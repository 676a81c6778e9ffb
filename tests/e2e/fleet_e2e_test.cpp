// collector-fleet as a real process in the tool namespace against emulated
// collectors in the field namespace: mixed outcomes, verification, re-runs,
// output without a terminal, discovery listings and set-up errors.
#include "netns_fixture.h"
#include "report_check.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using nlohmann::json;

namespace {

struct Outcome {
    int status = -1;
    std::string output;
};

// Starts one emulator process in the field and waits until it is bound.
pid_t StartEmulator(e2e::NetnsFixture& net, const std::string& tag,
                    const std::vector<std::string>& options) {
    return e2e::StartEmulatorInField(net, COLLECTOR_EMULATOR_PATH, tag, options, 120);
}

// Runs collector-fleet in the tool namespace, its standard input not a
// terminal. With `stdoutOnly` standard error is thrown away.
Outcome Fleet(const e2e::NetnsFixture& net, std::vector<std::string> args,
              bool stdoutOnly = false) {
    std::vector<std::string> argv = {COLLECTOR_FLEET_PATH};
    if (stdoutOnly)
        argv = {"sh", "-c", "exec \"$0\" \"$@\" 2>/dev/null", COLLECTOR_FLEET_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    Outcome outcome;
    outcome.status = net.RunInTool(argv, &outcome.output);
    return outcome;
}

// Runs collector-fleet in the tool namespace with a terminal on its standard
// input and error (a pseudo-terminal from script(1)); `keys` is a shell
// command whose output is typed at that terminal.
Outcome FleetAtATerminal(const e2e::NetnsFixture& net, const std::string& keys,
                         const std::vector<std::string>& args) {
    std::string command = "exec '" COLLECTOR_FLEET_PATH "'";
    for (const auto& arg : args)
        command += " '" + arg + "'";
    Outcome outcome;
    outcome.status = net.RunInTool(
        {"sh", "-c", "(" + keys + ") | script -qec \"$0\" /dev/null", command}, &outcome.output);
    return outcome;
}

// An image of `bytes` bytes with a recognisable pattern, named `name`.
std::string WriteImage(const e2e::NetnsFixture& net, const std::string& name, int bytes,
                       std::string* content = nullptr) {
    std::string data;
    for (int i = 0; i < bytes; ++i)
        data += static_cast<char>((i * 7 + 3) & 0xFF);
    const std::string path = net.ScratchDir() + "/" + name;
    std::ofstream(path, std::ios::binary) << data;
    if (content)
        *content = data;
    return path;
}

// The report's collectors by IP (the report checked against its schema).
std::map<std::string, json> ReportByIp(const std::string& path) {
    std::map<std::string, json> byIp;
    const json report = e2e::ReadCheckedReport(path);
    for (const auto& entry : report.at("collectors"))
        byIp[entry.at("ip").get<std::string>()] = entry;
    return byIp;
}

std::string Field(const json& entry, const char* key) {
    return entry.at(key).is_null() ? "null" : entry.at(key).get<std::string>();
}

} // namespace

TEST(FleetE2e, MixedField_EachCollectorGetsItsOwnResultAndTheRunExits1) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 17));
    ASSERT_TRUE(net.Ok()) << net.Error();
    const std::string out = net.ScratchDir() + "/image-%a.bin";
    std::string image;
    const std::string imagePath = WriteImage(net, "S2.00.bin", 700, &image); // 3 blocks
    // Floods both ports with text that never makes a frame before answering.
    StartEmulator(net, "normal",
                  {"--address", "198.51.100.10", "--image-out", out, "--flood-bytes", "30000"});
    // Loses block 1 once, sends junk before and duplicates of every reply.
    StartEmulator(net, "lossy",
                  {"--address", "198.51.100.11", "--drop-blocks", "1", "--junk",
                   "--duplicate-share", "1", "--image-out", out});
    StartEmulator(net, "noflash", {"--address", "198.51.100.12", "--request-reply", "e80"});
    StartEmulator(net, "same", {"--address", "198.51.100.13", "--request-reply", "e81"});
    StartEmulator(net, "old", {"--address", "198.51.100.14=8100014#V2.00"});
    StartEmulator(net, "mute", {"--address", "198.51.100.15", "--request-reply", "silent"});
    StartEmulator(net, "stalls", {"--address", "198.51.100.16", "--query-reply", "silent"});
    StartEmulator(net, "garbled", {"--address", "198.51.100.17", "--checksum", "bad"});

    const std::string report = net.ScratchDir() + "/report.json";
    const std::string page = net.ScratchDir() + "/report.html";
    const std::string log = net.ScratchDir() + "/run.log";
    const std::string key = net.ScratchDir() + "/release";
    ASSERT_EQ(Fleet(net, {"image", "keygen", "--out", key}).status, 0);
    ASSERT_EQ(Fleet(net, {"image", "sign", "--key", key + ".private.pem", imagePath}).status, 0);
    const auto run =
        Fleet(net, {"upgrade", "--image", imagePath, "--all", "--yes", "--report", report,
                    "--sweeps", "2", "--wait", "800", "--report-html", page, "--log", log,
                    "--log-level", "datagrams", "--verify-timeout", "20", "--trusted-key",
                    key + ".pem", "--require-signature"});
    EXPECT_EQ(run.status, 1) << run.output;
    // The page parses, lists every collector and loads nothing from elsewhere.
    std::string checked;
    EXPECT_EQ(e2e::RunCommand({"python3", CHECK_REPORT_HTML_PATH, page, "8"}, &checked), 0)
        << checked;
    EXPECT_NE(checked.find("198.51.100.10 198.51.100.11 198.51.100.12"), std::string::npos)
        << checked;
    if (const char* keep = std::getenv("E2E_FLEET_REPORT_HTML")) // the page shown in docs/fleet.md
        std::filesystem::copy_file(page, keep, std::filesystem::copy_options::overwrite_existing);
    // The log holds the run's and the sessions' events and the datagrams both ways.
    const std::string logged = e2e::ReadFile(log);
    for (const char* line :
         {"Z run started: collector-fleet ", "Z sweep done: 8 collectors answered",
          "Z plan 198.51.100.14 serial 8100014 version V2.00: refused_v", "Z canary: the first 1",
          "Z 198.51.100.11 resend list received: 1 blocks to send again",
          "Z 198.51.100.16 outcome failed at stage query, reason no_reply_query",
          "Z sent 198.51.100.10:8000 ", "Z received 198.51.100.10:23 ",
          "Z run ended: exit status 1, 1 already_current, 3 failed, 2 refused, 2 upgraded"})
        EXPECT_NE(logged.find(line), std::string::npos) << line;
    // Standard error is a pipe here: progress comes as plain lines, no redraw codes.
    EXPECT_EQ(run.output.find('\x1b'), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("198.51.100.11 sending pass 2 (1 blocks)"), std::string::npos)
        << run.output;

    const auto byIp = ReportByIp(report);
    ASSERT_EQ(byIp.size(), 8u) << e2e::ReadFile(report);
    // outcome, reason code, stage reached, the reason in words
    const std::map<std::string, std::vector<std::string>> expected = {
        {"198.51.100.10", {"upgraded", "", "done", ""}},
        {"198.51.100.11", {"upgraded", "", "done", ""}},
        {"198.51.100.12", {"refused", "E80", "request", "collector has no flash (E80)"}},
        {"198.51.100.13",
         {"already_current", "E81", "request", "collector already has this version (E81)"}},
        {"198.51.100.14",
         {"refused", "version_v", "sweep",
          "version \"V2.00\" is not compatible: use the older upgrade program"}},
        {"198.51.100.15",
         {"failed", "no_reply_request", "request", "no answer to 5 upgrade requests"}},
        // Asked on for the verification time; its probe answers tell the old version.
        {"198.51.100.16",
         {"failed", "no_reply_query", "query", "no answer to 7 completion queries"}},
        // bad checksums only
        {"198.51.100.17",
         {"failed", "no_reply_request", "request", "no answer to 5 upgrade requests"}},
    };
    for (const auto& [ip, result] : expected) {
        const json& entry = byIp.at(ip);
        EXPECT_EQ((std::vector<std::string>{Field(entry, "outcome"), Field(entry, "reason"),
                                            Field(entry, "stage"), Field(entry, "detail")}),
                  result)
            << ip;
    }
    EXPECT_EQ(Field(byIp.at("198.51.100.10"), "version_before"), "S1.00");
    EXPECT_EQ(Field(byIp.at("198.51.100.10"), "version_after"), "S2.00");
    EXPECT_EQ(byIp.at("198.51.100.10").at("passes"), 1);
    EXPECT_EQ(byIp.at("198.51.100.11").at("passes"), 2);
    EXPECT_EQ(byIp.at("198.51.100.11").at("blocks_resent"), 1);
    EXPECT_EQ(byIp.at("198.51.100.11").at("blocks_sent"), 4);
    EXPECT_EQ(Field(byIp.at("198.51.100.14"), "version_before"), "V2.00");
    EXPECT_EQ(byIp.at("198.51.100.14").at("passes"), 0);
    EXPECT_EQ(Field(byIp.at("198.51.100.12"), "serial"), "8100012");
    EXPECT_EQ(Field(byIp.at("198.51.100.12"), "serial_hex"), "38313030303132");
    // The silent one fails alone after its own deadlines; the others were not held up.
    EXPECT_LT(byIp.at("198.51.100.10").at("seconds").get<double>(), 8.0);
    const json whole = e2e::ReadCheckedReport(report);
    EXPECT_EQ(whole.at("image").at("name"), "S2.00.bin");
    EXPECT_EQ(whole.at("image").at("size"), 700);
    std::string digest;
    ASSERT_EQ(e2e::RunCommand({"sha256sum", imagePath}, &digest), 0);
    EXPECT_EQ(whole.at("image").at("sha256"), digest.substr(0, 64));
    EXPECT_EQ(whole.at("image").at("signature").at("key_name"), "release");
    EXPECT_EQ(whole.at("adapter"),
              (json{{"name", "veth0"}, {"address", "198.51.100.1"}, {"prefix", 24}}));
    EXPECT_EQ(whole.at("exit_status"), 1);
    EXPECT_EQ(whole.at("interrupted"), false);
    EXPECT_EQ(whole.at("schema_version"), 1);
    EXPECT_EQ(whole.at("options"), (json{{"canary", 1},
                                         {"parallel", nullptr},
                                         {"max_failures", nullptr},
                                         {"verify", true},
                                         {"verify_timeout_seconds", 20}}));
    EXPECT_LE(Field(byIp.at("198.51.100.10"), "started"), Field(byIp.at("198.51.100.10"), "ended"));
    for (const char* ip : {"198.51.100.10", "198.51.100.11"})
        EXPECT_EQ(e2e::ReadFile(net.ScratchDir() + "/image-" + ip + ".bin"), image) << ip;

    // doctor's probe round counts the replies and the junk sent before them.
    const auto doctor = Fleet(net, {"doctor", "--format", "json"}, true);
    EXPECT_EQ(doctor.status, 0) << doctor.output;
    const json checks = json::parse(doctor.output);
    ASSERT_EQ(checks.size(), 4u) << doctor.output; // two ports; veth0 and its probe round
    const json& probe = checks[3];
    EXPECT_EQ(probe.at("check"), "probe_round");
    EXPECT_EQ(probe.at("subject"), "veth0");
    EXPECT_EQ(probe.at("probes"), 254);
    EXPECT_EQ(probe.at("collectors"), 8);
    EXPECT_GE(probe.at("replies").get<int>(), 9); // 198.51.100.11 answers twice
    EXPECT_GE(probe.at("malformed").get<int>(), 1);
    EXPECT_EQ(probe.at("checksum_refused"), 0);
}

TEST(FleetE2e, Verification_CatchesACollectorThatKeptItsVersion_NoVerifyTrustsIt) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 11));
    ASSERT_TRUE(net.Ok()) << net.Error();
    const std::string imagePath = WriteImage(net, "S3.1.bin", 300);
    StartEmulator(net, "keeps", {"--address", "198.51.100.10", "--keep-version"});
    StartEmulator(net, "takes", {"--address", "198.51.100.11"});

    const std::string report = net.ScratchDir() + "/verify.json";
    const auto run =
        Fleet(net, {"upgrade", "--image", imagePath, "--target", "198.51.100.10", "--target",
                    "198.51.100.11", "--yes", "--report", report, "--wait", "500", "--progress",
                    "quiet", "--canary", "0", "--verify-timeout", "4"});
    EXPECT_EQ(run.status, 1) << run.output;
    auto byIp = ReportByIp(report);
    EXPECT_EQ(Field(byIp.at("198.51.100.10"), "outcome"), "failed");
    EXPECT_EQ(Field(byIp.at("198.51.100.10"), "reason"), "wrong_version");
    EXPECT_EQ(Field(byIp.at("198.51.100.10"), "detail"),
              "reports version \"S1.00\" after the upgrade");
    EXPECT_EQ(Field(byIp.at("198.51.100.10"), "version_after"), "S1.00");
    EXPECT_EQ(Field(byIp.at("198.51.100.11"), "outcome"), "upgraded");
    EXPECT_EQ(Field(byIp.at("198.51.100.11"), "version_after"), "S3.1");

    const auto trusting =
        Fleet(net, {"upgrade", "--image", imagePath, "--target", "198.51.100.10", "--yes",
                    "--no-verify", "--report", report, "--wait", "500", "--progress", "quiet"});
    EXPECT_EQ(trusting.status, 0) << trusting.output;
    byIp = ReportByIp(report);
    EXPECT_EQ(Field(byIp.at("198.51.100.10"), "outcome"), "upgraded");
    EXPECT_EQ(Field(byIp.at("198.51.100.10"), "version_after"), "null");
    EXPECT_FALSE(byIp.at("198.51.100.10").at("verified")); // its version was never asked for
}

TEST(FleetE2e, SecondRunAfterAPartialFailure_UpgradesOnlyWhatIsLeft) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 12));
    ASSERT_TRUE(net.Ok()) << net.Error();
    // 2 blocks; the version's GBK bytes (S CB FB 4) come back from a search
    // reply as S CB 20 4, which must still count as this version.
    const std::string imagePath = WriteImage(net, "S他4.bin", 301);
    const std::string summary = net.ScratchDir() + "/summary.json";
    StartEmulator(net, "good", {"--address", "198.51.100.10-11", "--summary", summary});
    const pid_t flaky =
        StartEmulator(net, "flaky", {"--address", "198.51.100.12", "--query-reply", "error"});
    const std::string report = net.ScratchDir() + "/rerun.json";
    const std::vector<std::string> command = {"upgrade",  "--image", imagePath, "--all", "--yes",
                                              "--report", report,    "--wait",  "500"};

    const auto first = Fleet(net, command);
    EXPECT_EQ(first.status, 1) << first.output;
    EXPECT_EQ(Field(ReportByIp(report).at("198.51.100.12"), "detail"),
              "completion query answered \"E99\"");
    EXPECT_EQ(Field(ReportByIp(report).at("198.51.100.12"), "reason"), "bad_reply_query");

    // The collector is fixed; the same command again touches only it.
    net.Terminate(flaky);
    StartEmulator(net, "fixed", {"--address", "198.51.100.12"});
    const auto second = Fleet(net, command);
    EXPECT_EQ(second.status, 0) << second.output;
    const auto byIp = ReportByIp(report);
    EXPECT_EQ(Field(byIp.at("198.51.100.10"), "outcome"), "already_current");
    EXPECT_EQ(Field(byIp.at("198.51.100.11"), "outcome"), "already_current");
    EXPECT_EQ(Field(byIp.at("198.51.100.12"), "outcome"), "upgraded");
    const json counts = json::parse(e2e::ReadFile(summary));
    for (const auto& collector : counts.at("collectors"))
        EXPECT_EQ(collector.at("requests"), 1) << collector.dump();

    const auto third = Fleet(net, command);
    EXPECT_EQ(third.status, 3) << third.output;

    // Expected: the three and 8100013, which is off. It is not_found, the
    // run fails, and the head and the summary line count it missing.
    const std::string expected = net.ScratchDir() + "/expected.txt";
    std::ofstream(expected) << "198.51.100.10=8100010\n8100011\n8100012\n8100013\n";
    auto expecting = command;
    expecting.insert(expecting.end(), {"--expect", expected});
    const auto fourth = Fleet(net, expecting);
    EXPECT_EQ(fourth.status, 1) << fourth.output;
    EXPECT_NE(fourth.output.find("expected 4, found 3, missing 1"), std::string::npos)
        << fourth.output;
    // Fewer than expected: what the checks found on the adapter follows.
    EXPECT_NE(fourth.output.find("fewer collectors answered the sweep of 198.51.100.0/24 from "
                                 "veth0 (198.51.100.1/24) than expected"),
              std::string::npos)
        << fourth.output;
    EXPECT_NE(fourth.output.find("replies (3 collectors)"), std::string::npos) << fourth.output;
    const json head = e2e::ReadCheckedReport(report);
    EXPECT_EQ(head.value("missing", -1), 1);
    EXPECT_EQ(head.value("found", -1), 3);
    const json off = ReportByIp(report).at("");
    EXPECT_EQ(Field(off, "serial"), "8100013");
    EXPECT_EQ(Field(off, "outcome"), "not_found");
    EXPECT_EQ(Field(off, "reason"), "no_sweep_reply");
}

TEST(FleetE2e, CanaryAndFailureLimit_LeaveTheRestUnstarted) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 12));
    ASSERT_TRUE(net.Ok()) << net.Error();
    const std::string imagePath = WriteImage(net, "S7.bin", 300);
    const pid_t refusing =
        StartEmulator(net, "refusing", {"--address", "198.51.100.10", "--request-reply", "e80"});
    StartEmulator(net, "rest",
                  {"--address", "198.51.100.11-12", "--summary", net.ScratchDir() + "/rest.json"});
    const std::string report = net.ScratchDir() + "/gated.json";

    // The canary (lowest address first) is refused: nobody else is touched.
    const auto canary = Fleet(net, {"upgrade", "--image", imagePath, "--all", "--yes", "--canary",
                                    "1", "--report", report, "--sweeps", "1", "--wait", "500"});
    EXPECT_EQ(canary.status, 1) << canary.output;
    // Which canary, and why: in the message and in each row it held back.
    const std::string why = "the canary collector 198.51.100.10 (serial 8100010) was not "
                            "upgraded: refused, collector has no flash (E80)";
    EXPECT_NE(canary.output.find("collector-fleet: " + why + "; 2 other collector(s) not started"),
              std::string::npos)
        << canary.output;
    auto byIp = ReportByIp(report);
    EXPECT_EQ(Field(byIp.at("198.51.100.10"), "outcome"), "refused");
    for (const char* ip : {"198.51.100.11", "198.51.100.12"}) {
        EXPECT_EQ(Field(byIp.at(ip), "outcome"), "not_started") << ip;
        EXPECT_EQ(Field(byIp.at(ip), "reason"), "canary_not_upgraded");
        EXPECT_EQ(Field(byIp.at(ip), "detail"), "not started: " + why);
    }

    // One at a time, stopping after the first failure.
    net.Terminate(refusing);
    StartEmulator(net, "erring", {"--address", "198.51.100.10", "--query-reply", "error"});
    const auto limited = Fleet(net, {"upgrade", "--image", imagePath, "--all", "--yes",
                                     "--parallel", "1", "--max-failures", "1", "--canary", "0",
                                     "--report", report, "--sweeps", "1", "--wait", "500"});
    EXPECT_EQ(limited.status, 1) << limited.output;
    byIp = ReportByIp(report);
    EXPECT_EQ(Field(byIp.at("198.51.100.10"), "outcome"), "failed");
    EXPECT_EQ(Field(byIp.at("198.51.100.11"), "detail"),
              "not started: the failure limit (1) was reached");
    EXPECT_EQ(Field(byIp.at("198.51.100.12"), "outcome"), "not_started");
    EXPECT_FALSE(std::filesystem::exists(net.ScratchDir() + "/rest.json") &&
                 e2e::ReadFile(net.ScratchDir() + "/rest.json").find("\"requests\": 1") !=
                     std::string::npos)
        << "a collector that was not started received a request";
}

TEST(FleetE2e, Interrupted_StillPrintsAndRecordsWhatWasDone) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 11));
    ASSERT_TRUE(net.Ok()) << net.Error();
    const std::string imagePath = WriteImage(net, "S8.bin", 300);
    StartEmulator(net, "mute", {"--address", "198.51.100.10-11", "--request-reply", "silent"});
    const std::string report = net.ScratchDir() + "/interrupted.json";
    const pid_t fleet =
        net.SpawnInTool({COLLECTOR_FLEET_PATH, "upgrade", "--image", imagePath, "--all", "--yes",
                         "--parallel", "1", "--report", report, "--sweeps", "1", "--wait", "300"});
    ASSERT_GT(fleet, 0);
    std::this_thread::sleep_for(2s); // the sweep is over, the first request unanswered
    EXPECT_EQ(net.Terminate(fleet), 130) << net.LogOf(fleet); // SIGTERM
    const auto byIp = ReportByIp(report);
    EXPECT_EQ(Field(byIp.at("198.51.100.10"), "outcome"), "interrupted");
    EXPECT_EQ(Field(byIp.at("198.51.100.10"), "stage"), "request");
    EXPECT_EQ(Field(byIp.at("198.51.100.11"), "detail"), "not started: the run was interrupted");
    EXPECT_NE(net.LogOf(fleet).find("198.51.100.11  8100011  S1.00   -      not_started"),
              std::string::npos)
        << net.LogOf(fleet);
}

TEST(FleetE2e, Discover_ListsTheFieldSortedByAddressAsCsvAndJson) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net({"198.51.100.9", "198.51.100.10", "198.51.100.100"});
    ASSERT_TRUE(net.Ok()) << net.Error();
    StartEmulator(net, "field",
                  {"--address", "198.51.100.100=  77 #S1.5,198.51.100.9", "--address",
                   "198.51.100.10=A\"B#V1.0#x"});

    const auto csv = Fleet(net, {"discover", "--format", "csv", "--wait", "500"}, true);
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(csv.output, "ip,serial,version\n"
                          "198.51.100.9,'8100009,S1.00\n" // kept as text by a spreadsheet
                          "198.51.100.10,\"A\"\"B\",V1.0#x\n"
                          "198.51.100.100,'77,S1.5\n");

    const auto listed = Fleet(
        net,
        {"discover", "--format", "json", "--sweeps", "1", "--wait", "500", "--interface", "veth0"},
        true);
    EXPECT_EQ(listed.status, 0);
    const json field = json::parse(listed.output);
    ASSERT_EQ(field.size(), 3u) << listed.output;
    EXPECT_EQ(field[0], (json{{"ip", "198.51.100.9"},
                              {"serial", "8100009"},
                              {"serial_hex", "38313030303039"},
                              {"version", "S1.00"},
                              {"version_hex", "53312E3030"},
                              {"conflict", false},
                              {"other_serials", json::array()}}));
    EXPECT_EQ(field[2].at("serial"), "77");

    // The CSV read back as the expected list, with one more that is off.
    const std::string expected = net.ScratchDir() + "/expected.csv";
    std::ofstream(expected) << csv.output << ",8100099,S1.00\n";
    const auto compared =
        Fleet(net, {"discover", "--expect", expected, "--sweeps", "1", "--wait", "500"}, true);
    EXPECT_EQ(compared.status, 1);
    EXPECT_NE(compared.output.find("not found: 8100099: did not answer the sweep\n"
                                   "expected 4, found 3, missing 1\n"),
              std::string::npos)
        << compared.output;
}

TEST(FleetE2e, SetupErrors_ClearMessageExitStatus2AndNothingSent) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 10));
    ASSERT_TRUE(net.Ok()) << net.Error();
    const std::string summary = net.ScratchDir() + "/untouched.json";
    const pid_t bystander =
        StartEmulator(net, "bystander", {"--address", "198.51.100.10", "--summary", summary});
    const std::string good = WriteImage(net, "S5.bin", 10);
    const std::string lowerName = WriteImage(net, "s5.bin", 10);
    const std::string folder = net.ScratchDir() + "/S6.bin";
    std::filesystem::create_directory(folder);
    const std::string huge = net.ScratchDir() + "/S9.bin";
    std::ofstream(huge).close();
    std::filesystem::resize_file(huge, 65536ull * 300); // sparse: one block too many
    const std::string badList = net.ScratchDir() + "/expected.txt";
    std::ofstream(badList) << "8100010\n198.51.100.7\n";
    // Signed by a key this computer does not trust.
    const std::string signedImage = WriteImage(net, "S7.bin", 10);
    ASSERT_EQ(Fleet(net, {"image", "keygen", "--out", net.ScratchDir() + "/other"}).status, 0);
    ASSERT_EQ(Fleet(net, {"image", "sign", "--key", net.ScratchDir() + "/other.private.pem",
                          signedImage})
                  .status,
              0);

    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--image", lowerName, "--all", "--yes"}, "must begin with \"S\""},
        {{"--image", net.ScratchDir() + "/S-missing.bin", "--all", "--yes"}, "Cannot open file"},
        {{"--image", folder, "--all", "--yes"}, "It is a folder"},
        {{"--image", huge, "--all", "--yes"}, "65536 blocks"},
        {{"--image", good, "--all", "--yes", "--interface", "eth9"}, "no adapter"},
        {{"--image", good, "--target", "203.0.113.5", "--yes"}, "outside 198.51.100.0/24"},
        {{"--image", good, "--target", "198.51.100.1", "--yes"}, "own address"},
        {{"--image", good, "--all"}, "add --yes"},
        {{"--image", good}, "--target IP, --target-file FILE, --expect FILE or --all"},
        {{"--image", good, "--expect", badList, "--yes"},
         "the expected list " + badList + ", line 2: \"198.51.100.7\" is an address"},
        {{"--image", good, "--all", "--yes", "--parallel", "0"}, "--parallel"},
        {{"--image", good, "--all", "--yes", "--max-failures", "2"},
         "--max-failures needs --parallel N"},
        {{"--image", good, "--all", "--yes", "--report", net.ScratchDir() + "/no/such/r.json"},
         "cannot write the report to"},
        {{"--image", good, "--target-file", net.ScratchDir() + "/none.txt", "--yes"},
         "cannot read the target file"},
        {{"--image", good, "--all", "--yes", "--image-sha256", std::string(64, '0')},
         "has SHA-256 "},
        {{"--image", good, "--all", "--yes", "--image-sha256", "12ab"}, "not 64 hex digits"},
        {{"--image", good, "--target", "198.51.100.10=", "--yes"}, "names no serial"},
        {{"--image", signedImage, "--all", "--yes"}, "signature by unknown key "},
        {{"--image", good, "--all", "--yes", "--require-signature"}, "the image is not signed"},
    };
    for (const auto& [args, message] : cases) {
        std::vector<std::string> argv = {"upgrade"};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto run = Fleet(net, argv);
        EXPECT_EQ(run.status, 2) << message;
        EXPECT_NE(run.output.find(message), std::string::npos) << run.output;
    }

    // A port held by another program (the window, say) is named, and an
    // upgrade refused so leaves the last report as it was.
    const std::string previous = net.ScratchDir() + "/previous.json";
    std::ofstream(previous) << "{\"last\": \"run\"}\n";
    for (const std::uint16_t port : {8000, 23}) {
        int holder = -1;
        {
            e2e::NetnsFixture::InNamespace in(net.ToolNamespace());
            ASSERT_TRUE(in.Ok());
            holder = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(port);
            ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        }
        const auto run =
            Fleet(net, port == 8000 ? std::vector<std::string>{"upgrade", "--image", good, "--all",
                                                               "--yes", "--report", previous}
                                    : std::vector<std::string>{"discover", "--wait", "100"});
        // This test's process holds it: named by its name and process id,
        // by the run and by doctor (whose probe round, with a port held, sends nothing).
        const auto doctor = Fleet(net, {"doctor", "--interface", "veth0"});
        ::close(holder);
        std::string self = e2e::ReadFile("/proc/self/comm");
        self.erase(self.find_last_not_of('\n') + 1);
        const std::string named = self + " (pid " + std::to_string(::getpid()) + ")";
        EXPECT_NE(run.output.find("port " + std::to_string(port) + " is held by " + named),
                  std::string::npos)
            << run.output;
        EXPECT_EQ(doctor.status, 1) << doctor.output;
        EXPECT_NE(doctor.output.find("[问题 problem] 端口 " + std::to_string(port) + " 已被占用：" +
                                     self + "（进程号 " + std::to_string(::getpid()) + "）"),
                  std::string::npos)
            << doctor.output;
        EXPECT_NE(doctor.output.find("no probe round: ports 23 and 8000 are not both free"),
                  std::string::npos)
            << doctor.output;
        EXPECT_EQ(run.status, 2) << run.output;
        EXPECT_EQ(e2e::ReadFile(previous), "{\"last\": \"run\"}\n");
        EXPECT_NE(run.output.find("本机端口 " + std::to_string(port) + " 已被另一个程序占用"),
                  std::string::npos)
            << run.output;
        EXPECT_NE(run.output.find("local port " + std::to_string(port) +
                                  " is already in use: close the other upgrade program"),
                  std::string::npos)
            << run.output;
    }
    // Not one datagram reached the collector.
    EXPECT_EQ(net.Terminate(bystander), 0);
    const json counts = json::parse(e2e::ReadFile(summary));
    ASSERT_EQ(counts.at("collectors").size(), 1u);
    EXPECT_EQ(counts.at("collectors")[0].at("probes"), 0);
    EXPECT_EQ(counts.at("collectors")[0].at("requests"), 0);
}

namespace {

// The emulator's summary, by address; the emulator must have ended (it writes
// its last summary on exit).
std::map<std::string, json> SummaryByIp(const std::string& path) {
    std::map<std::string, json> byIp;
    const json summary = json::parse(e2e::ReadFile(path));
    for (const auto& collector : summary.at("collectors"))
        byIp[collector.at("address").get<std::string>()] = collector;
    return byIp;
}

} // namespace

TEST(FleetE2e, TwinSerialAddress_ListedAsConflictAndNeverSentABlock) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 11));
    ASSERT_TRUE(net.Ok()) << net.Error();
    const std::string imagePath = WriteImage(net, "S4.bin", 300);
    const std::string twinSummary = net.ScratchDir() + "/twin.json";
    const pid_t twin = StartEmulator(
        net, "twin",
        {"--address", "198.51.100.10", "--twin-serial", "9999999", "--summary", twinSummary});
    StartEmulator(net, "single", {"--address", "198.51.100.11"});

    const auto listed = Fleet(net, {"discover", "--format", "json", "--wait", "400"}, true);
    EXPECT_EQ(listed.status, 0) << listed.output;
    const json field = json::parse(listed.output);
    ASSERT_EQ(field.size(), 2u) << listed.output;
    EXPECT_EQ(field[0].at("conflict"), true);
    EXPECT_EQ(field[0].at("other_serials"), json::array({"9999999"}));
    EXPECT_EQ(field[1].at("conflict"), false);

    const std::string report = net.ScratchDir() + "/twin-report.json";
    const auto run = Fleet(net, {"upgrade", "--image", imagePath, "--all", "--yes", "--report",
                                 report, "--wait", "400", "--progress", "quiet"});
    EXPECT_EQ(run.status, 1) << run.output;
    const auto byIp = ReportByIp(report);
    EXPECT_EQ(Field(byIp.at("198.51.100.10"), "plan"), "address_conflict");
    EXPECT_EQ(Field(byIp.at("198.51.100.10"), "outcome"), "conflict");
    EXPECT_EQ(Field(byIp.at("198.51.100.11"), "outcome"), "upgraded");
    net.Terminate(twin);
    const json counts = SummaryByIp(twinSummary).at("198.51.100.10");
    EXPECT_EQ(counts.at("requests"), 0);
    EXPECT_EQ(counts.at("blocks"), 0);
}

// Two adapters cabled to two fields, a bridge that is virtual, and a third
// subnet routed through the first adapter that only --subnet may reach.
TEST(FleetE2e, EveryAdapter_BothFieldsInOneReportNothingElseSweptSubnetOnlyWhenNamed) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net({"198.51.100.10", "198.51.100.11", "198.51.100.12", "192.0.2.10"});
    ASSERT_TRUE(net.Ok()) << net.Error();
    ASSERT_TRUE(net.AddSecondAdapter({"203.0.113.10", "203.0.113.11", "203.0.113.12"}))
        << net.Error();
    for (const std::vector<std::string>& step :
         {std::vector<std::string>{"ip", "route", "add", "192.0.2.0/24", "dev", "veth0"},
          std::vector<std::string>{"ip", "link", "add", "br0", "type", "bridge"},
          std::vector<std::string>{"ip", "link", "add", "vb0", "master", "br0", "type", "veth",
                                   "peer", "name", "vb1"},
          std::vector<std::string>{"ip", "addr", "add", "100.64.7.1/24", "dev", "br0"},
          std::vector<std::string>{"ip", "link", "set", "vb1", "up"},
          std::vector<std::string>{"ip", "link", "set", "vb0", "up"},
          std::vector<std::string>{"ip", "link", "set", "br0", "up"}}) {
        std::string output;
        ASSERT_EQ(net.RunInTool(step, &output), 0) << output;
    }
    const auto interfaces = Fleet(net, {"interfaces"});
    EXPECT_NE(interfaces.output.find("virtual (bridge)\n"), std::string::npos) << interfaces.output;
    EXPECT_EQ(interfaces.output.find("virtual"), interfaces.output.rfind("virtual")); // not veth
    const std::string fields = net.ScratchDir() + "/fields.json";
    const std::string routed = net.ScratchDir() + "/routed.json";
    const pid_t emulator = StartEmulator(
        net, "fields",
        {"--address", "198.51.100.10-11", "--address", "198.51.100.12=TWIN1", "--address",
         "203.0.113.10-11", "--address", "203.0.113.12=TWIN1", "--summary", fields});
    const pid_t stray = StartEmulator(net, "routed", {"--address", "192.0.2.10", "--summary", routed});

    const std::string report = net.ScratchDir() + "/both.json";
    const auto run = Fleet(net, {"upgrade", "--interface", "all", "--image",
                                 WriteImage(net, "S4.bin", 300), "--all", "--yes", "--report",
                                 report, "--wait", "400", "--progress", "quiet"});
    EXPECT_EQ(run.status, 1) << run.output; // the twin serial is a conflict
    const json head = e2e::ReadCheckedReport(report);
    EXPECT_EQ(head.at("adapters"),
              json::parse(R"([{"name":"veth0","address":"198.51.100.1","prefix":24,
                              "subnets":["198.51.100.0/24"]},
                             {"name":"veth2","address":"203.0.113.1","prefix":24,
                              "subnets":["203.0.113.0/24"]}])"));
    const auto byIp = ReportByIp(report);
    for (const char* ip : {"198.51.100.10", "198.51.100.11", "203.0.113.10", "203.0.113.11"}) {
        EXPECT_EQ(Field(byIp.at(ip), "outcome"), "upgraded") << ip;
        EXPECT_EQ(Field(byIp.at(ip), "adapter"), ip[0] == '1' ? "veth0" : "veth2") << ip;
    }
    for (const char* ip : {"198.51.100.12", "203.0.113.12"})
        EXPECT_EQ(Field(byIp.at(ip), "reason"), "serial_on_two_adapters") << ip;
    net.Terminate(stray);
    EXPECT_EQ(SummaryByIp(routed).at("192.0.2.10").at("probes"), 0);

    // Named, the routed subnet is swept from veth0, and nothing else is.
    StartEmulator(net, "routed-again", {"--address", "192.0.2.10"});
    const auto listed = Fleet(net, {"discover", "--subnet", "192.0.2.0/24", "--format", "json",
                                    "--sweeps", "1", "--wait", "400"});
    EXPECT_EQ(listed.status, 0) << listed.output;
    EXPECT_NE(listed.output.find("Sweeping 192.0.2.0/24 from 198.51.100.1 (veth0)\n"),
              std::string::npos) << listed.output;
    EXPECT_EQ(listed.output.find("Sweeping 198.51.100."), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find("\"ip\": \"192.0.2.10\""), std::string::npos) << listed.output;
    net.Terminate(emulator);
    for (const auto& [ip, counts] : SummaryByIp(fields))
        EXPECT_EQ(counts.at("requests") > 0, ip.back() != '2') << ip;
}

// Ctrl+C, or the terminal or remote session going away (SIGHUP), mid-transfer.
TEST(FleetE2e, SigintOrSighupMidRun_Exits130WithACompleteReport) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 12));
    ASSERT_TRUE(net.Ok()) << net.Error();
    const std::string imagePath = WriteImage(net, "S6.bin", 6000); // 20 blocks: 3 s of sending
    for (const int signal : {SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGHUP");
        const pid_t field = StartEmulator(net, "field", {"--address", "198.51.100.10-12"});
        const std::string report = net.ScratchDir() + "/signal-" + std::to_string(signal) + ".json";
        const pid_t fleet = net.SpawnInTool({COLLECTOR_FLEET_PATH, "upgrade", "--image", imagePath,
                                             "--all", "--yes", "--canary", "0", "--report", report,
                                             "--sweeps", "1", "--wait", "300"});
        ASSERT_GT(fleet, 0);
        // The sweep is over and the blocks are going out; the report on disk
        // says so within a second.
        std::this_thread::sleep_for(1500ms);
        const auto underWay = [&] {
            const json now = json::parse(e2e::ReadFile(report), nullptr, false);
            return !now.is_discarded() && now.contains("collectors") &&
                   now.at("collectors").size() == 3u &&
                   now.at("collectors")[0].at("outcome") == "in_progress";
        };
        for (int polls = 0; polls < 50 && !underWay(); ++polls)
            std::this_thread::sleep_for(20ms);
        EXPECT_TRUE(underWay()) << e2e::ReadFile(report);
        EXPECT_EQ(e2e::ReportSchemaViolations(report), "");
        ::kill(fleet, signal);
        const auto status = net.WaitExit(fleet, 5s);
        ASSERT_TRUE(status.has_value()) << net.LogOf(fleet);
        EXPECT_EQ(*status, 130) << net.LogOf(fleet);
        const json whole = e2e::ReadCheckedReport(report);
        EXPECT_EQ(whole.at("interrupted"), true);
        EXPECT_EQ(whole.at("exit_status"), 130);
        EXPECT_FALSE(whole.at("ended").is_null());
        ASSERT_EQ(whole.at("collectors").size(), 3u);
        for (const auto& entry : whole.at("collectors")) {
            EXPECT_EQ(entry.at("outcome"), "interrupted") << entry.dump();
            EXPECT_EQ(entry.at("stage"), "blocks") << entry.dump();
            EXPECT_GT(entry.at("blocks_sent").get<int>(), 0) << entry.dump();
            EXPECT_LT(entry.at("blocks_sent").get<int>(), 20) << entry.dump();
        }
        EXPECT_FALSE(std::filesystem::exists(report + ".tmp"));
        net.Terminate(field);
    }
}

// "n", or Ctrl+C, at the question: nothing but the sweep was sent, and the
// report says so.
TEST(FleetE2e, QuestionAnsweredNoOrCtrlC_ReportWrittenAndNothingSent) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 11));
    ASSERT_TRUE(net.Ok()) << net.Error();
    const std::string imagePath = WriteImage(net, "S6.bin", 300);
    const std::string summary = net.ScratchDir() + "/asked.json";
    const pid_t field =
        StartEmulator(net, "field", {"--address", "198.51.100.10-11", "--summary", summary});
    const struct {
        const char* keys;
        int status;
        const char* reason;
    } answers[] = {{"printf 'n\\n'", 4, "not_confirmed"},
                   {"sleep 3; printf '\\003'", 130, "interrupted"}};
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer.keys);
        const std::string report = net.ScratchDir() + "/asked-report.json";
        const auto run = FleetAtATerminal(net, answer.keys,
                                          {"upgrade", "--image", imagePath, "--all", "--report",
                                           report, "--sweeps", "1", "--wait", "300"});
        EXPECT_EQ(run.status, answer.status) << run.output;
        EXPECT_NE(run.output.find("Proceed? [y/N]"), std::string::npos) << run.output;
        const json whole = e2e::ReadCheckedReport(report);
        EXPECT_EQ(whole.at("exit_status"), answer.status);
        EXPECT_FALSE(whole.at("ended").is_null());
        ASSERT_EQ(whole.at("collectors").size(), 2u);
        for (const auto& entry : whole.at("collectors")) {
            EXPECT_EQ(entry.at("outcome"), "not_started") << entry.dump();
            EXPECT_EQ(entry.at("reason"), answer.reason) << entry.dump();
        }
    }
    net.Terminate(field);
    for (const auto& [ip, counts] : SummaryByIp(summary))
        EXPECT_EQ(counts.at("requests"), 0) << ip;
}

TEST(FleetE2e, DryRun_PredictsTheRunsExitStatusAndSendsNoUpgradeRequest) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 12));
    ASSERT_TRUE(net.Ok()) << net.Error();
    const std::string imagePath = WriteImage(net, "S5.bin", 300);
    const std::string summary = net.ScratchDir() + "/dry.json";
    const std::vector<std::string> collectors = {
        "--address", "198.51.100.10,198.51.100.11=8100011#V2.00,198.51.100.12=8100012#S5"};
    std::vector<std::string> withSummary = collectors;
    withSummary.insert(withSummary.end(), {"--summary", summary});
    const pid_t field = StartEmulator(net, "field", withSummary);
    const std::string report = net.ScratchDir() + "/dry-report.json";

    // No --yes needed: nothing but the sweep goes out. The "V" collector
    // would be refused, so the run would fail: so does the dry run.
    const auto asJson = Fleet(net,
                              {"upgrade", "--image", imagePath, "--all", "--dry-run", "--format",
                               "json", "--report", report, "--wait", "400"},
                              true);
    EXPECT_EQ(asJson.status, 1) << asJson.output;
    const json printed = json::parse(asJson.output); // standard output is the report alone
    EXPECT_EQ(printed.at("dry_run"), true);
    EXPECT_EQ(printed.at("exit_status"), 1);
    std::map<std::string, std::string> plans;
    for (const auto& entry : printed.at("collectors"))
        plans[entry.at("ip")] =
            entry.at("plan").get<std::string>() + "/" + entry.at("outcome").get<std::string>();
    EXPECT_EQ(plans, (std::map<std::string, std::string>{
                         {"198.51.100.10", "upgrade/planned"},
                         {"198.51.100.11", "refused_v/refused"},
                         {"198.51.100.12", "already_current/already_current"}}));
    EXPECT_EQ(e2e::ReadCheckedReport(report), printed);

    const std::vector<std::string> asText = {"upgrade",  "--image", imagePath, "--all", "--dry-run",
                                             "--sweeps", "1",       "--wait",  "400"};
    const auto text = Fleet(net, asText, true);
    EXPECT_EQ(text.status, 1) << text.output;
    EXPECT_NE(text.output.find("198.51.100.10  8100010  S1.00    upgrade"), std::string::npos)
        << text.output;
    EXPECT_NE(text.output.find("198.51.100.11  8100011  V2.00    refused_v        version "
                               "\"V2.00\" is not compatible"),
              std::string::npos)
        << text.output;
    // Without the "V" collector the run would succeed.
    const auto good =
        Fleet(net,
              {"upgrade", "--image", imagePath, "--target", "198.51.100.10", "--target",
               "198.51.100.12", "--dry-run", "--sweeps", "1", "--wait", "400"},
              true);
    EXPECT_EQ(good.status, 0) << good.output;
    // Standard output that nobody reads any more does not end the program.
    std::vector<std::string> unread = {
        "bash", "-c", "set -o pipefail; \"$0\" \"$@\" 2>/dev/null | true", COLLECTOR_FLEET_PATH};
    unread.insert(unread.end(), asText.begin(), asText.end());
    EXPECT_EQ(net.RunInTool(unread), 1);

    net.Terminate(field);
    for (const auto& [ip, counts] : SummaryByIp(summary))
        EXPECT_EQ(counts.at("requests"), 0) << ip;

    // The run itself fails as predicted, upgrading what it can.
    StartEmulator(net, "field-again", collectors);
    const auto run = Fleet(net, {"upgrade", "--image", imagePath, "--all", "--yes", "--report",
                                 report, "--sweeps", "1", "--wait", "400", "--progress", "quiet"});
    EXPECT_EQ(run.status, 1) << run.output;
    const auto byIp = ReportByIp(report);
    EXPECT_EQ(Field(byIp.at("198.51.100.10"), "outcome"), "upgraded");
    EXPECT_EQ(Field(byIp.at("198.51.100.11"), "outcome"), "refused");
    EXPECT_EQ(Field(byIp.at("198.51.100.12"), "outcome"), "already_current");
}

// A target file from an earlier discover pins each address to the serial
// seen then; --target IP=SERIAL does the same. Where another collector
// answers now, nothing is sent to it.
TEST(FleetE2e, PinnedSerials_AnotherCollectorAtTheAddressReceivesNothing) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 12));
    ASSERT_TRUE(net.Ok()) << net.Error();
    std::string image;
    const std::string imagePath = WriteImage(net, "S4.bin", 300, &image);
    std::string digest;
    ASSERT_EQ(e2e::RunCommand({"sha256sum", imagePath}, &digest), 0);
    const std::string summary = net.ScratchDir() + "/pinned.json";
    const std::string out = net.ScratchDir() + "/image-%a.bin";
    const pid_t field = StartEmulator(
        net, "field", {"--address", "198.51.100.10-12", "--summary", summary, "--image-out", out});
    // .11's serial cell as a spreadsheet-safe writer leaves it: guarded, quoted.
    const std::string targets = net.ScratchDir() + "/targets.csv";
    std::ofstream(targets) << "ip,serial,version\n"
                              "198.51.100.10,\"8100010\",S1.00\n"
                              "198.51.100.11,\"'-8100011\",S1.00\n";
    const std::string report = net.ScratchDir() + "/pinned-report.json";
    std::string upperDigest = digest.substr(0, 64);
    for (auto& c : upperDigest)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto run = Fleet(net, {"upgrade",
                                 "--image",
                                 imagePath,
                                 "--image-sha256",
                                 upperDigest,
                                 "--target-file",
                                 targets,
                                 "--target",
                                 "198.51.100.12=8100012",
                                 "--yes",
                                 "--canary",
                                 "0",
                                 "--report",
                                 report,
                                 "--sweeps",
                                 "1",
                                 "--wait",
                                 "400",
                                 "--progress",
                                 "quiet"});
    EXPECT_EQ(run.status, 1) << run.output;
    const auto byIp = ReportByIp(report);
    EXPECT_EQ(Field(byIp.at("198.51.100.10"), "outcome"), "upgraded");
    EXPECT_EQ(Field(byIp.at("198.51.100.12"), "outcome"), "upgraded");
    const json& moved = byIp.at("198.51.100.11");
    EXPECT_EQ(Field(moved, "outcome"), "not_started");
    EXPECT_EQ(Field(moved, "reason"), "serial_mismatch");
    EXPECT_EQ(Field(moved, "detail"),
              "the collector at 198.51.100.11 answered with serial 8100011, not -8100011");

    net.Terminate(field);
    const auto counts = SummaryByIp(summary);
    EXPECT_EQ(counts.at("198.51.100.11").at("requests"), 0);
    EXPECT_EQ(counts.at("198.51.100.11").at("blocks"), 0);
    EXPECT_FALSE(std::filesystem::exists(net.ScratchDir() + "/image-198.51.100.11.bin"));
    EXPECT_EQ(e2e::ReadFile(net.ScratchDir() + "/image-198.51.100.10.bin"), image);
}

TEST(FleetE2e, DefaultCanary_NoRequestToAnotherCollectorBeforeTheFirstIsVerified) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 12));
    ASSERT_TRUE(net.Ok()) << net.Error();
    const std::string imagePath = WriteImage(net, "S3.bin", 300);
    const std::string summary = net.ScratchDir() + "/canary.json";
    // Each collector restarts for 2 s after completing: verification waits for it.
    const pid_t field = StartEmulator(
        net, "field",
        {"--address", "198.51.100.10-12", "--restart-ms", "2000", "--summary", summary});
    const auto run = Fleet(net, {"upgrade", "--image", imagePath, "--all", "--yes", "--sweeps", "1",
                                 "--wait", "400", "--progress", "plain"});
    EXPECT_EQ(run.status, 0) << run.output;
    net.Terminate(field);
    const auto byIp = SummaryByIp(summary);
    const auto& canary = byIp.at("198.51.100.10");
    ASSERT_EQ(canary.at("completion_times_ms").size(), 1u) << canary.dump();
    const long long verifiedNoSooner = canary.at("completion_times_ms")[0].get<long long>() + 2000;
    for (const char* ip : {"198.51.100.11", "198.51.100.12"}) {
        const auto& requests = byIp.at(ip).at("request_times_ms");
        ASSERT_FALSE(requests.empty()) << ip;
        EXPECT_GE(requests[0].get<long long>(), verifiedNoSooner) << ip;
    }
}

TEST(FleetE2e, EmptySweep_Exits1NamingTheAdapterAndWhatToCheck) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 10)); // nobody answers
    ASSERT_TRUE(net.Ok()) << net.Error();
    const std::string imagePath = WriteImage(net, "S5.bin", 300);
    const std::string report = net.ScratchDir() + "/empty.json";
    const auto run = Fleet(net, {"upgrade", "--image", imagePath, "--all", "--yes", "--report",
                                 report, "--sweeps", "1", "--wait", "200"});
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("no collector answered the sweep of 198.51.100.0/24 from veth0 "
                              "(198.51.100.1/24)"),
              std::string::npos)
        << run.output;
    // What the checks found on that adapter, in place of a list of guesses.
    EXPECT_NE(run.output.find("[正常 ok] 网卡 veth0 (198.51.100.1/24)：已启用，已连接"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("[问题 problem] 网卡 veth0 的探测："), std::string::npos);
    EXPECT_NE(run.output.find(" probes sent, 0 replies (0 collectors), 0 dropped as malformed"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(e2e::ReadCheckedReport(report).at("exit_status"), 1);
    const auto listed = Fleet(net, {"discover", "--sweeps", "1", "--wait", "200"});
    EXPECT_EQ(listed.status, 1) << listed.output;
}

TEST(FleetE2e, ReportThatCannotBeWrittenMidRun_TurnsSuccessIntoExit1) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 10));
    ASSERT_TRUE(net.Ok()) << net.Error();
    const std::string imagePath = WriteImage(net, "S7.bin", 300);
    StartEmulator(net, "field", {"--address", "198.51.100.10"});
    const std::string report = net.ScratchDir() + "/lost.json";
    const pid_t fleet =
        net.SpawnInTool({COLLECTOR_FLEET_PATH, "upgrade", "--image", imagePath, "--all", "--yes",
                         "--report", report, "--sweeps", "1", "--wait", "300"});
    ASSERT_GT(fleet, 0);
    // Once the path has been checked, its temporary file's name is taken by a
    // folder: every later write fails (root ignores permissions, not this).
    // The name is free between two writes (each holds it while it flushes).
    ASSERT_TRUE(e2e::WaitForFile(report, 5s));
    std::error_code held;
    for (int tries = 0; tries < 500 && !std::filesystem::create_directory(report + ".tmp", held);
         ++tries)
        std::this_thread::sleep_for(1ms);
    const auto status = net.WaitExit(fleet, 30s);
    ASSERT_TRUE(status.has_value()) << net.LogOf(fleet);
    EXPECT_EQ(*status, 1) << net.LogOf(fleet);
    EXPECT_NE(net.LogOf(fleet).find("cannot write the report to " + report), std::string::npos)
        << net.LogOf(fleet);
    EXPECT_NE(net.LogOf(fleet).find("upgraded"), std::string::npos) << net.LogOf(fleet);
}

// A link that loses a fifth of the datagrams each way: the sweep goes on
// while collectors keep appearing and probes the expected ones directly, the
// sessions ask again; every collector is found and upgraded, and each one
// called upgraded holds the image.
TEST(FleetE2e, LossyLink_TwentyCollectorsAllFoundAndUpgraded) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 29));
    ASSERT_TRUE(net.Ok()) << net.Error();
    std::string image;
    const std::string imagePath = WriteImage(net, "S5.bin", 1500, &image); // 5 blocks
    StartEmulator(net, "lossy",
                  {"--address", "198.51.100.10-29", "--loss", "0.2", "--seed", "3", "--image-out",
                   net.ScratchDir() + "/image-%a.bin"});
    const std::string targets = net.ScratchDir() + "/targets.csv";
    {
        std::ofstream file(targets);
        file << "ip,serial,version\n";
        for (int host = 10; host <= 29; ++host)
            file << "198.51.100." << host << ",8100" << std::setw(3) << std::setfill('0') << host
                 << ",S1.00\n";
    }
    const std::string report = net.ScratchDir() + "/lossy.json";
    const auto run = Fleet(net, {"upgrade", "--image", imagePath, "--target-file", targets, "--yes",
                                 "--report", report, "--progress", "quiet"});
    EXPECT_EQ(run.status, 0) << run.output;
    const auto byIp = ReportByIp(report);
    ASSERT_EQ(byIp.size(), 20u);
    for (const auto& [ip, entry] : byIp) {
        EXPECT_EQ(Field(entry, "plan"), "upgrade") << ip;
        EXPECT_EQ(Field(entry, "outcome"), "upgraded") << entry.dump();
        EXPECT_EQ(e2e::ReadFile(net.ScratchDir() + "/image-" + ip + ".bin"), image) << ip;
    }
}

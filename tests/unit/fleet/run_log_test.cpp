// The support log: a line per session and run event stamped to the
// millisecond, datagrams only when asked, a bounded file, and a failure to
// write told once.
#include "fleet/run/run_log.h"
#include "pubpro/uPubpro.h"
#include "recording_session_link.h"

#include "blank_image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

using namespace std::chrono_literals;

namespace {

std::filesystem::path Scratch() {
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("fleet-log-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    return dir;
}

std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST(RunLog, SessionEventsOneLineEachStampedToTheMillisecond) {
    const auto path = Scratch() / "events.log";
    std::ostringstream trouble;
    fleet::RunLog log(path.string(), fleet::LogLevel::Events, trouble);
    ASSERT_EQ(log.Open(), "");

    const auto image = support::BlankImage(305); // two blocks
    RecordingSessionLink link;
    fleet::SessionTiming timing;
    timing.verifyTimeout = 1s; // the queries end after the first five
    fleet::UpgradeSession session("198.51.100.7", image, link, timing);
    const auto t = fleet::TimePoint{} + 1h;
    const auto step = [&](auto&& act) {
        act();
        log.Session(session);
    };
    step([&] { session.Start(t); });
    step([&] { session.OnUpgradeFrame(pubpro::MakeFrame("R0000"), t); });
    step([&] { session.OnTimer(t + 150ms); }); // the second block: nothing new
    step([&] { session.OnTimer(t + 300ms); });
    step([&] { session.OnTimer(t + 5300ms); });
    step([&] { session.OnUpgradeFrame(pubpro::MakeFrame("R0002FFFF0001"), t + 5300ms); });
    for (auto at = t + 5300ms; !session.Finished(); at += 1s)
        step([&] { session.OnTimer(at); });
    log.Datagram({true, "198.51.100.7", 8000, "EN", std::nullopt}); // not at this level
    log.Event("run ended: exit status 1");

    const std::string text = Read(path);
    const std::regex stamp("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z ",
                           std::regex::multiline);
    const std::string lines = std::regex_replace(text, stamp, "");
    const std::string header = "=== new run, collector-fleet " + std::string(fleet::ToolVersion());
    EXPECT_EQ(lines.substr(0, header.size() + 5), header + " ===\n"); // where this run begins
    EXPECT_EQ(lines.substr(header.size() + 5),
              "198.51.100.7 session started\n"
              "198.51.100.7 stage requesting\n"
              "198.51.100.7 stage sending, pass 1 of 2 blocks\n"
              "198.51.100.7 stage settling\n"
              "198.51.100.7 stage querying\n"
              "198.51.100.7 resend list received: 1 blocks to send again, 1 outside the image\n"
              "198.51.100.7 stage sending, pass 2 of 1 blocks\n"
              "198.51.100.7 stage settling\n"
              "198.51.100.7 stage querying\n"
              "198.51.100.7 outcome failed at stage query, reason no_reply_query: no answer to "
              "5 completion queries\n"
              "run ended: exit status 1\n");
    EXPECT_EQ(
        fleet::UtcMillisTimestamp(std::chrono::system_clock::time_point{} + 86400s + 61s + 5ms),
        "1970-01-02T00:01:01.005Z");
    EXPECT_EQ(trouble.str(), "");
}

TEST(RunLog, DatagramsInHexStampedWithTheKernelTimeWhenGiven) {
    const auto path = Scratch() / "datagrams.log";
    std::ostringstream trouble;
    std::ofstream(path, std::ios::binary) << "an earlier run\n"; // kept: appended to
    {
        fleet::RunLog log(path.string(), fleet::LogLevel::Datagrams, trouble);
        ASSERT_EQ(log.Open(), "");
        log.Datagram({false, "198.51.100.7", 23, std::string_view("\x1BR\x00", 3),
                      std::chrono::system_clock::time_point{} + 86400s + 61s + 5ms});
        log.Datagram({true, "198.51.100.7", 8000,
                      "\x1B"
                      "EN",
                      std::nullopt});
    } // the last lines leave with the buffer when the log closes
    const std::string text = Read(path);
    EXPECT_EQ(text.find("an earlier run\n"), 0u);
    EXPECT_LT(text.find("Z === new run, collector-fleet "), text.find("received")) << text;
    EXPECT_NE(text.find("\n1970-01-02T00:01:01.005Z received 198.51.100.7:23 3 bytes 1B5200\n"),
              std::string::npos);
    EXPECT_NE(text.find("Z sent 198.51.100.7:8000 3 bytes 1B454E\n"), std::string::npos) << text;
}

TEST(RunLog, FullFileRotatesToDotOneAndAFailureIsToldOnce) {
    const auto dir = Scratch();
    const auto path = dir / "rotating.log";
    std::ostringstream trouble;
    const std::string forty(40, 'x');
    {
        fleet::RunLog log(path.string(), fleet::LogLevel::Events, trouble, 100);
        ASSERT_EQ(log.Open(), "");
        for (const char* n : {"1", "2", "3"})
            log.Event(forty + n); // 66 bytes a line: each one fills the file
    }                             // closed: Windows removes no open file
    EXPECT_NE(Read(path).find(forty + "3\n"), std::string::npos);
    EXPECT_EQ(Read(path).find(forty + "2"), std::string::npos);
    EXPECT_NE(Read(dir / "rotating.log.1").find(forty + "2\n"), std::string::npos);
    EXPECT_EQ(Read(dir / "rotating.log.1").find(forty + "1"), std::string::npos);

    fleet::RunLog nowhere((dir / "missing" / "x.log").string(), fleet::LogLevel::Events, trouble);
    EXPECT_NE(nowhere.Open().find("cannot write the log to "), std::string::npos);
    EXPECT_EQ(trouble.str(), "");
    std::filesystem::remove_all(dir);

    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full to fail a write";
    fleet::RunLog full("/dev/full", fleet::LogLevel::Events, trouble);
    ASSERT_EQ(full.Open(), "");
    full.Event("one");
    full.Event("two");
    EXPECT_EQ(trouble.str(),
              "collector-fleet: cannot write the log /dev/full; the log stops here, the run goes "
              "on\n");
}

// What a fleet run shows: progress on standard error, results and listings
// on standard output, the JSON report and the exit status.
#include "fleet/fleet_report.h"
#include "fleet/progress.h"
#include "recording_session_link.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <sstream>

using namespace std::chrono_literals;
using fleet::ResultKind;

namespace {

std::string Captured(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    while (const auto got = std::fread(buffer, 1, sizeof buffer, file))
        text.append(buffer, got);
    return text;
}

fleet::CollectorResult Result(std::string ip, ResultKind kind) {
    fleet::CollectorResult r;
    r.address = std::move(ip);
    r.result = kind;
    return r;
}

} // namespace

TEST(FleetOutput, ExitStatus_UpgradedFailedOrNothingToDo) {
    using V = std::vector<fleet::CollectorResult>;
    EXPECT_EQ(fleet::ExitStatusFor(
                  V{Result("a", ResultKind::Upgraded), Result("b", ResultKind::UpToDate)}),
              0);
    EXPECT_EQ(fleet::ExitStatusFor(
                  V{Result("a", ResultKind::Upgraded), Result("b", ResultKind::Refused)}),
              1);
    EXPECT_EQ(fleet::ExitStatusFor(V{Result("a", ResultKind::NotStarted)}), 1);
    EXPECT_EQ(fleet::ExitStatusFor(V{Result("a", ResultKind::UpToDate)}), 3);
    EXPECT_EQ(fleet::ExitStatusFor(V{}), 3);
}

TEST(FleetOutput, ReportJson_CarriesTextAndRawBytes) {
    fleet::FirmwareImage image;
    image.fileName = "S2.bin";
    image.versionText = "S2";
    image.sizeBytes = 301;
    image.blockCount = 2;
    auto r = Result("198.51.100.7", ResultKind::Failed);
    r.serial = "\xD6\xD0"; // GBK for 中
    r.versionBefore = "S1";
    r.reason = "no answer to 5 upgrade requests";
    r.seconds = 15.0004;
    const auto json = nlohmann::json::parse(fleet::ReportJson(image, {r}, 16.25));
    EXPECT_EQ(
        json.at("image"),
        (nlohmann::json{{"name", "S2.bin"}, {"version", "S2"}, {"size", 301}, {"blocks", 2}}));
    EXPECT_EQ(json.at("upgrade_seconds"), 16.25);
    const auto& entry = json.at("collectors").at(0);
    EXPECT_EQ(entry.at("serial"), "中");
    EXPECT_EQ(entry.at("serial_hex"), "D6D0");
    EXPECT_TRUE(entry.at("version_after").is_null());
    EXPECT_EQ(entry.at("result"), "failed");
    EXPECT_EQ(entry.at("seconds"), 15.0);
}

TEST(FleetOutput, FieldListing_CsvQuotesAndTableAlignsWideCharacters) {
    const std::vector<fleet::FieldEntry> field = {{"198.51.100.9", "a,b", "S\"1"},
                                                  {"198.51.100.10", "\xD6\xD0", "S1"}};
    std::ostringstream csv;
    fleet::PrintField(csv, field, fleet::ListFormat::Csv);
    EXPECT_EQ(csv.str(), "serial,ip,version\n"
                         "\"a,b\",198.51.100.9,\"S\"\"1\"\n"
                         "中,198.51.100.10,S1\n");
    std::ostringstream table;
    fleet::PrintField(table, field, fleet::ListFormat::Table);
    EXPECT_EQ(table.str(), "serial  IP             version\n"
                           "a,b     198.51.100.9   S\"1\n"
                           "中      198.51.100.10  S1\n");
}

TEST(FleetOutput, Progress_PlainLinesPerStageTtyRedrawsInPlace) {
    auto image = std::make_shared<fleet::FirmwareImage>();
    image->versionWire = image->versionAsReported = "S2";
    image->hex = std::string(1200, '0');
    image->blockCount = 2;
    RecordingSessionLink link;
    fleet::UpgradeSession session("198.51.100.7", image, link);
    const auto t = fleet::TimePoint{} + 1h;

    std::FILE* plainOut = std::tmpfile();
    std::FILE* ttyOut = std::tmpfile();
    fleet::ProgressView plain(fleet::ProgressMode::Plain, plainOut);
    fleet::ProgressView tty(fleet::ProgressMode::Tty, ttyOut);
    const std::vector<const fleet::UpgradeSession*> all = {&session};
    const auto step = [&] {
        plain.Changed(session);
        tty.Changed(session);
    };
    session.Start(t);
    step();
    session.OnUpgradeFrame("\x1B"
                           "R000086D7\x05",
                           t);
    step();
    tty.Tick(all);
    session.OnTimer(t + 150ms); // the second block: same stage
    step();
    tty.Tick(all);
    tty.Tick(all); // nothing changed: no drawing
    session.OnTimer(t + 300ms);
    step();
    plain.Finish(all);
    tty.Finish(all);

    EXPECT_EQ(Captured(plainOut), "198.51.100.7 requesting\n"
                                  "198.51.100.7 sending pass 1 (2 blocks)\n"
                                  "198.51.100.7 settling\n");
    const std::string drawn = Captured(ttyOut);
    EXPECT_EQ(drawn, "\x1b[2K198.51.100.7 sending pass 1, block 1/2\n"
                     "\x1b[2K1 active, 0 waiting, 0 upgraded, 0 not upgraded\n\x1b[J"
                     "\x1b[2F\x1b[2K198.51.100.7 sending pass 1, block 2/2\n"
                     "\x1b[2K1 active, 0 waiting, 0 upgraded, 0 not upgraded\n\x1b[J"
                     "\x1b[2F\x1b[2K198.51.100.7 settling\n"
                     "\x1b[2K1 active, 0 waiting, 0 upgraded, 0 not upgraded\n\x1b[J");
    std::fclose(plainOut);
    std::fclose(ttyOut);
}

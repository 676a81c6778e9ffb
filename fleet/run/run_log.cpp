#include "fleet/run/run_log.h"

#include "platform/gbk.h"
#include "platform/read_file.h"
#include "platform/system_error_text.h"
#include "protocol/hex.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

namespace fleet {

std::string UtcMillisTimestamp(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(when);
    const auto millis = duration_cast<milliseconds>(when - seconds).count();
    const std::time_t t = system_clock::to_time_t(seconds);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &t);
#else
    gmtime_r(&t, &utc);
#endif
    char text[40] = {};
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis));
    return text;
}

RunLog::RunLog(std::string path, LogLevel level, std::ostream& trouble, std::uint64_t maxBytes)
    : path_(std::move(path)), level_(level), trouble_(trouble), maxBytes_(maxBytes) {}

RunLog::~RunLog() {
    if (!stopped_ && !file_.flush())
        Fail("cannot write the log " + path_);
}

std::string RunLog::Open() {
    const auto path = platform::PathFromUtf8(path_);
    // Appended to: the log of an earlier run stays for support, below a
    // line that says where this run begins.
    file_.open(path, std::ios::binary | std::ios::app);
    if (!file_)
        return "cannot write the log to " + path_;
    std::error_code unknown;
    const auto size = std::filesystem::file_size(path, unknown);
    stopped_ = false;
    written_ = unknown ? 0 : size;
    Event(std::string("=== new run, collector-fleet ") + ToolVersion() + " ===");
    return {};
}

void RunLog::Fail(const std::string& why) {
    stopped_ = true;
    file_.close();
    trouble_ << "collector-fleet: " << why << "; the log stops here, the run goes on\n";
}

// The full file becomes FILE.1 (one older file kept) and FILE starts again.
bool RunLog::Rotate() {
    file_.close();
    const auto path = platform::PathFromUtf8(path_);
    auto older = path;
    older += ".1";
    std::error_code error;
    std::filesystem::remove(older, error);
    std::filesystem::rename(path, older, error);
    if (error) {
        Fail("cannot rotate the log " + path_ + " to " + path_ +
             ".1: " + platform::ErrorText(error));
        return false;
    }
    file_.open(path, std::ios::binary | std::ios::trunc);
    written_ = 0;
    if (!file_) {
        Fail("cannot write the log to " + path_ + " again after rotating it");
        return false;
    }
    return true;
}

void RunLog::Write(std::chrono::system_clock::time_point when, std::string_view text, bool flush) {
    if (stopped_)
        return;
    std::string line = UtcMillisTimestamp(when);
    line += ' ';
    line += text;
    line += '\n';
    if (written_ + line.size() > maxBytes_ && written_ > 0 && !Rotate())
        return;
    file_.write(line.data(), static_cast<std::streamsize>(line.size()));
    // Events are flushed at once, so that a crash still leaves them; datagram
    // lines, many more, leave with the buffer.
    if (flush)
        file_.flush();
    if (!file_)
        return Fail("cannot write the log " + path_);
    written_ += line.size();
}

void RunLog::Event(std::string_view text) {
    Write(std::chrono::system_clock::now(), text, true);
}

void RunLog::Session(const UpgradeSession& session) {
    Seen& seen = sessions_[session.Address()];
    const std::string& who = session.Address();
    if (seen.stage == Stage::Waiting && session.CurrentStage() != Stage::Waiting)
        Event(who + " session started");
    if (session.Pass() > seen.pass && seen.pass > 0) {
        const std::size_t outside = session.ResendOutsideImage() - seen.outside;
        Event(who + " resend list received: " + std::to_string(session.PassBlocksTotal()) +
              " blocks to send again" +
              (outside > 0 ? ", " + std::to_string(outside) + " outside the image" : ""));
    }
    if (session.Finished() && seen.stage != Stage::Done) {
        std::string text = who + " outcome " + OutcomeName(session.Result()) + " at stage " +
                           ReportStageName(session.StageReached());
        if (session.VerifiedVersion())
            text += ", reports version " + platform::GbkToUtf8(*session.VerifiedVersion());
        if (session.ReasonCode() != Reason::None)
            text += std::string(", reason ") + ReasonName(session.ReasonCode()) + ": " +
                    session.Reason();
        Event(text);
    } else if (session.CurrentStage() != seen.stage ||
               (session.CurrentStage() == Stage::Sending && session.Pass() != seen.pass)) {
        std::string text = who + " stage " + StageName(session.CurrentStage());
        if (session.CurrentStage() == Stage::Sending)
            text += ", pass " + std::to_string(session.Pass()) + " of " +
                    std::to_string(session.PassBlocksTotal()) + " blocks";
        Event(text);
    }
    seen = {session.CurrentStage(), session.Pass(), session.ResendOutsideImage()};
}

void RunLog::Datagram(const DatagramEvent& datagram) {
    if (level_ != LogLevel::Datagrams || stopped_)
        return;
    std::string text = datagram.sent ? "sent " : "received ";
    text += datagram.address;
    text += ':' + std::to_string(datagram.port) + ' ' + std::to_string(datagram.bytes.size()) +
            " bytes " + protocol::HexEncode(datagram.bytes);
    Write(datagram.kernelTime.value_or(std::chrono::system_clock::now()), text, false);
}

void RunLog::Started(const RunInfo& run, const FirmwareImage& image) {
    Event(std::string("run started: collector-fleet ") + ToolVersion() + ", adapter " +
          run.adapterName + " " + run.adapterAddress + "/" + std::to_string(run.adapterPrefix) +
          ", image " + image.fileName + " version " + image.versionText + " sha256 " +
          run.imageSha256 + (run.dryRun ? ", dry run" : ""));
}

void RunLog::Planned(const FieldTable& field, const TargetPlan& plan) {
    std::size_t conflicts = 0;
    for (const auto& entry : field.SortedByAddress())
        conflicts += entry.conflict ? 1 : 0;
    Event("sweep done: " + std::to_string(field.Size()) + " collectors answered, " +
          std::to_string(conflicts) + " address conflicts");
    std::vector<CollectorResult> all = plan.settled;
    all.insert(all.end(), plan.toUpgradeAs.begin(), plan.toUpgradeAs.end());
    for (const auto& target : all)
        Event("plan " + target.address + " serial " + platform::GbkToUtf8(target.serial) +
              " version " + platform::GbkToUtf8(target.versionBefore) + ": " +
              PlanName(target.plan) + (target.reason.empty() ? "" : " (" + target.reason + ")"));
    Event("plan: " + std::to_string(plan.toUpgrade.size()) + " to upgrade, " +
          std::to_string(plan.settled.size()) + " left alone");
    if (plan.expected)
        Event("expected list: " + ExpectedCountsText(*plan.expected));
}

void RunLog::Ended(int exitStatus, bool interrupted, const std::vector<CollectorResult>& results) {
    if (interrupted)
        Event("run interrupted: no new session, each collector reported as it stands");
    std::map<std::string, int> counts;
    for (const auto& result : results)
        ++counts[ResultName(result.result)];
    std::string text = "run ended: exit status " + std::to_string(exitStatus);
    for (const auto& [outcome, count] : counts)
        text += ", " + std::to_string(count) + " " + outcome;
    Event(text);
}

} // namespace fleet

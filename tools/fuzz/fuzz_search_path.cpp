// Fuzzes the search channel's receive path in-process: scrub 00/0A/FB/FF to
// spaces, append, extract, HandleSearchReply with the datagram's sender, bound.
// No socket is opened.
//
// Checked on every input:
//  - the buffer matches a naive reference buffer and hands over exactly its
//    frames, each ESC .. ENQ with no inner ENQ and none of the scrubbed bytes;
//  - after the bound the buffer holds at most RxBuffer::kLimit bytes;
//  - nothing is thrown and the mode is never changed by a reply;
//  - the device list: no two rows with the same IP, at most one row per
//    distinct sender that could be listed, every IP one of those senders, a
//    new row's serial trimmed, an updated row keeps its IP and version, and
//    nothing changes outside mode "SS", for the own or an empty sender, or for
//    an empty serial.

#include "fuzz_common.h"
#include "protocol/datagram_rules.h"

#include "core/upgrade_tool.h"

#include <set>

namespace {

using namespace fuzz;

const std::string kLocalAddress = "198.51.100.1";

const std::string kSenders[8] = {
    "198.51.100.10", "198.51.100.11",  "198.51.100.12",     "10.0.0.254", "",
    kLocalAddress,   "198.51.100.100", kLocalAddress + " ",
};

bool Scrubbed(unsigned char b) {
    return b == 0x00 || b == 0x0A || b == 0xFB || b == 0xFF;
}

std::string TrimBlanks(std::string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 0x20)
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 0x20)
        --last;
    return std::string(text.substr(first, last - first));
}

class Harness {
public:
    explicit Harness(const Input& input) : input_(input) {
        window_.tool.Mode().Set(input.initialMode);
    }

    void Run() {
        for (const auto& datagram : input_.datagrams)
            Deliver(datagram);
        FUZZ_CHECK(window_.window.notices.shown.size() == 0, "");
    }

private:
    pubpro::RxBuffer& Buffer() { return window_.tool.SearchChannel().Buffer(); }

    void Deliver(const Datagram& datagram) {
        if (const auto mode = datagram.ModeSwitch())
            window_.tool.Mode().Set(*mode);
        std::string bytes = datagram.bytes;
        if (bytes.empty())
            return; // a read of 0 bytes ends the notification
        protocol::ScrubSearchDatagram(bytes);
        const std::string& sender = kSenders[datagram.SenderIndex()];
        Buffer().Append(bytes);
        reference_.Append(bytes);
        try {
            pubpro::ExtractFrames(Buffer(),
                                  [&](const std::string& frame) { OnFrame(frame, sender); });
        } catch (const std::exception& e) {
            Fail("exception left the search receive path", e.what());
        }
        CheckNothingLeft(Buffer());
        FUZZ_CHECK(!reference_.Next(), reference_.Text().substr(0, 64));
        Buffer().Bound();
        reference_.Bound();
        FUZZ_CHECK(Buffer().Size() <= pubpro::RxBuffer::kLimit, "");
        FUZZ_CHECK(Buffer().View() == reference_.Text(), Buffer().View().substr(0, 64));
        CheckList();
    }

    void OnFrame(const std::string& frame, const std::string& sender) {
        CheckFrameShape(frame);
        for (const char c : frame)
            FUZZ_CHECK(!Scrubbed(static_cast<unsigned char>(c)), frame);
        const auto expected = reference_.Next();
        FUZZ_CHECK(expected && *expected == frame, frame);

        const core::Mode mode = window_.tool.Mode().Get();
        const std::vector<core::DeviceEntry> before = window_.window.view.rows;
        const unsigned long changes = window_.window.view.rowChanges;
        window_.tool.DeviceDiscovery().HandleSearchReply(frame, sender);
        FUZZ_CHECK(window_.tool.Mode().Get() == mode, frame);

        const std::string inner = frame.substr(1, frame.size() - 2);
        const auto hash = inner.find('#');
        const std::string serial = inner.substr(0, hash);
        const std::string version =
            hash == std::string::npos ? std::string() : inner.substr(hash + 1);
        const bool listed =
            mode == core::Mode::SS && !sender.empty() && sender != kLocalAddress && !serial.empty();
        if (!listed) {
            FUZZ_CHECK(window_.window.view.rowChanges == changes, frame);
            return;
        }
        eligibleSenders_.insert(sender);
        const auto& rows = window_.window.view.rows;
        std::size_t row = 0;
        while (row < before.size() && before[row].ip != sender)
            ++row;
        if (row < before.size()) {
            FUZZ_CHECK(rows.size() == before.size(), frame);
            FUZZ_CHECK(rows[row].serial == serial, frame);
            FUZZ_CHECK(rows[row].ip == sender && rows[row].version == before[row].version, frame);
        } else {
            FUZZ_CHECK(rows.size() == before.size() + 1, frame);
            FUZZ_CHECK(rows.back().ip == sender, frame);
            FUZZ_CHECK(rows.back().serial == TrimBlanks(serial), frame);
            FUZZ_CHECK(rows.back().version == version, frame);
        }
        for (std::size_t other = 0; other < before.size(); ++other) {
            if (other == row)
                continue;
            FUZZ_CHECK(rows[other].ip == before[other].ip &&
                           rows[other].serial == before[other].serial &&
                           rows[other].version == before[other].version,
                       frame);
        }
    }

    void CheckList() {
        const auto& rows = window_.window.view.rows;
        FUZZ_CHECK(rows.size() <= eligibleSenders_.size(), "");
        std::set<std::string> ips;
        for (const auto& row : rows) {
            FUZZ_CHECK(eligibleSenders_.count(row.ip) == 1, row.ip);
            FUZZ_CHECK(ips.insert(row.ip).second, row.ip);
            FUZZ_CHECK(row.serial.find('#') == std::string::npos, row.serial);
        }
    }

    const Input& input_;
    FuzzWindow window_{kLocalAddress};
    ReferenceBuffer reference_;
    std::set<std::string> eligibleSenders_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Input input = ParseInput(data, size);
    Harness harness(input);
    harness.Run();
    return 0;
}

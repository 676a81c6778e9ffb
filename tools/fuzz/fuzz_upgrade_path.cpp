// Fuzzes the upgrade channel's receive path in-process: cut at the first zero
// byte, append, extract, checksum test, reply handling under the chosen mode,
// bound. No socket is opened and no worker exists (FormActivate is never
// called), so an accept or a resend list only changes the mode and the status.
//
// Checked on every input:
//  - the buffer matches a naive reference buffer after every datagram and hands
//    over exactly the reference's frames, each ESC .. ENQ with no inner ENQ;
//  - after a pass that ran to its end no complete frame is left, and after the
//    bound the buffer holds at most RxBuffer::kLimit bytes;
//  - the table-driven checksum test agrees with a bitwise CRC-16/MODBUS;
//  - only ConversionError leaves the handlers, with its fixed message, and only
//    for a numeric field that is not four hex digits;
//  - each reply moves the mode and shows the notices the protocol prescribes.

#include "fuzz_common.h"
#include "protocol/datagram_rules.h"

#include "core/error_text.h"
#include "core/upgrade_tool.h"
#include "pubpro/conversion_error.h"

#include <cctype>

namespace {

using namespace fuzz;

constexpr int kMaxNesting = 3;
const std::string kUpgrading = "正在升级";

// Whether the 4 frame characters from 1-based position `at` lie before the
// closing ENQ and are all hex digits (either case).
bool HexFieldOk(const std::string& frame, std::size_t at) {
    if (at + 3 > frame.size() - 1)
        return false;
    for (std::size_t i = 0; i < 4; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(frame[at - 1 + i])))
            return false;
    return true;
}

// Whether a resend list's count and every index it announces parse.
bool ResendListParses(const std::string& frame) {
    if (!HexFieldOk(frame, 3))
        return false;
    const unsigned long count = std::stoul(frame.substr(2, 4), nullptr, 16);
    for (unsigned long k = 0; k < count; ++k)
        if (!HexFieldOk(frame, 7 + 4 * k))
            return false;
    return true;
}

class Harness {
public:
    explicit Harness(const Input& input) : input_(input) {
        ListDevices(window_.tool, {{"123456", "198.51.100.10", "S2.01"}});
        window_.window.view.selected = 0;
        window_.tool.Mode().Set(input.initialMode);
        window_.window.notices.whileOpen = [this] { DeliverInsideBox(); };
    }

    void Run() {
        while (next_ < input_.datagrams.size())
            Deliver(input_.datagrams[next_++]);
    }

private:
    pubpro::RxBuffer& Buffer() { return window_.tool.UpgradeChannel().Buffer(); }

    // A modal box is open: the next datagram, if marked so, arrives now.
    void DeliverInsideBox() {
        if (depth_ >= kMaxNesting || next_ >= input_.datagrams.size() ||
            !input_.datagrams[next_].Nested())
            return;
        ++nestedDeliveries_;
        Deliver(input_.datagrams[next_++]);
    }

    // One socket notification, inside the window's error guard.
    void Deliver(const Datagram& datagram) {
        if (const auto mode = datagram.ModeSwitch())
            window_.tool.Mode().Set(*mode);
        std::string bytes = datagram.bytes;
        if (!datagram.RawChecksums())
            SealFrames(bytes);
        ++depth_;
        try {
            Receive(bytes);
        } catch (const pubpro::ConversionError& e) {
            const std::string what = e.what();
            FUZZ_CHECK(what.starts_with("'$") && what.ends_with("' is not a valid integer value"),
                       what);
            window_.window.notices.ErrorBox(core::ErrorBoxText(what));
        } catch (const std::exception& e) {
            Fail("unexpected exception left the upgrade receive path", e.what());
        }
        --depth_;
        FUZZ_CHECK(Buffer().Size() <= pubpro::RxBuffer::kLimit, "");
        FUZZ_CHECK(Buffer().View() == reference_.Text(), Buffer().View().substr(0, 64));
    }

    void Receive(const std::string& bytes) {
        const auto text = protocol::UpgradeDatagramText(bytes);
        if (text.empty())
            return;
        Buffer().Append(text);
        reference_.Append(text);
        struct BoundOnExit {
            Harness& harness;
            ~BoundOnExit() {
                harness.Buffer().Bound();
                harness.reference_.Bound();
            }
        } bound{*this};
        pubpro::ExtractFrames(Buffer(), [this](const std::string& frame) { OnFrame(frame); });
        CheckNothingLeft(Buffer());
        FUZZ_CHECK(!reference_.Next(), reference_.Text().substr(0, 64));
    }

    void OnFrame(const std::string& frame) {
        CheckFrameShape(frame);
        const auto expected = reference_.Next();
        FUZZ_CHECK(expected && *expected == frame, frame);
        const bool ok = pubpro::FrameChecksumOk(frame);
        FUZZ_CHECK(ok == ReferenceChecksumOk(frame), frame);
        if (ok)
            HandleChecked(frame);
    }

    void HandleChecked(const std::string& frame) {
        const Before before{window_.tool.Mode().Get(), window_.window.notices.shown.size(),
                            window_.tool.StatusText(), nestedDeliveries_};
        try {
            window_.tool.Session().HandleReply(frame);
        } catch (...) {
            CheckReply(frame, before, true);
            throw;
        }
        CheckReply(frame, before, false);
    }

    struct Before {
        core::Mode mode;
        std::size_t notices;
        std::string status;
        unsigned long nested;
    };

    void CheckReply(const std::string& frame, const Before& before, bool threw) {
        if (nestedDeliveries_ != before.nested)
            return; // another pass ran inside a box; its effects are mixed in
        const core::Mode after = window_.tool.Mode().Get();
        const std::size_t shown = window_.window.notices.shown.size() - before.notices;
        const std::string payload = frame.substr(1, frame.size() - 6);
        const bool accept = payload.starts_with('R');
        const auto expectNotice = [&](const char* text) {
            FUZZ_CHECK(!threw && after == core::Mode::Empty && shown == 1 &&
                           window_.window.notices.shown.back().second == text,
                       frame);
        };
        switch (before.mode) {
        case core::Mode::Empty:
        case core::Mode::SS:
        case core::Mode::UD:
            FUZZ_CHECK(!threw && after == before.mode && shown == 0 &&
                           window_.tool.StatusText() == before.status,
                       frame);
            return;
        case core::Mode::LU:
            if (accept) {
                FUZZ_CHECK(shown == 0 && window_.tool.StatusText() == kUpgrading, frame);
                FUZZ_CHECK(threw == !HexFieldOk(frame, 3), frame);
                FUZZ_CHECK(after == (threw ? core::Mode::LU : core::Mode::UD), frame);
            } else if (payload.starts_with("E80")) {
                expectNotice("当前无Flash，不能升级");
            } else if (payload.starts_with("E81")) {
                expectNotice("版本相同，无需升级");
            } else {
                FUZZ_CHECK(!threw && after == core::Mode::Empty && shown == 0, frame);
            }
            return;
        case core::Mode::EN:
            if (accept && frame.size() > 7) {
                FUZZ_CHECK(after == core::Mode::UD && shown == 0 &&
                               window_.tool.StatusText() == kUpgrading,
                           frame);
                FUZZ_CHECK(threw == !ResendListParses(frame), frame);
            } else if (accept && frame.size() == 7) {
                expectNotice("升级完成");
            } else {
                expectNotice("升级未完成，发生未知错误");
            }
            return;
        }
    }

    const Input& input_;
    FuzzWindow window_{"198.51.100.1"};
    ReferenceBuffer reference_;
    std::size_t next_ = 0;
    int depth_ = 0;
    unsigned long nestedDeliveries_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Input input = ParseInput(data, size);
    Harness harness(input);
    harness.Run();
    return 0;
}

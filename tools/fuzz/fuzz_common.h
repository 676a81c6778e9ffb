#pragma once

// Shared pieces of the receive-path fuzzers: the input format, the tool wired
// to the shared fakes of tests/support, a naive reference model of a channel
// buffer and the emulator's checksum to hold the production code against. Nothing here opens a
// socket or a file.
//
// Input format (both targets):
//   byte 0          initial mode, value % 5: 0 empty, 1 SS, 2 LU, 3 UD, 4 EN
//   then chunks     [ctrl] [len lo] [len hi] [repeat] [len bytes of content]
//     ctrl & 0x08   switch the mode to (ctrl & 7) % 5 before this datagram
//     ctrl & 0x10   upgrade target: deliver this datagram from inside the next
//                   modal box (a notice or the error box runs a nested event
//                   loop, so the receive path can run again meanwhile)
//     ctrl & 0x20   upgrade target: leave checksums as they are; without it
//                   every ESC .. ENQ span of six bytes or more inside the
//                   datagram gets the correct checksum written before its ENQ,
//                   so mutated payloads still reach the reply handling
//     ctrl >> 5     search target: index into the table of sender addresses
//     repeat        the datagram is the content repeated max(1, repeat) times,
//                   cut to the largest datagram a channel reads (10230 bytes),
//                   so small inputs can still flood a buffer past its bound
//   A length past the end of the input takes what is left.

#include "core/channels.h"
#include "protocol/collector_rules.h"
#include "core/session_mode.h"
#include "core/upgrade_tool.h"
#include "pubpro/uPubpro.h"

#include "fake_views.h"
#include "frame_codec.h"
#include "virtual_sleeper.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

[[noreturn]] inline void Fail(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "INVARIANT BROKEN: %s\n", what);
    if (!detail.empty()) {
        std::fprintf(stderr, "  detail (%zu bytes):", detail.size());
        for (std::size_t i = 0; i < detail.size() && i < 64; ++i)
            std::fprintf(stderr, " %02X", static_cast<unsigned char>(detail[i]));
        std::fprintf(stderr, "%s\n", detail.size() > 64 ? " ..." : "");
    }
    std::abort();
}

#define FUZZ_CHECK(cond, detail)                                                                   \
    do {                                                                                           \
        if (!(cond))                                                                               \
            ::fuzz::Fail(#cond, (detail));                                                         \
    } while (0)

inline core::Mode ModeFromByte(std::uint8_t value) {
    static constexpr core::Mode kModes[] = {core::Mode::Empty, core::Mode::SS, core::Mode::LU,
                                            core::Mode::UD, core::Mode::EN};
    return kModes[value % 5];
}

struct Datagram {
    std::uint8_t ctrl = 0;
    std::string bytes;

    std::optional<core::Mode> ModeSwitch() const {
        if (ctrl & 0x08)
            return ModeFromByte(ctrl & 0x07);
        return std::nullopt;
    }
    bool Nested() const { return (ctrl & 0x10) != 0; }
    bool RawChecksums() const { return (ctrl & 0x20) != 0; }
    unsigned SenderIndex() const { return ctrl >> 5; }
};

struct Input {
    core::Mode initialMode = core::Mode::Empty;
    std::vector<Datagram> datagrams;
};

inline Input ParseInput(const std::uint8_t* data, std::size_t size) {
    Input input;
    if (size == 0)
        return input;
    input.initialMode = ModeFromByte(data[0]);
    std::size_t at = 1;
    while (size - at >= 4) {
        Datagram datagram;
        datagram.ctrl = data[at];
        std::size_t length = data[at + 1] | (static_cast<std::size_t>(data[at + 2]) << 8);
        const unsigned repeat = std::max<unsigned>(1, data[at + 3]);
        at += 4;
        length = std::min(length, size - at);
        const std::string_view content(reinterpret_cast<const char*>(data + at), length);
        at += length;
        for (unsigned r = 0; r < repeat && datagram.bytes.size() < protocol::kMaxDatagramBytes; ++r)
            datagram.bytes.append(content);
        if (datagram.bytes.size() > protocol::kMaxDatagramBytes)
            datagram.bytes.resize(protocol::kMaxDatagramBytes);
        input.datagrams.push_back(std::move(datagram));
    }
    return input;
}

// The checksum text from the collector emulator's own codec, independent of
// the production code.
inline std::string ReferenceCrcHex(std::string_view payload) {
    return collector_emulator::ChecksumText(payload);
}

// Writes the correct checksum into every frame that lies whole inside `bytes`
// (first ESC through the first ENQ after it, at least six bytes).
inline void SealFrames(std::string& bytes) {
    std::size_t from = 0;
    for (;;) {
        const auto esc = bytes.find(pubpro::kEsc, from);
        if (esc == std::string::npos)
            return;
        const auto enq = bytes.find(pubpro::kEnq, esc);
        if (enq == std::string::npos)
            return;
        if (enq - esc + 1 >= 6)
            bytes.replace(enq - 4, 4,
                          ReferenceCrcHex(std::string_view(bytes).substr(esc + 1, enq - esc - 5)));
        from = enq + 1;
    }
}

inline bool ReferenceChecksumOk(std::string_view frame) {
    return frame.size() >= 6 &&
           ReferenceCrcHex(frame.substr(1, frame.size() - 6)) == frame.substr(frame.size() - 5, 4);
}

// The channel buffer as plainly as it can be written: one std::string, ENQs
// before the first ESC dropped one at a time, erase from the front. Driven in
// lockstep with the production RxBuffer.
class ReferenceBuffer {
public:
    void Append(std::string_view text) { text_.append(text); }

    // The next complete frame, consumed; nothing when none is complete.
    std::optional<std::string> Next() {
        for (;;) {
            const auto enq = text_.find(pubpro::kEnq);
            const auto esc = text_.find(pubpro::kEsc);
            if (enq == std::string::npos || esc == std::string::npos)
                return std::nullopt;
            if (esc > enq) {
                text_.erase(0, enq + 1);
                continue;
            }
            std::string frame = text_.substr(esc, enq - esc + 1);
            text_.erase(0, enq + 1);
            return frame;
        }
    }

    void Bound() {
        if (text_.size() <= pubpro::RxBuffer::kLimit)
            return;
        const auto lastEsc = text_.rfind(pubpro::kEsc);
        if (lastEsc != std::string::npos)
            text_.erase(0, lastEsc);
        if (text_.size() > pubpro::RxBuffer::kLimit)
            text_.clear();
    }

    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

// A frame as ExtractFrames must hand it over: ESC first, ENQ last, no other ENQ.
inline void CheckFrameShape(const std::string& frame) {
    FUZZ_CHECK(frame.size() >= 2, frame);
    FUZZ_CHECK(frame.front() == pubpro::kEsc, frame);
    FUZZ_CHECK(frame.back() == pubpro::kEnq, frame);
    FUZZ_CHECK(frame.find(pubpro::kEnq) == frame.size() - 1, frame);
}

// After an extraction pass that ran to its end, no complete frame may be left.
inline void CheckNothingLeft(const pubpro::RxBuffer& buffer) {
    const auto text = buffer.View();
    FUZZ_CHECK(text.find(pubpro::kEsc) == std::string_view::npos ||
                   text.find(pubpro::kEnq) == std::string_view::npos,
               text.substr(0, 64));
}

// The shared fakes, and the tool wired to them. No fuzzer starts the workers
// or opens a socket.
struct FuzzWindow {
    explicit FuzzWindow(std::string localAddress) : localAddress_(std::move(localAddress)) {
        tool.FormShow();
    }
    std::string localAddress_;
    FakeWindow window;
    VirtualSleeper sleeper;
    core::UpgradeTool tool{window.Ports(sleeper, [this] { return std::optional(localAddress_); })};
};

} // namespace fuzz

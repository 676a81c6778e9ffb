#include "pubpro/uPubpro.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using pubpro::CrcHex;
using pubpro::ExtractFrames;
using pubpro::FrameChecksumOk;
using pubpro::FramePayload;
using pubpro::MakeFrame;
using pubpro::RxBuffer;

namespace {

const std::string ESC = "\x1B";
const std::string ENQ = "\x05";

std::vector<std::string> Extract(RxBuffer& buffer, const std::string& appended) {
    buffer.Append(appended);
    std::vector<std::string> frames;
    ExtractFrames(buffer, [&](const std::string& frame) { frames.push_back(frame); });
    return frames;
}

TEST(CrcHex, MatchesWorkedValuesAndTheModbusCheckValue) {
    EXPECT_EQ(CrcHex("abc"), "4957");
    EXPECT_EQ(CrcHex("EN"), "B314");
    EXPECT_EQ(CrcHex(""), "FFFF");
    EXPECT_EQ(CrcHex("123456789"), "374B"); // CRC-16/MODBUS check 0x4B37, low byte first
    EXPECT_EQ(CrcHex(std::string("\x00\xFF", 2)), "41F0"); // a zero byte counts
}

TEST(MakeFrame, WrapsPayloadWithChecksumAndDelimiters) {
    EXPECT_EQ(MakeFrame("EN"), std::string("\x1B"
                                           "ENB314"
                                           "\x05"));
    EXPECT_EQ(MakeFrame(""), ESC + "FFFF" + ENQ);
    EXPECT_TRUE(FrameChecksumOk(MakeFrame("R0005")));
    EXPECT_EQ(FramePayload(MakeFrame("R0005")), "R0005");
}

TEST(FrameChecksumOk, RejectsLowerCaseWrongAndShortFrames) {
    EXPECT_TRUE(FrameChecksumOk(ESC + "FFFF" + ENQ));
    EXPECT_TRUE(FrameChecksumOk(ESC + "abc4957" + ENQ));
    EXPECT_FALSE(FrameChecksumOk(ESC + "ENb314" + ENQ));
    EXPECT_FALSE(FrameChecksumOk(ESC + "ENB315" + ENQ));
    EXPECT_FALSE(FrameChecksumOk(ESC + "FFF" + ENQ));
    EXPECT_FALSE(FrameChecksumOk(""));
}

TEST(ExtractFrames, HandlesSplitsPairsJunkAndStrayDelimiters) {
    RxBuffer buffer;
    EXPECT_TRUE(Extract(buffer, ESC + "R00").empty());
    EXPECT_EQ(buffer.View(), ESC + "R00");
    EXPECT_EQ(Extract(buffer, "05xxxx" + ENQ), std::vector<std::string>{ESC + "R0005xxxx" + ENQ});
    EXPECT_TRUE(buffer.Empty());

    EXPECT_EQ(Extract(buffer, ESC + "a" + ENQ + ESC + "b" + ENQ),
              (std::vector<std::string>{ESC + "a" + ENQ, ESC + "b" + ENQ}));
    EXPECT_EQ(Extract(buffer, "zz" + ESC + "p" + ENQ), std::vector<std::string>{ESC + "p" + ENQ});

    // ENQ before any ESC is thrown away with what precedes it; ESC abc waits.
    EXPECT_TRUE(Extract(buffer, "xy" + ENQ + ESC + "abc").empty());
    EXPECT_EQ(buffer.View(), ESC + "abc");
    buffer.Clear();

    // A second ESC inside a frame: the frame runs from the first one.
    EXPECT_EQ(Extract(buffer, ESC + "a" + ESC + "b" + ENQ),
              std::vector<std::string>{ESC + "a" + ESC + "b" + ENQ});

    // Text without ESC waits, and a later ESC gets it dropped.
    EXPECT_TRUE(Extract(buffer, "ab" + ENQ + "cd").empty());
    EXPECT_EQ(Extract(buffer, ENQ + ENQ + ESC + "f" + ENQ),
              std::vector<std::string>{ESC + "f" + ENQ});
    EXPECT_TRUE(buffer.Empty());
}

TEST(ExtractFrames, HandlerMayReenterTheSameBuffer) {
    // A notice opened from a handler runs a nested event loop, which can
    // extract from the same buffer again.
    RxBuffer buffer;
    buffer.Append(ESC + "1" + ENQ + ESC + "2" + ENQ + ESC + "3" + ENQ);
    std::vector<std::string> order;
    ExtractFrames(buffer, [&](const std::string& frame) {
        order.push_back(frame);
        if (frame == ESC + "1" + ENQ) {
            buffer.Append(ESC + "4" + ENQ);
            ExtractFrames(buffer,
                          [&](const std::string& inner) { order.push_back("inner" + inner); });
        }
    });
    EXPECT_EQ(order,
              (std::vector<std::string>{ESC + "1" + ENQ, "inner" + ESC + "2" + ENQ,
                                        "inner" + ESC + "3" + ENQ, "inner" + ESC + "4" + ENQ}));
    EXPECT_TRUE(buffer.Empty());
}

TEST(ExtractFrames, TerminatesAndNeverGrowsOnRandomInput) {
    std::mt19937 random(20261207);
    const char alphabet[] = {'\x1B', '\x05', 'a', 'R', '0', '#'};
    for (int round = 0; round < 2000; ++round) {
        RxBuffer buffer;
        std::size_t appended = 0;
        for (int chunk = 0; chunk < 5; ++chunk) {
            std::string text(random() % 40, ' ');
            for (auto& c : text)
                c = alphabet[random() % sizeof alphabet];
            appended += text.size();
            std::size_t handed = 0;
            buffer.Append(text);
            ExtractFrames(buffer, [&](const std::string& frame) {
                ASSERT_GE(frame.size(), 2u);
                EXPECT_EQ(frame.front(), '\x1B');
                EXPECT_EQ(frame.back(), '\x05');
                handed += frame.size();
            });
            // What remains holds no complete frame.
            const auto rest = buffer.View();
            const auto esc = rest.find('\x1B');
            EXPECT_TRUE(esc == std::string_view::npos ||
                        rest.find('\x05', esc) == std::string_view::npos);
            EXPECT_LE(buffer.Size(), appended);
        }
    }
}

TEST(RxBufferBound, AFloodWithoutEnqStaysBoundedAndLaterFramesStillWork) {
    RxBuffer buffer;
    const std::string flood(10000, 'x');
    for (int i = 0; i < 1000; ++i) { // 10 MB with one ESC up front, never an ENQ
        const auto frames = Extract(buffer, i == 0 ? ESC + flood : flood);
        EXPECT_TRUE(frames.empty());
        buffer.Bound();
        ASSERT_LE(buffer.Size(), RxBuffer::kLimit);
    }
    buffer.Bound();
    // A frame split across the bound: its start must survive the trimming.
    Extract(buffer, std::string(RxBuffer::kLimit, 'y') + ESC + "R00");
    buffer.Bound();
    EXPECT_EQ(Extract(buffer, "05" + ENQ), std::vector<std::string>{ESC + "R0005" + ENQ});
}

TEST(RxBufferBound, LeavesTextBelowTheLimitAlone) {
    RxBuffer buffer;
    const std::string partial = "junk" + ESC + std::string(600, 'a');
    buffer.Append(partial);
    buffer.Bound();
    EXPECT_EQ(buffer.View(), partial);
}

} // namespace

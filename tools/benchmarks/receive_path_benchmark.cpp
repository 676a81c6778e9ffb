// Cost of the checksum and of the receive path: append, extract, checksum test.
#include "protocol/messages.h"
#include "pubpro/uPubpro.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// A largest data frame: "UD" + index + 600 hex characters, 612 bytes framed.
std::string LargestFrame() {
    return protocol::BuildDataBlock(7, std::string(600, 'A'));
}

void BM_CrcHexLargestFrame(benchmark::State& state) {
    const std::string payload = protocol::BuildDataBlock(7, std::string(600, 'A')).substr(1, 606);
    for (auto _ : state)
        benchmark::DoNotOptimize(pubpro::CrcHex(payload));
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(payload.size()));
}
BENCHMARK(BM_CrcHexLargestFrame);

// Text of `bytes` bytes made of back-to-back frames of the given payload.
std::string FramesText(std::size_t bytes, const std::string& frame) {
    std::string text;
    while (text.size() + frame.size() <= bytes)
        text += frame;
    return text;
}

std::size_t ReceiveOnce(pubpro::RxBuffer& buffer, const std::string& datagram) {
    std::size_t accepted = 0;
    buffer.Append(datagram);
    pubpro::ExtractFrames(
        buffer, [&](const std::string& frame) { accepted += pubpro::FrameChecksumOk(frame); });
    buffer.Bound();
    return accepted;
}

// One datagram of the largest readable size, full of short reply frames.
void BM_ReceiveDatagramOfShortFrames(benchmark::State& state) {
    const std::string datagram = FramesText(10230, pubpro::MakeFrame("R0005"));
    pubpro::RxBuffer buffer;
    for (auto _ : state)
        benchmark::DoNotOptimize(ReceiveOnce(buffer, datagram));
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(datagram.size()));
    state.counters["frames"] =
        static_cast<double>(datagram.size() / pubpro::MakeFrame("R0005").size());
}
BENCHMARK(BM_ReceiveDatagramOfShortFrames);

void BM_ReceiveDatagramOfLargestFrames(benchmark::State& state) {
    const std::string datagram = FramesText(10230, LargestFrame());
    pubpro::RxBuffer buffer;
    for (auto _ : state)
        benchmark::DoNotOptimize(ReceiveOnce(buffer, datagram));
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(datagram.size()));
}
BENCHMARK(BM_ReceiveDatagramOfLargestFrames);

// Linearity: extraction over N bytes of frames, and over N bytes of stray ENQs
// followed by one ESC (the case a naive rescan makes quadratic).
void ExtractAllOf(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        pubpro::RxBuffer buffer;
        buffer.Append(text);
        std::size_t frames = 0;
        pubpro::ExtractFrames(buffer, [&](const std::string&) { ++frames; });
        benchmark::DoNotOptimize(frames);
    }
    state.SetComplexityN(state.range(0));
}

void BM_ExtractFramesScaling(benchmark::State& state) {
    ExtractAllOf(state,
                 FramesText(static_cast<std::size_t>(state.range(0)), pubpro::MakeFrame("R0005")));
}
BENCHMARK(BM_ExtractFramesScaling)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Complexity();

void BM_ExtractStrayEnqsScaling(benchmark::State& state) {
    ExtractAllOf(state, std::string(static_cast<std::size_t>(state.range(0)), '\x05') + "\x1B"
                                                                                        "R"
                                                                                        "\x05");
}
BENCHMARK(BM_ExtractStrayEnqsScaling)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Complexity();

} // namespace

BENCHMARK_MAIN();

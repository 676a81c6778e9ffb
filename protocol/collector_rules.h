#pragma once

// The collector's fixed numbers, once for every program that talks to it:
// its ports, the block geometry, the datagram size and the default timings of
// an upgrade.

#include <cstddef>
#include <cstdint>

namespace protocol {

// Both sides use the same port: the upgrade messages on 8000, the search
// probe and its replies on 23.
inline constexpr std::uint16_t kUpgradePort = 8000;
inline constexpr std::uint16_t kSearchPort = 23;

// A block carries 300 image bytes as 600 hex characters.
inline constexpr std::size_t kBlockBytes = 300;
inline constexpr std::size_t kBlockChars = 2 * kBlockBytes;
// Block numbers travel in four hex digits, so an image has at most this many.
inline constexpr std::size_t kMaxBlocks = 0xFFFF;

// The largest datagram read; a longer one is lost whole.
inline constexpr std::size_t kMaxDatagramBytes = 10230;
// Socket buffers asked for: room for the replies of a whole /24 arriving at
// once, and for the probes of a sweep waiting on address resolution of
// silent hosts.
inline constexpr int kSocketBufferBytes = 1 << 20;

// A sweep probes hosts 1..254 of the /24; 0 and 255 never.
inline constexpr int kFirstSweptHost = 1;
inline constexpr int kLastSweptHost = 254;

// Timings of an upgrade, in milliseconds: the pause after each data block,
// the settle pause after the last one, the pause after each completion query,
// and how many queries go unanswered before the upgrade counts as failed.
inline constexpr int kBlockPacingMs = 150;
inline constexpr int kSettleMs = 5000;
inline constexpr int kQueryIntervalMs = 3000;
inline constexpr int kQueryLimit = 5;

} // namespace protocol

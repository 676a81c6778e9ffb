#pragma once

// The collector's own framing. Deliberately independent of the tool's framing
// code so that the end-to-end tests check one against the other.
//
// Frame: ESC (0x1B), payload, checksum text (4 chars), ENQ (0x05).
//
// Checksum: CRC-16/MODBUS over the payload bytes
//   width 16, reflected polynomial 0xA001 (normal 0x8005), init 0xFFFF,
//   reflected in and out, no final XOR; check value of "123456789" = 0x4B37.
// Text form: low byte then high byte, two upper-case hex digits each
//   ("123456789" -> "374B", "EN" -> "B314", "" -> "FFFF").

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace collector_emulator {

inline constexpr char kEsc = '\x1B';
inline constexpr char kEnq = '\x05';

std::uint16_t Crc16Modbus(std::string_view bytes);
// The checksum text, upper case. With lowerCase the same digits in lower case
// (what a misbehaving collector might send).
std::string ChecksumText(std::string_view payload, bool lowerCase = false);
std::string BuildFrame(std::string_view payload);
// A frame carrying an explicit checksum text (used to send faulty checksums).
std::string BuildFrameWithChecksum(std::string_view payload, std::string_view checksum);

// The payload of a framed message if its checksum text matches exactly
// (case-sensitive); nothing if it is too short, badly delimited or wrong.
std::optional<std::string> CheckedPayload(std::string_view frame);

// Cuts complete frames (ESC .. first ENQ after it) out of the front of
// `buffer`. Text before an ESC and ENQs standing before any ESC are thrown
// away; an unfinished frame stays in the buffer.
std::vector<std::string> ExtractFrames(std::string& buffer);

// Upper-case hex, zero-padded to at least `width` digits.
std::string HexNumber(std::uint32_t value, int width = 4);
// Exactly the given text as hex digits of either case; nothing otherwise.
std::optional<std::uint32_t> ParseHex(std::string_view text);
// "0A1B" -> bytes 0x0A 0x1B. Nothing when the length is odd or a digit is bad.
std::optional<std::string> DecodeHexText(std::string_view text);

} // namespace collector_emulator

#pragma once

// Expected wire bytes written with the collector emulator's own codec, so a
// test never computes its expectation with the tool's framing code.

#include "frame_codec.h"

#include <algorithm>
#include <string>

// ESC "EN" + checksum B314 + ENQ.
inline const std::string kCompletionQuery = "\x1B"
                                            "ENB314\x05";

// Data block `index` of an image of `imageBytes` bytes that are all `byteHex`
// (two hex digits): "UD", the index, then up to 300 bytes as hex.
inline std::string ReferenceBlock(unsigned index, std::size_t imageBytes,
                                  const std::string& byteHex) {
    std::string text;
    for (std::size_t i = 300 * index; i < std::min<std::size_t>(imageBytes, 300 * (index + 1)); ++i)
        text += byteHex;
    return collector_emulator::BuildFrame("UD" + collector_emulator::HexNumber(index) + text);
}

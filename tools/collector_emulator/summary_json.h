#pragma once

// The JSON summary of what each emulated collector received and answered.
// Serials and versions are raw bytes, usually GBK: each appears as text
// decoded from GBK ("serial") and as the hex of its bytes ("serial_hex"), so
// a reader sees Chinese text and a test can still check the exact bytes.

#include "collector_emulator.h"

#include <string>
#include <string_view>
#include <vector>

namespace collector_emulator {

std::string SummaryText(const std::vector<CollectorReport>& reports);

// Two upper-case hex digits per byte: "\xB2\xC9" -> "B2C9".
std::string HexOfBytes(std::string_view bytes);

} // namespace collector_emulator

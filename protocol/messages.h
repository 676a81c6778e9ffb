#pragma once

// Every message exchanged with a collector, as bytes. Builders return what goes
// on the wire; parsers take a frame as ExtractFrames hands it over (ESC .. ENQ).
// Numeric fields received are four hex digits of either case, parsed as "$"
// plus the field; a field that does not parse throws ConversionError.

#include "protocol/collector_rules.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace protocol {

// 1. Search probe: the four bytes FF 04 03 FB, unframed.
std::string BuildSearchProbe();

// 2. Search reply: ESC serial [ "#" version ] ENQ, no checksum. Split at the
// first "#"; without one the version is empty. Nothing is trimmed.
struct SearchReply {
    std::string serial;
    std::string version;
};
SearchReply ParseSearchReply(std::string_view frame);

// Number of blocks of an image whose hex text has `hexLength` characters.
std::size_t BlockCount(std::size_t hexLength);

// The hex text of block `index`: up to 600 characters from character index*600
// (0-based); empty when that lies beyond the image.
std::string BlockText(std::string_view imageHex, long long index);

// 3. Upgrade request: "LU" + version text trimmed of codes below 33 + the block
// count in upper-case hex of at least 4 digits, framed.
std::string BuildUpgradeRequest(std::string_view versionText, std::size_t blockCount);

// Reply to the upgrade request, judged by the payload's first characters.
enum class RequestReply {
    Accept,      // 4. begins "R"
    NoFlash,     // 5. begins "E80"
    SameVersion, // 6. begins "E81"
    Other,       // anything else: ends the request without a notice
};
RequestReply ClassifyRequestReply(std::string_view frame);

// 4. Accept: the start block is frame characters 3..6 (1-based), the four after
// "R", whatever the frame's length ("R" alone yields its checksum characters).
int ParseAcceptStartBlock(std::string_view frame);

// 7. Data block: "UD" + index (upper-case hex, at least 4 digits) + block text, framed.
std::string BuildDataBlock(long long index, std::string_view blockText);

// 8. Completion query: always ESC "EN" "B314" ENQ.
std::string BuildCompletionQuery();

// Reply to the completion query, told apart by frame length.
enum class CompletionReply {
    Complete,   // 9. a 7-byte frame whose payload is "R"
    ResendList, // 10. 8 bytes or more, payload beginning "R"
    Failure,    // anything else
};
CompletionReply ClassifyCompletionReply(std::string_view frame);

// 10. Resend list: count n at frame characters 3..6, index k at 7+4k..10+4k.
// An index past the frame's end is an empty field and throws ConversionError.
std::vector<int> ParseResendList(std::string_view frame);

} // namespace protocol

#include "summary_json.h"

#include "frame_codec.h"
#include "platform/gbk.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace collector_emulator {

namespace {

using Json = nlohmann::ordered_json;

bool IsAscii(const std::string& bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
}

// `name` as decoded text and `name`_hex as the raw bytes. ASCII, the usual
// case, reads the same in GBK and UTF-8 and skips the converter, which keeps
// the summary of a full field cheap enough to rewrite after every query.
void PutRawText(Json& object, const std::string& name, const std::string& bytes) {
    object[name] = IsAscii(bytes) ? bytes : platform::GbkToUtf8(bytes);
    object[name + "_hex"] = HexOfBytes(bytes);
}

Json CollectorJson(const CollectorReport& r) {
    Json c;
    c["address"] = r.address;
    PutRawText(c, "serial", r.serial);
    PutRawText(c, "version", r.version);
    c["search_port"] = r.searchPort;
    c["upgrade_port"] = r.upgradePort;
    c["probes"] = r.probes;
    c["other_search"] = r.otherSearch;
    c["requests"] = r.requests;
    c["blocks"] = r.blocks;
    c["queries"] = r.queries;
    c["bad_frames"] = r.badFrames;
    c["other_upgrade"] = r.otherUpgrade;
    c["dropped_blocks"] = r.droppedBlocks;
    c["replies_sent"] = r.repliesSent;
    c["lost_in"] = r.lostIn;
    c["lost_out"] = r.lostOut;
    PutRawText(c, "requested_version", r.requestedVersion);
    c["announced_blocks"] = r.announcedBlocks ? Json(*r.announcedBlocks) : Json(nullptr);
    c["completions"] = r.completions;
    c["image_complete"] = r.imageComplete;
    c["image_bytes"] = r.image.size();
    Json receipts = Json::object();
    for (const auto& [block, times] : r.blockReceipts)
        receipts[std::to_string(block)] = times;
    c["block_receipts"] = std::move(receipts);
    c["query_times_ms"] = r.queryTimesMs;
    c["request_times_ms"] = r.requestTimesMs;
    c["block_times_us"] = r.blockTimesUs;
    c["completion_times_ms"] = r.completionTimesMs;
    c["resend_lists"] = r.resendLists;
    return c;
}

} // namespace

std::string HexOfBytes(std::string_view bytes) {
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char byte : bytes)
        hex += HexNumber(static_cast<unsigned char>(byte), 2);
    return hex;
}

std::string SummaryText(const std::vector<CollectorReport>& reports) {
    // One collector per line: a field of 253 stays readable with grep and
    // cheap to rewrite. Decoded text is valid UTF-8; replacing stays a
    // safeguard, never a throw.
    std::string text = "{\n  \"collectors\": [";
    const char* separator = "\n    ";
    for (const auto& report : reports) {
        text += separator;
        text += CollectorJson(report).dump(-1, ' ', false, Json::error_handler_t::replace);
        separator = ",\n    ";
    }
    return text + "\n  ]\n}\n";
}

} // namespace collector_emulator

#include "protocol/messages.h"

#include "pubpro/text_utils.h"
#include "pubpro/uPubpro.h"

namespace protocol {

namespace {

// Parses the 4-character hex field at 1-based frame position `at`.
int HexField(std::string_view frame, long long at) {
    return pubpro::StrToInt("$" + pubpro::Copy(frame, at, 4));
}

} // namespace

std::string BuildSearchProbe() {
    return std::string("\xFF\x04\x03\xFB", 4);
}

SearchReply ParseSearchReply(std::string_view frame) {
    const auto length = static_cast<long long>(frame.size());
    const auto hash = static_cast<long long>(pubpro::Pos("#", frame));
    if (hash == 0)
        return {pubpro::Copy(frame, 2, length - 2), {}};
    return {pubpro::Copy(frame, 2, hash - 2), pubpro::Copy(frame, hash + 1, length - 1 - hash)};
}

std::size_t BlockCount(std::size_t hexLength) {
    return (hexLength + kBlockChars - 1) / kBlockChars;
}

std::string BlockText(std::string_view imageHex, long long index) {
    if (index < 0)
        return {};
    return pubpro::Copy(imageHex, index * static_cast<long long>(kBlockChars) + 1, kBlockChars);
}

std::string BuildUpgradeRequest(std::string_view versionText, std::size_t blockCount) {
    return pubpro::MakeFrame("LU" + pubpro::Trim(versionText) +
                             pubpro::IntToHex(static_cast<long long>(blockCount), 4));
}

RequestReply ClassifyRequestReply(std::string_view frame) {
    const std::string payload = pubpro::FramePayload(frame);
    if (payload.starts_with('R'))
        return RequestReply::Accept;
    if (payload.starts_with("E80"))
        return RequestReply::NoFlash;
    if (payload.starts_with("E81"))
        return RequestReply::SameVersion;
    return RequestReply::Other;
}

int ParseAcceptStartBlock(std::string_view frame) {
    return HexField(frame, 3);
}

std::string BuildDataBlock(long long index, std::string_view blockText) {
    std::string payload = "UD" + pubpro::IntToHex(index, 4);
    payload += blockText;
    return pubpro::MakeFrame(payload);
}

std::string BuildCompletionQuery() {
    return pubpro::MakeFrame("EN");
}

CompletionReply ClassifyCompletionReply(std::string_view frame) {
    if (!pubpro::FramePayload(frame).starts_with('R'))
        return CompletionReply::Failure;
    if (frame.size() == 7)
        return CompletionReply::Complete;
    return frame.size() > 7 ? CompletionReply::ResendList : CompletionReply::Failure;
}

std::vector<int> ParseResendList(std::string_view frame) {
    const int count = HexField(frame, 3);
    std::vector<int> indices;
    for (long long k = 0; k < count; ++k)
        indices.push_back(HexField(frame, 7 + 4 * k));
    return indices;
}

} // namespace protocol

#include "protocol/firmware_image.h"

#include "platform/gbk.h"
#include "protocol/collector_rules.h"
#include "protocol/datagram_rules.h"
#include "protocol/hex.h"
#include "protocol/messages.h"
#include "pubpro/text_utils.h"

#include <stdexcept>

namespace protocol {

FirmwareImage FirmwareImage::WithVersionText(const std::string& text) const {
    FirmwareImage edited = *this;
    edited.versionText = pubpro::Trim(text);
    edited.versionWire = platform::Utf8ToGbk(edited.versionText);
    edited.versionAsReported = edited.versionWire;
    ScrubSearchDatagram(edited.versionAsReported);
    return edited;
}

ImageBuilder::ImageBuilder(FirmwareName name, std::uint64_t size) : name_(std::move(name)) {
    if (size > hex_.max_size() / 2)
        throw std::length_error("File \"" + name_.path + "\" is too large to load");
    hex_.resize(2 * static_cast<std::size_t>(size));
}

void ImageBuilder::Add(std::string_view bytes) {
    bytes = bytes.substr(0, hex_.size() / 2 - received_);
    HexEncodeInto(bytes, hex_.data() + 2 * received_);
    digest_.Add(bytes);
    received_ += bytes.size();
}

FirmwareImage ImageBuilder::Finish() {
    FirmwareImage image;
    image.path = name_.path;
    image.fileName = name_.fileName;
    image.sizeBytes = hex_.size() / 2;
    image.blockCount = BlockCount(hex_.size());
    image.sha256 = digest_.HexDigest();
    image.hex = std::make_shared<const std::string>(std::move(hex_));
    return image.WithVersionText(name_.versionText);
}

} // namespace protocol

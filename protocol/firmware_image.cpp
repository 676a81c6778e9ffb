#include "protocol/firmware_image.h"

#include "platform/gbk.h"
#include "platform/read_file.h"
#include "protocol/collector_rules.h"
#include "protocol/datagram_rules.h"
#include "protocol/messages.h"
#include "pubpro/text_utils.h"

namespace protocol {

FirmwareImage FirmwareImage::WithVersionText(const std::string& text) const {
    FirmwareImage edited = *this;
    edited.versionText = pubpro::Trim(text);
    edited.versionWire = platform::Utf8ToGbk(edited.versionText);
    edited.versionAsReported = edited.versionWire;
    ScrubSearchDatagram(edited.versionAsReported);
    return edited;
}

FirmwareImage LoadImage(const FirmwareName& name, std::optional<std::uint64_t> maxBytes) {
    platform::ReadOnlyFile file;
    if (!file.Open(name.path))
        throw ImageFileError(name.path, file.Error());
    if (maxBytes && file.Size() > *maxBytes)
        throw ImageTooLarge(name.path, "It holds more than " + std::to_string(*maxBytes) + " bytes",
                            file.Size());
    HexAndDigest read = ReadImageHex(
        name.path, file.Size(),
        [&](char* into, std::size_t count) { return file.Read(into, count); },
        [&] { return file.Error(); });

    FirmwareImage image;
    image.path = name.path;
    image.fileName = name.fileName;
    image.sizeBytes = read.hex.size() / 2;
    image.blockCount = BlockCount(read.hex.size());
    image.hex = std::make_shared<const std::string>(std::move(read.hex));
    image.sha256 = std::move(read.sha256);
    return image.WithVersionText(name.versionText);
}

} // namespace protocol

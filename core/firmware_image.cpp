#include "core/firmware_image.h"

#include "platform/read_file.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace core {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void HexEncodeInto(std::string_view bytes, char* out) {
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = kHexDigits[b >> 4];
        *out++ = kHexDigits[b & 0xF];
    }
}

} // namespace

std::string NamePart(std::string_view path) {
    const auto separator = path.find_last_of("\\:/");
    return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

bool IsFirmwareName(std::string_view path) {
    const std::string name = NamePart(path);
    return !name.empty() && name.front() == 'S';
}

std::string VersionTextFromPath(std::string_view path) {
    const std::string name = NamePart(path);
    return name.substr(0, name.rfind('.'));
}

std::string HexEncode(std::string_view bytes) {
    std::string hex(bytes.size() * 2, '0');
    HexEncodeInto(bytes, hex.data());
    return hex;
}

ImageText LoadImageHex(const std::string& path) {
    platform::ReadOnlyFile file;
    if (!file.Open(path))
        throw std::runtime_error("Cannot open file \"" + path + "\". " + file.Error());
    // The text is sized from the file's size and starts as all "00": bytes a
    // short read leaves out count as zero. Encoding chunk by chunk keeps the
    // peak near the text's own size instead of bytes plus text.
    auto hex = std::make_shared<std::string>();
    if (file.Size() > hex->max_size() / 2)
        throw std::length_error("File \"" + path + "\" is too large to load");
    hex->assign(2 * static_cast<std::size_t>(file.Size()), '0');
    std::vector<char> chunk(std::min<std::size_t>(1 << 20, hex->size() / 2));
    for (std::size_t at = 0; at < hex->size() / 2;) {
        const std::size_t want = std::min(chunk.size(), hex->size() / 2 - at);
        const std::size_t got = file.Read(chunk.data(), want);
        HexEncodeInto(std::string_view(chunk.data(), got), hex->data() + 2 * at);
        if (got == 0)
            break;
        at += got;
    }
    return hex;
}

void FirmwareImage::Browse(OpenFileDialog& dialog, Notices& notices, ToolView& view) {
    if (!path_.empty())
        dialog.SetFileName(path_);
    if (!dialog.Execute())
        return;
    const std::string path = dialog.FileName();
    if (path.empty())
        return;
    if (!IsFirmwareName(path)) {
        notices.PlainMessage("版本号必须以S开头");
        return;
    }
    path_ = path;
    view.ImageChosen(path, VersionTextFromPath(path));
    hex_ = LoadImageHex(path); // replaced only once the new text is whole
}

} // namespace core

#include "core/image_loading.h"

#include "core/upgrade_tool.h"

#include "platform/file_names.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

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
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex(bytes.size() * 2, '0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        hex[2 * i] = kDigits[b >> 4];
        hex[2 * i + 1] = kDigits[b & 0xF];
    }
    return hex;
}

void LoadImageHex(const std::string& path, std::string& imageHex) {
    // Read-only, no sharing restriction, by a UTF-8 name on every system.
    const auto cannotOpen = [&](int error) {
        return std::runtime_error("Cannot open file \"" + path + "\". " + std::strerror(error));
    };
    // POSIX opens a folder for reading; it is no image, and its "size" is garbage.
    std::error_code ignored;
    if (std::filesystem::is_directory(PathFromUtf8(path), ignored))
        throw cannotOpen(EISDIR);
    std::FILE* file = OpenForReading(path);
    if (file == nullptr)
        throw cannotOpen(errno);
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0)
        size = std::ftell(file);
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        const int error = errno;
        std::fclose(file);
        throw cannotOpen(error);
    }
    // The text is sized from the file's size and starts as all "00": bytes a
    // short read leaves out count as zero. Encoding chunk by chunk keeps the
    // peak near the text's own size instead of bytes plus text.
    imageHex.clear();
    imageHex.shrink_to_fit(); // release the old image before the new text exists
    imageHex.assign(2 * static_cast<std::size_t>(size), '0');
    std::vector<char> chunk(1 << 20);
    for (std::size_t at = 0; at < imageHex.size() / 2;) {
        const std::size_t want = std::min(chunk.size(), imageHex.size() / 2 - at);
        const std::size_t got = std::fread(chunk.data(), 1, want, file);
        const std::string hex = HexEncode(std::string_view(chunk.data(), got));
        imageHex.replace(2 * at, hex.size(), hex);
        if (got < want)
            break;
        at += got;
    }
    std::fclose(file);
}

void UpgradeTool::btn1Click() {
    auto& dialog = views_.fileDialog;
    auto& fields = views_.fields;
    if (!fields.ImagePath().empty())
        dialog.SetFileName(fields.ImagePath());
    if (!dialog.Execute())
        return;
    const std::string path = dialog.FileName();
    if (path.empty())
        return;
    if (!IsFirmwareName(path)) {
        views_.notices.PlainMessage("版本号必须以S开头");
        return;
    }
    fields.SetImagePath(path);
    fields.SetVersionText(VersionTextFromPath(path));
    LoadImageHex(path, imageHex_);
}

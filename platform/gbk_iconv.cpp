#include "platform/gbk.h"

#include <cerrno>
#include <iconv.h>

namespace platform {

namespace {

// How many bytes of `rest` (not empty) a character that cannot be converted
// takes: one for GBK input, since a bad byte may start a good character; a
// lead byte with its continuation bytes for UTF-8, so that one character
// costs one replacement, as on Windows.
using SkipLength = std::size_t (*)(std::string_view rest);

std::size_t OneByte(std::string_view) {
    return 1;
}

std::size_t Utf8Character(std::string_view rest) {
    std::size_t length = 1;
    while (length < rest.size() && length < 4 &&
           (static_cast<unsigned char>(rest[length]) & 0xC0) == 0x80)
        ++length;
    return length;
}

// Converts with iconv; a sequence that is invalid, incomplete or has no
// counterpart in the target is skipped and replaced by `replacement`.
std::string Convert(const char* to, const char* from, std::string_view input,
                    std::string_view replacement, SkipLength skip) {
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string(input);
    std::string out;
    out.reserve(input.size() * 2);
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char chunk[256];
    while (inLeft > 0) {
        char* dst = chunk;
        std::size_t dstLeft = sizeof chunk;
        const auto rc = ::iconv(cd, &in, &inLeft, &dst, &dstLeft);
        out.append(chunk, sizeof chunk - dstLeft);
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            out.append(replacement); // EILSEQ or EINVAL: skip the bad character
            const std::size_t bad = skip(std::string_view(in, inLeft));
            in += bad;
            inLeft -= bad;
        }
    }
    ::iconv_close(cd);
    return out;
}

} // namespace

std::string GbkToUtf8(std::string_view gbk) {
    return Convert("UTF-8", "GBK", gbk, "\xEF\xBF\xBD", OneByte);
}

std::string Utf8ToGbk(std::string_view utf8) {
    return Convert("GBK", "UTF-8", utf8, "?", Utf8Character);
}

} // namespace platform

#include "platform/gbk.h"

#include <cerrno>
#include <iconv.h>

namespace {

// Converts with iconv; an invalid or incomplete sequence in the input is
// skipped one byte at a time and replaced by `replacement`.
std::string Convert(const char* to, const char* from, std::string_view input,
                    std::string_view replacement) {
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
            out.append(replacement); // EILSEQ or EINVAL: skip the bad byte
            ++in;
            --inLeft;
        }
    }
    ::iconv_close(cd);
    return out;
}

} // namespace

std::string GbkToUtf8(std::string_view gbk) {
    return Convert("UTF-8", "GBK", gbk, "\xEF\xBF\xBD");
}

std::string Utf8ToGbk(std::string_view utf8) {
    return Convert("GBK", "UTF-8", utf8, "?");
}

#include "platform/gbk.h"

#include "platform/wide_text.h"

#include <windows.h>

namespace platform {

namespace {

constexpr UINT kGbk = 936;
constexpr wchar_t kReplacement = 0xFFFD;

// One GBK character of `length` bytes as UTF-16, or nothing when the bytes do
// not form a valid character.
bool DecodeOne(const char* bytes, int length, std::wstring& out) {
    wchar_t unit[2];
    const int got = ::MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, bytes, length, unit, 2);
    if (got <= 0)
        return false;
    out.append(unit, static_cast<std::size_t>(got));
    return true;
}

} // namespace

std::string GbkToUtf8(std::string_view gbk) {
    // Character by character, so that an invalid byte costs only itself: it
    // becomes U+FFFD and decoding goes on with the next byte.
    std::wstring wide;
    wide.reserve(gbk.size());
    for (std::size_t at = 0; at < gbk.size();) {
        const auto byte = static_cast<unsigned char>(gbk[at]);
        if (byte < 0x80) {
            wide.push_back(static_cast<wchar_t>(byte));
            ++at;
        } else if (at + 1 < gbk.size() && DecodeOne(gbk.data() + at, 2, wide)) {
            at += 2;
        } else if (DecodeOne(gbk.data() + at, 1, wide)) {
            ++at;
        } else {
            wide.push_back(kReplacement);
            ++at;
        }
    }
    return WideToUtf8(wide);
}

std::string Utf8ToGbk(std::string_view utf8) {
    // Invalid UTF-8 arrives here as U+FFFD; it and every character that GBK
    // lacks become "?".
    const std::wstring wide = Utf8ToWide(utf8);
    if (wide.empty())
        return {};
    const int length = static_cast<int>(wide.size());
    const int size = ::WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr,
                                           0, "?", nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide.data(), length, out.data(), size, "?",
                          nullptr);
    return out;
}

} // namespace platform

#include "pubpro/text_utils.h"

#include "pubpro/conversion_error.h"

#include <limits>

namespace pubpro {

std::string Copy(std::string_view text, long long start, long long count) {
    if (start < 1)
        start = 1;
    const auto size = static_cast<long long>(text.size());
    if (count <= 0 || start > size)
        return {};
    const long long available = size - start + 1;
    return std::string(
        text.substr(static_cast<std::size_t>(start - 1),
                    static_cast<std::size_t>(count < available ? count : available)));
}

std::size_t Pos(std::string_view needle, std::string_view text) {
    const auto at = text.find(needle);
    return at == std::string_view::npos ? 0 : at + 1;
}

std::string IntToHex(long long value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    unsigned long long v =
        value < 0 ? static_cast<std::uint32_t>(value) : static_cast<unsigned long long>(value);
    std::string out;
    do {
        out.insert(out.begin(), kDigits[v & 0xF]);
        v >>= 4;
    } while (v != 0);
    if (static_cast<int>(out.size()) < digits)
        out.insert(0, static_cast<std::size_t>(digits) - out.size(), '0');
    return out;
}

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 99;
}

} // namespace

int StrToInt(std::string_view text) {
    const auto fail = [&]() -> int { throw ConversionError(std::string(text)); };
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    }
    if (i == text.size())
        return fail();
    // Hexadecimal may fill all 32 bits and is read as their two's complement
    // ("$FFFFFFFF" is -1); decimal must fit an int.
    const unsigned long long limit =
        base == 16
            ? 0xFFFFFFFFull
            : static_cast<unsigned long long>(std::numeric_limits<int>::max()) + (negative ? 1 : 0);
    unsigned long long value = 0;
    for (; i < text.size(); ++i) {
        const int d = DigitValue(text[i]);
        if (d >= base)
            return fail();
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (value > limit)
            return fail();
    }
    const auto bits = static_cast<std::uint32_t>(value);
    const auto result = static_cast<std::int32_t>(negative ? 0u - bits : bits);
    return result;
}

std::string Trim(std::string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) < 33)
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) < 33)
        --last;
    return std::string(text.substr(first, last - first));
}

} // namespace pubpro

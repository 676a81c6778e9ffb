#pragma once

// Byte-string helpers with the program's text conventions: positions are
// 1-based, substrings never fail, hex is written in upper case.

#include <cstdint>
#include <string>
#include <string_view>

namespace pubpro {

// Up to `count` bytes of `text` from 1-based position `start`. A start at or
// before 1 starts at the first byte without shortening the count; a start past
// the end or a count <= 0 gives empty text.
std::string Copy(std::string_view text, long long start, long long count);

// 1-based position of the first occurrence of `needle` in `text`, or 0.
std::size_t Pos(std::string_view needle, std::string_view text);

// `value` as upper-case hexadecimal, zero-padded to at least `digits` digits,
// never truncated. Negative values are written as their 32-bit two's complement.
std::string IntToHex(long long value, int digits);

// Integer parsing: leading spaces, an optional sign, "$" for hexadecimal,
// nothing after the digits, within 32-bit range. Anything else throws
// ConversionError carrying the whole text.
int StrToInt(std::string_view text);

// Removes leading and trailing bytes whose code is below 33.
std::string Trim(std::string_view text);

} // namespace pubpro

#include "frame_codec.h"

#include <cctype>

namespace collector_emulator {

std::uint16_t Crc16Modbus(std::string_view bytes) {
    std::uint16_t crc = 0xFFFF;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

namespace {
char HexDigit(unsigned v, bool lowerCase) {
    const char* digits = lowerCase ? "0123456789abcdef" : "0123456789ABCDEF";
    return digits[v & 0xF];
}
int DigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
} // namespace

std::string ChecksumText(std::string_view payload, bool lowerCase) {
    const std::uint16_t crc = Crc16Modbus(payload);
    const unsigned low = crc & 0xFF, high = crc >> 8;
    return {HexDigit(low >> 4, lowerCase), HexDigit(low, lowerCase), HexDigit(high >> 4, lowerCase),
            HexDigit(high, lowerCase)};
}

std::string BuildFrameWithChecksum(std::string_view payload, std::string_view checksum) {
    std::string frame;
    frame.reserve(payload.size() + checksum.size() + 2);
    frame += kEsc;
    frame += payload;
    frame += checksum;
    frame += kEnq;
    return frame;
}

std::string BuildFrame(std::string_view payload) {
    return BuildFrameWithChecksum(payload, ChecksumText(payload));
}

std::optional<std::string> CheckedPayload(std::string_view frame) {
    if (frame.size() < 6 || frame.front() != kEsc || frame.back() != kEnq)
        return std::nullopt;
    const std::string_view payload = frame.substr(1, frame.size() - 6);
    const std::string_view checksum = frame.substr(frame.size() - 5, 4);
    if (ChecksumText(payload) != checksum)
        return std::nullopt;
    return std::string(payload);
}

std::vector<std::string> ExtractFrames(std::string& buffer) {
    std::vector<std::string> frames;
    for (;;) {
        const auto esc = buffer.find(kEsc);
        if (esc == std::string::npos) {
            // Nothing can start a frame; keep only what follows the last ENQ so
            // that stray text cannot pile up between frames.
            const auto lastEnq = buffer.rfind(kEnq);
            if (lastEnq != std::string::npos)
                buffer.erase(0, lastEnq + 1);
            return frames;
        }
        const auto enq = buffer.find(kEnq, esc + 1);
        if (enq == std::string::npos) {
            buffer.erase(0, esc);
            return frames;
        }
        frames.emplace_back(buffer.substr(esc, enq - esc + 1));
        buffer.erase(0, enq + 1);
    }
}

std::string HexNumber(std::uint32_t value, int width) {
    std::string digits;
    do {
        digits.insert(digits.begin(), HexDigit(value & 0xF, false));
        value >>= 4;
    } while (value != 0);
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    return digits;
}

std::optional<std::uint32_t> ParseHex(std::string_view text) {
    if (text.empty() || text.size() > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        const int d = DigitValue(c);
        if (d < 0)
            return std::nullopt;
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return value;
}

std::optional<std::string> DecodeHexText(std::string_view text) {
    if (text.size() % 2 != 0)
        return std::nullopt;
    std::string bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = DigitValue(text[i]), lo = DigitValue(text[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes += static_cast<char>((hi << 4) | lo);
    }
    return bytes;
}

} // namespace collector_emulator

#pragma once

// Checksum and framing of the upgrade protocol.
//
// Frame: ESC (0x1B), payload, 4 checksum characters, ENQ (0x05).
//
// Checksum: CRC-16/MODBUS over the payload bytes.
//   width 16, polynomial 0x8005 (reflected 0xA001), initial value 0xFFFF,
//   input and output reflected, final XOR 0x0000, check("123456789") = 0x4B37.
//   Written as the CRC's low byte, then its high byte, each as two upper-case
//   hexadecimal digits: "123456789" -> "374B", "" -> "FFFF".

#include <functional>
#include <string>
#include <string_view>

namespace pubpro {

inline constexpr char kEsc = '\x1B';
inline constexpr char kEnq = '\x05';

// The four-character checksum text of `payload`.
std::string CrcHex(std::string_view payload);

// ESC + payload + CrcHex(payload) + ENQ.
std::string MakeFrame(std::string_view payload);

// True when `frame` (ESC .. ENQ, at least 6 bytes) carries the checksum of its
// payload exactly, upper case. Shorter frames fail.
bool FrameChecksumOk(std::string_view frame);

// The payload of a frame that has both delimiters and a checksum: bytes 2 .. L-5.
std::string FramePayload(std::string_view frame);

// The text a channel accumulates. Extraction consumes it from the front; the
// consumed head is kept as an offset and compacted lazily so that cutting many
// frames out of one long text stays linear.
class RxBuffer {
public:
    // Received text beyond this is trimmed after extraction (see Bound()).
    static constexpr std::size_t kLimit = 64 * 1024;

    void Append(std::string_view text);
    std::string_view View() const { return std::string_view(data_).substr(head_); }
    std::size_t Size() const { return data_.size() - head_; }
    bool Empty() const { return Size() == 0; }
    // Drops the first `count` bytes of the pending text.
    void Consume(std::size_t count);
    void Clear();
    // Keeps the buffer bounded against senders that never finish a frame:
    // above kLimit the text before its last ESC goes, and if that is still too
    // much, everything goes. Frames are at most 612 bytes, so this never
    // touches a frame that could still complete.
    void Bound();

private:
    std::string data_;
    std::size_t head_ = 0;
};

// Cuts the complete frames (first ESC through the first ENQ after it) out of
// `buffer` in order and hands each, delimiters included, to `handler`. Text
// before a frame's ESC is discarded; ENQs with no ESC before them are thrown
// away with everything before them; an ESC without an ENQ after it waits for
// more text. The handler may append to or extract from the same buffer again
// (a nested event loop can do that): every step re-reads the buffer.
void ExtractFrames(RxBuffer& buffer, const std::function<void(const std::string&)>& handler);

} // namespace pubpro

#include "command_line.h"

#include <arpa/inet.h>

#include <charconv>
#include <sstream>

namespace collector_emulator {

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

bool ParseUnsigned(const std::string& text, unsigned long long max, unsigned long long& value) {
    int base = 10;
    std::string_view digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    const auto [end, ec] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    return ec == std::errc() && end == digits.data() + digits.size() && value <= max;
}

bool ParseShare(const std::string& text, double& value) {
    try {
        std::size_t used = 0;
        value = std::stod(text, &used);
        return used == text.size() && value >= 0.0 && value <= 1.0;
    } catch (...) {
        return false;
    }
}

} // namespace

std::string Usage() {
    return R"(collector-emulator: plays the collectors' side of the firmware upgrade exchange.

  --address LIST        addresses to bind, comma separated; each A.B.C.D or
                        A.B.C.D-E (last octet range), optionally =SERIAL or
                        =SERIAL#VERSION; may be repeated (required)
  --version TEXT        version reported to the sweep (default S1.00)
  --search-port N       local search port (default 23; 0 picks one)
  --upgrade-port N      local upgrade port (default 8000; 0 picks one)
  --no-probe-reply      stay silent to the sweep probe
  --request-reply KIND  accept | e80 | e81 | silent (default accept)
  --start-block N       block named in the accept (default 0)
  --preloaded PATH      on accept, hold the blocks below the start block
                        from this image file (an interrupted earlier upgrade)
  --query-reply KIND    normal | silent | error (default normal)
  --max-resend N        indices per resend list at most (default 100)
  --drop-share F        share 0..1 of blocks lost on first receipt
  --drop-blocks LIST    block indices lost on first receipt, comma separated
  --seed N              seed for every random choice (default 1)
  --delay-ms N          answer every message N ms late
  --reorder-ms N        add a random 0..N ms to each reply and stored block
  --duplicate-share F   share 0..1 of replies sent twice
  --checksum KIND       good | bad | lower checksum in upgrade replies
  --junk                send a junk datagram before every reply
  --flood-bytes N       send N bytes of text without ESC/ENQ before the
                        first reply to each peer on each channel
  --image-out PATH      write the assembled image there ("%a": the address)
  --summary PATH        write a JSON summary of what was received
  --ready-file PATH     create this file once every socket is bound
  --run-seconds N       stop after N seconds (default 300)
  --help                this text
)";
}

std::variant<std::vector<CollectorIdentity>, std::string>
ParseAddressItem(const std::string& item) {
    std::string address = item, serial, version;
    if (const auto equals = item.find('='); equals != std::string::npos) {
        address = item.substr(0, equals);
        serial = item.substr(equals + 1);
        if (const auto hash = serial.find('#'); hash != std::string::npos) {
            version = serial.substr(hash + 1);
            serial.erase(hash);
        }
        if (serial.empty())
            return "empty serial in '" + item + "'";
    }
    unsigned long long last = 0;
    std::string first = address;
    bool range = false;
    if (const auto dash = address.find('-'); dash != std::string::npos) {
        first = address.substr(0, dash);
        if (!ParseUnsigned(address.substr(dash + 1), 255, last))
            return "bad range end in '" + item + "'";
        range = true;
    }
    in_addr parsed{};
    if (::inet_pton(AF_INET, first.c_str(), &parsed) != 1)
        return "not an IPv4 address: '" + first + "'";
    const std::uint32_t base = ntohl(parsed.s_addr);
    const std::uint32_t from = base & 0xFF;
    const std::uint32_t to = range ? static_cast<std::uint32_t>(last) : from;
    if (to < from)
        return "empty range in '" + item + "'";
    std::vector<CollectorIdentity> collectors;
    for (std::uint32_t octet = from; octet <= to; ++octet) {
        in_addr one{};
        one.s_addr = htonl((base & 0xFFFFFF00u) | octet);
        char text[INET_ADDRSTRLEN];
        ::inet_ntop(AF_INET, &one, text, sizeof text);
        collectors.push_back({text, serial, version});
    }
    return collectors;
}

std::variant<CommandLine, std::string> ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine result;
    auto& o = result.options;
    o.runLimit = std::chrono::seconds(kDefaultRunSeconds);
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        auto value = [&](std::string& out) -> bool {
            if (i + 1 >= arguments.size())
                return false;
            out = arguments[++i];
            return true;
        };
        std::string text;
        unsigned long long number = 0;
        if (name == "--help" || name == "-h") {
            result.help = true;
        } else if (name == "--no-probe-reply") {
            o.answerProbe = false;
        } else if (name == "--junk") {
            o.junk = true;
        } else if (!value(text)) {
            return name.rfind("--", 0) == 0 ? "option " + name + " needs a value (or is unknown)"
                                            : "unexpected argument '" + name + "'";
        } else if (name == "--address") {
            for (const auto& item : Split(text, ',')) {
                auto parsed = ParseAddressItem(item);
                if (auto* error = std::get_if<std::string>(&parsed))
                    return *error;
                for (auto& c : std::get<std::vector<CollectorIdentity>>(parsed))
                    o.collectors.push_back(std::move(c));
            }
        } else if (name == "--version") {
            o.defaultVersion = text;
        } else if (name == "--search-port" || name == "--upgrade-port") {
            if (!ParseUnsigned(text, 65535, number))
                return "bad port '" + text + "'";
            (name == "--search-port" ? o.searchPort : o.upgradePort) =
                static_cast<std::uint16_t>(number);
        } else if (name == "--request-reply") {
            if (text == "accept")
                o.requestReply = RequestReply::Accept;
            else if (text == "e80")
                o.requestReply = RequestReply::NoFlash;
            else if (text == "e81")
                o.requestReply = RequestReply::SameVersion;
            else if (text == "silent")
                o.requestReply = RequestReply::Silent;
            else
                return "bad --request-reply '" + text + "'";
        } else if (name == "--query-reply") {
            if (text == "normal")
                o.queryReply = QueryReply::Normal;
            else if (text == "silent")
                o.queryReply = QueryReply::Silent;
            else if (text == "error")
                o.queryReply = QueryReply::Error;
            else
                return "bad --query-reply '" + text + "'";
        } else if (name == "--checksum") {
            if (text == "good")
                o.checksumFault = ChecksumFault::None;
            else if (text == "bad")
                o.checksumFault = ChecksumFault::Bad;
            else if (text == "lower")
                o.checksumFault = ChecksumFault::LowerCase;
            else
                return "bad --checksum '" + text + "'";
        } else if (name == "--start-block") {
            if (!ParseUnsigned(text, 0xFFFF, number))
                return "bad --start-block '" + text + "'";
            o.startBlock = static_cast<std::uint32_t>(number);
        } else if (name == "--max-resend") {
            if (!ParseUnsigned(text, 0xFFFF, number) || number == 0)
                return "bad --max-resend '" + text + "'";
            o.maxResendEntries = number;
        } else if (name == "--drop-share" || name == "--duplicate-share") {
            double share = 0;
            if (!ParseShare(text, share))
                return "bad " + name + " '" + text + "' (0..1)";
            (name == "--drop-share" ? o.dropShare : o.duplicateShare) = share;
        } else if (name == "--drop-blocks") {
            for (const auto& item : Split(text, ',')) {
                if (!ParseUnsigned(item, 0xFFFFFFFFull, number))
                    return "bad block index '" + item + "'";
                o.dropBlocks.insert(static_cast<std::uint32_t>(number));
            }
        } else if (name == "--seed") {
            if (!ParseUnsigned(text, 0xFFFFFFFFull, number))
                return "bad --seed '" + text + "'";
            o.seed = static_cast<std::uint32_t>(number);
        } else if (name == "--delay-ms" || name == "--reorder-ms") {
            if (!ParseUnsigned(text, 600000, number))
                return "bad " + name + " '" + text + "'";
            (name == "--delay-ms" ? o.replyDelayMs : o.reorderMs) = static_cast<int>(number);
        } else if (name == "--flood-bytes") {
            if (!ParseUnsigned(text, 1ull << 31, number))
                return "bad --flood-bytes '" + text + "'";
            o.floodBytes = number;
        } else if (name == "--preloaded") {
            o.preloadedImage = text;
        } else if (name == "--image-out") {
            o.imageOut = text;
        } else if (name == "--summary") {
            o.summaryPath = text;
        } else if (name == "--ready-file") {
            result.readyFile = text;
        } else if (name == "--run-seconds") {
            if (!ParseUnsigned(text, 24 * 3600, number) || number == 0)
                return "bad --run-seconds '" + text + "' (1..86400)";
            o.runLimit = std::chrono::seconds(number);
        } else {
            return "unknown option " + name;
        }
    }
    if (!result.help && o.collectors.empty())
        return "no --address given";
    return result;
}

} // namespace collector_emulator

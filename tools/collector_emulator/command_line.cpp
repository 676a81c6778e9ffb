#include "command_line.h"

#include <CLI/CLI.hpp>

#include <arpa/inet.h>

#include <algorithm>
#include <map>

namespace collector_emulator {

namespace {

constexpr int kHelpColumn = 24;

// The help as one plain list: the description, a blank line, then each
// option by its long name and value name with its description at a fixed
// column. CLI11's own layout adds a usage line, an "Options:" title and the
// short alias of --help.
class PlainListFormatter : public CLI::Formatter {
public:
    PlainListFormatter() { column_width(kHelpColumn); }

    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
        std::string text = make_description(app) + "\n";
        for (const CLI::Option* option : app->get_options())
            text += make_option(option, false);
        return text;
    }

    std::string make_option_name(const CLI::Option* option, bool) const override {
        return "--" + option->get_lnames().front();
    }
};

// CLI11 reads a leading zero as octal ("010" -> 8); these numbers have always
// been decimal or 0x hexadecimal, so leading zeros of a decimal are dropped.
const CLI::Validator kDecimalOrHex(
    [](std::string& text) {
        const bool hex = text.size() > 1 && (text[1] == 'x' || text[1] == 'X');
        if (!hex && text.size() > 1 && text[0] == '0')
            text.erase(0, std::min(text.find_first_not_of('0'), text.size() - 1));
        return std::string();
    },
    "", "decimal or 0x hex");

const std::map<std::string, RequestReply> kRequestReplies{{"accept", RequestReply::Accept},
                                                          {"e80", RequestReply::NoFlash},
                                                          {"e81", RequestReply::SameVersion},
                                                          {"silent", RequestReply::Silent}};
const std::map<std::string, QueryReply> kQueryReplies{
    {"normal", QueryReply::Normal}, {"silent", QueryReply::Silent}, {"error", QueryReply::Error}};
const std::map<std::string, ChecksumFault> kChecksumFaults{{"good", ChecksumFault::None},
                                                           {"bad", ChecksumFault::Bad},
                                                           {"lower", ChecksumFault::LowerCase}};

template <typename T>
CLI::Option* AddNumber(CLI::App& app, const std::string& name, T& value, T min, T max,
                       const std::string& valueName, const std::string& description) {
    return app.add_option(name, value, description)
        ->option_text(valueName)
        ->transform(kDecimalOrHex)
        ->check(CLI::Range(min, max));
}

// An option whose value is one of the names of `choices`, case as given.
template <typename Enum>
CLI::Option* AddChoice(CLI::App& app, const std::string& name, Enum& value,
                       const std::map<std::string, Enum>& choices, const std::string& description) {
    std::vector<std::string> names;
    for (const auto& [choice, unused] : choices)
        names.push_back(choice);
    return app
        .add_option_function<std::string>(
            name, [&value, &choices](const std::string& text) { value = choices.at(text); },
            description)
        ->option_text("KIND")
        ->check(CLI::IsMember(names));
}

// Declares every option on `app`, bound to `line`. The --address items are
// collected raw in `addressItems` and read after parsing.
void DeclareOptions(CLI::App& app, CommandLine& line, std::vector<std::string>& addressItems) {
    auto& o = line.options;
    app.formatter(std::make_shared<PlainListFormatter>());
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.set_help_flag(); // declared last below, so that it ends the list

    app.add_option("--address", addressItems,
                   "addresses to bind, comma separated; each A.B.C.D or\n"
                   "A.B.C.D-E (last octet range), optionally =SERIAL or\n"
                   "=SERIAL#VERSION; may be repeated (required)")
        ->option_text("LIST")
        ->delimiter(',')
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("--version", o.defaultVersion, "version reported to the sweep (default S1.00)")
        ->option_text("TEXT");
    AddNumber<std::uint16_t>(app, "--search-port", o.searchPort, 0, 65535, "N",
                             "local search port (default 23; 0 picks one)");
    AddNumber<std::uint16_t>(app, "--upgrade-port", o.upgradePort, 0, 65535, "N",
                             "local upgrade port (default 8000; 0 picks one)");
    app.add_flag_function(
        "--no-probe-reply", [&o](std::int64_t) { o.answerProbe = false; },
        "stay silent to the sweep probe");
    AddChoice(app, "--request-reply", o.requestReply, kRequestReplies,
              "accept | e80 | e81 | silent (default accept)");
    AddNumber<std::uint32_t>(app, "--start-block", o.startBlock, 0, 0xFFFF, "N",
                             "block named in the accept (default 0)");
    app.add_option("--preloaded", o.preloadedImage,
                   "on accept, hold the blocks below the start block\n"
                   "from this image file (an interrupted earlier upgrade)")
        ->option_text("PATH");
    AddChoice(app, "--query-reply", o.queryReply, kQueryReplies,
              "normal | silent | error (default normal)");
    app.add_flag("--keep-version", o.keepVersion,
                 "after a completed upgrade go on reporting the old\n"
                 "version to the sweep (default: report the version\n"
                 "text of the accepted upgrade request)");
    AddNumber<std::size_t>(app, "--max-resend", o.maxResendEntries, 1, 0xFFFF, "N",
                           "indices per resend list at most (default 100)");
    app.add_option("--drop-share", o.dropShare, "share 0..1 of blocks lost on first receipt")
        ->option_text("F")
        ->check(CLI::Range(0.0, 1.0));
    app.add_option_function<std::vector<std::uint32_t>>(
           "--drop-blocks",
           [&o](const std::vector<std::uint32_t>& blocks) {
               o.dropBlocks.insert(blocks.begin(), blocks.end());
           },
           "block indices lost on first receipt, comma separated")
        ->option_text("LIST")
        ->delimiter(',')
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->transform(kDecimalOrHex);
    app.add_option("--loss", o.lossShare,
                   "share 0..1 of datagrams lost each way, probes and\n"
                   "replies included (a lossy link)")
        ->option_text("F")
        ->check(CLI::Range(0.0, 1.0));
    AddNumber<std::uint32_t>(app, "--seed", o.seed, 0, 0xFFFFFFFF, "N",
                             "seed for every random choice (default 1)");
    AddNumber(app, "--delay-ms", o.replyDelayMs, 0, 600000, "N", "answer every message N ms late");
    AddNumber(app, "--reorder-ms", o.reorderMs, 0, 600000, "N",
              "add a random 0..N ms to each reply and stored block");
    app.add_option("--duplicate-share", o.duplicateShare, "share 0..1 of replies sent twice")
        ->option_text("F")
        ->check(CLI::Range(0.0, 1.0));
    AddChoice(app, "--checksum", o.checksumFault, kChecksumFaults,
              "good | bad | lower checksum in upgrade replies");
    app.add_flag("--junk", o.junk, "send a junk datagram before every reply");
    AddNumber<std::size_t>(app, "--flood-bytes", o.floodBytes, 0, std::size_t{1} << 31, "N",
                           "send N bytes of text without ESC/ENQ before the\n"
                           "first reply to each peer on each channel");
    app.add_option("--twin-serial", o.twinSerial,
                   "answer every probe a second time with this serial,\n"
                   "as a second device on the same address would")
        ->option_text("TEXT");
    AddNumber(app, "--restart-ms", o.restartMs, 0, 600000, "N",
              "after completing an upgrade, answer no probe for N ms");
    app.add_option("--image-out", o.imageOut,
                   "write the assembled image there (\"%a\": the address)")
        ->option_text("PATH");
    app.add_option("--summary", o.summaryPath, "write a JSON summary of what was received")
        ->option_text("PATH");
    app.add_option("--ready-file", line.readyFile, "create this file once every socket is bound")
        ->option_text("PATH");
    app.add_option_function<int>(
           "--run-seconds", [&o](int seconds) { o.runLimit = std::chrono::seconds(seconds); },
           "stop after N seconds (default 300)")
        ->option_text("N")
        ->transform(kDecimalOrHex)
        ->check(CLI::Range(1, 24 * 3600));
    app.set_help_flag("-h,--help", "this text");
}

CLI::App EmulatorApp() {
    return CLI::App("collector-emulator: plays the collectors' side of the firmware upgrade "
                    "exchange.",
                    "collector-emulator");
}

} // namespace

std::string Usage() {
    CLI::App app = EmulatorApp();
    CommandLine unused;
    std::vector<std::string> addressItems;
    DeclareOptions(app, unused, addressItems);
    return app.help();
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
    unsigned long last = 0;
    std::string first = address;
    bool range = false;
    if (const auto dash = address.find('-'); dash != std::string::npos) {
        first = address.substr(0, dash);
        std::string end = address.substr(dash + 1);
        if (!kDecimalOrHex(end).empty() || !CLI::detail::lexical_cast(end, last) || last > 255)
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
    result.options.runLimit = std::chrono::seconds(kDefaultRunSeconds);
    std::vector<std::string> addressItems;
    CLI::App app = EmulatorApp();
    DeclareOptions(app, result, addressItems);
    try {
        std::vector<std::string> reversed(arguments.rbegin(), arguments.rend()); // CLI11's order
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        result.help = true;
        return result;
    } catch (const CLI::ParseError& error) {
        return std::string(error.what());
    }
    for (const auto& item : addressItems) {
        if (item.empty())
            continue;
        auto parsed = ParseAddressItem(item);
        if (auto* error = std::get_if<std::string>(&parsed))
            return *error;
        for (auto& c : std::get<std::vector<CollectorIdentity>>(parsed))
            result.options.collectors.push_back(std::move(c));
    }
    if (result.options.collectors.empty())
        return "no --address given";
    return result;
}

} // namespace collector_emulator

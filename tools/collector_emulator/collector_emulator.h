#pragma once

// An emulated field of collectors: each configured IPv4 address is one
// collector with its own search socket (port 23) and upgrade socket (port
// 8000). It answers the sweep probe, the upgrade request, the data blocks and
// the completion query the way a collector does, can be told to misbehave in
// controlled ways, and records everything it received so that a test can
// check what the tool really sent.
//
// Nothing here links the tool's own code: framing and checksum come from
// frame_codec.h.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace collector_emulator {

struct CollectorIdentity {
    std::string address; // dotted IPv4, bound as given
    std::string serial;  // empty: derived from the address (DefaultSerial)
    std::string version; // empty: EmulatorOptions::defaultVersion
};

enum class RequestReply { Accept, NoFlash /*E80*/, SameVersion /*E81*/, Silent };
enum class QueryReply { Normal, Silent, Error /*"E99"*/ };
// Bad: last checksum digit altered. LowerCase: the right digits in lower case,
// which only spoils a checksum that holds a letter (R0000 -> 86d7 does; E81 ->
// B201 does; a digits-only checksum stays valid).
enum class ChecksumFault { None, Bad, LowerCase };

struct EmulatorOptions {
    std::vector<CollectorIdentity> collectors;
    std::string defaultVersion = "S1.00";
    // Local ports; 0 picks a free port per socket (loopback tests).
    std::uint16_t searchPort = 23;
    std::uint16_t upgradePort = 8000;

    bool answerProbe = true;
    RequestReply requestReply = RequestReply::Accept;
    std::uint32_t startBlock = 0;
    // An image file the collectors already hold the start of: on accept, the
    // blocks below startBlock are taken from it, as after an interrupted upgrade.
    std::string preloadedImage;
    QueryReply queryReply = QueryReply::Normal;
    // A collector that completes an upgrade reports the version text of the
    // request it accepted; with keepVersion it goes on reporting the old one,
    // like a collector whose new firmware did not take.
    bool keepVersion = false;
    std::size_t maxResendEntries = 100; // indices per resend list at most

    // Loss on first receipt of a block within one upgrade session.
    double dropShare = 0.0; // 0..1, decided by a generator seeded with `seed`
    std::set<std::uint32_t> dropBlocks;
    std::uint32_t seed = 1;
    // A lossy link: this share 0..1 of the datagrams each way, sweep probes
    // and replies included, is lost. Each collector decides with a generator
    // of its own, seeded with `seed` and its place in the list, so that a
    // seed repeats a run's losses whatever the other collectors receive.
    double lossShare = 0.0;

    int replyDelayMs = 0;        // every reply waits this long
    int reorderMs = 0;           // plus a random 0..reorderMs, per reply and per stored block
    double duplicateShare = 0.0; // share of replies that go out twice
    ChecksumFault checksumFault = ChecksumFault::None; // upgrade-channel replies
    bool junk = false;                                 // a junk datagram before every reply
    std::size_t floodBytes =
        0; // text without ESC/ENQ before the first reply to each peer and channel

    // A second device answering from every address: each probe also gets a
    // reply with this serial (an address conflict). Empty: none.
    std::string twinSerial;
    // After completing an upgrade a collector restarts: it answers no probe
    // for this long.
    int restartMs = 0;

    std::string imageOut;    // file for the assembled image; "%a" becomes the address
    std::string summaryPath; // JSON summary, rewritten after each request/query and at exit
    std::chrono::milliseconds runLimit{0}; // Run() ends after this; 0: no limit
};

struct CollectorReport {
    std::string address;
    std::string serial;                            // raw bytes, as sent in the search reply
    std::string version;                           // raw bytes, as sent in the search reply now
    std::uint16_t searchPort = 0, upgradePort = 0; // as bound

    std::uint64_t probes = 0;              // well-formed probes on the search socket
    std::uint64_t otherSearch = 0;         // anything else there
    std::uint64_t requests = 0;            // "LU"
    std::uint64_t blocks = 0;              // "UD" frames, every receipt
    std::uint64_t queries = 0;             // "EN"
    std::uint64_t badFrames = 0;           // failed checksum or not a frame
    std::uint64_t otherUpgrade = 0;        // checked frames with an unknown keyword
    std::uint64_t droppedBlocks = 0;       // receipts thrown away on purpose
    std::uint64_t lostIn = 0, lostOut = 0; // datagrams the lossy link ate, each way
    std::uint64_t repliesSent = 0;         // datagrams sent, junk and duplicates included

    std::string requestedVersion; // raw version text of the last request
    std::optional<std::uint32_t> announcedBlocks;
    std::map<std::uint32_t, std::uint32_t> blockReceipts; // index -> receipts, all sessions
    std::vector<std::int64_t> queryTimesMs;               // since the emulator started
    std::vector<std::int64_t> requestTimesMs;             // likewise, every "LU"
    std::vector<std::int64_t> blockTimesUs; // every "UD" receipt, in µs, the kernel's arrival time
    std::vector<std::int64_t> completionTimesMs;         // likewise, every "R" complete
    std::vector<std::vector<std::uint32_t>> resendLists; // as sent
    std::uint64_t completions = 0;                       // "R" complete answers sent
    bool imageComplete = false;
    std::string image; // assembled bytes once complete
};

// "8" + third octet (3 digits) + fourth octet (3 digits): 198.51.100.10 -> "8100010".
std::string DefaultSerial(const std::string& address);

class Emulator {
public:
    explicit Emulator(EmulatorOptions options);
    ~Emulator();
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    // Opens and binds every socket. False with a reason when one fails.
    bool Bind(std::string* error = nullptr);
    // Serves on the calling thread until Stop(), RequestStopFromSignal() or the
    // run limit. Binds first if needed; false if binding failed.
    bool Run(std::string* error = nullptr);
    // Serves on a thread of its own.
    bool Start(std::string* error = nullptr);
    // Ends serving and joins the thread started by Start(). Idempotent.
    void Stop();
    // Only writes one byte to a pipe: safe inside a signal handler.
    void RequestStopFromSignal();

    std::vector<CollectorReport> Reports() const;
    std::optional<CollectorReport> Report(const std::string& address) const;
    // Waits until `done` holds for the reports or the timeout passes.
    bool WaitUntil(const std::function<bool(const std::vector<CollectorReport>&)>& done,
                   std::chrono::milliseconds timeout) const;
    std::string SummaryJson() const;
    bool WriteSummary(const std::string& path) const;

private:
    struct State;
    std::unique_ptr<State> state_;
    std::thread thread_;
};

} // namespace collector_emulator

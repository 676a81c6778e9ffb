#include "collector_emulator.h"

#include "frame_codec.h"
#include "summary_json.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <queue>
#include <random>

namespace collector_emulator {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxDatagram = 65536;
constexpr std::size_t kFloodChunk = 8000;
constexpr std::size_t kMaxBufferedText = 64 * 1024; // per collector, unfinished frame text
const std::string kProbe("\xFF\x04\x03\xFB", 4);

enum class Channel { Search, Upgrade };

std::string Replace(std::string text, const std::string& what, const std::string& with) {
    for (auto pos = text.find(what); pos != std::string::npos;
         pos = text.find(what, pos + with.size()))
        text.replace(pos, what.size(), with);
    return text;
}

} // namespace

std::string DefaultSerial(const std::string& address) {
    in_addr parsed{};
    if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1)
        return "8000000";
    const std::uint32_t host = ntohl(parsed.s_addr);
    char text[16];
    std::snprintf(text, sizeof text, "8%03u%03u", (host >> 8) & 0xFF, host & 0xFF);
    return text;
}

struct Emulator::State {
    struct Collector {
        CollectorReport report;
        int searchFd = -1;
        int upgradeFd = -1;
        std::string rxBuffer; // upgrade channel text awaiting an ENQ
        // The current upgrade session (from the last request on).
        std::map<std::uint32_t, std::string> stored;
        std::set<std::uint32_t> seenThisSession;
        std::set<std::pair<std::uint32_t, int>> floodedPeers; // (peer address, channel)
        // Version text of the accepted request of this session, if one was accepted.
        std::optional<std::string> acceptedVersion;
        Clock::time_point restartEnds{}; // probes go unanswered until then
        std::mt19937 lossRng;            // this collector's own losses
    };

    // The kernel's arrival time of the datagram being handled, in µs since
    // startedWall, when the socket gave one.
    std::optional<std::int64_t> arrivalUs;
    std::chrono::system_clock::time_point startedWall = std::chrono::system_clock::now();

    std::int64_t MsSinceStart() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started)
            .count();
    }

    // A datagram to send or a received block to store, due at `due`.
    struct Pending {
        Clock::time_point due;
        std::uint64_t order;
        std::size_t collector;
        bool send; // false: store block
        Channel channel;
        sockaddr_in peer;
        std::string bytes;   // datagram, or block text
        std::uint32_t index; // block index when storing
        bool operator>(const Pending& other) const {
            return due != other.due ? due > other.due : order > other.order;
        }
    };

    EmulatorOptions options;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<Collector> collectors;
    std::priority_queue<Pending, std::vector<Pending>, std::greater<>> pending;
    std::uint64_t nextOrder = 0;
    std::mt19937 rng;
    Clock::time_point started = Clock::now();
    int wakeRead = -1, wakeWrite = -1;
    bool bound = false;
    std::atomic<bool> stopRequested{false};

    explicit State(EmulatorOptions o) : options(std::move(o)), rng(options.seed) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            wakeRead = fds[0];
            wakeWrite = fds[1];
        }
    }
    ~State() {
        CloseSockets();
        if (wakeRead >= 0)
            ::close(wakeRead);
        if (wakeWrite >= 0)
            ::close(wakeWrite);
    }

    void CloseSockets() {
        for (auto& c : collectors) {
            if (c.searchFd >= 0)
                ::close(c.searchFd);
            if (c.upgradeFd >= 0)
                ::close(c.upgradeFd);
            c.searchFd = c.upgradeFd = -1;
        }
    }

    static int OpenSocket(const std::string& address, std::uint16_t port, std::uint16_t& boundPort,
                          std::string* error) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(port);
        if (::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
            if (error)
                *error = "not an IPv4 address: " + address;
            return -1;
        }
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            if (error)
                *error = std::string("socket: ") + std::strerror(errno);
            return -1;
        }
        // The kernel's arrival time of each datagram: block gaps are measured
        // where the network delivers them, not when this loop gets to run.
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            if (error)
                *error =
                    "bind " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
            ::close(fd);
            return -1;
        }
        socklen_t length = sizeof local;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
        boundPort = ntohs(local.sin_port);
        return fd;
    }

    bool Bind(std::string* error) {
        std::lock_guard lock(mutex);
        if (bound)
            return true;
        if (options.collectors.empty()) {
            if (error)
                *error = "no collector address given";
            return false;
        }
        collectors.clear();
        for (const auto& identity : options.collectors) {
            Collector c;
            std::seed_seq lossSeed{options.seed, static_cast<std::uint32_t>(collectors.size())};
            c.lossRng.seed(lossSeed);
            c.report.address = identity.address;
            c.report.serial =
                identity.serial.empty() ? DefaultSerial(identity.address) : identity.serial;
            c.report.version = identity.version.empty() ? options.defaultVersion : identity.version;
            c.searchFd =
                OpenSocket(identity.address, options.searchPort, c.report.searchPort, error);
            if (c.searchFd >= 0)
                c.upgradeFd =
                    OpenSocket(identity.address, options.upgradePort, c.report.upgradePort, error);
            collectors.push_back(std::move(c));
            if (collectors.back().upgradeFd < 0) {
                CloseSockets();
                collectors.clear();
                return false;
            }
        }
        bound = true;
        started = Clock::now();
        return true;
    }

    double Uniform() { return std::uniform_real_distribution<double>(0.0, 1.0)(rng); }
    // Whether the lossy link eats this datagram of `c`'s.
    bool Lost(Collector& c) {
        return options.lossShare > 0 &&
               std::uniform_real_distribution<double>(0.0, 1.0)(c.lossRng) < options.lossShare;
    }
    std::chrono::milliseconds Jitter() {
        if (options.reorderMs <= 0)
            return std::chrono::milliseconds(0);
        return std::chrono::milliseconds(
            std::uniform_int_distribution<int>(0, options.reorderMs)(rng));
    }

    void Schedule(Pending p) {
        p.order = nextOrder++;
        pending.push(std::move(p));
    }

    void SendNow(Collector& c, Channel channel, const sockaddr_in& peer, const std::string& bytes) {
        const int fd = channel == Channel::Search ? c.searchFd : c.upgradeFd;
        if (Lost(c)) {
            ++c.report.lostOut;
            return;
        }
        ::sendto(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
        ++c.report.repliesSent;
    }

    std::string Junk(Channel channel) {
        // Junk that a careful receiver drops without harming the next frame: no
        // ESC that could swallow it. On the upgrade channel every other piece is
        // a whole frame with a wrong checksum.
        static std::uint64_t counter = 0;
        if (channel == Channel::Upgrade && (counter++ % 2) == 1) {
            std::string checksum = ChecksumText("R");
            checksum[0] = checksum[0] == '0' ? '1' : '0';
            return BuildFrameWithChecksum("R", checksum);
        }
        std::string text;
        const int length = std::uniform_int_distribution<int>(1, 40)(rng);
        for (int i = 0; i < length; ++i)
            text += static_cast<char>(std::uniform_int_distribution<int>(0x20, 0x7E)(rng));
        text += kEnq;
        return text;
    }

    void Flood(Collector& c, Channel channel, const sockaddr_in& peer) {
        const std::string chunk(kFloodChunk, 'A');
        std::size_t left = options.floodBytes;
        for (std::size_t n = 0; left > 0; ++n) {
            const std::size_t size = std::min(left, kFloodChunk);
            SendNow(c, channel, peer, chunk.substr(0, size));
            left -= size;
            if (n % 32 == 31) // let the receiver keep up a little
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    void Reply(std::size_t index, Channel channel, const sockaddr_in& peer,
               const std::string& bytes) {
        auto& c = collectors[index];
        auto delay = std::chrono::milliseconds(options.replyDelayMs);
        if (options.floodBytes > 0 &&
            c.floodedPeers.insert({peer.sin_addr.s_addr, static_cast<int>(channel)}).second) {
            Flood(c, channel, peer);
            delay += std::chrono::milliseconds(200);
        }
        const auto now = Clock::now();
        if (options.junk)
            Schedule({now + delay, 0, index, true, channel, peer, Junk(channel), 0});
        Schedule({now + delay + Jitter(), 0, index, true, channel, peer, bytes, 0});
        if (options.duplicateShare > 0 && Uniform() < options.duplicateShare)
            Schedule({now + delay + Jitter(), 0, index, true, channel, peer, bytes, 0});
    }

    std::string UpgradeFrame(const std::string& payload) const {
        switch (options.checksumFault) {
        case ChecksumFault::None:
            return BuildFrame(payload);
        case ChecksumFault::LowerCase:
            return BuildFrameWithChecksum(payload, ChecksumText(payload, true));
        case ChecksumFault::Bad: {
            std::string checksum = ChecksumText(payload);
            checksum[3] = checksum[3] == '0' ? '1' : '0';
            return BuildFrameWithChecksum(payload, checksum);
        }
        }
        return BuildFrame(payload);
    }

    std::string ImagePath(const Collector& c) const {
        if (options.imageOut.empty())
            return {};
        if (options.imageOut.find("%a") != std::string::npos)
            return Replace(options.imageOut, "%a", c.report.address);
        if (collectors.size() > 1)
            return options.imageOut + "." + c.report.address;
        return options.imageOut;
    }

    void HandleSearch(std::size_t index, const std::string& bytes, const sockaddr_in& peer) {
        auto& c = collectors[index];
        if (bytes != kProbe) {
            ++c.report.otherSearch;
            return;
        }
        ++c.report.probes;
        if (!options.answerProbe || Clock::now() < c.restartEnds)
            return;
        const auto answer = [&](const std::string& serial) {
            std::string reply(1, kEsc);
            reply += serial;
            if (!c.report.version.empty())
                reply += "#" + c.report.version;
            reply += kEnq;
            Reply(index, Channel::Search, peer, reply);
        };
        answer(c.report.serial);
        if (!options.twinSerial.empty())
            answer(options.twinSerial);
    }

    void HandleRequest(std::size_t index, const std::string& payload, const sockaddr_in& peer) {
        auto& c = collectors[index];
        ++c.report.requests;
        c.report.requestTimesMs.push_back(MsSinceStart());
        // "LU" + version text + count; the count is the last four characters.
        if (payload.size() >= 6) {
            c.report.requestedVersion = payload.substr(2, payload.size() - 6);
            c.report.announcedBlocks =
                ParseHex(std::string_view(payload).substr(payload.size() - 4));
        } else {
            c.report.requestedVersion = payload.substr(2);
            c.report.announcedBlocks.reset();
        }
        c.stored.clear();
        c.seenThisSession.clear();
        c.report.imageComplete = false;
        c.report.image.clear();
        c.acceptedVersion.reset();
        if (options.requestReply == RequestReply::Accept) {
            c.acceptedVersion = c.report.requestedVersion;
            Preload(c);
        }
        switch (options.requestReply) {
        case RequestReply::Accept:
            Reply(index, Channel::Upgrade, peer, UpgradeFrame("R" + HexNumber(options.startBlock)));
            break;
        case RequestReply::NoFlash:
            Reply(index, Channel::Upgrade, peer, UpgradeFrame("E80"));
            break;
        case RequestReply::SameVersion:
            Reply(index, Channel::Upgrade, peer, UpgradeFrame("E81"));
            break;
        case RequestReply::Silent:
            break;
        }
    }

    // Blocks below the start block, held from an earlier upgrade.
    void Preload(Collector& c) {
        if (options.preloadedImage.empty())
            return;
        std::ifstream file(options.preloadedImage, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
        for (std::uint32_t i = 0; i < options.startBlock && i * 300ull < bytes.size(); ++i) {
            c.stored[i] = HexOfBytes(std::string_view(bytes).substr(i * 300ull, 300));
        }
    }

    void HandleBlock(std::size_t index, const std::string& payload) {
        auto& c = collectors[index];
        ++c.report.blocks;
        // "UD" + index (at least four digits) + block text of at most 600
        // characters. A body longer than 604 characters is a full block behind
        // an index of five or more digits (images beyond 0xFFFF blocks).
        const std::string_view body = std::string_view(payload).substr(2);
        const std::size_t width = body.size() > 604 ? body.size() - 600 : 4;
        if (body.size() < width) {
            ++c.report.badFrames;
            return;
        }
        const auto block = ParseHex(body.substr(0, width));
        if (!block) {
            ++c.report.badFrames;
            return;
        }
        ++c.report.blockReceipts[*block];
        c.report.blockTimesUs.push_back(arrivalUs.value_or(MsSinceStart() * 1000));
        if (c.seenThisSession.insert(*block).second &&
            (options.dropBlocks.count(*block) != 0 ||
             (options.dropShare > 0 && Uniform() < options.dropShare))) {
            ++c.report.droppedBlocks;
            return;
        }
        std::string text(body.substr(width));
        if (options.reorderMs > 0)
            Schedule({Clock::now() + Jitter(),
                      0,
                      index,
                      false,
                      Channel::Upgrade,
                      {},
                      std::move(text),
                      *block});
        else
            c.stored[*block] = std::move(text);
    }

    void HandleQuery(std::size_t index, const sockaddr_in& peer) {
        auto& c = collectors[index];
        ++c.report.queries;
        c.report.queryTimesMs.push_back(MsSinceStart());
        if (options.queryReply == QueryReply::Silent)
            return;
        if (options.queryReply == QueryReply::Error) {
            Reply(index, Channel::Upgrade, peer, UpgradeFrame("E99"));
            return;
        }
        const std::uint32_t count = c.report.announcedBlocks.value_or(0);
        std::vector<std::uint32_t> missing;
        for (std::uint32_t i = 0; i < count && missing.size() < options.maxResendEntries; ++i)
            if (c.stored.count(i) == 0)
                missing.push_back(i);
        if (missing.empty()) {
            ++c.report.completions;
            c.report.completionTimesMs.push_back(MsSinceStart());
            c.restartEnds = Clock::now() + std::chrono::milliseconds(options.restartMs);
            if (c.report.announcedBlocks && !c.report.imageComplete)
                Assemble(c, count);
            if (c.acceptedVersion && !options.keepVersion)
                c.report.version = *c.acceptedVersion;
            Reply(index, Channel::Upgrade, peer, UpgradeFrame("R"));
            return;
        }
        std::string payload = "R" + HexNumber(static_cast<std::uint32_t>(missing.size()));
        for (auto m : missing)
            payload += HexNumber(m);
        c.report.resendLists.push_back(missing);
        Reply(index, Channel::Upgrade, peer, UpgradeFrame(payload));
    }

    void Assemble(Collector& c, std::uint32_t count) {
        std::string image;
        for (std::uint32_t i = 0; i < count; ++i) {
            // A block with broken hex text still counts as held; its bytes are skipped.
            if (auto bytes = DecodeHexText(c.stored[i]))
                image += *bytes;
        }
        c.report.image = std::move(image);
        c.report.imageComplete = true;
        const auto path = ImagePath(c);
        if (!path.empty()) {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(c.report.image.data(), static_cast<std::streamsize>(c.report.image.size()));
        }
    }

    // Returns whether the summary should be rewritten.
    bool HandleUpgrade(std::size_t index, const std::string& bytes, const sockaddr_in& peer) {
        auto& c = collectors[index];
        c.rxBuffer += bytes;
        bool summary = false;
        for (const auto& frame : ExtractFrames(c.rxBuffer)) {
            const auto payload = CheckedPayload(frame);
            if (!payload) {
                ++c.report.badFrames;
                continue;
            }
            if (payload->rfind("LU", 0) == 0) {
                HandleRequest(index, *payload, peer);
                summary = true;
            } else if (payload->rfind("UD", 0) == 0) {
                HandleBlock(index, *payload);
            } else if (*payload == "EN") {
                HandleQuery(index, peer);
                summary = true;
            } else {
                ++c.report.otherUpgrade;
            }
        }
        if (c.rxBuffer.size() > kMaxBufferedText)
            c.rxBuffer.erase(0, c.rxBuffer.size() - kMaxBufferedText);
        return summary;
    }

    void RunDue(Clock::time_point now) {
        while (!pending.empty() && pending.top().due <= now) {
            Pending p = pending.top();
            pending.pop();
            auto& c = collectors[p.collector];
            if (p.send)
                SendNow(c, p.channel, p.peer, p.bytes);
            else
                c.stored[p.index] = std::move(p.bytes);
        }
    }

    void Serve() {
        std::vector<pollfd> fds;
        fds.push_back({wakeRead, POLLIN, 0});
        for (const auto& c : collectors) {
            fds.push_back({c.searchFd, POLLIN, 0});
            fds.push_back({c.upgradeFd, POLLIN, 0});
        }
        const auto deadline =
            options.runLimit.count() > 0 ? started + options.runLimit : Clock::time_point::max();
        std::string datagram(kMaxDatagram, '\0');
        while (!stopRequested.load()) {
            auto now = Clock::now();
            if (now >= deadline)
                break;
            auto wakeAt = std::min(deadline, now + std::chrono::milliseconds(500));
            {
                std::lock_guard lock(mutex);
                if (!pending.empty())
                    wakeAt = std::min(wakeAt, pending.top().due);
            }
            const auto wait =
                std::chrono::duration_cast<std::chrono::milliseconds>(wakeAt - now).count();
            const int ready =
                ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(0, wait)));
            if (ready < 0 && errno != EINTR)
                break;
            if (fds[0].revents & POLLIN) {
                char drain[64];
                while (::read(wakeRead, drain, sizeof drain) > 0) {
                }
            }
            bool summary = false;
            {
                std::lock_guard lock(mutex);
                for (std::size_t i = 1; ready > 0 && i < fds.size(); ++i) {
                    if ((fds[i].revents & POLLIN) == 0)
                        continue;
                    const std::size_t index = (i - 1) / 2;
                    const Channel channel = (i - 1) % 2 == 0 ? Channel::Search : Channel::Upgrade;
                    // Drain what is waiting, bounded so one busy socket cannot starve the rest.
                    for (int n = 0; n < 64; ++n) {
                        sockaddr_in peer{};
                        iovec data{datagram.data(), datagram.size()};
                        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
                        msghdr message{};
                        message.msg_name = &peer;
                        message.msg_namelen = sizeof peer;
                        message.msg_iov = &data;
                        message.msg_iovlen = 1;
                        message.msg_control = control;
                        message.msg_controllen = sizeof control;
                        const auto got = ::recvmsg(fds[i].fd, &message, 0);
                        if (got < 0)
                            break;
                        arrivalUs.reset();
                        for (cmsghdr* cm = CMSG_FIRSTHDR(&message); cm != nullptr;
                             cm = CMSG_NXTHDR(&message, cm))
                            if (cm->cmsg_level == SOL_SOCKET && cm->cmsg_type == SCM_TIMESTAMPNS) {
                                timespec at{};
                                std::memcpy(&at, CMSG_DATA(cm), sizeof at);
                                const auto wall = std::chrono::system_clock::time_point(
                                    std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                        std::chrono::seconds(at.tv_sec) +
                                        std::chrono::nanoseconds(at.tv_nsec)));
                                arrivalUs = std::chrono::duration_cast<std::chrono::microseconds>(
                                                wall - startedWall)
                                                .count();
                            }
                        if (Lost(collectors[index])) {
                            ++collectors[index].report.lostIn;
                            continue;
                        }
                        const std::string bytes(datagram.data(), static_cast<std::size_t>(got));
                        if (channel == Channel::Search)
                            HandleSearch(index, bytes, peer);
                        else
                            summary |= HandleUpgrade(index, bytes, peer);
                    }
                }
                RunDue(Clock::now());
            }
            changed.notify_all();
            if (summary && !options.summaryPath.empty())
                WriteSummaryFile(options.summaryPath);
        }
        // Replies still waiting are sent only if they are due within a moment.
        {
            std::lock_guard lock(mutex);
            RunDue(Clock::now());
        }
        if (!options.summaryPath.empty())
            WriteSummaryFile(options.summaryPath);
        changed.notify_all();
    }

    // The caller holds `mutex`.
    std::vector<CollectorReport> ReportsLocked() const {
        std::vector<CollectorReport> reports;
        for (const auto& c : collectors)
            reports.push_back(c.report);
        return reports;
    }

    std::string Json() const {
        std::lock_guard lock(mutex);
        return SummaryText(ReportsLocked());
    }

    bool WriteSummaryFile(const std::string& path) const {
        const std::string temporary = path + ".tmp";
        {
            std::ofstream out(temporary, std::ios::trunc);
            out << Json();
            if (!out)
                return false;
        }
        return std::rename(temporary.c_str(), path.c_str()) == 0;
    }
};

Emulator::Emulator(EmulatorOptions options) : state_(std::make_unique<State>(std::move(options))) {}

Emulator::~Emulator() {
    Stop();
}

bool Emulator::Bind(std::string* error) {
    return state_->Bind(error);
}

bool Emulator::Run(std::string* error) {
    if (!Bind(error))
        return false;
    state_->Serve();
    return true;
}

bool Emulator::Start(std::string* error) {
    if (thread_.joinable())
        return true;
    if (!Bind(error))
        return false;
    thread_ = std::thread([this] { state_->Serve(); });
    return true;
}

void Emulator::Stop() {
    RequestStopFromSignal();
    if (thread_.joinable())
        thread_.join();
}

void Emulator::RequestStopFromSignal() {
    state_->stopRequested.store(true);
    if (state_->wakeWrite >= 0) {
        const char byte = 1;
        [[maybe_unused]] auto written = ::write(state_->wakeWrite, &byte, 1);
    }
}

std::vector<CollectorReport> Emulator::Reports() const {
    std::lock_guard lock(state_->mutex);
    return state_->ReportsLocked();
}

std::optional<CollectorReport> Emulator::Report(const std::string& address) const {
    std::lock_guard lock(state_->mutex);
    for (const auto& c : state_->collectors)
        if (c.report.address == address)
            return c.report;
    return std::nullopt;
}

bool Emulator::WaitUntil(const std::function<bool(const std::vector<CollectorReport>&)>& done,
                         std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    std::unique_lock lock(state_->mutex);
    for (;;) {
        if (done(state_->ReportsLocked()))
            return true;
        if (state_->changed.wait_until(
                lock, std::min(deadline, Clock::now() + std::chrono::milliseconds(50))) ==
                std::cv_status::timeout &&
            Clock::now() >= deadline) {
            lock.unlock();
            std::vector<CollectorReport> last = Reports();
            return done(last);
        }
    }
}

std::string Emulator::SummaryJson() const {
    return state_->Json();
}

bool Emulator::WriteSummary(const std::string& path) const {
    return state_->WriteSummaryFile(path);
}

} // namespace collector_emulator

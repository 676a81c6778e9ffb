#include "fleet/run/doctor.h"

#include "fleet/session/fleet_policy.h"
#include "platform/local_address.h"
#include "platform/network_adapters.h"
#include "platform/system_error_text.h"
#include "platform/udp_socket.h"
#include "protocol/collector_rules.h"
#include "protocol/datagram_rules.h"
#include "protocol/messages.h"
#include "pubpro/text_utils.h"

#include <algorithm>

namespace fleet {

PortFacts CheckPort(asio::io_context& io, std::uint16_t port) {
    PortFacts facts;
    facts.port = port;
    // As the run binds it: held alone, on every address.
    asio::error_code error;
    asio::ip::udp::socket trial(io);
    trial.open(asio::ip::udp::v4(), error);
    if (!error)
        platform::HoldPortExclusively(
            static_cast<platform::UdpSocket::Handle>(trial.native_handle()));
    if (!error)
        trial.bind({asio::ip::address_v4::any(), port}, error);
    asio::error_code ignored;
    trial.close(ignored);
    facts.bindable = !error;
    facts.inUse = error == asio::error::address_in_use;
    if (error == asio::error::access_denied)
        facts.bindError = platform::BindAccessDeniedMeaning();
    else if (error && !facts.inUse)
        facts.bindError = platform::ErrorText(error);
    if (!facts.bindable)
        facts.holders = platform::UdpPortHolders(port);
    return facts;
}

ProbeCounter::ProbeCounter(FleetSockets& sockets)
    : sockets_(sockets), previous_(sockets.onDatagram) {
    sockets_.onDatagram = [this](const DatagramEvent& datagram) {
        if (previous_)
            previous_(datagram);
        Received(datagram);
    };
}

ProbeCounter::~ProbeCounter() {
    sockets_.onDatagram = previous_;
}

void ProbeCounter::Received(const DatagramEvent& datagram) {
    const std::string sender(datagram.address);
    const SweepScope& scope = sockets_.Scope();
    const SweepScope::Part* part = scope.PartOf(sender);
    // Parts are told apart by the address they are swept from, as the report's head does.
    const std::string adapter = part != nullptr ? part->own : std::string();
    // Each count goes to the run's total and to the adapter the peer is reached through.
    const auto count = [&](std::size_t ProbeCounts::*member) {
        ++(counts_.*member);
        ++(byAdapter_[adapter].*member);
    };
    if (datagram.sent) {
        if (datagram.port == protocol::kSearchPort)
            count(&ProbeCounts::probes);
        return;
    }
    if (part == nullptr || scope.IsOwn(sender))
        return;
    if (datagram.bytes.size() > protocol::kMaxDatagramBytes) {
        count(&ProbeCounts::malformed);
        return;
    }
    if (datagram.port == protocol::kUpgradePort) {
        pubpro::RxBuffer& pending = upgrade_[sender];
        pending.Append(protocol::UpgradeDatagramText(datagram.bytes));
        pubpro::ExtractFrames(pending, [&](const std::string& frame) {
            if (!pubpro::FrameChecksumOk(frame))
                count(&ProbeCounts::checksumRefused);
        });
        pending.Bound();
        return;
    }
    std::string bytes(datagram.bytes);
    protocol::ScrubSearchDatagram(bytes);
    pubpro::RxBuffer& pending = search_[sender];
    pending.Append(bytes);
    bool replied = false;
    pubpro::ExtractFrames(pending, [&](const std::string& frame) {
        if (pubpro::Trim(protocol::ParseSearchReply(frame).serial).empty())
            return;
        replied = true;
        count(&ProbeCounts::replies);
        answered_.insert(sender);
        answeredBy_[adapter].insert(sender);
    });
    pending.Bound();
    // A datagram that completed no reply, and leaves no frame begun, is lost.
    if (!replied && pending.View().find(pubpro::kEsc) == std::string_view::npos)
        count(&ProbeCounts::malformed);
    counts_.collectors = answered_.size();
    byAdapter_[adapter].collectors = answeredBy_[adapter].size();
}

ProbeCounts ProbeCounter::CountsFor(const std::string& adapterAddress) const {
    const auto found = byAdapter_.find(adapterAddress);
    return found != byAdapter_.end() ? found->second : ProbeCounts{};
}

std::vector<std::string> DoctorAdapterNames(const std::vector<std::string>& named) {
    if (!named.empty())
        return named;
    std::vector<std::string> names;
    for (const auto& adapter : platform::ListNetworkAdapters())
        if (!adapter.loopback && std::find(names.begin(), names.end(), adapter.name) == names.end())
            names.push_back(adapter.name);
    return names;
}

namespace {

// One probe to each host of `scope` and one wait for the replies.
ProbeCounts ProbeRound(asio::io_context& io, FleetSockets& sockets) {
    ProbeCounter counter(sockets);
    for (const auto& address : sockets.Scope().Hosts())
        sockets.SendProbe(address);
    bool waited = false;
    asio::steady_timer wait(io);
    wait.expires_after(policy::kSweepWait);
    wait.async_wait([&waited](const asio::error_code&) { waited = true; });
    while (!waited)
        io.run_one();
    return counter.Counts();
}

AdapterFacts FactsOf(const std::string& name) {
    AdapterFacts facts;
    facts.name = name;
    // The adapter's first IPv4 address that can reach collectors, else its first.
    for (const auto& adapter : platform::ListNetworkAdapters())
        if (adapter.name == name &&
            (!facts.adapter || (!platform::CanReachCollectors(*facts.adapter) &&
                                platform::CanReachCollectors(adapter))))
            facts.adapter = adapter;
    facts.profile = platform::ReadNetworkProfile(name);
    return facts;
}

} // namespace

std::vector<DoctorCheck> RunDoctor(const std::vector<std::string>& interfaces) {
    asio::io_context io;
    std::vector<DoctorCheck> checks;
    bool portsFree = true;
    for (const std::uint16_t port : {protocol::kSearchPort, protocol::kUpgradePort}) {
        checks.push_back(PortCheck(CheckPort(io, port)));
        portsFree = portsFree && checks.back().verdict == Verdict::Ok;
    }
    for (const auto& name : DoctorAdapterNames(interfaces)) {
        AdapterFacts facts = FactsOf(name);
        const auto scope = facts.adapter
                               ? SweepScope::Of(facts.adapter->address, facts.adapter->prefixLength)
                               : std::nullopt;
        if (!facts.adapter || !scope || !platform::CanReachCollectors(*facts.adapter)) {
            facts.probeNotRun = "the adapter cannot reach collectors (see above)";
            facts.probeNotRunZh = "这块网卡连不到采集器（见上）";
        } else if (!portsFree) {
            facts.probeNotRun = "ports 23 and 8000 are not both free (see above)";
            facts.probeNotRunZh = "端口 23 和 8000 没有都空着（见上）";
        } else {
            FleetSockets sockets(io, *scope);
            if (const auto error = sockets.Open(); !error.empty()) {
                facts.probeNotRun = error;
                facts.probeNotRunZh = error;
            } else {
                facts.probe = ProbeRound(io, sockets);
            }
        }
        const auto adapterChecks = AdapterChecks(facts);
        checks.insert(checks.end(), adapterChecks.begin(), adapterChecks.end());
    }
    return checks;
}

namespace {

std::vector<DoctorCheck> AdapterSweepChecks(const platform::NetworkAdapter& adapter,
                                            const ProbeCounts& sweep) {
    AdapterFacts facts;
    facts.name = adapter.name;
    facts.adapter = adapter;
    // Replies came in: the firewall lets them through, and reading its rules
    // (which can take a while on a computer with many) would tell nothing.
    if (sweep.replies == 0)
        facts.profile = platform::ReadNetworkProfile(adapter.name);
    facts.probe = sweep;
    return AdapterChecks(facts);
}

} // namespace

std::vector<AdapterFindings> SweepFindings(const Adapter& chosen, const FieldTable& field,
                                           const ProbeCounter& counter) {
    std::vector<platform::NetworkAdapter> adapters = chosen.adapters;
    if (adapters.empty())
        adapters.push_back(chosen.adapter);
    std::set<std::string> answered; // the addresses of the adapters someone answered through
    for (const auto& entry : field.SortedByAddress())
        if (const SweepScope::Part* part = chosen.scope.PartOf(entry.address))
            answered.insert(part->own);
    const bool someSilent = answered.size() < adapters.size();
    std::vector<AdapterFindings> out;
    for (const auto& adapter : adapters) {
        const bool silent = answered.count(adapter.address) == 0;
        if (someSilent && !silent)
            continue;
        AdapterFindings findings{adapter, {}, silent, {}};
        for (const auto& part : chosen.scope.Parts())
            if (part.own == adapter.address)
                findings.subnets +=
                    (findings.subnets.empty() ? "" : ", ") + SweepScope::SubnetOf(part);
        findings.checks = AdapterSweepChecks(adapter, counter.CountsFor(adapter.address));
        out.push_back(std::move(findings));
    }
    return out;
}

} // namespace fleet

#pragma once

// `collector-fleet doctor`: checks this computer for what keeps collectors
// from being found, on the engine's sockets: whether ports 23 and 8000 can be
// bound and who holds them, each adapter's state, on Windows its network's
// category and the firewall's rules, and one round of probes over each
// adapter's subnet, counting what comes back. The findings and their texts
// are in doctor_findings.h.

#include "fleet/run/doctor_findings.h"
#include "fleet/run/fleet_sockets.h"
#include "fleet/run/run_steps.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace fleet {

// Whether `port` can be bound on every address, and who holds it when not.
PortFacts CheckPort(asio::io_context& io, std::uint16_t port);

// Counts what comes back through `sockets` while it lives: replies, datagrams
// dropped as malformed, frames refused by the checksum. It chains any
// datagram hook set before it and puts it back when it goes.
class ProbeCounter {
public:
    explicit ProbeCounter(FleetSockets& sockets);
    ~ProbeCounter();
    ProbeCounter(const ProbeCounter&) = delete;
    ProbeCounter& operator=(const ProbeCounter&) = delete;

    const ProbeCounts& Counts() const { return counts_; }
    // The counts of the peers reached through the adapter at `adapterAddress`.
    ProbeCounts CountsFor(const std::string& adapterAddress) const;

private:
    void Received(const DatagramEvent& datagram);

    FleetSockets& sockets_;
    std::function<void(const DatagramEvent&)> previous_;
    ProbeCounts counts_;
    std::set<std::string> answered_;
    std::map<std::string, ProbeCounts> byAdapter_;
    std::map<std::string, std::set<std::string>> answeredBy_;
    std::map<std::string, pubpro::RxBuffer> search_, upgrade_; // per sender, bounded by the scope
};

// The adapters doctor looks at: those named (each, whether listed or not),
// else every adapter that is up with an IPv4 address and is not loopback.
std::vector<std::string> DoctorAdapterNames(const std::vector<std::string>& named);

// Every check, in order: the two ports, then each adapter (its state, on
// Windows its network and firewall, its probe round). A probe round is one
// probe to each host of the adapter's sweep scope and one wait for replies;
// it runs only on an adapter that can reach collectors, with both ports free.
std::vector<DoctorCheck> RunDoctor(const std::vector<std::string>& interfaces);

// The findings after a sweep that found nothing or fewer than expected, with
// the sweep's counts as each adapter's probe round: what a run shows instead
// of guessing. They cover each adapter of the run that found nobody, or every
// adapter when each found someone and the expected list is still short.
// Windows's network and firewall are read only for an adapter that got no
// reply.
struct AdapterFindings {
    platform::NetworkAdapter adapter;
    std::string subnets; // what was swept from it, "198.51.100.0/24, ..."
    bool silent = false; // nobody answered through it
    std::vector<DoctorCheck> checks;
};
std::vector<AdapterFindings> SweepFindings(const Adapter& chosen, const FieldTable& field,
                                           const ProbeCounter& counter);

} // namespace fleet

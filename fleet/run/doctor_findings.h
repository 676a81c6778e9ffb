#pragma once

// What `collector-fleet doctor` found, as checks that say each finding in
// Chinese and in English and name the fix, from facts gathered elsewhere
// (fleet/run/doctor.h): whether a port can be bound and who holds it, an
// adapter's state, the network category and firewall rules on Windows, and
// what a probe round brought back. Also the same findings for one adapter
// after a sweep that found nothing or fewer than expected.

#include "platform/network_adapters.h"
#include "platform/network_profile.h"
#include "platform/port_holders.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fleet {

// Ok: nothing wrong. Problem: this stops collectors from being found or
// upgraded. Unknown: it could not be read (or checked), which is said.
enum class Verdict { Ok, Problem, Unknown };

struct DoctorCheck {
    std::string check;   // "port", "adapter", "network_category", "firewall", "probe_round"
    std::string subject; // the port ("23") or the adapter's name
    Verdict verdict = Verdict::Ok;
    std::string zh; // the finding and, when it is a problem, the fix
    std::string en;
    nlohmann::json facts = nlohmann::json::object(); // what was read, for --format json
};

// Port `port`: whether a trial bind on every address went through, the
// system's words when it did not, and who holds the port.
struct PortFacts {
    std::uint16_t port = 0;
    bool bindable = true;
    bool inUse = false;    // the bind failed because the port is taken
    std::string bindError; // the system's words, when it failed otherwise
    platform::PortHolders holders;
};

// What one round of probes over an adapter's subnet brought back.
struct ProbeCounts {
    std::size_t probes = 0;          // probes sent
    std::size_t replies = 0;         // search replies that carried a serial
    std::size_t collectors = 0;      // distinct addresses among them
    std::size_t malformed = 0;       // datagrams dropped: no reply frame, or one without a serial
    std::size_t checksumRefused = 0; // upgrade-port frames whose checksum was wrong
};

// One adapter as the checks see it: its listing (none: not up, or no IPv4
// address), Windows's view of its network, and its probe round (none: not
// run, `probeNotRun` says why).
struct AdapterFacts {
    std::string name;
    std::optional<platform::NetworkAdapter> adapter;
    std::optional<platform::NetworkProfile> profile;
    std::optional<ProbeCounts> probe;
    std::string probeNotRun; // English; its Chinese in probeNotRunZh
    std::string probeNotRunZh;
};

DoctorCheck PortCheck(const PortFacts& facts);
// The adapter's state, then on Windows its network category and firewall,
// then its probe round.
std::vector<DoctorCheck> AdapterChecks(const AdapterFacts& facts);

// "python3（进程号 1234）" / "python3 (pid 1234)", every holder, joined; what
// could not be found is said.
std::string HoldersText(const platform::PortHolders& holders, bool chinese);
// Two lines, Chinese then English, naming who holds `port`.
std::string PortHeldByText(std::uint16_t port, const platform::PortHolders& holders);

// Every check, a line in Chinese and one in English each, led by its verdict.
std::string FindingsText(const std::vector<DoctorCheck>& checks);
// The Chinese text of each check that is not ok, joined by `separator`: for
// the fleet window.
std::string FindingsTextZh(const std::vector<DoctorCheck>& checks,
                           const std::string& separator = "\n");
// One object per check: check, subject, verdict, zh, en and its facts.
nlohmann::json FindingsJson(const std::vector<DoctorCheck>& checks);
// True when no check found a problem (unknowns are said, not counted).
bool NothingWrong(const std::vector<DoctorCheck>& checks);

} // namespace fleet
